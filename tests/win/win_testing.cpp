#include "tests/win/win_testing.h"

#include "document/document.h"
#include "dump/formatter.h"
#include "frame/frame.h"
#include "frame/resource.h"

#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

namespace {

struct ModalState {
    std::vector<DialogAction> actions;
    size_t next = 0;
    HWND answered = nullptr; // the last dialog answered, which may still be closing
    HWND seen = nullptr;
    int quietTicks = 0;
    int cancelled = 0;
};
ModalState* Current = nullptr; // SetTimer without a window passes no context

// A visible and enabled dialog other than the first of the pair goes in the second: one
// disabled behind a message box of its own is passed over.
BOOL CALLBACK TakeDialog(HWND window, LPARAM context) {
    auto& [skipped, found] = *reinterpret_cast<std::pair<HWND, HWND>*>(context);
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (window == skipped || std::string(name) != "#32770" || !IsWindowVisible(window) ||
        !IsWindowEnabled(window))
        return TRUE;
    found = window;
    return FALSE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ModalState& state = *Current;
    bool overdue = ++state.quietTicks > 200; // 100 ms ticks
    std::pair<HWND, HWND> search = {overdue ? nullptr : state.answered, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), TakeDialog, reinterpret_cast<LPARAM>(&search));
    HWND dialog = search.second;
    // Some dialogs fill their controls after they show: act on the second sighting.
    if (!dialog || dialog != std::exchange(state.seen, dialog))
        return;
    state.quietTicks = 0;
    state.answered = dialog;
    if (state.next < state.actions.size() && !overdue) {
        state.actions[state.next++](dialog);
    } else {
        Press(IDCANCEL)(dialog);
        ++state.cancelled;
    }
}

} // namespace

std::string WindowText(HWND window) {
    std::string text(size_t(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(size_t(GetWindowTextA(window, text.data(), int(text.size()))));
    return text;
}

std::string StatusText(HWND statusBar, int part) {
    // An empty part leaves the buffer as it is, so it starts zeroed.
    std::vector<char> text(LOWORD(SendMessageA(statusBar, SB_GETTEXTLENGTHA, part, 0)) + 1u);
    SendMessageA(statusBar, SB_GETTEXTA, WPARAM(part), reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

void RegisterViewerClasses() {
    InitCommonControls();
    static const bool registered = RegisterFrameClass(GetModuleHandleA(nullptr)) &&
                                   RegisterDocumentClass(GetModuleHandleA(nullptr));
    EXPECT_TRUE(registered);
}

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

int RunWithDialogs(const std::function<void()>& call, std::vector<DialogAction> actions) {
    ModalState state;
    state.actions = std::move(actions);
    ModalState* outer = std::exchange(Current, &state);
    UINT_PTR timer = SetTimer(nullptr, 0, 100, Tick);
    call();
    KillTimer(nullptr, timer);
    Current = outer;
    return state.cancelled + int(state.actions.size() - state.next);
}

DialogAction Press(int id) {
    return [id](HWND dialog) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    };
}

DialogAction ChooseFile(const std::string& path) {
    return [path](HWND dialog) {
        SetDlgItemTextA(dialog, 0x47C, path.c_str()); // the Explorer dialogs' file name field
        Press(IDOK)(dialog);
    };
}

std::string Box(const std::string& caption, const std::string& text, HANDLE icon, HWND owner) {
    return caption + " | " + text + " | icon " + std::to_string(UINT_PTR(icon)) + " | owner " +
           std::to_string(UINT_PTR(owner));
}

DialogAction AcceptMessageBox(std::string& seen) {
    return [&seen](HWND box) {
        HWND icon = GetDlgItem(box, 0x440);
        HANDLE shown =
            IsWindowVisible(icon) ? HANDLE(SendMessageA(icon, STM_GETICON, 0, 0)) : nullptr;
        seen = Box(WindowText(box), WindowText(GetDlgItem(box, 0xFFFF)), shown,
                   GetWindow(box, GW_OWNER));
        Press(IDOK)(box);
    };
}

TempFolder::TempFolder() {
    static int count = 0;
    path = (std::filesystem::temp_directory_path() /
            ("qef-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count)))
               .string();
    EXPECT_TRUE(std::filesystem::create_directory(path)) << path;
}

TempFolder::~TempFolder() {
    // The file dialogs may have made the folder the current one, which could then not go.
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string TempFolder::MakeFile(const std::string& name, const std::string& bytes,
                                 unsigned long long size) const {
    std::string file = PathOf(name);
    std::ofstream(file, std::ios::binary) << bytes;
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(std::max<unsigned long long>(size, bytes.size()));
    EXPECT_TRUE(SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle)) << file;
    CloseHandle(handle);
    return file;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "<missing>";
}

std::string SampleBytes(SampleShape shape, uint32_t seed, uint32_t size) {
    std::vector<unsigned char> bytes = GenerateSample(shape, seed, size);
    return {bytes.begin(), bytes.end()};
}

void ViewerTest::SetUp() {
    NumerationMode = NUMERATION_MULTI;
    RegisterViewerClasses();
    Drive([this] { frame = CreateFrameWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL); });
    ASSERT_NE(frame, nullptr);
    statusBar = GetDlgItem(frame, ID_STATUSBAR);
}

void ViewerTest::TearDown() {
    if (IsWindow(frame))
        DestroyWindow(frame);
    PumpMessages();
}

void ViewerTest::Drive(const std::function<void()>& call, std::vector<DialogAction> actions) {
    EXPECT_EQ(RunWithDialogs(call, std::move(actions)), 0) << "dialogs not answered as planned";
}

void ViewerTest::Command(WPARAM command, std::vector<DialogAction> actions) {
    Drive([&] { SendMessageA(frame, WM_COMMAND, command, 0); }, std::move(actions));
}

HWND ViewerTest::ActiveDocument() const {
    return reinterpret_cast<HWND>(SendMessageA(MdiClient, WM_MDIGETACTIVE, 0, 0));
}

HWND ViewerTest::NewDocument() {
    Command(CMD_FILE_NEW);
    return ActiveDocument();
}
