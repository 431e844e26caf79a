#include "cli/io.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

enum PathKind { PATH_MISSING, PATH_REGULAR, PATH_OTHER };

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
constexpr const char* PathSeparators = "/\\:";
bool MayWrite(const char* path) {
    return _access(path, 2) == 0;
}
int CreateExclusive(const char* path, int /*mode*/) {
    return _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int ProcessId() {
    return _getpid();
}
std::FILE* StreamOfDescriptor(int descriptor) {
    return _fdopen(descriptor, "wb");
}
void CloseDescriptor(int descriptor) {
    _close(descriptor);
}
// rename() refuses to replace an existing file on Windows.
bool ReplaceFile(const std::string& from, const std::string& to, std::string& failure) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    failure = "cannot replace the file (Windows error " + std::to_string(GetLastError()) + ")";
    return false;
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
constexpr const char* PathSeparators = "/";
bool MayWrite(const char* path) {
    return access(path, W_OK) == 0;
}
int CreateExclusive(const char* path, int mode) {
    return open(path, O_WRONLY | O_CREAT | O_EXCL, mode);
}
int ProcessId() {
    return int(getpid());
}
std::FILE* StreamOfDescriptor(int descriptor) {
    return fdopen(descriptor, "wb");
}
void CloseDescriptor(int descriptor) {
    close(descriptor);
}
bool ReplaceFile(const std::string& from, const std::string& to, std::string& failure) {
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    failure = std::strerror(errno);
    return false;
}
#endif

// Beside the target, so that the rename stays within one file system, and short, so that a
// target path close to MAX_PATH characters (which the Windows calls refuse) leaves room for it.
std::string TemporaryPath(const std::string& target, int attempt) {
    size_t separator = target.find_last_of(PathSeparators);
    std::string folder = separator == std::string::npos ? "" : target.substr(0, separator + 1);
    return folder + "~qd" + std::to_string(ProcessId()) + "-" + std::to_string(attempt) + ".tmp";
}

// Fresh pages are slow to back here: read into 4 KiB pages, a 32 MB input costs more in page
// faults than its whole dump costs to format. Where the system offers huge pages on request,
// the input buffer asks for them. Freed with std::free either way.
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

PathKind KindOfPath(const char* path, FileStatus& status) {
    if (StatusOfPath(path, status) != 0)
        return PATH_MISSING;
    return IsRegular(status) ? PATH_REGULAR : PATH_OTHER;
}

// Reads until `capacity` bytes are in or the stream ends.
bool ReadUpTo(std::FILE* stream, unsigned char* bytes, size_t capacity, size_t& got, int& error) {
    got = 0;
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

bool Fail(Output& output) {
    if (output.error == 0 && output.failure.empty())
        output.error = errno;
    return false;
}

} // namespace

void FreeInput::operator()(unsigned char* bytes) const {
    std::free(bytes);
}

ReadOutcome ReadInput(std::FILE* stream, uint32_t limit, InputBytes& input, int& error) {
    FileStatus status{};
    // Some regular files (those of /proc, say) claim a size of 0 whatever they hold: read them
    // as a stream.
    bool regular = StatusOfStream(stream, status) == 0 && IsRegular(status) && status.st_size > 0;
    if (regular && uint64_t(status.st_size) > limit)
        return READ_TOO_LARGE;
    // A stream gets room for one byte past the limit, to tell "exactly the limit" from "more";
    // pages the read never reaches are never touched and cost nothing.
    size_t capacity = regular ? size_t(status.st_size) : size_t(limit) + 1;
    input.bytes.reset(AllocateInput(capacity + 1));
    if (!input.bytes) {
        error = ENOMEM;
        return READ_FAILED;
    }
    size_t got = 0;
    if (!ReadUpTo(stream, input.bytes.get(), capacity, got, error))
        return READ_FAILED;
    if (got > limit)
        return READ_TOO_LARGE;
    input.bytes[got] = 0;
    input.length = uint32_t(got);
    return READ_DONE;
}

bool OpenOutput(const char* target, Output& output) {
    if (!target) {
        output.stream = stdout;
        return true;
    }
    output.target = target;
    FileStatus status{};
    PathKind kind = KindOfPath(target, status);
    if (kind == PATH_OTHER) {
        // A device or a pipe cannot be replaced, only written to (and a directory is refused).
        output.stream = std::fopen(target, "wb");
        return output.stream || Fail(output);
    }
    // Renaming the temporary over the target needs only the folder's permission; a target that
    // is not to be written keeps its bytes all the same. No write bit at all counts too, as it
    // does on Windows, where even an administrator cannot write a read-only file.
    if (kind == PATH_REGULAR && (!MayWrite(target) || (status.st_mode & 0222) == 0)) {
        output.error = EACCES;
        return false;
    }
    int mode = kind == PATH_REGULAR ? int(status.st_mode & 0777) : 0666;
    for (int attempt = 0; attempt < 100; ++attempt) {
        output.temporary = TemporaryPath(output.target, attempt);
        int descriptor = CreateExclusive(output.temporary.c_str(), mode);
        if (descriptor < 0 && errno == EEXIST)
            continue;
        if (descriptor < 0)
            break;
        output.stream = StreamOfDescriptor(descriptor);
        if (output.stream)
            return true;
        Fail(output);
        CloseDescriptor(descriptor);
        std::remove(output.temporary.c_str());
        output.temporary.clear();
        return false;
    }
    Fail(output);
    output.temporary.clear();
    return false;
}

bool WriteOutput(Output& output, const char* bytes, size_t count) {
    return std::fwrite(bytes, 1, count, output.stream) == count || Fail(output);
}

bool FinishOutput(Output& output) {
    bool written = std::fflush(output.stream) == 0 || Fail(output);
    written = !std::ferror(output.stream) && written;
    std::FILE* stream = output.stream;
    output.stream = nullptr;
    // Closing reports what the last writes could not (a full disk, a failed network write).
    written = (std::fclose(stream) == 0 || Fail(output)) && written;
    if (written && !output.temporary.empty())
        written = ReplaceFile(output.temporary, output.target, output.failure) || Fail(output);
    if (!written) {
        AbandonOutput(output);
        return false;
    }
    output.temporary.clear();
    return true;
}

void AbandonOutput(Output& output) {
    if (output.stream && output.stream != stdout)
        std::fclose(output.stream);
    output.stream = nullptr;
    if (!output.temporary.empty())
        std::remove(output.temporary.c_str());
    output.temporary.clear();
}

std::string OutputFailureText(const Output& output) {
    if (!output.failure.empty())
        return output.failure;
    return std::strerror(output.error ? output.error : EIO);
}
