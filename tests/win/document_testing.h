// Shared by the document and font tests: a real frame with its MDI client for every test, a
// private temporary folder, and the dialogs answered the way a user would.
#pragma once

#include "document/document.h"
#include "dump/formatter.h"
#include "tests/win/modal_driver.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

class ViewerTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // What the menu or the toolbar would send the frame.
    void Command(WORD command);
    HWND ActiveDocument();
    // File > New; the new document, which is then the active one.
    HWND NewDocument();
    // File > Open with `path` typed into the dialog; `more` answers what follows it.
    ModalRun OpenThroughDialog(const std::string& path, std::vector<DialogAction> more = {});
    // File > Save As on the active document with `path` typed into the dialog.
    ModalRun SaveThroughDialog(const std::string& path, std::vector<DialogAction> more = {});

    std::string PathOf(const std::string& name);
    std::string MakeFile(const std::string& name, const std::vector<unsigned char>& bytes);
    // `bytes` followed by zeros up to `size` bytes, the zeros left to the file system.
    std::string MakeLongFile(const std::string& name, const std::vector<unsigned char>& bytes,
                             unsigned long long size);

    HWND frame = nullptr;
    HWND statusBar = nullptr;
    std::string folder;
};

// Types `path` into a file dialog's name field and presses OK.
DialogAction ChooseFile(const std::string& path);
// Presses Cancel.
DialogAction CancelDialog();

std::string EditText(HWND document);
std::string ReadWholeFile(const std::string& path);

// The dump the formatter makes of `bytes` in `mode`.
std::string ExpectedDump(const std::vector<unsigned char>& bytes, Numeration mode);
// "" when equal, else where and how the two first differ: whole dumps are too long to print.
std::string FirstDifference(const std::string& actual, const std::string& expected);
