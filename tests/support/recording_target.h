// A DumpTarget that records every effect, in order, for the tests to compare.
#pragma once

#include "dump/viewer_dump.h"

#include <string>
#include <vector>

// Which of the target's own steps fail.
struct TargetFaults {
    bool allocation = false, release = false, setText = false;
};

class RecordingTarget : public DumpTarget {
  public:
    explicit RecordingTarget(std::string initialText = {}) : text(std::move(initialText)) {}

    bool SetText(const char* newText, size_t length) override {
        ++setTextCalls;
        if (faults.setText)
            return false;
        terminated = newText[length] == '\0';
        text.assign(newText, length);
        events.push_back("text");
        return true;
    }
    void ShowProgress(const char* progressText) override {
        events.push_back(std::string("progress ") + progressText);
    }
    void ShowMessage(const DumpMessage& message) override {
        events.push_back(std::string("message ") + message.text);
    }
    void* AllocateOutput(size_t bytes) override {
        allocatedBytes = bytes;
        return faults.allocation ? nullptr : DumpTarget::AllocateOutput(bytes);
    }
    bool ReleaseOutput(void* block) override {
        ++releases;
        return DumpTarget::ReleaseOutput(block) && !faults.release;
    }

    std::string text;
    std::vector<std::string> events; // "text", "progress ..." and "message ..." as they came
    size_t allocatedBytes = 0;
    int releases = 0;
    int setTextCalls = 0;
    bool terminated = false; // the last text came with its NUL
    TargetFaults faults;
};
