// A DumpTarget that records every effect, in order, for the tests to compare.
#pragma once

#include "dump/formatter.h"

#include <string>
#include <vector>

struct RecordedMessage {
    std::string text;
    std::string caption;
    MessageIcon icon;
};

class RecordingTarget : public DumpTarget {
  public:
    explicit RecordingTarget(std::string initialText = {}) : text(std::move(initialText)) {}

    bool SetText(const char* newText, size_t length) override {
        ++setTextCalls;
        if (failSetText)
            return false;
        terminated = newText[length] == '\0';
        text.assign(newText, length);
        events.push_back("text");
        return true;
    }
    void ShowProgress(const char* progressText) override {
        progress.emplace_back(progressText);
        events.push_back(std::string("progress ") + progressText);
    }
    void ShowMessage(const DumpMessage& message) override {
        messages.push_back({message.text, message.caption, message.icon});
        events.push_back(std::string("message ") + message.text);
    }
    void* AllocateOutput(size_t bytes) override {
        allocatedBytes = bytes;
        if (failAllocation)
            return nullptr;
        return DumpTarget::AllocateOutput(bytes);
    }
    bool ReleaseOutput(void* block) override {
        ++releases;
        bool released = DumpTarget::ReleaseOutput(block);
        return released && !failRelease;
    }

    std::string text;
    std::vector<std::string> progress;
    std::vector<RecordedMessage> messages;
    std::vector<std::string> events; // text, progress and messages in the order they came
    size_t allocatedBytes = 0;
    int releases = 0;
    int setTextCalls = 0;
    bool terminated = false; // the last text came with its NUL
    bool failAllocation = false;
    bool failRelease = false;
    bool failSetText = false;
};
