// For the Windows tests and the GUI benchmark: message boxes read, temporary folders and files,
// and a fresh frame for each viewer test.
#pragma once

#include "document/document.h"
#include "dump/viewer_dump.h"
#include "frame/frame.h"
#include "frame/resource.h"
#include "tools/sample_files.h"
#include "tools/window_driver.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

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

class ViewerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        NumerationMode = NUMERATION_MULTI;
        ASSERT_TRUE(RegisterViewerClasses());
        Drive([this] { frame = CreateFrameWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL); });
        ASSERT_NE(frame, nullptr);
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
        HWND bar = GetDlgItem(frame, ID_STATUSBAR);
        return WindowText(document) + " | " + StatusText(bar, 0) + " | " + StatusText(bar, 1);
    }
    HWND ActiveDocument() const { return HWND(SendMessageA(MdiClient, WM_MDIGETACTIVE, 0, 0)); }
    HWND NewDocument() { // File > New: the new document, then the active one
        Command(CMD_FILE_NEW);
        return ActiveDocument();
    }

    HWND frame = nullptr;
    TempFolder folder;
};
