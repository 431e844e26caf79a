// The output on Windows: a temporary beside OUT moved over it once everything is written.
#include "cli/output.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <process.h>
#include <windows.h>

namespace {

constexpr int CleanupSignals[] = {SIGINT, SIGTERM};

const char* volatile TemporaryToRemove = nullptr;

extern "C" void RemoveTemporaryAndEnd(int number) {
    if (const char* path = TemporaryToRemove)
        _unlink(path);
    std::signal(number, SIG_DFL);
    std::raise(number);
}

void CatchCleanupSignals() {
    for (int number : CleanupSignals)
        if (std::signal(number, RemoveTemporaryAndEnd) == SIG_IGN)
            std::signal(number, SIG_IGN);
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

bool OpenTemporary(Output& output, const struct _stat64* existing) {
    CatchCleanupSignals();
    int descriptor = -1;
    for (int attempt = 0; attempt < 100 && descriptor < 0; ++attempt) {
        output.temporary =
            output.target + ".qefdump-" + std::to_string(_getpid()) + "-" + std::to_string(attempt);
        descriptor = _open(output.temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                           _S_IREAD | _S_IWRITE);
        if (descriptor < 0 && errno != EEXIST)
            break;
    }
    if (descriptor < 0) {
        ForgetTemporary(output);
        return false;
    }
    (void)existing;
    TemporaryToRemove = output.temporary.c_str();
    output.stream = _fdopen(descriptor, "wb");
    if (output.stream)
        return true;
    _close(descriptor);
    _unlink(output.temporary.c_str());
    ForgetTemporary(output);
    return false;
}

} // namespace

bool OpenOutput(const char* target, uint64_t /*length*/, Output& output) {
    if (!target) {
        output.stream = stdout;
        return true;
    }
    struct _stat64 status {};
    bool exists = _stat64(target, &status) == 0;
    bool regular = exists && (status.st_mode & _S_IFMT) == _S_IFREG;
    if (regular && (_access(target, 2) != 0 || (status.st_mode & 0222) == 0)) {
        output.error = EACCES;
        return false;
    }
    output.target = target;
    if ((!exists || regular) && OpenTemporary(output, exists ? &status : nullptr))
        return true;
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
    written = (std::fclose(stream) == 0 || Fail(output)) && written;
    if (written && !output.temporary.empty() &&
        !MoveFileExA(output.temporary.c_str(), output.target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        output.failure =
            "cannot replace the file (Windows error " + std::to_string(GetLastError()) + ")";
        written = false;
    }
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
        _unlink(output.temporary.c_str());
    ForgetTemporary(output);
}

std::string OutputFailureText(const Output& output) {
    if (!output.failure.empty())
        return output.failure;
    return std::strerror(output.error ? output.error : EIO);
}
