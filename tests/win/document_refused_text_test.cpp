// An edit control that cannot take the dump, as one out of memory behaves: it keeps none of
// the text and still answers that it took it.
#include "tests/win/document_testing.h"

#include "tests/support/sample_files.h"
#include "tests/win/window_testing.h"

namespace {

WNDPROC EditProc = nullptr;

LRESULT CALLBACK KeepNoText(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT) {
        CallWindowProcA(EditProc, edit, message, wParam, reinterpret_cast<LPARAM>(""));
        return TRUE;
    }
    return CallWindowProcA(EditProc, edit, message, wParam, lParam);
}

using DocumentRefusedTextTest = ViewerTest;

TEST_F(DocumentRefusedTextTest, DumpNotTakenWholeIsAnAllocationErrorNotAnOpenedFile) {
    HWND document = NewDocument();
    HWND edit = EditOf(document);
    SetWindowTextA(edit, "earlier text");
    EditProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(KeepNoText)));
    std::string path = MakeFile("large.qef", GenerateSample(SAMPLE_MIXED, 4, 6000));
    MessageBoxContent seen;
    ModalRun run = RunWithDialogs([document] { OpenIntoDocument(document); },
                                  {ChooseFile(path), AcceptMessageBox(seen)});
    EXPECT_EQ(run.answered, 2);
    EXPECT_EQ(seen.text, "Memory allocation error.");
    EXPECT_EQ(seen.caption, "Error");
    EXPECT_EQ(seen.icon, nullptr);
    EXPECT_EQ(seen.owner, frame); // the top-level window of the owning edit control
    EXPECT_EQ(seen.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(EditText(document), "");
    EXPECT_EQ(WindowText(document), "[Untitled]");
    EXPECT_NE(StatusText(statusBar, 0), "Opened...");
    EXPECT_EQ(StatusText(statusBar, 1), "");
}

} // namespace
