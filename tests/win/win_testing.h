// Shared by the Windows tests and tools: reading windows, answering the dialogs and message
// boxes that a call opens (from inside their modal loops, on a thread timer), a private
// temporary folder, and a real frame for each test, given its commands as the menu gives them.
#pragma once

#include "dump/formatter.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

std::string WindowText(HWND window);
std::string StatusText(HWND statusBar, int part);
// Registers the frame and document classes as start-up does, unless they are registered.
void RegisterViewerClasses();
// Handles every message already waiting, WM_QUIT included.
void PumpMessages();
// The viewer's message loop, ended with code 99 after `bound` ms so that a broken quit fails.
int RunMessageLoopAtMost(UINT bound);

// Answers one dialog: it must close it (PressButton) or open the next one.
using DialogAction = std::function<void(HWND dialog)>;
struct ModalRun {
    int answered = 0;  // dialogs handed to an action
    int cancelled = 0; // dialogs left over, or stuck for 20 s: IDCANCEL pressed
};
// Runs `call` and answers the dialogs it opens, in order, one action each.
ModalRun RunWithDialogs(const std::function<void()>& call, std::vector<DialogAction> actions);
// Clicks a dialog's button; posted, so that it acts once the action has returned.
void PressButton(HWND dialog, int id);
DialogAction Press(int id);
// Types `path` into a file dialog's name field and presses OK.
DialogAction ChooseFile(const std::string& path);
// A message box in one line: caption, text, the system icon (IDI_...) shown, owner, buttons.
std::string DescribeMessageBox(const std::string& caption, const std::string& text, LPCSTR icon,
                               HWND owner, bool okOnly = true);
// Notes the message box in `seen` as DescribeMessageBox does, then presses OK.
DialogAction AcceptMessageBox(std::string& seen);

// A fresh folder in the temporary folder, removed with its files.
struct TempFolder {
    TempFolder();
    ~TempFolder();
    std::string PathOf(const std::string& name) const;
    // A file of `bytes`, then zeros up to `size` bytes, left to the file system (sparse).
    std::string MakeFile(const std::string& name, const std::string& bytes,
                         unsigned long long size = 0) const;
    std::string path;
};
std::string ReadWholeFile(const std::string& path); // "<missing>" when there is none
std::string Bytes(const std::vector<unsigned char>& bytes);
// What the dump core makes of `bytes` in `mode`.
std::string ExpectedDump(const std::string& bytes, Numeration mode);
std::string EditText(HWND document);

class ViewerTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override; // fails the test if a dialog went unanswered
    // Runs `call` with `actions` answering its dialogs; any left over is cancelled and counted.
    ModalRun Drive(const std::function<void()>& call, std::vector<DialogAction> actions = {});
    // A menu or toolbar command to the frame, and the frame's result.
    LRESULT Command(WPARAM wParam, LPARAM lParam = 0);
    ModalRun Menu(WORD command, std::vector<DialogAction> actions);
    HWND ActiveDocument() const;
    HWND NewDocument(); // File > New: the new document, then the active one

    HWND frame = nullptr;
    HWND statusBar = nullptr;
    TempFolder folder;

  private:
    Numeration modeBefore = NUMERATION_MULTI;
    int unanswered = 0;
};
