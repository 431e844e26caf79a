#include "tests/win/modal_driver.h"

#include "tests/win/window_testing.h"

#include <utility>

namespace {

constexpr UINT TickMilliseconds = 100;
// About 20 s without a new dialog: far beyond the slowest file dialog, and still well inside
// ctest's timeout.
constexpr int PatienceTicks = 200;

struct ModalState {
    std::vector<DialogAction> actions;
    size_t next = 0;
    HWND lastAnswered = nullptr;
    HWND seen = nullptr;
    int quietTicks = 0;
    bool acting = false;
    ModalRun run;
};

// SetTimer without a window passes no context, and one modal run happens at a time.
ModalState* Current = nullptr;

struct DialogSearch {
    HWND skip;
    HWND found;
};

BOOL CALLBACK TakeDialog(HWND window, LPARAM context) {
    DialogSearch& search = *reinterpret_cast<DialogSearch*>(context);
    if (window != search.skip && ClassNameOf(window) == "#32770" && IsWindowVisible(window) &&
        IsWindowEnabled(window)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialogOtherThan(HWND skip) {
    DialogSearch search = {skip, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), TakeDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ModalState& state = *Current;
    // An action may run a modal loop of its own; this timer fires in there too.
    if (state.acting)
        return;
    if (state.run.gaveUp) {
        if (HWND dialog = FindActiveDialog())
            PressButton(dialog, IDCANCEL);
        return;
    }
    // The dialog just answered may still be closing.
    HWND dialog = FindDialogOtherThan(IsWindow(state.lastAnswered) ? state.lastAnswered : nullptr);
    if (!dialog) {
        if (++state.quietTicks > PatienceTicks) {
            state.run.gaveUp = true;
            if (HWND stuck = FindActiveDialog())
                PressButton(stuck, IDCANCEL);
        }
        return;
    }
    state.quietTicks = 0;
    // Some dialogs finish filling their controls after they show: act on the tick after the
    // one that first saw the dialog.
    if (dialog != std::exchange(state.seen, dialog))
        return;
    state.lastAnswered = dialog;
    if (state.next < state.actions.size()) {
        state.acting = true;
        state.actions[state.next++](dialog);
        state.acting = false;
        ++state.run.answered;
    } else {
        PressButton(dialog, IDCANCEL);
        ++state.run.cancelled;
    }
}

BOOL CALLBACK TakeButton(HWND child, LPARAM context) {
    auto& buttons = *reinterpret_cast<std::vector<int>*>(context);
    if (ClassNameOf(child) == "Button" && IsWindowVisible(child))
        buttons.push_back(GetDlgCtrlID(child));
    return TRUE;
}

} // namespace

ModalRun RunWithDialogs(const std::function<void()>& call, std::vector<DialogAction> actions) {
    ModalState state;
    state.actions = std::move(actions);
    ModalState* outer = std::exchange(Current, &state);
    UINT_PTR timer = SetTimer(nullptr, 0, TickMilliseconds, Tick);
    call();
    KillTimer(nullptr, timer);
    Current = outer;
    return state.run;
}

HWND FindActiveDialog() {
    return FindDialogOtherThan(nullptr);
}

void PressButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

MessageBoxContent ReadMessageBox(HWND dialog) {
    // The ids of a message box's text and icon statics.
    constexpr int TextId = 0xFFFF;
    constexpr int IconId = 0x440;
    MessageBoxContent content;
    content.caption = WindowText(dialog);
    content.text = WindowText(GetDlgItem(dialog, TextId));
    content.owner = GetWindow(dialog, GW_OWNER);
    HWND icon = GetDlgItem(dialog, IconId);
    if (icon && IsWindowVisible(icon))
        content.icon = reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0));
    EnumChildWindows(dialog, TakeButton, reinterpret_cast<LPARAM>(&content.buttons));
    return content;
}

DialogAction AcceptMessageBox(MessageBoxContent& seen) {
    return [&seen](HWND dialog) {
        seen = ReadMessageBox(dialog);
        PressButton(dialog, IDOK);
    };
}
