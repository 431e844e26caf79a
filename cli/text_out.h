// Text on its way to the output: gathered in one chunk and written whole lines at a time, so
// that writes cost nothing next to the formatting and memory does not grow with the output.
#pragma once

#include "cli/output.h"
#include "dump/diff_hunks.h"
#include "dump/line_writer.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

class TextOut final : public DumpLineSink, public MarkedLineRoom {
  public:
    static constexpr size_t ChunkBytes = 8192 * DumpLineLength;

    // The chunk is taken here, before the output is opened, so that running out of memory
    // leaves no file behind.
    explicit TextOut(Output& output);
    // Text kept in `memory` instead, for a file worked on apart, up to `limit` bytes: more is
    // refused as a failed write, and Overflowed() tells it from memory running out.
    TextOut(std::string& memory, size_t limit);
    bool Overflowed() const { return overflowed_; }
    bool Ready() const { return chunk_ != nullptr; }

    // Room for `bytes` (at most ChunkBytes) more; null when writing what was there failed.
    char* Room(size_t bytes) override;
    bool Put(std::string_view text);
    bool Flush();

    // The dump's line writer fills the chunk itself and hands it here whole, to go straight
    // to the output; nothing else is put meanwhile.
    char* Chunk() { return chunk_.get(); }
    bool WriteLines(const char* lines, size_t bytes) override;

  private:
    bool Send(const char* bytes, size_t count);

    Output* output_ = nullptr;
    std::string* memory_ = nullptr;
    size_t limit_ = 0;
    bool overflowed_ = false;
    std::unique_ptr<char[]> chunk_;
    size_t used_ = 0;
};
