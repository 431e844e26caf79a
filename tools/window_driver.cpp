#include "tools/window_driver.h"

#include "document/document.h"
#include "frame/frame.h"

#include <commctrl.h>

#include <utility>

namespace {

struct ModalState {
    std::vector<DialogAction> actions;
    size_t next = 0;
    HWND answered = nullptr, seen = nullptr; // answered: the last one, which may still be closing
    int quietTicks = 0, cancelled = 0;
};
ModalState* CurrentModalState = nullptr; // SetTimer without a window passes no context

// Finds a visible and enabled dialog other than search.first: not one behind its own message box.
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

void CALLBACK AnswerDialogs(HWND, UINT, UINT_PTR, DWORD) {
    ModalState& state = *CurrentModalState;
    bool overdue = ++state.quietTicks > 200; // 100 ms ticks
    std::pair<HWND, HWND> search = {overdue ? nullptr : state.answered, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), TakeDialog, reinterpret_cast<LPARAM>(&search));
    HWND dialog = search.second;
    // Some dialogs fill their controls after they show: act on the second sighting.
    if (!dialog || dialog != std::exchange(state.seen, dialog))
        return;
    state.quietTicks = 0;
    state.answered = dialog;
    bool planned = state.next < state.actions.size() && !overdue;
    state.cancelled += !planned;
    (planned ? state.actions[state.next++] : Press(IDCANCEL))(dialog);
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

bool RegisterViewerClasses() {
    InitCommonControls();
    static const bool registered = RegisterFrameClass(GetModuleHandleA(nullptr)) &&
                                   RegisterDocumentClass(GetModuleHandleA(nullptr));
    return registered;
}

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

DialogAction Press(int id) {
    return [id](HWND dialog) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     LPARAM(GetDlgItem(dialog, id)));
    };
}

DialogAction ChooseFile(const std::string& path) {
    return [path](HWND dialog) {
        SetDlgItemTextA(dialog, 0x47C, path.c_str()); // the Explorer dialogs' file name field
        Press(IDOK)(dialog);
    };
}

int RunWithDialogs(const std::function<void()>& call, std::vector<DialogAction> actions) {
    ModalState state{std::move(actions)};
    ModalState* outer = std::exchange(CurrentModalState, &state);
    UINT_PTR timer = SetTimer(nullptr, 0, 100, AnswerDialogs);
    call();
    KillTimer(nullptr, timer);
    CurrentModalState = outer;
    return state.cancelled + int(state.actions.size() - state.next);
}
