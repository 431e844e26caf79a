// The output on POSIX systems: OUT's links followed to the file they name, names of the
// program's own descriptors written through them, a private temporary renamed over OUT, and the
// signals that would leave that temporary behind caught.
#include "cli/output.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Each of these signals ends the program by default: the temporary is removed first, then the
// program ends as the signal would have ended it.
constexpr int CleanupSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM,   SIGALRM,
                                  SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF};

// The temporary while it exists, where the signal handler can reach it.
const char* volatile TemporaryToRemove = nullptr;

extern "C" void RemoveTemporaryAndEnd(int number) {
    if (const char* path = TemporaryToRemove)
        unlink(path);
    std::signal(number, SIG_DFL);
    std::raise(number); // delivered as the handler returns, with the status the signal gives
}

// Installed once. Each disposition is asked first, so that a signal ignored from the start
// (nohup) is never caught, not even for a moment.
void CatchCleanupSignals() {
    static bool caught = false;
    if (caught)
        return;
    caught = true;
    struct sigaction action {};
    action.sa_handler = RemoveTemporaryAndEnd;
    sigemptyset(&action.sa_mask);
    for (int number : CleanupSignals)
        sigaddset(&action.sa_mask, number); // one cleanup at a time
    for (int number : CleanupSignals) {
        struct sigaction before {};
        if (sigaction(number, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            sigaction(number, &action, nullptr);
    }
}

// Past the file-size limit a write then fails with EFBIG instead of ending the program, and is
// reported and cleaned up like any other failure.
void IgnoreFileSizeSignal() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

// While the temporary is created and its name recorded, or OUT is between its old content and
// its reserved room, a signal would leave something behind.
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
    int error = errno;
    sigprocmask(SIG_SETMASK, &held.before, nullptr);
    errno = error;
}

bool Fail(Output& output) {
    if (output.error == 0 && output.failure.empty())
        output.error = errno ? errno : EIO;
    return false;
}

bool IsSameEntry(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// With its closing slash; empty for a name in the current folder.
std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// The descriptor that `path` names when it is an entry of this process's descriptor folder
// (/proc/self/fd/N, and so /dev/fd/N and /dev/stdout); -1 otherwise.
int DescriptorNamed(const std::string& path) {
    std::string folder = FolderOf(path);
    const char* digits = path.c_str() + folder.size();
    const char* end = path.c_str() + path.size();
    int number = -1;
    if (digits == end || std::from_chars(digits, end, number).ptr != end || number < 0)
        return -1;
    struct stat entries {};
    struct stat own {};
    if (stat(folder.empty() ? "." : folder.c_str(), &entries) != 0)
        return -1;
    for (const char* descriptors : {"/proc/self/fd", "/proc/thread-self/fd"})
        if (stat(descriptors, &own) == 0 && IsSameEntry(own, entries))
            return number;
    return -1;
}

// Follows the chain of symbolic links from `path` to the file at its end, so that a
// replacement goes beside that file and every link stays a link (a dangling chain ends at the
// file it would name), or to the name of one of this program's descriptors.
bool FollowLinks(const char* path, std::string& file, int& descriptor) {
    file = path;
    std::string link(PATH_MAX, '\0');
    for (int hop = 0; hop <= 40; ++hop) {
        descriptor = DescriptorNamed(file);
        if (descriptor >= 0)
            return true;
        ssize_t length = readlink(file.c_str(), link.data(), link.size());
        if (length < 0)
            return errno == EINVAL || errno == ENOENT; // not a link, or nothing there yet
        if (size_t(length) == link.size()) {
            errno = ENAMETOOLONG;
            return false;
        }
        // A relative link is relative to its own folder.
        file = link[0] == '/' ? std::string() : FolderOf(file);
        file.append(link, 0, size_t(length));
    }
    errno = ELOOP;
    return false;
}

bool OpenStream(int descriptor, Output& output) {
    output.stream = fdopen(descriptor, "wb");
    if (output.stream)
        return true;
    int error = errno;
    close(descriptor);
    errno = error;
    return Fail(output);
}

// Written where the descriptor stands, appending where it appends, as standard output is.
bool OpenDescriptor(int descriptor, Output& output) {
    int flags = fcntl(descriptor, F_GETFL);
    if (flags < 0)
        return Fail(output);
    if ((flags & O_ACCMODE) == O_RDONLY) {
        output.failure = "descriptor " + std::to_string(descriptor) + " is open for reading only";
        return false;
    }
    int copy = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    return copy >= 0 ? OpenStream(copy, output) : Fail(output);
}

// The room for the output is taken while the old content is still there, so that a full disk
// is found before anything is lost, and kept: the output is written over the old content, and
// the file cut to its length at the end. A reservation that failed part-way is cut off again.
// Signals wait meanwhile: the reservation may lengthen OUT with zeros.
bool ReserveRoom(int descriptor, off_t size, uint64_t length) {
    if (length == 0)
        return true;
    HeldSignals held = HoldSignals();
    int error = posix_fallocate(descriptor, 0, off_t(length));
    // A file system that cannot reserve is written without.
    bool reserved = error == 0 || error == EINVAL || error == EOPNOTSUPP || error == ENOSYS;
    struct stat now {};
    if (!reserved && fstat(descriptor, &now) == 0 && now.st_size != size &&
        ftruncate(descriptor, size) != 0)
        error = errno; // OUT could not be cut back: that is the failure to tell
    if (!reserved)
        errno = error;
    ReleaseSignals(held);
    return reserved;
}

// A regular file that cannot be replaced whole, or anything else that is not a regular file.
bool WriteInPlace(const std::string& file, uint64_t length, Output& output) {
    int descriptor = open(file.c_str(), O_WRONLY | O_CLOEXEC);
    if (descriptor < 0)
        return Fail(output);
    struct stat status {};
    bool failed = fstat(descriptor, &status) != 0;
    output.inPlace = !failed && S_ISREG(status.st_mode);
    if (failed || (output.inPlace && !ReserveRoom(descriptor, status.st_size, length))) {
        int error = errno;
        close(descriptor);
        errno = error;
        return Fail(output);
    }
    return OpenStream(descriptor, output);
}

// An OUT written over in place ends where the output ends.
bool CutToOutput(Output& output) {
    off_t end = ftello(output.stream);
    return end >= 0 && ftruncate(fileno(output.stream), end) == 0;
}

// Renaming over OUT needs only the folder's permission; OUT that may not be written keeps its
// bytes all the same. No write bit at all counts too, as on Windows, where not even an
// administrator writes a read-only file. On a read-only file system the system says so.
bool MayWrite(const std::string& file, const struct stat& status) {
    if (faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0)
        return false;
    if ((status.st_mode & 0222) == 0) {
        errno = EACCES;
        return false;
    }
    return true;
}

// Replacing would part the file from its other names; a chain ending elsewhere than the file
// itself (a link of /proc to another process's file) does not name it.
bool CanReplace(const std::string& file, const struct stat& status) {
    struct stat entry {};
    return status.st_nlink == 1 && lstat(file.c_str(), &entry) == 0 && IsSameEntry(entry, status);
}

// Beside the target, so that the rename stays within one file system, and named after it and
// this process, so that what a killed run leaves tells what it belonged to. The end is random,
// so that nobody can take the name beforehand; a name too long gives way to a short one.
int CreateTemporary(const std::string& target, std::string& temporary) {
    std::string suffix = ".qefdump-" + std::to_string(getpid()) + "-XXXXXX";
    for (const std::string& name : {target + suffix, FolderOf(target) + suffix}) {
        temporary = name;
        int descriptor = mkstemp(temporary.data()); // private: 0600
        if (descriptor >= 0 || errno != ENAMETOOLONG)
            return descriptor;
    }
    return -1;
}

void ForgetTemporary(Output& output) {
    TemporaryToRemove = nullptr;
    output.temporary.clear();
}

void RemoveTemporary(Output& output) {
    if (!output.temporary.empty())
        unlink(output.temporary.c_str());
    ForgetTemporary(output);
}

// The owner and group first, while only the owner can read it, so that no bit ever applies to
// a group that did not have it; then the whole mode, as fchown clears set-group-id.
int KeepOwnerAndMode(int descriptor, const struct stat& status) {
    if (fchown(descriptor, status.st_uid, status.st_gid) != 0)
        return errno;
    return fchmod(descriptor, status.st_mode & 07777) == 0 ? 0 : errno;
}

// What creat() would have given a new file.
int GiveNewFileMode(int descriptor) {
    mode_t mask = umask(0);
    umask(mask);
    return fchmod(descriptor, 0666 & ~mask) == 0 ? 0 : errno;
}

enum TemporaryOutcome { TEMPORARY_OPEN, TEMPORARY_REFUSED, TEMPORARY_FAILED };

// REFUSED when an existing OUT cannot be replaced by this user: its folder takes no new file,
// or a replacement could not have OUT's owner and group, which would take it from its owner or
// hand its group's bits to another group. OUT is then written in place.
TemporaryOutcome OpenTemporary(const std::string& target, const struct stat* existing,
                               Output& output) {
    CatchCleanupSignals();
    HeldSignals held = HoldSignals();
    int descriptor = CreateTemporary(target, output.temporary);
    if (descriptor >= 0)
        TemporaryToRemove = output.temporary.c_str();
    ReleaseSignals(held);
    int error = errno;
    if (descriptor >= 0) {
        error = existing ? KeepOwnerAndMode(descriptor, *existing) : GiveNewFileMode(descriptor);
        if (error == 0 && OpenStream(descriptor, output))
            return TEMPORARY_OPEN;
        if (error != 0)
            close(descriptor);
        error = error != 0 ? error : output.error;
        RemoveTemporary(output);
    } else {
        output.temporary.clear();
    }
    if (existing && (error == EACCES || error == EPERM)) {
        output.error = 0;
        return TEMPORARY_REFUSED;
    }
    output.error = error;
    return TEMPORARY_FAILED;
}

} // namespace

bool OpenOutput(const char* target, uint64_t length, Output& output) {
    IgnoreFileSizeSignal();
    if (!target) {
        output.stream = stdout;
        return true;
    }
    struct stat status {};
    bool exists = stat(target, &status) == 0;
    int descriptor = -1;
    // A loop of links, a folder that cannot be searched: nothing is made in their place.
    if ((!exists && errno != ENOENT) || !FollowLinks(target, output.target, descriptor))
        return Fail(output);
    if (descriptor >= 0)
        return OpenDescriptor(descriptor, output);
    if (!exists)
        return OpenTemporary(output.target, nullptr, output) == TEMPORARY_OPEN;
    if (!S_ISREG(status.st_mode))
        return WriteInPlace(output.target, 0, output); // terminals, pipes, devices
    if (!MayWrite(output.target, status))
        return Fail(output);
    TemporaryOutcome outcome = CanReplace(output.target, status)
                                   ? OpenTemporary(output.target, &status, output)
                                   : TEMPORARY_REFUSED;
    if (outcome == TEMPORARY_REFUSED)
        return WriteInPlace(output.target, length, output);
    return outcome == TEMPORARY_OPEN;
}

bool WriteOutput(Output& output, const char* bytes, size_t count) {
    return std::fwrite(bytes, 1, count, output.stream) == count || Fail(output);
}

bool FinishOutput(Output& output) {
    bool written = std::fflush(output.stream) == 0 || Fail(output);
    written = !std::ferror(output.stream) && written;
    written = written && (!output.inPlace || CutToOutput(output) || Fail(output));
    std::FILE* stream = output.stream;
    output.stream = nullptr;
    // Closing reports what the last writes could not (a full disk, a failed network write).
    written = (std::fclose(stream) == 0 || Fail(output)) && written;
    if (written && !output.temporary.empty()) {
        HeldSignals held = HoldSignals(); // the handler must not remove what is now OUT
        written = std::rename(output.temporary.c_str(), output.target.c_str()) == 0;
        if (written)
            ForgetTemporary(output);
        ReleaseSignals(held);
        written = written || Fail(output);
    }
    if (!written)
        AbandonOutput(output);
    return written;
}

void AbandonOutput(Output& output) {
    // What was written of an OUT in place stays, without its old bytes after it.
    if (output.stream && output.inPlace && std::fflush(output.stream) == 0)
        CutToOutput(output);
    if (output.stream && output.stream != stdout)
        std::fclose(output.stream);
    output.stream = nullptr;
    RemoveTemporary(output);
}
