// Shared by the Windows tests and tools: reading windows, answering the dialogs that a call
// opens (from inside their modal loops, on a thread timer), temporary files, and a real frame
// for each test.
#pragma once

#include "tests/support/sample_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

std::string WindowText(HWND window);
std::string StatusText(HWND statusBar, int part);
void RegisterViewerClasses(); // as start-up does; once per process
void PumpMessages();          // every message already waiting, WM_QUIT included

using DialogAction = std::function<void(HWND dialog)>; // must close it or open the next one
// Runs `call`, answering the dialogs it opens with `actions` in order. Gives how many went
// wrong: dialogs left over or stuck for 20 s (then cancelled), and actions never used.
int RunWithDialogs(const std::function<void()>& call, std::vector<DialogAction> actions);
DialogAction Press(int id); // posted, so that it acts once the action has returned
DialogAction ChooseFile(const std::string& path);
// A message box in one line: caption, text, icon shown, owner.
std::string Box(const std::string& caption, const std::string& text, HANDLE icon, HWND owner);
inline HANDLE SystemIcon(LPCSTR id) {
    return LoadIconA(nullptr, id);
}
DialogAction AcceptMessageBox(std::string& seen); // notes it as Box does, then presses OK

// A fresh folder in the temporary folder, removed with its files.
struct TempFolder {
    TempFolder();
    ~TempFolder();
    std::string PathOf(const std::string& name) const { return path + "\\" + name; }
    // `bytes`, then zeros up to `size` bytes, left to the file system (sparse).
    std::string MakeFile(const std::string& name, const std::string& bytes,
                         unsigned long long size = 0) const;
    std::string path;
};
std::string ReadWholeFile(const std::string& path); // "<missing>" when there is none
std::string SampleBytes(SampleShape shape, uint32_t seed, uint32_t size);

class ViewerTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Fails the test unless the dialogs that `call` opens take exactly `actions`.
    void Drive(const std::function<void()>& call, std::vector<DialogAction> actions = {});
    void Command(WPARAM command, std::vector<DialogAction> actions = {}); // as the menu sends it
    HWND ActiveDocument() const;
    HWND NewDocument(); // File > New: the new document, then the active one

    HWND frame = nullptr;
    HWND statusBar = nullptr;
    TempFolder folder;
};
