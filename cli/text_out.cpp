#include "cli/text_out.h"

#include <cstring>
#include <new>

TextOut::TextOut(Output& output) : output_(output), chunk_(new (std::nothrow) char[ChunkBytes]) {}

char* TextOut::Room(size_t bytes) {
    if (used_ + bytes > ChunkBytes && !Flush())
        return nullptr;
    char* at = chunk_.get() + used_;
    used_ += bytes;
    return at;
}

bool TextOut::Put(std::string_view text) {
    if (text.size() > ChunkBytes) // a record's data: written as it is
        return Flush() && WriteOutput(output_, text.data(), text.size());
    char* at = Room(text.size());
    if (at)
        std::memcpy(at, text.data(), text.size());
    return at != nullptr;
}

bool TextOut::Flush() {
    bool written = used_ == 0 || WriteOutput(output_, chunk_.get(), used_);
    used_ = 0;
    return written;
}

bool TextOut::WriteLines(const char* lines, size_t bytes) {
    return WriteOutput(output_, lines, bytes);
}
