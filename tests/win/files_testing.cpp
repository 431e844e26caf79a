#include "tests/win/files_testing.h"

void TempFolderTest::SetUp() {
    char temp[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof temp, temp);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof temp);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // A parameterised test's name holds a slash.
    std::string name = test->name();
    for (char& c : name)
        if (c == '/')
            c = '-';
    folder = std::string(temp) + "qef-" + name + "-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
}

void TempFolderTest::TearDown() {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((folder + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

std::string TempFolderTest::PathOf(const std::string& name) {
    return folder + "\\" + name;
}

std::string TempFolderTest::MakeFile(const std::string& name, const std::string& bytes) {
    return MakeLongFile(name, bytes, bytes.size());
}

std::string TempFolderTest::MakeLongFile(const std::string& name, const std::string& bytes,
                                         unsigned long long size) {
    std::string path = PathOf(name);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
    if (file == INVALID_HANDLE_VALUE)
        return path;
    DWORD written = 0;
    EXPECT_TRUE(bytes.empty() ||
                WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr));
    EXPECT_EQ(written, bytes.size());
    if (size > bytes.size()) {
        // Asked for, not required: Wine's files are sparse anyway.
        DWORD returned = 0;
        DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = LONGLONG(size);
        EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
        EXPECT_TRUE(SetEndOfFile(file));
    }
    CloseHandle(file);
    return path;
}

std::string ReadWholeFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

std::string Bytes(const std::vector<unsigned char>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string MisbehaviourName(const ::testing::TestParamInfo<Misbehaviour>& info) {
    const char* const names[] = {"Behave", "Create",   "Size",  "Reserve",
                                 "Read",   "GrowSize", "Write", "ShortWrite"};
    return names[info.param];
}

namespace {

Misbehaviour Current = BEHAVE;
FileCallCounts Counts;

HANDLE WINAPI WatchedCreateFile(LPCSTR path, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                HANDLE templateFile) {
    if (Current == FAIL_CREATE) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = CreateFileA(path, access, share, security, disposition, flags, templateFile);
    if (file != INVALID_HANDLE_VALUE)
        ++Counts.opened;
    return file;
}

DWORD WINAPI WatchedGetFileSize(HANDLE file, LPDWORD high) {
    if (Current == FAIL_SIZE) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return INVALID_FILE_SIZE;
    }
    DWORD size = GetFileSize(file, high);
    return Current == GROW_SIZE ? size + 16 : size;
}

BOOL WINAPI WatchedReadFile(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read,
                            LPOVERLAPPED overlapped) {
    ++Counts.reads;
    if (Current == FAIL_READ) {
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    return ReadFile(file, buffer, bytes, read, overlapped);
}

BOOL WINAPI WatchedWriteFile(HANDLE file, LPCVOID buffer, DWORD bytes, LPDWORD written,
                             LPOVERLAPPED overlapped) {
    ++Counts.writes;
    if (Current == FAIL_WRITE) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return WriteFile(file, buffer, Current == SHORT_WRITE ? bytes / 2 : bytes, written, overlapped);
}

BOOL WINAPI WatchedCloseHandle(HANDLE handle) {
    ++Counts.closed;
    return CloseHandle(handle);
}

HGLOBAL WINAPI WatchedGlobalAlloc(UINT flags, SIZE_T bytes) {
    if (Current == FAIL_RESERVE) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HGLOBAL block = GlobalAlloc(flags, bytes);
    if (block)
        ++Counts.reserved;
    return block;
}

HGLOBAL WINAPI WatchedGlobalFree(HGLOBAL block) {
    ++Counts.released;
    return GlobalFree(block);
}

const FileOperations Watched = {
    WatchedCreateFile,  WatchedGetFileSize, WatchedReadFile,   WatchedWriteFile,
    WatchedCloseHandle, WatchedGlobalAlloc, WatchedGlobalFree,
};

} // namespace

const FileOperations& WatchedFileOperations(Misbehaviour misbehaviour) {
    Current = misbehaviour;
    Counts = {};
    return Watched;
}

const FileCallCounts& WatchedCounts() {
    return Counts;
}
