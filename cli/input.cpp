#include "cli/input.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
using FileStatus = struct _stat64;
int StatusOfStream(std::FILE* stream, FileStatus& status) {
    return _fstat64(_fileno(stream), &status);
}
int StatusOfPath(const char* path, FileStatus& status) {
    return _stat64(path, &status);
}
bool IsRegular(const FileStatus& status) {
    return (status.st_mode & _S_IFMT) == _S_IFREG;
}
bool SameFileInformation(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& other) {
    BY_HANDLE_FILE_INFORMATION information{};
    return GetFileInformationByHandle(handle, &information) &&
           information.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
           information.nFileIndexHigh == other.nFileIndexHigh &&
           information.nFileIndexLow == other.nFileIndexLow;
}
// The C library knows no file identity here: the system's file index tells it.
bool IsSameRegularFile(std::FILE* stream, const char* path, const FileStatus& status) {
    BY_HANDLE_FILE_INFORMATION input{};
    HANDLE inputHandle = HANDLE(_get_osfhandle(_fileno(stream)));
    if (!IsRegular(status) || !GetFileInformationByHandle(inputHandle, &input))
        return false;
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    bool same = SameFileInformation(handle, input);
    CloseHandle(handle);
    return same;
}
// _isatty also answers yes for NUL and other character devices: only a console is a terminal.
bool IsTerminalDescriptor(int descriptor) {
    DWORD mode = 0;
    return GetConsoleMode(HANDLE(_get_osfhandle(descriptor)), &mode) != 0;
}
int DescriptorOf(std::FILE* stream) {
    return _fileno(stream);
}
#else
using FileStatus = struct stat;
int StatusOfStream(std::FILE* stream, FileStatus& status) {
    return fstat(fileno(stream), &status);
}
int StatusOfPath(const char* path, FileStatus& status) {
    return stat(path, &status);
}
bool IsRegular(const FileStatus& status) {
    return S_ISREG(status.st_mode);
}
bool IsSameRegularFile(std::FILE* stream, const char* /*path*/, const FileStatus& status) {
    FileStatus input{};
    return IsRegular(status) && fstat(fileno(stream), &input) == 0 &&
           input.st_dev == status.st_dev && input.st_ino == status.st_ino;
}
bool IsTerminalDescriptor(int descriptor) {
    return isatty(descriptor) != 0;
}
int DescriptorOf(std::FILE* stream) {
    return fileno(stream);
}
#endif

// Fresh pages are slow to back here: read into 4 KiB pages, a 32 MB input costs more in page
// faults than its whole dump costs to format. Where the system offers huge pages on request,
// the input buffer of a file asks for them. Freed with std::free either way.
unsigned char* AllocateInput(size_t bytes) {
#if defined(MADV_HUGEPAGE)
    constexpr size_t HugePage = size_t(2) << 20;
    if (bytes >= HugePage) {
        size_t rounded = (bytes + HugePage - 1) / HugePage * HugePage;
        void* block = std::aligned_alloc(HugePage, rounded);
        if (block)
            madvise(block, rounded, MADV_HUGEPAGE); // a hint: without it, plain pages
        return static_cast<unsigned char*>(block);
    }
#endif
    return static_cast<unsigned char*>(std::malloc(bytes));
}

unsigned char* GrowInput(unsigned char* bytes, size_t size) {
    void* grown = std::realloc(bytes, size);
    if (!grown)
        std::free(bytes);
    return static_cast<unsigned char*>(grown);
}

// Reads on from `got` until `capacity` bytes are in or the stream ends.
bool ReadUpTo(std::FILE* stream, unsigned char* bytes, size_t capacity, size_t& got, int& error) {
    while (got < capacity) {
        size_t read = std::fread(bytes + got, 1, capacity - got, stream);
        got += read;
        if (read == 0) {
            error = errno;
            return !std::ferror(stream);
        }
    }
    return true;
}

} // namespace

void FreeInput::operator()(unsigned char* bytes) const {
    std::free(bytes);
}

ReadOutcome ReadInput(std::FILE* stream, uint32_t limit, InputBytes& input, ReadFailure& failure) {
    FileStatus status{};
    // Some regular files (those of /proc, say) claim a size of 0 whatever they hold: read them
    // as a stream.
    bool sized = StatusOfStream(stream, status) == 0 && IsRegular(status) && status.st_size > 0;
    if (sized && uint64_t(status.st_size) > limit) {
        failure.fileSize = uint64_t(status.st_size);
        return READ_TOO_LARGE;
    }
    // A stream starts small and doubles up to one byte past the limit, which tells "exactly
    // the limit" from "more".
    constexpr size_t StreamStart = size_t(64) << 10;
    size_t most = sized ? size_t(status.st_size) : size_t(limit) + 1;
    size_t capacity = sized ? most : std::min(StreamStart, most);
    size_t got = 0;
    input.bytes.reset(AllocateInput(capacity + 1));
    while (input.bytes) {
        if (!ReadUpTo(stream, input.bytes.get(), capacity, got, failure.error))
            return READ_FAILED;
        if (got < capacity || capacity == most)
            break;
        capacity = std::min(capacity * 2, most);
        input.bytes.reset(GrowInput(input.bytes.release(), capacity + 1));
    }
    if (!input.bytes) {
        failure.error = ENOMEM;
        return READ_FAILED;
    }
    if (got > limit)
        return READ_TOO_LARGE;
    input.bytes[got] = 0;
    input.length = uint32_t(got);
    return READ_DONE;
}

bool IsTerminal(std::FILE* stream) {
    return IsTerminalDescriptor(DescriptorOf(stream));
}

bool IsSameFile(std::FILE* stream, const char* path) {
    FileStatus status{};
    return StatusOfPath(path, status) == 0 && IsSameRegularFile(stream, path, status);
}
