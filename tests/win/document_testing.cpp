#include "tests/win/document_testing.h"

#include "frame/frame.h"
#include "frame/resource.h"
#include "tests/support/recording_target.h"
#include "tests/win/window_testing.h"

#include <algorithm>

namespace {

// The file name field of the Explorer-style file dialogs.
constexpr int FileNameFieldId = 0x47C;

int FolderCount = 0;

} // namespace

void ViewerTest::SetUp() {
    RegisterViewerClasses();
    NumerationMode = NUMERATION_MULTI;
    frame = CreateFrameWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    ASSERT_NE(frame, nullptr);
    statusBar = GetDlgItem(frame, ID_STATUSBAR);

    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    folder = std::string(temp) + "qef-document-" + std::to_string(GetCurrentProcessId()) + "-" +
             std::to_string(GetTickCount()) + "-" + std::to_string(++FolderCount);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
}

void ViewerTest::TearDown() {
    if (IsWindow(frame))
        DestroyWindow(frame);
    PumpMessages();
    // The file dialogs move the current folder into ours, which could then not be removed.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    SetCurrentDirectoryA(temp);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileA(PathOf(found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

void ViewerTest::Command(WORD command) {
    SendMessageA(frame, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

HWND ViewerTest::ActiveDocument() {
    return reinterpret_cast<HWND>(SendMessageA(MdiClient, WM_MDIGETACTIVE, 0, 0));
}

HWND ViewerTest::NewDocument() {
    Command(CMD_FILE_NEW);
    return ActiveDocument();
}

ModalRun ViewerTest::OpenThroughDialog(const std::string& path, std::vector<DialogAction> more) {
    more.insert(more.begin(), ChooseFile(path));
    return RunWithDialogs([this] { Command(CMD_FILE_OPEN); }, std::move(more));
}

ModalRun ViewerTest::SaveThroughDialog(const std::string& path, std::vector<DialogAction> more) {
    more.insert(more.begin(), ChooseFile(path));
    return RunWithDialogs([this] { Command(CMD_FILE_SAVEAS); }, std::move(more));
}

std::string ViewerTest::PathOf(const std::string& name) {
    return folder + "\\" + name;
}

std::string ViewerTest::MakeFile(const std::string& name, const std::vector<unsigned char>& bytes) {
    return MakeLongFile(name, bytes, bytes.size());
}

std::string ViewerTest::MakeLongFile(const std::string& name,
                                     const std::vector<unsigned char>& bytes,
                                     unsigned long long size) {
    std::string path = PathOf(name);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    if (!bytes.empty())
        WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    EXPECT_EQ(written, bytes.size());
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(size);
    SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    return path;
}

DialogAction ChooseFile(const std::string& path) {
    return [path](HWND dialog) {
        SetDlgItemTextA(dialog, FileNameFieldId, path.c_str());
        PressButton(dialog, IDOK);
    };
}

DialogAction CancelDialog() {
    return [](HWND dialog) { PressButton(dialog, IDCANCEL); };
}

std::string EditText(HWND document) {
    return WindowText(EditOf(document));
}

std::string ReadWholeFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty())
        ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

std::string ExpectedDump(const std::vector<unsigned char>& bytes, Numeration mode) {
    Numeration saved = NumerationMode;
    NumerationMode = mode;
    RecordingTarget target;
    bool formatted = FormatModuleInfo(target, bytes.data(), uint32_t(bytes.size()));
    NumerationMode = saved;
    EXPECT_TRUE(formatted);
    return target.text;
}

std::string FirstDifference(const std::string& actual, const std::string& expected) {
    if (actual == expected)
        return "";
    size_t common = std::min(actual.size(), expected.size());
    auto end = actual.begin() + std::ptrdiff_t(common);
    auto at = size_t(std::mismatch(actual.begin(), end, expected.begin()).first - actual.begin());
    size_t line = at / DumpLineLength * DumpLineLength;
    return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
           ", first difference at byte " + std::to_string(at) +
           "\nactual:   " + actual.substr(line, DumpLineLength) +
           "\nexpected: " + expected.substr(line, DumpLineLength);
}
