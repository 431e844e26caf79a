#include "cli/text_out.h"

#include <cstring>
#include <new>

TextOut::TextOut(Output& output) : output_(&output), chunk_(new (std::nothrow) char[ChunkBytes]) {}

TextOut::TextOut(std::string& memory, size_t limit)
    : memory_(&memory), limit_(limit), chunk_(new (std::nothrow) char[ChunkBytes]) {}

bool TextOut::Send(const char* bytes, size_t count) {
    if (!memory_)
        return WriteOutput(*output_, bytes, count);
    overflowed_ = overflowed_ || count > limit_ - memory_->size();
    if (overflowed_)
        return false;
    try {
        memory_->append(bytes, count);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

char* TextOut::Room(size_t bytes) {
    if (used_ + bytes > ChunkBytes && !Flush())
        return nullptr;
    char* at = chunk_.get() + used_;
    used_ += bytes;
    return at;
}

bool TextOut::Put(std::string_view text) {
    if (text.size() > ChunkBytes) // a record's data: written as it is
        return Flush() && Send(text.data(), text.size());
    char* at = Room(text.size());
    if (at)
        std::memcpy(at, text.data(), text.size());
    return at != nullptr;
}

bool TextOut::Flush() {
    bool written = used_ == 0 || Send(chunk_.get(), used_);
    used_ = 0;
    return written;
}

bool TextOut::WriteLines(const char* lines, size_t bytes) {
    return Send(lines, bytes);
}
