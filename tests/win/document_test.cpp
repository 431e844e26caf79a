// Document windows in a real frame: Open in each numeration mode, refused files, Save As, the
// clipboard and the display fonts.
#include "document/display_fonts.h"
#include "document/document.h"
#include "dump/formatter.h"
#include "frame/frame.h"
#include "frame/resource.h"
#include "tests/support/recording_target.h"
#include "tests/win/win_testing.h"

namespace {

using DocumentTest = ViewerTest;

std::string EditText(HWND document) {
    return WindowText(EditOf(document));
}

// The document's title and the status bar's two parts.
std::string Shown(HWND document) {
    HWND status = GetDlgItem(FrameWindow, ID_STATUSBAR);
    return WindowText(document) + " | " + StatusText(status, 0) + " | " + StatusText(status, 1);
}

// What Shown gives for a document named after `file`.
std::string Named(const std::string& file, const std::string& status) {
    return file + " | " + status + " | " + file;
}

TEST_F(DocumentTest, OpenShowsTheDumpAndRefusedFilesChangeNothing) {
    std::string bytes = SampleBytes(SAMPLE_MIXED, 7, 20000);
    std::string path = folder.MakeFile("mixed.qef", bytes);
    std::vector<std::pair<HWND, std::string>> opened;
    for (WORD command : {CMD_NUM_OFFSET, CMD_NUM_SINGLE, CMD_NUM_MULTI}) {
        Command(command);
        RecordingTarget expected;
        FormatModuleInfo(expected, reinterpret_cast<const unsigned char*>(bytes.data()), 20000);
        Command(CMD_FILE_OPEN, {ChooseFile(path)});
        opened.emplace_back(ActiveDocument(), expected.text);
        EXPECT_EQ(Shown(ActiveDocument()), Named(path, "Opened..."));
    }
    for (const auto& [document, dump] : opened)
        EXPECT_TRUE(EditText(document) == dump); // in the numbering it was opened with

    HWND document = ActiveDocument();
    std::string broken = SampleBytes(SAMPLE_ONE_RECORD, 9, 3000);
    broken.pop_back(); // the last record now claims one byte more than the file has
    const struct {
        std::string bytes;
        unsigned long long size;
        const char* text;
        LPCSTR icon;
        const char* status; // part 0 afterwards
    } refusals[] = {
        {"hello\r\n", 0, "No QEF format.", IDI_ERROR, "Opened..."},
        {broken, MaxModuleInfoLength + 1ull, "Don't parse file greather than 32 MB.",
         IDI_INFORMATION, "Opened..."},
        {broken, 0, "QEF format error.", IDI_ERROR, "Opened... 0%"},
    };
    for (const auto& refusal : refusals) {
        std::string seen;
        std::string refused = folder.MakeFile("refused.qef", refusal.bytes, refusal.size);
        Drive([document] { OpenIntoDocument(document); },
              {ChooseFile(refused), AcceptMessageBox(seen)});
        EXPECT_EQ(seen, Box("Error", refusal.text, SystemIcon(refusal.icon), frame));
        EXPECT_TRUE(EditText(document) == opened.back().second) << refusal.text;
        EXPECT_EQ(Shown(document), Named(path, refusal.status));
    }
}

// An edit control out of memory keeps none of the text and still answers that it took it.
WNDPROC EditProc = nullptr;
LRESULT CALLBACK KeepNoText(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT)
        lParam = reinterpret_cast<LPARAM>("");
    return CallWindowProcA(EditProc, edit, message, wParam, lParam);
}

TEST_F(DocumentTest, ADumpTheEditControlDidNotTakeWholeIsNeverReportedOpened) {
    HWND document = NewDocument();
    HWND edit = EditOf(document);
    SetWindowTextA(edit, "earlier text");
    EditProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(KeepNoText)));
    std::string path = folder.MakeFile("large.qef", SampleBytes(SAMPLE_MIXED, 4, 6000));
    std::string seen;
    Drive([document] { OpenIntoDocument(document); }, {ChooseFile(path), AcceptMessageBox(seen)});
    EXPECT_EQ(seen, Box("Error", "Memory allocation error.", nullptr, frame));
    EXPECT_EQ(EditText(document), "");
    EXPECT_EQ(WindowText(document) + " | " + StatusText(statusBar, 1), "[Untitled] | ");
    EXPECT_NE(StatusText(statusBar, 0), "Opened...");
}

TEST_F(DocumentTest, SaveAsWritesExactlyTheTextAndNamesTheFile) {
    HWND document = NewDocument();
    std::string saved = folder.PathOf("empty.txt");
    Command(CMD_FILE_SAVEAS, {ChooseFile(saved)});
    EXPECT_EQ(ReadWholeFile(saved), "");
    EXPECT_EQ(Shown(document), "[Untitled] | Hi there :) | "); // nothing saved to report
    // A name without extension gets ".txt"; a file of that name is replaced once the user agrees.
    std::string text = "first line\r\n\xE9\xFF second, without an end";
    SetWindowTextA(EditOf(document), text.c_str());
    saved = folder.MakeFile("edited.txt", std::string(500, 'o'));
    Command(CMD_FILE_SAVEAS, {ChooseFile(folder.PathOf("edited")), Press(IDYES)});
    EXPECT_EQ(ReadWholeFile(saved), text);
    EXPECT_EQ(Shown(document), Named(saved, "Saved..."));
}

// Each paste shows what the command before it left on the clipboard.
TEST_F(DocumentTest, CutCopyAndPasteActOnTheSelection) {
    HWND edit = EditOf(NewDocument());
    SetWindowTextA(edit, "one two three");
    const struct {
        WORD command;
        int from, to;
        const char* text;
    } steps[] = {
        {CMD_EDIT_COPY, 4, 7, "one two three"},
        {CMD_EDIT_PASTE, 0, 3, "two two three"},
        {CMD_EDIT_CUT, 8, 13, "two two "},
        {CMD_EDIT_PASTE, 0, 3, "three two "},
    };
    for (const auto& step : steps) {
        SendMessageA(edit, EM_SETSEL, WPARAM(step.from), LPARAM(step.to));
        Command(step.command);
        EXPECT_EQ(WindowText(edit), step.text);
    }
}

HFONT FontOf(HWND document) {
    return reinterpret_cast<HFONT>(SendMessageA(EditOf(document), WM_GETFONT, 0, 0));
}

// What the document asked for; Wine may realise another face.
LOGFONTA RequestedFont(HWND document) {
    LOGFONTA font = {};
    GetObjectA(FontOf(document), sizeof font, &font);
    return font;
}

TEST_F(DocumentTest, FontsApplyToTheActiveDocumentAloneAndAreReleased) {
    HWND first = NewDocument();
    HWND second = NewDocument();
    HFONT firstFont = FontOf(first);
    HFONT replaced = FontOf(second);
    // Notified as the box would do it: BM_CLICK goes through a mouse capture that Wine can lose.
    Command(CMD_FORMAT_FONT, {[](HWND dialog) {
                CheckDlgButton(dialog, 0x411, BST_CHECKED); // underline
                SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(0x411, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(dialog, 0x411)));
                Press(IDOK)(dialog);
            }});
    EXPECT_TRUE(RequestedFont(second).lfUnderline);
    EXPECT_EQ(GetObjectType(replaced), 0u);
    replaced = FontOf(second);
    Command(CMD_FORMAT_LUCIDA);
    EXPECT_STREQ(RequestedFont(second).lfFaceName, "Lucida Console");
    EXPECT_EQ(RequestedFont(second).lfHeight, -11); // 8 points at Wine's 96 pixels per inch
    EXPECT_FALSE(RequestedFont(second).lfUnderline);
    EXPECT_EQ(GetObjectType(replaced), 0u);
    EXPECT_EQ(FontOf(first), firstFont);
    replaced = FontOf(second);
    SendMessageA(second, WM_CLOSE, 0, 0);
    EXPECT_EQ(GetObjectType(replaced), 0u); // released with its document
}

} // namespace
