// Edit > Cut, Copy and Paste on the active document, through the clipboard.
#include "tests/win/document_testing.h"

#include "frame/resource.h"

#include <cstring>
#include <string>

namespace {

std::string ClipboardText() {
    std::string text;
    if (!OpenClipboard(nullptr))
        return "<no clipboard>";
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const char* chars = static_cast<const char*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

void SetClipboardText(const std::string& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
    GlobalUnlock(block);
    SetClipboardData(CF_TEXT, block);
    CloseClipboard();
}

class DocumentEditTest : public ViewerTest {
  protected:
    HWND DocumentWithSelection(const char* text, int from, int to) {
        HWND document = NewDocument();
        SetWindowTextA(EditOf(document), text);
        SendMessageA(EditOf(document), EM_SETSEL, WPARAM(from), LPARAM(to));
        return document;
    }
};

TEST_F(DocumentEditTest, CopyPutsTheSelectionOnTheClipboard) {
    HWND document = DocumentWithSelection("00000001: some dump", 10, 14);
    SetClipboardText("before");
    Command(CMD_EDIT_COPY);
    EXPECT_EQ(ClipboardText(), "some");
    EXPECT_EQ(EditText(document), "00000001: some dump");
}

TEST_F(DocumentEditTest, CutMovesTheSelectionToTheClipboard) {
    HWND document = DocumentWithSelection("keep cut keep", 4, 8);
    SetClipboardText("before");
    Command(CMD_EDIT_CUT);
    EXPECT_EQ(ClipboardText(), " cut");
    EXPECT_EQ(EditText(document), "keep keep");
}

TEST_F(DocumentEditTest, PasteReplacesTheSelection) {
    HWND document = DocumentWithSelection("one two three", 4, 7);
    SetClipboardText("2");
    Command(CMD_EDIT_PASTE);
    EXPECT_EQ(EditText(document), "one 2 three");
}

TEST_F(DocumentEditTest, EditCommandsReachOnlyTheActiveDocument) {
    HWND first = DocumentWithSelection("first", 0, 5);
    HWND second = DocumentWithSelection("second", 0, 6);
    SetClipboardText("pasted");
    Command(CMD_EDIT_PASTE);
    EXPECT_EQ(EditText(first), "first");
    EXPECT_EQ(EditText(second), "pasted");
}

} // namespace
