// Loading and saving real files with system calls failing or coming up short.
#include "files/file_operations.h"
#include "tests/support/dump_model.h"
#include "tests/support/recording_target.h"
#include "tests/win/win_testing.h"

#include <tuple>

namespace {

// SHRUNK: the file shrank since it was sized; HELD: open by a writer, even one that shares all.
enum Fault { NONE, NO_SIZE, NO_RESERVE, NO_READ, SHRUNK, NO_WRITE, HALF, ABSENT, HELD } Failing;
SIZE_T Handles = 0, Blocks = 0, LastBlock = 0; // handles and blocks held; the last block's size

// A document (formatter target and edit control); the system calls count handles and blocks.
struct Watched : RecordingTarget, TextSource {
    static HANDLE Held(SIZE_T& n, HANDLE h) { return n += h && h != INVALID_HANDLE_VALUE, h; }
    static HANDLE Or(Fault fault, HANDLE h) { return Failing == fault ? nullptr : h; }
    static HANDLE WINAPI Create(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                                DWORD how, DWORD flags, HANDLE model) {
        HANDLE holder = CreateFileA(Failing == HELD ? path : "", GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, sa, OPEN_EXISTING, 0, 0);
        HANDLE file = Held(Handles, CreateFileA(path, access, share, sa, how, flags, model));
        return CloseHandle(holder), file;
    }
    static DWORD WINAPI Size(HANDLE h, LPDWORD high) { return GetFileSize(Or(NO_SIZE, h), high); }
    static BOOL WINAPI Read(HANDLE h, LPVOID to, DWORD n, LPDWORD done, LPOVERLAPPED at) {
        return LastBlock > n && ReadFile(Or(NO_READ, h), to, n - (Failing == SHRUNK), done, at);
    }
    static BOOL WINAPI Write(HANDLE h, LPCVOID from, DWORD n, LPDWORD done, LPOVERLAPPED at) {
        return WriteFile(Or(NO_WRITE, h), from, Failing == HALF ? n / 2 : n, done, at);
    }
    static BOOL WINAPI Close(HANDLE h) { return --Handles, CloseHandle(h); }
    static HGLOBAL WINAPI Reserve(UINT flags, SIZE_T n) {
        return Held(Blocks, Failing == NO_RESERVE ? nullptr : GlobalAlloc(flags, LastBlock = n));
    }
    static HGLOBAL WINAPI Release(HGLOBAL block) { return --Blocks, GlobalFree(block); }

    Watched(std::string typed, size_t length)
        : RecordingTarget("shown"), typed(std::move(typed)), length(length) {}
    void ShowMessage(const DumpMessage& m) override { text += std::string(" | ") + m.text; }
    size_t TextLength() override { return length; }
    size_t CopyText(char* to, size_t capacity) override { return typed.copy(to, capacity - 1); }
    std::string typed;
    size_t length;
};
const FileOperations Calls = {Watched::Create, Watched::Size,    Watched::Read,   Watched::Write,
                              Watched::Close,  Watched::Reserve, Watched::Release};

TEST(FilesTest, LoadingAndSavingGiveExactlyTheBytesOrFailSilently) {
    const std::string sample = SampleBytes(SAMPLE_MIXED, 3, 5000), before = "the old file, longer";
    const std::string kept = "shown", tooLarge = kept + " | Don't parse file greather than 32 MB.";
    auto data = reinterpret_cast<const unsigned char*>(sample.data());
    // Loading: bytes, zeros up to size, what is shown. Saving: text, length told (0: own), file.
    const std::tuple<bool, std::string, UINT64, std::vector<Fault>, bool, std::string> cases[] = {
        {false, sample, 0, {NONE}, true, DumpByModel(data, 5000, NUMERATION_MULTI).text},
        {false, "", 0, {NONE}, false, kept + " | No QEF format."},
        {false, sample, 0, {HELD, NO_SIZE, NO_RESERVE, NO_READ, SHRUNK}, false, kept},
        {false, sample, MaxModuleInfoLength + 1ull, {NONE}, false, tooLarge},
        {false, sample, (1ull << 32) + sample.size(), {NONE}, false, tooLarge}, // low word small
        {true, "\xE9\xFF\r\nno end", 0, {ABSENT}, true, "\xE9\xFF\r\nno end"},
        {true, "", 0, {NONE}, false, ""},
        {true, "", 10, {NONE}, false, ""},
        {true, "the text", 20, {NONE}, true, "the text"}, // as GetWindowTextLengthA may
        {true, "the text grew", 8, {NONE}, true, "the text"},
        {true, "text", 0, {HELD}, false, before},
        {true, "sixteen bytes ..", 0, {HALF}, false, "sixteen "},
        {true, "text", 0, {NO_RESERVE, NO_WRITE}, false, ""},
    };
    TempFolder folder;
    for (const auto& [save, bytes, size, faults, ok, expected] : cases)
        for (Fault fault : faults) {
            folder.MakeFile("file", save ? before : bytes, size);
            std::string path = folder.PathOf(fault == ABSENT ? "new" : "file");
            Failing = fault;
            Watched document(bytes, size ? size_t(size) : bytes.size());
            bool done = save
                            ? SaveDocumentTextWith(Calls, document, path.c_str())
                            : LoadDocumentFileWith(Calls, document, path.c_str(), NUMERATION_MULTI);
            std::string result = save ? ReadWholeFile(path) : document.text;
            EXPECT_EQ(std::tuple(fault, done, std::exchange(Handles, 0), std::exchange(Blocks, 0)),
                      std::tuple(fault, ok, 0u, 0u));
            EXPECT_TRUE(result == expected) << fault << ": " << result.substr(0, 80);
        }
}

} // namespace
