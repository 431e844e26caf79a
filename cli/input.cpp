#include "cli/input.h"
#include "cli/win32_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
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
bool IsRegular(const FileStatus& status) {
    return (status.st_mode & _S_IFMT) == _S_IFREG;
}
// What tells one file from another: the volume (0 where the system does not say, as for the
// standard handles Wine makes of Unix descriptors) and the file's number on it.
struct FileIdentity {
    uint64_t volume = 0;
    unsigned char id[16] = {};
};

// The file index where the system gives it, or the 128-bit file id; false when neither can be
// read or what was read names no file.
bool ReadIdentity(HANDLE handle, bool fileIdInfo, FileIdentity& identity) {
    if (fileIdInfo) {
        FILE_ID_INFO information{};
        if (!GetFileInformationByHandleEx(handle, FileIdInfo, &information, sizeof information))
            return false;
        identity.volume = information.VolumeSerialNumber;
        std::memcpy(identity.id, information.FileId.Identifier, sizeof identity.id);
    } else {
        BY_HANDLE_FILE_INFORMATION information{};
        if (!GetFileInformationByHandle(handle, &information))
            return false;
        identity.volume = information.dwVolumeSerialNumber;
        uint64_t index = uint64_t(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
        std::memcpy(identity.id, &index, sizeof index);
    }
    return std::any_of(std::begin(identity.id), std::end(identity.id),
                       [](unsigned char byte) { return byte != 0; });
}

std::wstring FinalPath(HANDLE handle) {
    std::wstring path(32768, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()), 0);
    path.resize(length < path.size() ? length : 0);
    return path;
}

// Two disk files are told apart by their numbers, or else by their final paths. Where none of
// these can be read for both, nobody can tell: the caller refuses to write.
FileMatch MatchHandles(HANDLE one, HANDLE other) {
    if (GetFileType(one) != FILE_TYPE_DISK || GetFileType(other) != FILE_TYPE_DISK)
        return FILES_DIFFERENT; // a pipe or a console is never a file being written
    for (bool fileIdInfo : {true, false}) {
        FileIdentity a, b;
        if (!ReadIdentity(one, fileIdInfo, a) || !ReadIdentity(other, fileIdInfo, b))
            continue;
        bool sameVolume = a.volume == b.volume || a.volume == 0 || b.volume == 0;
        return sameVolume && std::memcmp(a.id, b.id, sizeof a.id) == 0 ? FILES_SAME
                                                                       : FILES_DIFFERENT;
    }
    std::wstring a = FinalPath(one), b = FinalPath(other);
    if (a.empty() || b.empty())
        return FILES_UNKNOWN;
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) ==
                   CSTR_EQUAL
               ? FILES_SAME
               : FILES_DIFFERENT;
}

HANDLE HandleOf(std::FILE* stream) {
    return HANDLE(_get_osfhandle(_fileno(stream)));
}

// Opened for its identity alone, which needs no right to read it.
HANDLE IdentityHandle(const char* path) {
    return CreateFileW(Wide(path).c_str(), 0,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

FileMatch MatchPath(std::FILE* stream, const char* path) {
    HANDLE handle = IdentityHandle(path);
    // Nothing there yet, or nothing the output can open either: it opens OUT as this does.
    if (handle == INVALID_HANDLE_VALUE)
        return FILES_DIFFERENT;
    FileMatch match = MatchHandles(HandleOf(stream), handle);
    CloseHandle(handle);
    return match;
}

FileMatch MatchPaths(const char* path, const char* other) {
    HANDLE one = IdentityHandle(path);
    HANDLE two = IdentityHandle(other);
    FileMatch match = one == INVALID_HANDLE_VALUE || two == INVALID_HANDLE_VALUE
                          ? FILES_DIFFERENT
                          : MatchHandles(one, two);
    for (HANDLE handle : {one, two})
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    return match;
}

FileMatch MatchStreams(std::FILE* one, std::FILE* other) {
    return MatchHandles(HandleOf(one), HandleOf(other));
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
bool IsRegular(const FileStatus& status) {
    return S_ISREG(status.st_mode);
}
FileMatch MatchStatus(std::FILE* stream, const FileStatus& other) {
    FileStatus input{};
    if (!IsRegular(other))
        return FILES_DIFFERENT;
    if (fstat(fileno(stream), &input) != 0)
        return FILES_UNKNOWN;
    return input.st_dev == other.st_dev && input.st_ino == other.st_ino ? FILES_SAME
                                                                        : FILES_DIFFERENT;
}
FileMatch MatchPath(std::FILE* stream, const char* path) {
    FileStatus status{};
    // A path that cannot be followed to a file (nothing there yet, a loop of links) is no
    // file being read, and the output finds the same trouble with it.
    if (stat(path, &status) != 0)
        return FILES_DIFFERENT;
    return MatchStatus(stream, status);
}
FileMatch MatchPaths(const char* path, const char* other) {
    FileStatus one{}, two{};
    if (stat(path, &one) != 0 || stat(other, &two) != 0 || !IsRegular(one))
        return FILES_DIFFERENT;
    return one.st_dev == two.st_dev && one.st_ino == two.st_ino ? FILES_SAME : FILES_DIFFERENT;
}
FileMatch MatchStreams(std::FILE* one, std::FILE* other) {
    FileStatus status{};
    if (fstat(fileno(other), &status) != 0)
        return errno == EBADF ? FILES_DIFFERENT : FILES_UNKNOWN; // closed: nothing is written
    return MatchStatus(one, status);
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

std::FILE* OpenInputFile(const char* path) {
#ifdef _WIN32
    std::FILE* stream = _wfopen(Wide(path).c_str(), L"rb");
    DWORD attributes = stream ? 0 : GetFileAttributesW(Wide(path).c_str());
    if (!stream && errno == EACCES && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
        errno = EISDIR;
    return stream;
#else
    std::FILE* stream = std::fopen(path, "rb");
    FileStatus status{};
    if (stream && fstat(fileno(stream), &status) == 0 && S_ISDIR(status.st_mode)) {
        std::fclose(stream);
        stream = nullptr;
        errno = EISDIR;
    }
    return stream;
#endif
}

bool IsTerminal(std::FILE* stream) {
    return IsTerminalDescriptor(DescriptorOf(stream));
}

FileMatch IsSameFile(std::FILE* stream, const char* path) {
    return MatchPath(stream, path);
}

FileMatch IsSameFile(const char* path, const char* other) {
    return MatchPaths(path, other);
}

FileMatch IsSameFile(std::FILE* stream, std::FILE* other) {
    return MatchStreams(stream, other);
}
