#include "cli/io.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
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

// The signals that end the program, after the temporary is removed.
#ifdef SIGHUP
constexpr int CleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
#else
constexpr int CleanupSignals[] = {SIGINT, SIGTERM};
#endif

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
void RemovePath(const char* path) {
    _unlink(path);
}
// rename() refuses to replace an existing file on Windows.
bool MoveIntoPlace(const std::string& from, const std::string& to, std::string& failure) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    failure = "cannot replace the file (Windows error " + std::to_string(GetLastError()) + ")";
    return false;
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
// Windows has no symbolic links that this program follows, no owners and no hard links worth
// keeping apart, and nothing to hold signals with.
std::string LinkedFile(const char* path) {
    return path;
}
bool MustWriteInPlace(const std::string& /*file*/, const FileStatus& /*status*/) {
    return false;
}
void KeepOwnerAndMode(int /*descriptor*/, const FileStatus& /*status*/) {}
struct HeldSignals {};
HeldSignals HoldSignals() {
    return {};
}
void ReleaseSignals(const HeldSignals& /*held*/) {}
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
void RemovePath(const char* path) {
    unlink(path);
}
bool MoveIntoPlace(const std::string& from, const std::string& to, std::string& failure) {
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    failure = std::strerror(errno);
    return false;
}
bool IsSameEntry(const FileStatus& one, const FileStatus& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}
bool IsSameRegularFile(std::FILE* stream, const char* /*path*/, const FileStatus& status) {
    FileStatus input{};
    return IsRegular(status) && fstat(fileno(stream), &input) == 0 && IsSameEntry(input, status);
}
bool IsTerminalDescriptor(int descriptor) {
    return isatty(descriptor) != 0;
}
int DescriptorOf(std::FILE* stream) {
    return fileno(stream);
}
// With its closing slash; empty for a name in the current folder.
std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}
// The file at the end of a chain of symbolic links: the temporary goes beside it, and every
// link stays a link. A dangling link ends at the file it would name.
std::string LinkedFile(const char* path) {
    std::string file = path;
    std::string link(4096, '\0');
    for (int hop = 0; hop < 40; ++hop) {
        ssize_t length = readlink(file.c_str(), link.data(), link.size());
        if (length <= 0)
            break;
        // A relative link is relative to its own folder.
        file = link[0] == '/' ? std::string() : FolderOf(file);
        file.append(link, 0, size_t(length));
    }
    return file;
}
// Replacing would part the file from its other names, or, in a sticky folder where this user
// owns neither the file nor the folder, be refused only once the whole dump is written. A
// chain ending elsewhere than the file itself (a link of /proc to an open file, say) cannot be
// replaced either.
bool MustWriteInPlace(const std::string& file, const FileStatus& status) {
    FileStatus entry{};
    FileStatus folder{};
    if (lstat(file.c_str(), &entry) != 0 || !IsSameEntry(entry, status) || status.st_nlink > 1)
        return true;
    uid_t user = geteuid();
    std::string folderPath = FolderOf(file);
    return stat(folderPath.empty() ? "." : folderPath.c_str(), &folder) == 0 &&
           (folder.st_mode & S_ISVTX) != 0 && user != 0 && status.st_uid != user &&
           folder.st_uid != user;
}
// What cp keeps: the owner and group where this process may set them (failures are expected
// and change nothing), and the permission bits exactly, not through the umask.
void KeepOwnerAndMode(int descriptor, const FileStatus& status) {
    if (fchown(descriptor, status.st_uid, status.st_gid) != 0 &&
        fchown(descriptor, uid_t(-1), status.st_gid) != 0)
        errno = 0; // neither may be given: the file stays this process's, as with cp
    (void)fchmod(descriptor, status.st_mode & 0777);
}
// Between creating the temporary and recording its name a signal would leave it behind.
struct HeldSignals {
    sigset_t before;
};
HeldSignals HoldSignals() {
    HeldSignals held{};
    sigset_t set{};
    sigemptyset(&set);
    for (int number : CleanupSignals)
        sigaddset(&set, number);
    sigprocmask(SIG_BLOCK, &set, &held.before);
    return held;
}
void ReleaseSignals(const HeldSignals& held) {
    sigprocmask(SIG_SETMASK, &held.before, nullptr);
}
#endif

// The temporary being written, where the signal handler can reach it.
const char* volatile TemporaryToRemove = nullptr;

extern "C" void RemoveTemporaryAndEnd(int number) {
    if (const char* path = TemporaryToRemove)
        RemovePath(path);
    std::signal(number, SIG_DFL);
    std::raise(number); // ends the program with the status the signal gives
}

// A signal the caller ignores stays ignored.
void CatchCleanupSignals() {
    for (int number : CleanupSignals)
        if (std::signal(number, RemoveTemporaryAndEnd) == SIG_IGN)
            std::signal(number, SIG_IGN);
}

// Beside the target, so that the rename stays within one file system, and named after it, so
// that what a killed run leaves behind tells what it belonged to.
std::string TemporaryPath(const std::string& target, int attempt) {
    return target + ".qefdump-" + std::to_string(ProcessId()) + "-" + std::to_string(attempt);
}

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

bool Fail(Output& output) {
    if (output.error == 0 && output.failure.empty())
        output.error = errno;
    return false;
}

void ForgetTemporary(Output& output) {
    TemporaryToRemove = nullptr;
    output.temporary.clear();
}

// False when the target's folder cannot take a temporary; the target is then written in place.
bool OpenTemporary(Output& output, const FileStatus* existing) {
    CatchCleanupSignals();
    HeldSignals held = HoldSignals();
    int descriptor = -1;
    for (int attempt = 0; attempt < 100 && descriptor < 0; ++attempt) {
        output.temporary = TemporaryPath(output.target, attempt);
        descriptor = CreateExclusive(output.temporary.c_str(),
                                     existing ? int(existing->st_mode & 0777) : 0666);
        if (descriptor < 0 && errno != EEXIST)
            break;
    }
    if (descriptor >= 0)
        TemporaryToRemove = output.temporary.c_str();
    ReleaseSignals(held);
    if (descriptor < 0) {
        ForgetTemporary(output);
        return false;
    }
    if (existing)
        KeepOwnerAndMode(descriptor, *existing);
    output.stream = StreamOfDescriptor(descriptor);
    if (output.stream)
        return true;
    CloseDescriptor(descriptor);
    RemovePath(output.temporary.c_str());
    ForgetTemporary(output);
    return false;
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

bool OpenOutput(const char* target, Output& output) {
    if (!target) {
        output.stream = stdout;
        return true;
    }
    FileStatus status{};
    bool exists = StatusOfPath(target, status) == 0;
    // Renaming the temporary over the target needs only the folder's permission; a target that
    // is not to be written keeps its bytes all the same. No write bit at all counts too, as it
    // does on Windows, where even an administrator cannot write a read-only file.
    if (exists && IsRegular(status) && (!MayWrite(target) || (status.st_mode & 0222) == 0)) {
        output.error = EACCES;
        return false;
    }
    output.target = LinkedFile(target);
    bool replace = !exists || (IsRegular(status) && !MustWriteInPlace(output.target, status));
    if (replace && OpenTemporary(output, exists ? &status : nullptr))
        return true;
    // Terminals, pipes, devices (and /dev/stdout and its kin, links to those) are written to.
    output.stream = std::fopen(target, "wb");
    return output.stream || Fail(output);
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
        written = MoveIntoPlace(output.temporary, output.target, output.failure) || Fail(output);
    if (!written) {
        AbandonOutput(output);
        return false;
    }
    ForgetTemporary(output);
    return true;
}

void AbandonOutput(Output& output) {
    if (output.stream && output.stream != stdout)
        std::fclose(output.stream);
    output.stream = nullptr;
    if (!output.temporary.empty())
        RemovePath(output.temporary.c_str());
    ForgetTemporary(output);
}

std::string OutputFailureText(const Output& output) {
    if (!output.failure.empty())
        return output.failure;
    return std::strerror(output.error ? output.error : EIO);
}
