// Answers the modal dialogs and message boxes that a call under test opens. The answers run
// inside the dialogs' own modal loops: a thread timer looks for a new dialog on every tick.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Reads and answers one dialog. It must close the dialog (PressButton) or open the next one.
using DialogAction = std::function<void(HWND dialog)>;

struct ModalRun {
    int answered = 0;    // dialogs handed to an action
    int cancelled = 0;   // dialogs left over once the actions were used up, pressed IDCANCEL
    bool gaveUp = false; // no new dialog for too long: everything still open was cancelled
};

// Runs `call` and answers the dialogs it opens, in order, one action each.
ModalRun RunWithDialogs(const std::function<void()>& call, std::vector<DialogAction> actions);

// The visible and enabled dialog ("#32770") of this thread, or null. A dialog disabled behind a
// message box of its own is skipped.
HWND FindActiveDialog();

// Clicks a dialog's button the way the user would; posted, so it acts once the action returns.
void PressButton(HWND dialog, int id);

// What a message box shows.
struct MessageBoxContent {
    std::string caption;
    std::string text;
    HWND owner = nullptr;
    HICON icon = nullptr;     // null when it shows none
    std::vector<int> buttons; // ids of its visible buttons, in their order
};
MessageBoxContent ReadMessageBox(HWND dialog);

// The commonest answer: note what the message box shows, then press OK.
DialogAction AcceptMessageBox(MessageBoxContent& seen);
