// The output on Windows: OUT's links followed to the file they name, a private temporary beside
// it that ReplaceFileW puts in OUT's place (keeping its ACL, attributes, streams and creation
// time), and a temporary that the system deletes however the program ends before that.
#define _CRT_RAND_S // rand_s, for names nobody can take beforehand
#include "cli/output.h"
#include "cli/quote.h"
#include "cli/win32_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <io.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

namespace {

// Failures the C library describes as on other systems; any other is told in the system's words.
struct ErrorMeaning {
    DWORD code;
    int error;
};

constexpr ErrorMeaning ErrnoOfError[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},   {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_ACCESS_DENIED, EACCES},    {ERROR_DISK_FULL, ENOSPC},
    {ERROR_HANDLE_DISK_FULL, ENOSPC}, {ERROR_FILE_EXISTS, EEXIST},
    {ERROR_ALREADY_EXISTS, EEXIST},   {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_OUTOFMEMORY, ENOMEM},      {ERROR_WRITE_PROTECT, EROFS},
};

// Records the first failure only.
bool FailWith(Output& output, DWORD code) {
    if (output.error != 0 || !output.failure.empty())
        return false;
    for (const ErrorMeaning& meaning : ErrnoOfError)
        if (meaning.code == code)
            output.error = meaning.error;
    if (output.error == 0)
        output.failure = SystemMessage(code);
    return false;
}

bool Fail(Output& output) {
    return FailWith(output, GetLastError());
}

// A failure of the C library's stream.
bool FailStream(Output& output) {
    if (output.error == 0 && output.failure.empty())
        output.error = errno ? errno : EIO;
    return false;
}

// While a temporary is put in OUT's place, a console event (Ctrl+C, Ctrl+Break, closing the
// console) waits for that to end, on the thread the system runs it on, and then ends the
// program: OUT is never left half replaced. At any other time the system deletes the
// temporary as the program ends, whatever ends it.
SRWLOCK Replacing = SRWLOCK_INIT;

BOOL WINAPI WaitForReplacement(DWORD /*event*/) {
    AcquireSRWLockExclusive(&Replacing); // kept: the program ends holding it
    return FALSE;                        // the next handler ends the program
}

bool DeleteWhenClosed(HANDLE handle, bool remove) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

// Open to this user alone until it takes OUT's place, and OUT's ACL with it.
struct PrivateSecurity {
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    PrivateSecurity();
    ~PrivateSecurity() { LocalFree(attributes.lpSecurityDescriptor); }
    PrivateSecurity(const PrivateSecurity&) = delete;
    PrivateSecurity& operator=(const PrivateSecurity&) = delete;
};

// Full access for the user this process runs as, inheriting nothing from the folder. Where it
// cannot be built, no replacement is made: the descriptor stays null and CreateTemporary fails.
PrivateSecurity::PrivateSecurity() {
    HANDLE token = nullptr;
    union {
        TOKEN_USER user;
        unsigned char bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } information{};
    DWORD size = 0;
    wchar_t* sid = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
        GetTokenInformation(token, TokenUser, &information, sizeof information, &size) &&
        ConvertSidToStringSidW(information.user.User.Sid, &sid)) {
        std::wstring text = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
        ConvertStringSecurityDescriptorToSecurityDescriptorW(
            text.c_str(), SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr);
    }
    LocalFree(sid);
    if (token)
        CloseHandle(token);
}

// Beside the target, named after it and this process, with a random end that nobody can take
// beforehand; a name too long gives way to a short one in the same folder. A new OUT gets the
// folder's inherited permissions from the start, a replacement private ones.
HANDLE CreateTemporary(const std::wstring& target, bool replaces, std::wstring& temporary) {
    PrivateSecurity security;
    if (replaces && !security.attributes.lpSecurityDescriptor) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR); // never the folder's permissions instead
        return INVALID_HANDLE_VALUE;
    }
    size_t slash = target.find_last_of(L"\\/");
    std::wstring folder = target.substr(0, slash == std::wstring::npos ? 0 : slash + 1);
    bool shortName = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned int random = 0;
        if (rand_s(&random) != 0) { // a name others could guess is not taken
            SetLastError(ERROR_GEN_FAILURE);
            return INVALID_HANDLE_VALUE;
        }
        wchar_t suffix[40];
        std::swprintf(suffix, 40, L".qefdump-%lu-%08x", GetCurrentProcessId(), random);
        temporary = (shortName ? folder : target) + suffix;
        HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                    replaces ? &security.attributes : nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            return handle;
        DWORD error = GetLastError();
        if (!shortName && (error == ERROR_FILENAME_EXCED_RANGE || error == ERROR_INVALID_NAME))
            shortName = true;
        else if (error != ERROR_FILE_EXISTS)
            break;
    }
    return INVALID_HANDLE_VALUE;
}

bool OpenStream(HANDLE handle, Output& output) {
    int descriptor = _open_osfhandle(intptr_t(handle), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        return FailStream(output);
    }
    output.stream = _fdopen(descriptor, "wb");
    if (output.stream)
        return true;
    _close(descriptor);
    return FailStream(output);
}

enum TemporaryOutcome { TEMPORARY_OPEN, TEMPORARY_REFUSED, TEMPORARY_FAILED };

// REFUSED when the folder takes no new file from this user: an existing OUT is then written
// in place.
TemporaryOutcome OpenTemporary(const std::wstring& target, bool replaces, Output& output) {
    // Without the handler, Ctrl+C could end the program while OUT is being replaced.
    static DWORD handlerError =
        SetConsoleCtrlHandler(WaitForReplacement, TRUE) ? 0 : GetLastError();
    if (handlerError != 0) {
        FailWith(output, handlerError);
        return TEMPORARY_FAILED;
    }
    std::wstring temporary;
    HANDLE handle = CreateTemporary(target, replaces, temporary);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (replaces && error == ERROR_ACCESS_DENIED)
            return TEMPORARY_REFUSED;
        if (error == ERROR_INVALID_SECURITY_DESCR) {
            output.failure = "cannot make the temporary private to this user; nothing is written";
            return TEMPORARY_FAILED;
        }
        FailWith(output, error);
        return TEMPORARY_FAILED;
    }
    // Deleted as the program ends, until FinishOutput puts it in place.
    if (!DeleteWhenClosed(handle, true)) {
        Fail(output);
        CloseHandle(handle);
        DeleteFileW(temporary.c_str());
        return TEMPORARY_FAILED;
    }
    if (!OpenStream(handle, output))
        return TEMPORARY_FAILED; // closing its handle deleted it
    output.temporary = Narrow(temporary);
    output.target = Narrow(target);
    output.replacing = replaces;
    return TEMPORARY_OPEN;
}

// Room for the output is taken while the old content is still there, so that a full disk is
// found before anything is lost, and kept: the output is written over the old content and the
// file cut to its length at the end. Where the system cannot reserve, it is written without.
bool ReserveRoom(HANDLE handle, uint64_t length, Output& output) {
    LARGE_INTEGER size{};
    FILE_ALLOCATION_INFO room{};
    if (!GetFileSizeEx(handle, &size))
        return Fail(output);
    room.AllocationSize.QuadPart = std::max(size.QuadPart, LONGLONG(length));
    if (length != 0 &&
        !SetFileInformationByHandle(handle, FileAllocationInfo, &room, sizeof room)) {
        DWORD error = GetLastError();
        if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ||
            error == ERROR_FILE_TOO_LARGE)
            return FailWith(output, error);
    }
    return true;
}

// A file with other names, or anything that is not a file on a disk (NUL, CON, a pipe).
bool WriteInPlace(const std::wstring& path, bool isFile, uint64_t length, Output& output) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Fail(output);
    if (isFile && !ReserveRoom(handle, length, output)) {
        CloseHandle(handle);
        return false;
    }
    output.inPlace = isFile;
    return OpenStream(handle, output);
}

// An OUT written over in place ends where the output ends.
bool CutToOutput(Output& output) {
    HANDLE handle = HANDLE(_get_osfhandle(_fileno(output.stream)));
    LARGE_INTEGER none{};
    LARGE_INTEGER end{};
    return SetFilePointerEx(handle, none, &end, FILE_CURRENT) && SetEndOfFile(handle);
}

// The file at the end of OUT's links, so that they stay links; empty when OUT does not exist.
bool FindFile(const std::wstring& target, std::wstring& file,
              BY_HANDLE_FILE_INFORMATION& information, DWORD& type, Output& output) {
    HANDLE handle =
        CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        // Nothing there; but a link whose target is missing is not replaced by a file.
        if (error == ERROR_FILE_NOT_FOUND &&
            GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES)
            return true;
        return FailWith(output, error);
    }
    type = GetFileType(handle);
    bool found = type != FILE_TYPE_DISK || GetFileInformationByHandle(handle, &information);
    if (found && type == FILE_TYPE_DISK) {
        file.resize(32768);
        DWORD length = GetFinalPathNameByHandleW(handle, file.data(), DWORD(file.size()), 0);
        found = length != 0 && length < file.size();
        file.resize(found ? length : 0);
    }
    found = found || Fail(output);
    CloseHandle(handle);
    return found;
}

} // namespace

bool OpenOutput(const char* target, uint64_t length, Output& output) {
    if (!target) {
        output.stream = stdout;
        return true;
    }
    std::wstring path = Wide(target);
    std::wstring file;
    BY_HANDLE_FILE_INFORMATION information{};
    DWORD type = FILE_TYPE_UNKNOWN;
    if (!FindFile(path, file, information, type, output))
        return false;
    if (type == FILE_TYPE_UNKNOWN) // nothing there yet
        return OpenTemporary(path, false, output) == TEMPORARY_OPEN;
    if (type != FILE_TYPE_DISK)
        return WriteInPlace(path, false, 0, output);
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        output.error = EISDIR;
        return false;
    }
    // Not even an administrator writes a read-only file here; one this user may not write
    // keeps its bytes, although the folder would let a replacement in.
    HANDLE check = INVALID_HANDLE_VALUE;
    if (!(information.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
        check = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (check == INVALID_HANDLE_VALUE)
        return information.dwFileAttributes & FILE_ATTRIBUTE_READONLY
                   ? FailWith(output, ERROR_ACCESS_DENIED)
                   : Fail(output);
    CloseHandle(check);
    TemporaryOutcome outcome =
        information.nNumberOfLinks > 1 ? TEMPORARY_REFUSED : OpenTemporary(file, true, output);
    if (outcome == TEMPORARY_REFUSED)
        return WriteInPlace(file, true, length, output);
    return outcome == TEMPORARY_OPEN;
}

// Straight to the handle, past the C library, which tells a closed pipe as "Invalid argument"
// and a full disk as "No space left on device" only sometimes: the system's code says which.
bool WriteOutput(Output& output, const char* bytes, size_t count) {
    if (std::fflush(output.stream) != 0)
        return FailStream(output);
    HANDLE handle = HANDLE(_get_osfhandle(_fileno(output.stream)));
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes, DWORD(std::min<size_t>(count, 1u << 30)), &written,
                       nullptr)) {
            DWORD error = GetLastError();
            // ERROR_NO_DATA on Windows, ERROR_PIPE_NOT_CONNECTED under Wine.
            output.closedPipe = error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE ||
                                error == ERROR_PIPE_NOT_CONNECTED;
            return FailWith(output, error);
        }
        bytes += written;
        count -= written;
    }
    return true;
}

namespace {

// OUT's ACL, attributes, streams and creation time go to the replacement; the old file goes to
// a backup first, so that no failure part-way can leave OUT without either.
bool PutInPlace(Output& output) {
    std::wstring temporary = Wide(output.temporary);
    std::wstring target = Wide(output.target);
    if (!output.replacing)
        return MoveFileExW(temporary.c_str(), target.c_str(), 0) || Fail(output);
    std::wstring backup = temporary + L"-old";
    if (ReplaceFileW(target.c_str(), temporary.c_str(), backup.c_str(), 0, nullptr, nullptr)) {
        if (DeleteFileW(backup.c_str()))
            return true;
        output.failure = "written, but its old content stays in " + Narrow(backup) + ": " +
                         SystemMessage(GetLastError());
        return false;
    }
    DWORD error = GetLastError();
    // OUT was moved to the backup, but the replacement could not follow: OUT comes back, or
    // the user learns where its bytes are.
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 &&
        !MoveFileExW(backup.c_str(), target.c_str(), 0)) {
        output.failure = SystemMessage(error) + "; its old content is in " + Narrow(backup) +
                         ", which could not be put back: " + SystemMessage(GetLastError());
        return false;
    }
    return FailWith(output, error);
}

} // namespace

bool FinishOutput(Output& output) {
    bool written = std::fflush(output.stream) == 0 || FailStream(output);
    written = !std::ferror(output.stream) && written;
    written = written && (!output.inPlace || CutToOutput(output) || Fail(output));
    bool replacing = !output.temporary.empty();
    if (replacing) {
        AcquireSRWLockExclusive(&Replacing);
        HANDLE handle = HANDLE(_get_osfhandle(_fileno(output.stream)));
        written = written && (DeleteWhenClosed(handle, false) || Fail(output));
    }
    std::FILE* stream = output.stream;
    output.stream = nullptr;
    // Closing reports what the last writes could not (a full disk, a failed network write).
    written = (std::fclose(stream) == 0 || FailStream(output)) && written;
    if (replacing) {
        written = written && PutInPlace(output);
        // Its delete-on-close mark was cleared above: nothing else removes it now.
        if (!written && !DeleteFileW(Wide(output.temporary).c_str())) {
            DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND)
                output.failure = OutputFailureText(output) + "; " + MessageName(output.temporary) +
                                 " is left behind: " + SystemMessage(error);
        }
        output.temporary.clear();
        ReleaseSRWLockExclusive(&Replacing);
    }
    return written;
}

void AbandonOutput(Output& output) {
    // What was written of an OUT in place stays, without its old bytes after it; the
    // temporary goes with its handle.
    if (output.stream && output.inPlace && std::fflush(output.stream) == 0)
        CutToOutput(output);
    if (output.stream && output.stream != stdout)
        std::fclose(output.stream);
    output.stream = nullptr;
    output.temporary.clear();
}
