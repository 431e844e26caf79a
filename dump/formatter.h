// The dump formatter: turns the bytes of a module-info file into 103-character lines.
#pragma once

#include "dump/records.h"

#include <cstddef>
#include <cstdint>

constexpr size_t DumpLineLength = 103; // including the closing CR LF
constexpr uint32_t MaxModuleInfoLength = 32000000;

// Line geometry; columns count from 0.
constexpr size_t NumberLastColumn = 7;
constexpr size_t TagNameColumn = 10;
constexpr size_t SizeLastColumn = 29;
constexpr size_t HexColumn = 32;
constexpr size_t HexHighHalfColumn = 58; // bytes 8 to 15 of a line
constexpr size_t CharColumn = 84;

// 103 characters each; "T" in the continuation template keeps the previous line's character.
inline constexpr char HeaderLineTemplate[DumpLineLength + 1] =
    "00000000:               |00000|                         -                         |"
    "                  \r\n";
inline constexpr char ContinuationLineTemplate[DumpLineLength + 1] =
    "TTTTTTTT: TTTTTTTTTTTT  |     |                         -                         |"
    "                  \r\n";

enum Numeration {
    NUMERATION_SINGLE = 1, // one running line number
    NUMERATION_MULTI = 2,  // record number, and the sub-line in the size column
    NUMERATION_OFFSET = 3, // file offset of the line's first data byte
};

// The process-wide setting the viewer's Numeration menu changes; read at the start of every
// FormatModuleInfo run.
extern Numeration NumerationMode;

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

// Checks the size limit and the signature, builds the whole dump in one buffer and sets it as
// the target's text. On any failure the target's text is left as it was.
bool FormatModuleInfo(DumpTarget& target, const unsigned char* data, uint32_t length);

// Shows "Opened... N%" for how far `position` is into the data; `position` lies inside it, so
// `length` is never 0.
void ReportProgress(DumpTarget& target, const unsigned char* position, const unsigned char* data,
                    uint32_t length);

// Receives the dump lines in chunks of whole lines; returns false to stop the walk.
class DumpLineSink {
  public:
    virtual bool WriteLines(const char* lines, size_t bytes) = 0;

  protected:
    ~DumpLineSink() = default;
};

enum DumpWalkResult { DUMP_WALK_COMPLETE, DUMP_WALK_FORMAT_ERROR, DUMP_WALK_STOPPED };

// A run of a file's dump: the lines of the records from `from` up to `end` (where a record
// starts, or the file's length), numbered as in the dump of the whole file, without the first
// `skip` lines of the first record.
struct DumpRun {
    const unsigned char* data; // the whole file
    uint32_t end;
    RecordPosition from;
    uint32_t skip;
};

inline DumpRun WholeDump(const unsigned char* data, uint32_t length) {
    return {data, length, {}, 0};
}

// What the number column of a record's first line shows.
inline uint32_t NumberOfFirstLine(const Record& record, Numeration mode) {
    return mode == NUMERATION_SINGLE   ? record.at.line + 1
           : mode == NUMERATION_OFFSET ? record.at.offset + RecordHeaderSize
                                       : record.Number();
}

// The one line writer. Fills `buffer` with lines; when the next line would not fit it hands
// the full part to `sink` and starts again at the front. Without a sink a full buffer stops
// the walk. Stops at the first record that does not fit, after the lines before it. Progress
// goes to `progress` when given, measured against `run.end`. The file is at most
// MaxModuleInfoLength bytes, so that every number of the dump has at most eight digits.
DumpWalkResult WriteDumpLines(const DumpRun& run, Numeration mode, char* buffer, size_t capacity,
                              DumpLineSink* sink, DumpTarget* progress);
