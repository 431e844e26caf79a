#include "tests/win/win_testing.h"

#include "document/document.h"
#include "frame/frame.h"
#include "frame/resource.h"
#include "tests/support/recording_target.h"

#include <commctrl.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

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
    // Once per process: registering again fails with a message box.
    static const bool registered = RegisterFrameClass(GetModuleHandleA(nullptr)) &&
                                   RegisterDocumentClass(GetModuleHandleA(nullptr));
    EXPECT_TRUE(registered);
}

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

namespace {

void CALLBACK EndOverdueLoop(HWND, UINT, UINT_PTR, DWORD) {
    PostQuitMessage(99);
}

struct ModalState {
    std::vector<DialogAction> actions;
    size_t next = 0;
    HWND answered = nullptr; // the last dialog answered, which may still be closing
    HWND seen = nullptr;
    int quietTicks = 0;
    ModalRun run;
};

// SetTimer without a window passes no context; one modal run happens at a time.
ModalState* Current = nullptr;

std::string ClassNameOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// A visible and enabled dialog other than the first of the pair goes in the second: one
// disabled behind a message box of its own is passed over.
BOOL CALLBACK TakeDialog(HWND window, LPARAM context) {
    auto& [skipped, found] = *reinterpret_cast<std::pair<HWND, HWND>*>(context);
    if (window == skipped || ClassNameOf(window) != "#32770" || !IsWindowVisible(window) ||
        !IsWindowEnabled(window))
        return TRUE;
    found = window;
    return FALSE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ModalState& state = *Current;
    // A dialog that has not taken its answer within 20 s of 100 ms ticks is cancelled.
    bool overdue = ++state.quietTicks > 200;
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
        ++state.run.answered;
    } else {
        PressButton(dialog, IDCANCEL);
        ++state.run.cancelled;
    }
}

LPCSTR ShownIcon(HWND box) {
    HWND icon = GetDlgItem(box, 0x440);
    auto shown = reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0));
    if (!icon || !IsWindowVisible(icon) || !shown)
        return nullptr;
    for (LPCSTR id : {IDI_ERROR, IDI_WARNING, IDI_INFORMATION})
        if (LoadIconA(nullptr, id) == shown)
            return id;
    return IDI_APPLICATION; // some other icon
}

int FolderCount = 0;

} // namespace

int RunMessageLoopAtMost(UINT bound) {
    UINT_PTR timer = SetTimer(nullptr, 0, bound, EndOverdueLoop);
    int code = RunMessageLoop();
    KillTimer(nullptr, timer);
    return code;
}

ModalRun RunWithDialogs(const std::function<void()>& call, std::vector<DialogAction> actions) {
    ModalState state;
    state.actions = std::move(actions);
    ModalState* outer = std::exchange(Current, &state);
    UINT_PTR timer = SetTimer(nullptr, 0, 100, Tick);
    call();
    KillTimer(nullptr, timer);
    Current = outer;
    return state.run;
}

void PressButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

DialogAction Press(int id) {
    return [id](HWND dialog) { PressButton(dialog, id); };
}

DialogAction ChooseFile(const std::string& path) {
    return [path](HWND dialog) {
        SetDlgItemTextA(dialog, 0x47C, path.c_str()); // the Explorer dialogs' file name field
        PressButton(dialog, IDOK);
    };
}

std::string DescribeMessageBox(const std::string& caption, const std::string& text, LPCSTR icon,
                               HWND owner, bool okOnly) {
    char rest[64];
    std::snprintf(rest, sizeof rest, " | icon %u | owner %p%s", unsigned(UINT_PTR(icon)),
                  static_cast<void*>(owner), okOnly ? "" : " | other buttons");
    return caption + " | " + text + rest;
}

DialogAction AcceptMessageBox(std::string& seen) {
    return [&seen](HWND box) {
        bool okOnly = true;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            okOnly &= ClassNameOf(child) != "Button" || !IsWindowVisible(child) ||
                      GetDlgCtrlID(child) == IDOK;
        seen = DescribeMessageBox(WindowText(box), WindowText(GetDlgItem(box, 0xFFFF)),
                                  ShownIcon(box), GetWindow(box, GW_OWNER), okOnly);
        PressButton(box, IDOK);
    };
}

TempFolder::TempFolder()
    : path((std::filesystem::temp_directory_path() /
            ("qef-test-" + std::to_string(GetCurrentProcessId()) + "-" +
             std::to_string(++FolderCount)))
               .string()) {
    EXPECT_TRUE(std::filesystem::create_directory(path)) << path;
}

TempFolder::~TempFolder() {
    // The file dialogs may have made the folder the current one, which could then not go.
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string TempFolder::PathOf(const std::string& name) const {
    return path + "\\" + name;
}

std::string TempFolder::MakeFile(const std::string& name, const std::string& bytes,
                                 unsigned long long size) const {
    std::string file = PathOf(name);
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(size > bytes.size() ? size : bytes.size());
    EXPECT_TRUE((bytes.empty() ||
                 WriteFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr)) &&
                SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle))
        << file;
    CloseHandle(handle);
    return file;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "<missing>";
}

std::string Bytes(const std::vector<unsigned char>& bytes) {
    return {bytes.begin(), bytes.end()};
}

std::string ExpectedDump(const std::string& bytes, Numeration mode) {
    Numeration saved = std::exchange(NumerationMode, mode);
    RecordingTarget target;
    EXPECT_TRUE(FormatModuleInfo(target, reinterpret_cast<const unsigned char*>(bytes.data()),
                                 uint32_t(bytes.size())));
    NumerationMode = saved;
    return target.text;
}

std::string EditText(HWND document) {
    return WindowText(EditOf(document));
}

void ViewerTest::SetUp() {
    modeBefore = NumerationMode;
    RegisterViewerClasses();
    Drive([this] { frame = CreateFrameWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL); });
    ASSERT_NE(frame, nullptr);
    statusBar = GetDlgItem(frame, ID_STATUSBAR);
}

void ViewerTest::TearDown() {
    if (IsWindow(frame))
        DestroyWindow(frame);
    PumpMessages();
    NumerationMode = modeBefore;
    EXPECT_EQ(unanswered, 0);
}

ModalRun ViewerTest::Drive(const std::function<void()>& call, std::vector<DialogAction> actions) {
    ModalRun run = RunWithDialogs(call, std::move(actions));
    unanswered += run.cancelled;
    return run;
}

LRESULT ViewerTest::Command(WPARAM wParam, LPARAM lParam) {
    LRESULT result = -1;
    Drive([&] { result = SendMessageA(frame, WM_COMMAND, wParam, lParam); });
    return result;
}

ModalRun ViewerTest::Menu(WORD command, std::vector<DialogAction> actions) {
    return Drive([this, command] { SendMessageA(frame, WM_COMMAND, command, 0); },
                 std::move(actions));
}

HWND ViewerTest::ActiveDocument() const {
    return reinterpret_cast<HWND>(SendMessageA(MdiClient, WM_MDIGETACTIVE, 0, 0));
}

HWND ViewerTest::NewDocument() {
    Command(CMD_FILE_NEW);
    return ActiveDocument();
}
