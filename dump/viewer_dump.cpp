#include "dump/viewer_dump.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

const DumpMessage DumpFailureMessages[DUMP_FAILURE_COUNT] = {
    {"Don't parse file greather than 32 MB.", "Error", MESSAGE_ICON_INFORMATION},
    {"No QEF format.", "Error", MESSAGE_ICON_ERROR},
    {"Memory allocation error.", "Error", MESSAGE_ICON_NONE},
    {"QEF format error.", "Error", MESSAGE_ICON_ERROR},
    {"Memory free error.", "Error", MESSAGE_ICON_NONE},
};

void* DumpTarget::AllocateOutput(size_t bytes) {
    return std::calloc(bytes, 1);
}

bool DumpTarget::ReleaseOutput(void* block) {
    std::free(block);
    return true;
}

namespace {

// "Opened... N%" in the target's status for how far the walk has come.
class ProgressText final : public DumpProgress {
  public:
    explicit ProgressText(DumpTarget& target) : target_(target) {}

    void Reached(uint32_t offset, uint32_t end) override {
        // Wide arithmetic so that no length, however large, can wrap the percentage.
        uint64_t percent = uint64_t(offset) * 100 / end;
        char text[32] = "Opened... ";
        char* last = std::to_chars(text + 10, text + sizeof text - 2, percent).ptr;
        last[0] = '%';
        last[1] = '\0';
        target_.ShowProgress(text);
    }

  private:
    DumpTarget& target_;
};

} // namespace

bool FormatModuleInfo(DumpTarget& target, const unsigned char* data, uint32_t length,
                      Numeration mode) {
    if (length > MaxModuleInfoLength) {
        target.ShowMessage(DumpFailureMessages[DUMP_TOO_LARGE]);
        return false;
    }
    if (!IsModuleInfoFile(data, length)) {
        target.ShowMessage(DumpFailureMessages[DUMP_NO_SIGNATURE]);
        return false;
    }
    // Sized by a pass over the headers alone; the walk below formats exactly these lines.
    uint64_t textLength = uint64_t(PlanDump(data, length).next.line) * DumpLineLength;
    char* text = textLength < SIZE_MAX
                     ? static_cast<char*>(target.AllocateOutput(size_t(textLength) + 1))
                     : nullptr;
    if (!text) {
        target.ShowMessage(DumpFailureMessages[DUMP_ALLOCATION_FAILED]);
        return false;
    }
    bool shown = false;
    ProgressText progress(target);
    if (WriteDumpLines(WholeDump(data, length), mode, text, size_t(textLength), nullptr,
                       &progress) == DUMP_WALK_COMPLETE) {
        text[textLength] = '\0';
        shown = target.SetText(text, size_t(textLength));
    } else {
        target.ShowMessage(DumpFailureMessages[DUMP_FORMAT_ERROR]);
    }
    if (!target.ReleaseOutput(text))
        target.ShowMessage(DumpFailureMessages[DUMP_FREE_FAILED]);
    return shown;
}
