// A DumpTarget that records every effect, in order, for the tests to compare.
#pragma once

#include "dump/viewer_dump.h"

#include <string>

// Which of the target's own steps fail.
struct TargetFaults {
    bool allocation = false, release = false, setText = false;
};

class RecordingTarget : public DumpTarget {
  public:
    explicit RecordingTarget(std::string initialText = {}) : text(std::move(initialText)) {}

    bool SetText(const char* newText, size_t length) override {
        events += faults.setText ? "[text refused]" : newText[length] ? "[text, no NUL]" : "[text]";
        if (!faults.setText)
            text.assign(newText, length);
        return !faults.setText;
    }
    void ShowProgress(const char* progressText) override {
        events += "[progress " + std::string(progressText) + "]";
    }
    void ShowMessage(const DumpMessage& message) override {
        events += "[message " + std::string(message.text) + "]";
    }
    void* AllocateOutput(size_t bytes) override {
        events += "[allocate " + std::to_string(bytes) + "]";
        return faults.allocation ? nullptr : DumpTarget::AllocateOutput(bytes);
    }
    bool ReleaseOutput(void* block) override {
        events += "[release]";
        return DumpTarget::ReleaseOutput(block) && !faults.release;
    }

    std::string text;
    std::string events; // each call in order: "[allocate N][progress ...][text][release]"
    TargetFaults faults;
};
