// For the Windows tests and tools: windows read, dialogs answered inside their modal loops.
#pragma once

#include "document/document.h"
#include "dump/formatter.h"
#include "frame/frame.h"
#include "frame/resource.h"
#include "tools/sample_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

inline std::string WindowText(HWND window) {
    std::string text(size_t(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(size_t(GetWindowTextA(window, text.data(), int(text.size()))));
    return text;
}

inline std::string StatusText(HWND statusBar, int part) {
    // An empty part leaves the buffer as it is, so it starts zeroed.
    std::vector<char> text(LOWORD(SendMessageA(statusBar, SB_GETTEXTLENGTHA, part, 0)) + 1u);
    SendMessageA(statusBar, SB_GETTEXTA, WPARAM(part), reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

inline void RegisterViewerClasses() { // as start-up does; once per process
    InitCommonControls();
    static const bool registered = RegisterFrameClass(GetModuleHandleA(nullptr)) &&
                                   RegisterDocumentClass(GetModuleHandleA(nullptr));
    EXPECT_TRUE(registered);
}

inline void PumpMessages() { // every message already waiting, WM_QUIT included
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

using DialogAction = std::function<void(HWND dialog)>; // must close it or open the next one

inline DialogAction Press(int id) { // posted, so that it acts once the action has returned
    return [id](HWND dialog) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     LPARAM(GetDlgItem(dialog, id)));
    };
}

inline DialogAction ChooseFile(const std::string& path) {
    return [path](HWND dialog) {
        SetDlgItemTextA(dialog, 0x47C, path.c_str()); // the Explorer dialogs' file name field
        Press(IDOK)(dialog);
    };
}

struct ModalState {
    std::vector<DialogAction> actions;
    size_t next = 0;
    HWND answered = nullptr, seen = nullptr; // answered: the last one, which may still be closing
    int quietTicks = 0, cancelled = 0;
};
inline ModalState* CurrentModalState = nullptr; // SetTimer without a window passes no context

// Finds a visible and enabled dialog other than search.first: not one behind its own message box.
inline BOOL CALLBACK TakeDialog(HWND window, LPARAM context) {
    auto& [skipped, found] = *reinterpret_cast<std::pair<HWND, HWND>*>(context);
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (window == skipped || std::string(name) != "#32770" || !IsWindowVisible(window) ||
        !IsWindowEnabled(window))
        return TRUE;
    found = window;
    return FALSE;
}

inline void CALLBACK AnswerDialogs(HWND, UINT, UINT_PTR, DWORD) {
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

// Runs `call`, answering the dialogs it opens with `actions` in order. Gives how many went
// wrong: dialogs left over or stuck for 20 s (then cancelled), and actions never used.
inline int RunWithDialogs(const std::function<void()>& call, std::vector<DialogAction> actions) {
    ModalState state{std::move(actions)};
    ModalState* outer = std::exchange(CurrentModalState, &state);
    UINT_PTR timer = SetTimer(nullptr, 0, 100, AnswerDialogs);
    call();
    KillTimer(nullptr, timer);
    CurrentModalState = outer;
    return state.cancelled + int(state.actions.size() - state.next);
}

// A message box in one line: caption, text, icon shown, owner.
inline std::string Box(const std::string& caption, const std::string& text, HANDLE icon,
                       HWND owner) {
    return caption + " | " + text + " | icon " + std::to_string(UINT_PTR(icon)) + " | owner " +
           std::to_string(UINT_PTR(owner));
}

inline DialogAction AcceptMessageBox(std::string& seen) { // notes it as Box does, presses OK
    return [&seen](HWND box) {
        HWND icon = GetDlgItem(box, 0x440);
        HANDLE shown =
            IsWindowVisible(icon) ? HANDLE(SendMessageA(icon, STM_GETICON, 0, 0)) : nullptr;
        seen = Box(WindowText(box), WindowText(GetDlgItem(box, 0xFFFF)), shown,
                   GetWindow(box, GW_OWNER));
        Press(IDOK)(box);
    };
}

// A fresh folder in the temporary folder, removed with its files.
struct TempFolder {
    TempFolder() {
        static int count = 0;
        std::string name =
            "qef-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
        path = (std::filesystem::temp_directory_path() / name).string();
        EXPECT_TRUE(std::filesystem::create_directory(path)) << path;
    }
    ~TempFolder() {
        // The file dialogs may have made the folder the current one, which could then not go.
        std::filesystem::current_path(std::filesystem::temp_directory_path());
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string PathOf(const std::string& name) const { return path + "\\" + name; }
    // `bytes`, then zeros up to `size` bytes, left to the file system (sparse).
    std::string MakeFile(const std::string& name, const std::string& bytes,
                         unsigned long long size = 0) const {
        std::string file = PathOf(name);
        std::ofstream(file, std::ios::binary) << bytes;
        if (size > bytes.size())
            std::filesystem::resize_file(file, size);
        return file;
    }
    std::string path;
};

inline std::string ReadWholeFile(const std::string& path) { // "<missing>" when there is none
    std::ifstream file(path, std::ios::binary);
    return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "<missing>";
}

inline std::string SampleBytes(SampleShape shape, uint32_t seed, uint32_t size) {
    auto bytes = GenerateSample(shape, seed, size);
    return {bytes.begin(), bytes.end()};
}

class ViewerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        NumerationMode = NUMERATION_MULTI;
        RegisterViewerClasses();
        Drive([this] { frame = CreateFrameWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL); });
        ASSERT_NE(frame, nullptr);
        statusBar = GetDlgItem(frame, ID_STATUSBAR);
    }
    void TearDown() override {
        if (IsWindow(frame))
            DestroyWindow(frame);
        PumpMessages();
    }
    // Fails the test unless the dialogs that `call` opens take exactly `actions`.
    void Drive(const std::function<void()>& call, std::vector<DialogAction> actions = {}) {
        EXPECT_EQ(RunWithDialogs(call, std::move(actions)), 0) << "dialogs not answered as planned";
    }
    void Command(WPARAM command, std::vector<DialogAction> actions = {}) { // as the menu sends it
        Drive([&] { SendMessageA(frame, WM_COMMAND, command, 0); }, std::move(actions));
    }
    std::string ShownFor(HWND document) const { // its title and the status bar's two parts
        return WindowText(document) + " | " + StatusText(statusBar, 0) + " | " +
               StatusText(statusBar, 1);
    }
    HWND ActiveDocument() const { return HWND(SendMessageA(MdiClient, WM_MDIGETACTIVE, 0, 0)); }
    HWND NewDocument() { // File > New: the new document, then the active one
        Command(CMD_FILE_NEW);
        return ActiveDocument();
    }

    HWND frame = nullptr;
    HWND statusBar = nullptr;
    TempFolder folder;
};
