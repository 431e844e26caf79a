// The KERNEL32 calls behind LoadDocumentFile and SaveDocumentText, as a table, so that tests can
// count handles and buffers and make single calls fail or come up short.
#pragma once

#include "files/files.h"

#include <windows.h>

struct FileOperations {
    decltype(&::CreateFileA) createFile;
    decltype(&::GetFileSize) getFileSize;
    decltype(&::ReadFile) readFile;
    decltype(&::WriteFile) writeFile;
    decltype(&::CloseHandle) closeHandle;
    decltype(&::GlobalAlloc) globalAlloc;
    decltype(&::GlobalFree) globalFree;
};

// The real calls; what LoadDocumentFile and SaveDocumentText use.
const FileOperations& SystemFileOperations();

bool LoadDocumentFileWith(const FileOperations& system, DumpTarget& target, const char* path,
                          Numeration mode);
bool SaveDocumentTextWith(const FileOperations& system, TextSource& source, const char* path);
