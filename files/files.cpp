#include "files/files.h"

#include "files/file_operations.h"

namespace {

// A file handle held for one load or save, closed on every way out.
struct HeldFile {
    const FileOperations& system;
    HANDLE handle;
    ~HeldFile() {
        if (handle != INVALID_HANDLE_VALUE)
            system.closeHandle(handle);
    }
    bool IsOpen() const { return handle != INVALID_HANDLE_VALUE; }
};

// A zero-filled fixed block from the global heap, released on every way out (before the file
// it belongs to is closed, as it is declared after it).
struct HeldBlock {
    const FileOperations& system;
    HGLOBAL block;
    ~HeldBlock() {
        if (block)
            system.globalFree(block);
    }
    char* Bytes() const { return static_cast<char*>(block); }
};

} // namespace

const FileOperations& SystemFileOperations() {
    static const FileOperations system = {
        ::CreateFileA, ::GetFileSize, ::ReadFile,   ::WriteFile,
        ::CloseHandle, ::GlobalAlloc, ::GlobalFree,
    };
    return system;
}

bool LoadDocumentFileWith(const FileOperations& system, DumpTarget& target, const char* path,
                          Numeration mode) {
    HeldFile file{system, system.createFile(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr)};
    if (!file.IsOpen())
        return false;

    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD size = system.getFileSize(file.handle, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return false;
    // The formatter would refuse such a length anyway; refusing it here spares reserving and
    // reading a buffer that large, and a file of 4 GiB or more would not even reach it whole
    // (only the low 32 bits of its size would).
    if (high != 0 || size > MaxModuleInfoLength) {
        target.ShowMessage(DumpFailureMessages[DUMP_TOO_LARGE]);
        return false;
    }

    HeldBlock buffer{system, system.globalAlloc(GPTR, SIZE_T(size) + 1)};
    if (!buffer.block)
        return false;
    DWORD read = 0;
    // A file that shrank since it was sized must not be dumped with zeros for its lost tail.
    if (!system.readFile(file.handle, buffer.block, size, &read, nullptr) || read != size)
        return false;
    buffer.Bytes()[size] = '\0';
    return FormatModuleInfo(target, reinterpret_cast<const unsigned char*>(buffer.Bytes()), size,
                            mode);
}

bool SaveDocumentTextWith(const FileOperations& system, TextSource& source, const char* path) {
    HeldFile file{system, system.createFile(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file.IsOpen())
        return false;

    // The file is already empty here, which is all an empty document leaves behind.
    size_t length = source.TextLength();
    // One write call takes a 32-bit count; no edit control holds that much anyway.
    if (length == 0 || length >= MAXDWORD)
        return false;

    HeldBlock buffer{system, system.globalAlloc(GPTR, length + 1)};
    if (!buffer.block)
        return false;
    size_t copied = source.CopyText(buffer.Bytes(), length + 1);
    if (copied == 0)
        return false;

    // Only what was copied: a length can be an overestimate, and the zero fill after the text
    // is not part of it.
    DWORD count = DWORD(copied < length ? copied : length);
    DWORD written = 0;
    return system.writeFile(file.handle, buffer.block, count, &written, nullptr) &&
           written == count;
}

bool LoadDocumentFile(DumpTarget& target, const char* path, Numeration mode) {
    return LoadDocumentFileWith(SystemFileOperations(), target, path, mode);
}

bool SaveDocumentText(TextSource& source, const char* path) {
    return SaveDocumentTextWith(SystemFileOperations(), source, path);
}
