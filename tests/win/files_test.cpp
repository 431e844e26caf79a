// Loading and saving real files with each system call failing in turn: what reaches the
// formatter or the disk, and every handle and block given back on every way out.
#include "files/file_operations.h"
#include "tests/support/recording_target.h"
#include "tests/win/win_testing.h"

#include <tuple>

namespace {

// Each system call failing, and the file: absent, shrinking by 16 bytes between sizing and
// reading, only half written, or held open by a writer that shares everything.
enum Fault { NONE, NO_CREATE, NO_SIZE, NO_RESERVE, NO_READ, NO_WRITE, ABSENT, SHRUNK, HALF, HELD };
Fault Failing = NONE;
int Handles = 0, Blocks = 0; // held now
SIZE_T LastBlock = 0;

HANDLE WINAPI Create(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                     DWORD disposition, DWORD flags, HANDLE model) {
    HANDLE file = Failing == NO_CREATE
                      ? INVALID_HANDLE_VALUE
                      : CreateFileA(path, access, share, security, disposition, flags, model);
    Handles += file != INVALID_HANDLE_VALUE;
    return file;
}

DWORD WINAPI Size(HANDLE file, LPDWORD high) {
    if (Failing == NO_SIZE)
        SetLastError(ERROR_INVALID_FUNCTION);
    return Failing == NO_SIZE ? INVALID_FILE_SIZE
                              : GetFileSize(file, high) + (Failing == SHRUNK ? 16 : 0);
}

BOOL WINAPI Read(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED overlap) {
    EXPECT_GT(LastBlock, bytes) << "no room for the NUL after the data";
    return Failing != NO_READ && ReadFile(file, buffer, bytes, read, overlap);
}

BOOL WINAPI Write(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD written, LPOVERLAPPED overlap) {
    DWORD given = Failing == HALF ? bytes / 2 : bytes;
    return Failing != NO_WRITE && WriteFile(file, data, given, written, overlap);
}

BOOL WINAPI Close(HANDLE handle) {
    --Handles;
    return CloseHandle(handle);
}

HGLOBAL WINAPI Reserve(UINT flags, SIZE_T bytes) {
    HGLOBAL block = Failing == NO_RESERVE ? nullptr : GlobalAlloc(flags, bytes);
    Blocks += block != nullptr;
    LastBlock = bytes;
    return block;
}

HGLOBAL WINAPI Release(HGLOBAL block) {
    --Blocks;
    return GlobalFree(block);
}

const FileOperations Watched = {Create, Size, Read, Write, Close, Reserve, Release};

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

TEST(FilesTest, LoadingAndSavingGiveExactlyTheBytesOrFailSilently) {
    const std::string sample = SampleBytes(SAMPLE_MIXED, 3, 5000);
    const std::string before = "the file as it was, longer than what replaces it\r\n";
    const std::string text = "line one\r\nline \xE9\xFF two\r\nno line end";
    RecordingTarget formatted;
    FormatModuleInfo(formatted, reinterpret_cast<const unsigned char*>(sample.data()), 5000);
    const std::string tooLarge = "shown before | Don't parse file greather than 32 MB.";
    const struct {
        bool save;
        std::string bytes;       // the file's when loading, the text when saving
        unsigned long long size; // loading: zeros after the bytes up to it; saving: length claimed
        Fault fault;
        bool done;
        std::string result; // the text and messages shown, or the file saved
    } cases[] = {
        {false, sample, 0, NONE, true, formatted.text},
        {false, "", 0, NONE, false, "shown before | No QEF format."},
        {false, sample, 0, HELD, false, "shown before"},
        {false, sample, 0, SHRUNK, false, "shown before"},
        {false, sample, MaxModuleInfoLength + 1ull, NONE, false, tooLarge},
        // The low 32 bits of this size would be the sample's alone.
        {false, sample, (1ull << 32) + sample.size(), NONE, false, tooLarge},
        {false, sample, 0, NO_CREATE, false, "shown before"},
        {false, sample, 0, NO_SIZE, false, "shown before"},
        {false, sample, 0, NO_RESERVE, false, "shown before"},
        {false, sample, 0, NO_READ, false, "shown before"},
        {true, text, text.size(), ABSENT, true, text},
        {true, "short", 5, NONE, true, "short"},
        {true, "", 0, NONE, false, ""},
        {true, "text", 4, HELD, false, before},
        // A length can overstate the text (as GetWindowTextLengthA may) or lag behind it.
        {true, "the text", 20, NONE, true, "the text"},
        {true, "the text grew", 8, NONE, true, "the text"},
        {true, "", 10, NONE, false, ""},
        {true, "sixteen bytes ..", 16, HALF, false, "sixteen "},
        {true, "text", 4, NO_CREATE, false, before},
        {true, "text", 4, NO_RESERVE, false, ""},
        {true, "text", 4, NO_WRITE, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        TempFolder folder;
        std::string path = c.fault == ABSENT ? folder.PathOf("new")
                           : c.save          ? folder.MakeFile("file", before)
                                             : folder.MakeFile("file", c.bytes, c.size);
        HANDLE holder =
            CreateFileA(c.fault == HELD ? path.c_str() : "", GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        Failing = c.fault;
        Handles = Blocks = 0;
        RecordingTarget target("shown before");
        StringSource source(c.bytes, size_t(c.size));
        bool done = c.save ? SaveDocumentTextWith(Watched, source, path.c_str())
                           : LoadDocumentFileWith(Watched, target, path.c_str());
        CloseHandle(holder);
        std::string result = c.save ? ReadWholeFile(path) : target.text;
        for (const std::string& event : target.events)
            if (event.rfind("message ", 0) == 0)
                result += " | " + event.substr(8);
        EXPECT_TRUE(result == c.result) << result.substr(0, 80);
        EXPECT_EQ(std::tuple(done, Handles, Blocks), std::tuple(c.done, 0, 0));
    }
}

} // namespace
