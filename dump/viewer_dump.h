// The viewer's dump of a whole file: the size limit and the signature checked, the dump built
// in one block and handed to the viewer's document with its progress and messages.
#pragma once

#include "dump/line_writer.h"

#include <cstddef>
#include <cstdint>

enum MessageIcon { MESSAGE_ICON_NONE, MESSAGE_ICON_INFORMATION, MESSAGE_ICON_ERROR };

struct DumpMessage {
    const char* text;
    const char* caption;
    MessageIcon icon;
};

enum DumpFailure {
    DUMP_TOO_LARGE,
    DUMP_NO_SIGNATURE,
    DUMP_ALLOCATION_FAILED,
    DUMP_FORMAT_ERROR,
    DUMP_FREE_FAILED,
    DUMP_FAILURE_COUNT
};
extern const DumpMessage DumpFailureMessages[DUMP_FAILURE_COUNT];

// Where FormatModuleInfo delivers its effects: the viewer plugs in its edit control, status
// bar and message boxes, the tests plug in recorders.
class DumpTarget {
  public:
    // Replaces the whole text; `text` is NUL-terminated at `length`.
    virtual bool SetText(const char* text, size_t length) = 0;
    virtual void ShowProgress(const char* text) = 0;
    virtual void ShowMessage(const DumpMessage& message) = 0;
    // A zero-filled block for the dump text, or nullptr. Plain calloc unless overridden.
    virtual void* AllocateOutput(size_t bytes);
    // False when the block could not be released.
    virtual bool ReleaseOutput(void* block);

  protected:
    ~DumpTarget() = default;
};

// Checks the size limit and the signature, builds the whole dump in `mode` in one buffer and
// sets it as the target's text, with "Opened... N%" shown as it goes. On any failure the
// target's text is left as it was.
bool FormatModuleInfo(DumpTarget& target, const unsigned char* data, uint32_t length,
                      Numeration mode);
