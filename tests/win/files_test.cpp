// Loading and saving against real files, a row per case: what reaches the formatter or the disk,
// the silent failures with each system call failing in turn, and every handle and block given
// back on every way out.
#include "files/file_operations.h"
#include "tests/support/recording_target.h"
#include "tests/support/sample_files.h"
#include "tests/win/win_testing.h"

#include <utility>

namespace {

enum Fault {
    NONE,
    FAIL_CREATE,
    FAIL_SIZE,
    FAIL_RESERVE,
    FAIL_READ,
    FAIL_WRITE,
    SHRUNK,
    SHORT_WRITE
};

// The one call that misbehaves, and what the wrapped calls saw.
struct {
    Fault fault;
    int opened, closed, reserved, released;
    SIZE_T lastBlock;
} Seen;

HANDLE WINAPI WatchedCreateFile(LPCSTR path, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                HANDLE model) {
    HANDLE file = Seen.fault == FAIL_CREATE
                      ? INVALID_HANDLE_VALUE
                      : CreateFileA(path, access, share, security, disposition, flags, model);
    Seen.opened += file != INVALID_HANDLE_VALUE;
    return file;
}

// SHRUNK: the file loses 16 bytes between sizing and reading.
DWORD WINAPI WatchedGetFileSize(HANDLE file, LPDWORD high) {
    if (Seen.fault == FAIL_SIZE) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return INVALID_FILE_SIZE;
    }
    return GetFileSize(file, high) + (Seen.fault == SHRUNK ? 16 : 0);
}

BOOL WINAPI WatchedReadFile(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read,
                            LPOVERLAPPED overlapped) {
    EXPECT_GT(Seen.lastBlock, bytes) << "no room for the NUL after the data";
    return Seen.fault != FAIL_READ && ReadFile(file, buffer, bytes, read, overlapped);
}

BOOL WINAPI WatchedWriteFile(HANDLE file, LPCVOID buffer, DWORD bytes, LPDWORD written,
                             LPOVERLAPPED overlapped) {
    DWORD given = Seen.fault == SHORT_WRITE ? bytes / 2 : bytes;
    return Seen.fault != FAIL_WRITE && WriteFile(file, buffer, given, written, overlapped);
}

BOOL WINAPI WatchedCloseHandle(HANDLE handle) {
    ++Seen.closed;
    return CloseHandle(handle);
}

HGLOBAL WINAPI WatchedGlobalAlloc(UINT flags, SIZE_T bytes) {
    HGLOBAL block = Seen.fault == FAIL_RESERVE ? nullptr : GlobalAlloc(flags, bytes);
    Seen.reserved += block != nullptr;
    Seen.lastBlock = bytes;
    return block;
}

HGLOBAL WINAPI WatchedGlobalFree(HGLOBAL block) {
    ++Seen.released;
    return GlobalFree(block);
}

const FileOperations& Watching(Fault fault) {
    static const FileOperations watched = {
        WatchedCreateFile,  WatchedGetFileSize, WatchedReadFile,  WatchedWriteFile,
        WatchedCloseHandle, WatchedGlobalAlloc, WatchedGlobalFree};
    Seen = {fault, 0, 0, 0, 0, 0};
    return watched;
}

// Where a case's path leads: nowhere, or to a file that may be held open by a reader that
// shares reading or by a writer that shares everything.
enum Place { ABSENT, PLAIN, HELD_BY_READER, HELD_BY_WRITER };

std::string Prepare(const TempFolder& folder, Place place, const std::string& bytes,
                    unsigned long long size, HANDLE& holder) {
    holder = INVALID_HANDLE_VALUE;
    if (place == ABSENT)
        return folder.PathOf("new");
    std::string path = folder.MakeFile("file", bytes, size);
    if (place != PLAIN)
        holder = CreateFileA(path.c_str(), place == HELD_BY_READER ? GENERIC_READ : GENERIC_WRITE,
                             place == HELD_BY_READER ? FILE_SHARE_READ
                                                     : FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    return path;
}

std::string Joined(const std::vector<std::string>& events) {
    std::string joined;
    for (const std::string& event : events)
        joined += (joined.empty() ? "" : "; ") + event;
    return joined;
}

TEST(FilesTest, LoadingGivesTheFormattersDumpOrFailsSilently) {
    const std::string sample = Bytes(GenerateSample(SAMPLE_MIXED, 3, 5000));
    const char tooLarge[] = "message Don't parse file greather than 32 MB.";
    const struct {
        Place place;
        std::string bytes;
        unsigned long long size; // zeros after the bytes up to here
        Fault fault;
        const char* events; // what the dump target saw; "=": what the formatter makes alone
    } cases[] = {
        {PLAIN, sample, 0, NONE, "="},
        {HELD_BY_READER, sample, 0, NONE, "="},
        {PLAIN, "", 0, NONE, "message No QEF format."},
        {HELD_BY_WRITER, sample, 0, NONE, ""},
        {PLAIN, sample, 0, SHRUNK, ""},
        {PLAIN, sample, MaxModuleInfoLength + 1ull, NONE, tooLarge},
        // The low 32 bits of this size would be the sample's alone.
        {PLAIN, sample, (1ull << 32) + sample.size(), NONE, tooLarge},
        {PLAIN, sample, 0, FAIL_CREATE, ""},
        {PLAIN, sample, 0, FAIL_SIZE, ""},
        {PLAIN, sample, 0, FAIL_RESERVE, ""},
        {PLAIN, sample, 0, FAIL_READ, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        TempFolder folder;
        HANDLE holder;
        std::string path = Prepare(folder, c.place, c.bytes, c.size, holder);
        RecordingTarget target("shown before");
        bool loaded = LoadDocumentFileWith(Watching(c.fault), target, path.c_str());
        CloseHandle(holder);

        bool dumped = c.events == std::string("=");
        RecordingTarget direct("shown before");
        if (dumped)
            FormatModuleInfo(direct, reinterpret_cast<const unsigned char*>(c.bytes.data()),
                             uint32_t(c.bytes.size()));
        EXPECT_EQ(loaded, dumped);
        EXPECT_EQ(target.text, direct.text);
        EXPECT_EQ(Joined(target.events), dumped ? Joined(direct.events) : c.events);
        EXPECT_EQ(Seen.closed, Seen.opened);
        EXPECT_EQ(Seen.released, Seen.reserved);
    }
}

// Stands for an edit control: its text, and a length that may not be the truth.
struct StringSource : TextSource {
    StringSource(std::string text, size_t length) : text(std::move(text)), length(length) {}
    size_t TextLength() override { return length; }
    size_t CopyText(char* buffer, size_t capacity) override {
        size_t copied = text.copy(buffer, capacity - 1);
        buffer[copied] = '\0';
        return copied;
    }
    std::string text;
    size_t length;
};

TEST(FilesTest, SavingWritesExactlyTheTextOrFailsSilently) {
    const std::string before = "the file as it was, longer than what replaces it\r\n";
    const std::string text = "line one\r\nline \xE9\xFF two\r\nno line end";
    const struct {
        Place place;
        std::string text;
        size_t length; // what the source claims
        Fault fault;
        bool saved;
        std::string file; // afterwards
    } cases[] = {
        {ABSENT, text, text.size(), NONE, true, text},
        {PLAIN, "short", 5, NONE, true, "short"},
        {PLAIN, "", 0, NONE, false, ""},
        {HELD_BY_WRITER, "text", 4, NONE, false, before},
        // A length can overstate the text (as GetWindowTextLengthA may) or lag behind it.
        {PLAIN, "the text", 20, NONE, true, "the text"},
        {PLAIN, "the text grew", 8, NONE, true, "the text"},
        {PLAIN, "", 10, NONE, false, ""},
        {PLAIN, "sixteen bytes ..", 16, SHORT_WRITE, false, "sixteen "},
        {PLAIN, "text", 4, FAIL_CREATE, false, before},
        {PLAIN, "text", 4, FAIL_RESERVE, false, ""},
        {PLAIN, "text", 4, FAIL_WRITE, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        TempFolder folder;
        HANDLE holder;
        std::string path = Prepare(folder, c.place, before, 0, holder);
        StringSource source(c.text, c.length);
        bool saved = SaveDocumentTextWith(Watching(c.fault), source, path.c_str());
        CloseHandle(holder);

        EXPECT_EQ(saved, c.saved);
        EXPECT_EQ(ReadWholeFile(path), c.file);
        EXPECT_EQ(Seen.closed, Seen.opened);
        EXPECT_EQ(Seen.released, Seen.reserved);
    }
}

} // namespace
