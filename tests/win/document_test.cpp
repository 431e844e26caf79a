// Document windows in a real frame: Open in each numeration mode, refused files, Save As, the
// clipboard, the menus following the active document, the MDI keys, and the display fonts.
#include "document/display_fonts.h"
#include "document/document.h"
#include "frame/frame.h"
#include "frame/resource.h"
#include "tests/support/sample_files.h"
#include "tests/win/win_testing.h"

#include <cstring>

namespace {

using DocumentTest = ViewerTest;

// The document-only menus and File items that are grayed; the menus are found by their text,
// as a maximised document shifts their positions.
std::string GrayedItems(HWND frame) {
    HMENU bar = GetMenu(frame);
    std::string grayed;
    for (int at = 0; at < GetMenuItemCount(bar); ++at) {
        char name[64] = {};
        GetMenuStringA(bar, UINT(at), name, sizeof name, MF_BYPOSITION);
        if (name[0] && std::strstr("&Edit &Window F&ormat", name) &&
            (GetMenuState(bar, UINT(at), MF_BYPOSITION) & MF_GRAYED))
            grayed += std::string(name) + " ";
    }
    for (UINT item : {CMD_FILE_SAVEAS, CMD_FILE_CLOSE})
        grayed += GetMenuState(bar, item, MF_BYCOMMAND) & MF_GRAYED ? std::to_string(item) : "";
    return grayed;
}
const char AllGrayed[] = "&Edit &Window F&ormat 4000540010";

HFONT FontOf(HWND document) {
    return reinterpret_cast<HFONT>(SendMessageA(EditOf(document), WM_GETFONT, 0, 0));
}

// What the document asked for; Wine may realise another face.
LOGFONTA RequestedFont(HWND document) {
    LOGFONTA font = {};
    GetObjectA(FontOf(document), sizeof font, &font);
    return font;
}

// Presses `key` with Ctrl held in `window` and lets the viewer's own message loop take it.
void PressWithControl(HWND window, WPARAM key) {
    BYTE keys[256] = {};
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    PostMessageA(window, WM_KEYDOWN, key, 1);
    PostQuitMessage(0);
    EXPECT_EQ(RunMessageLoopAtMost(5000), 0);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
}

TEST_F(DocumentTest, MenusFollowTheActiveDocumentThroughNewCloseAndTheMdiKeys) {
    EXPECT_EQ(GrayedItems(frame), AllGrayed);
    HWND first = NewDocument();
    EXPECT_EQ(WindowText(first), "[Untitled]");
    EXPECT_TRUE(IsZoomed(first));
    EXPECT_EQ(GetDlgItem(first, ID_DOCUMENT_EDIT), EditOf(first));
    LOGFONTA font = RequestedFont(first);
    EXPECT_STREQ(font.lfFaceName, "Lucida Console");
    EXPECT_EQ(font.lfHeight, -11); // 8 points at Wine's 96 pixels per inch
    EXPECT_EQ(GrayedItems(frame), "");

    // Restored, a document keeps the menus and its edit control still fills it.
    HWND second = NewDocument();
    ShowWindow(second, SW_RESTORE);
    RECT client = {};
    RECT edit = {};
    GetClientRect(second, &client);
    GetWindowRect(EditOf(second), &edit);
    MapWindowPoints(nullptr, second, reinterpret_cast<POINT*>(&edit), 2);
    EXPECT_TRUE(EqualRect(&client, &edit));
    EXPECT_EQ(GrayedItems(frame), "");

    PressWithControl(EditOf(second), VK_F6);
    EXPECT_EQ(ActiveDocument(), first);
    PressWithControl(EditOf(first), VK_F6);
    EXPECT_EQ(ActiveDocument(), second);
    HFONT secondFont = FontOf(second);
    PressWithControl(EditOf(second), VK_F4);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(GetObjectType(secondFont), 0u); // released with its document
    EXPECT_EQ(ActiveDocument(), first);
    EXPECT_EQ(GrayedItems(frame), "");

    HWND third = NewDocument();
    EXPECT_EQ(Command(CMD_FILE_CLOSE), 0);
    EXPECT_FALSE(IsWindow(third));
    SendMessageA(first, WM_CLOSE, 0, 0); // its own close box
    EXPECT_EQ(GrayedItems(frame), AllGrayed);
}

TEST_F(DocumentTest, OpenShowsTheDumpInTheChosenNumerationAndNamesTheFile) {
    std::string bytes = Bytes(GenerateSample(SAMPLE_MIXED, 7, 20000));
    std::string path = folder.MakeFile("mixed.qef", bytes);
    const std::pair<WORD, Numeration> modes[] = {{CMD_NUM_OFFSET, NUMERATION_OFFSET},
                                                 {CMD_NUM_SINGLE, NUMERATION_SINGLE},
                                                 {CMD_NUM_MULTI, NUMERATION_MULTI}};
    HWND first = nullptr;
    for (auto [command, mode] : modes) {
        Command(command);
        HWND before = ActiveDocument();
        EXPECT_EQ(Menu(CMD_FILE_OPEN, {ChooseFile(path)}).answered, 1);
        HWND document = ActiveDocument();
        EXPECT_TRUE(document != before && IsZoomed(document));
        EXPECT_TRUE(EditText(document) == ExpectedDump(bytes, mode)) << command;
        EXPECT_EQ(WindowText(document), path);
        EXPECT_EQ(StatusText(statusBar, 0), "Opened...");
        EXPECT_EQ(StatusText(statusBar, 1), path);
        first = first ? first : document;
    }
    // Documents opened earlier keep their numbering.
    EXPECT_TRUE(EditText(first) == ExpectedDump(bytes, NUMERATION_OFFSET));
}

// Notes the file type that a file dialog offers first, and whether the dialog is the frame's;
// then cancels it.
DialogAction ReadFileDialog(std::string& view) {
    return [&view](HWND dialog) {
        char type[64] = {};
        GetDlgItemTextA(dialog, 0x470, type, sizeof type);
        view = type + std::string(GetWindow(dialog, GW_OWNER) == FrameWindow ? "" : " unowned");
        PressButton(dialog, IDCANCEL);
    };
}

TEST_F(DocumentTest, RefusedFilesLeaveTheDocumentAsItWas) {
    std::string view;
    Menu(CMD_FILE_OPEN, {ReadFileDialog(view)});
    EXPECT_EQ(view, "Text Files (*.qef)");
    HWND document = ActiveDocument();
    EXPECT_EQ(WindowText(document), "[Untitled]");
    EXPECT_EQ(EditText(document), "");
    EXPECT_EQ(StatusText(statusBar, 0), "Hi there :)");

    std::string good = folder.MakeFile("good.qef", Bytes(GenerateSample(SAMPLE_MIXED, 2, 4000)));
    Drive([document] { OpenIntoDocument(document); }, {ChooseFile(good)});
    std::string dump = EditText(document);
    std::string broken = Bytes(GenerateSample(SAMPLE_ONE_RECORD, 9, 3000));
    broken.pop_back(); // the last record now claims one byte more than the file has
    const struct {
        std::string bytes;
        unsigned long long size;
        const char* text;
        LPCSTR icon;
        const char* status; // part 0 afterwards
    } refusals[] = {
        {"hello\r\n", 0, "No QEF format.", IDI_ERROR, "Opened..."},
        {"", 0, "No QEF format.", IDI_ERROR, "Opened..."},
        {broken, MaxModuleInfoLength + 1ull, "Don't parse file greather than 32 MB.",
         IDI_INFORMATION, "Opened..."},
        {broken, 0, "QEF format error.", IDI_ERROR, "Opened... 0%"},
    };
    for (const auto& refusal : refusals) {
        std::string seen;
        std::string path = folder.MakeFile("refused.qef", refusal.bytes, refusal.size);
        Drive([document] { OpenIntoDocument(document); },
              {ChooseFile(path), AcceptMessageBox(seen)});
        EXPECT_EQ(seen, DescribeMessageBox("Error", refusal.text, refusal.icon, frame));
        EXPECT_TRUE(!dump.empty() && EditText(document) == dump) << refusal.text;
        EXPECT_EQ(WindowText(document), good);
        EXPECT_EQ(StatusText(statusBar, 0), refusal.status);
        EXPECT_EQ(StatusText(statusBar, 1), good);
    }
}

// An edit control out of memory keeps none of the text and still answers that it took it.
WNDPROC EditProc = nullptr;
LRESULT CALLBACK KeepNoText(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT) {
        CallWindowProcA(EditProc, edit, message, wParam, reinterpret_cast<LPARAM>(""));
        return TRUE;
    }
    return CallWindowProcA(EditProc, edit, message, wParam, lParam);
}

TEST_F(DocumentTest, ADumpTheEditControlDidNotTakeWholeIsNeverReportedOpened) {
    HWND document = NewDocument();
    HWND edit = EditOf(document);
    SetWindowTextA(edit, "earlier text");
    EditProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(KeepNoText)));
    std::string path = folder.MakeFile("large.qef", Bytes(GenerateSample(SAMPLE_MIXED, 4, 6000)));
    std::string seen;
    Drive([document] { OpenIntoDocument(document); }, {ChooseFile(path), AcceptMessageBox(seen)});
    EXPECT_EQ(seen, DescribeMessageBox("Error", "Memory allocation error.", nullptr, frame));
    EXPECT_EQ(EditText(document), "");
    EXPECT_EQ(WindowText(document), "[Untitled]");
    EXPECT_NE(StatusText(statusBar, 0), "Opened...");
    EXPECT_EQ(StatusText(statusBar, 1), "");
}

TEST_F(DocumentTest, SaveAsWritesExactlyTheTextAndNamesTheFile) {
    std::string source =
        folder.MakeFile("source.qef", Bytes(GenerateSample(SAMPLE_MIXED, 4, 6000)));
    Menu(CMD_FILE_OPEN, {ChooseFile(source)});
    HWND document = ActiveDocument();
    std::string view;
    Menu(CMD_FILE_SAVEAS, {ReadFileDialog(view)});
    EXPECT_EQ(view, "Text Files (*.txt)");
    EXPECT_EQ(WindowText(document), source);
    EXPECT_EQ(StatusText(statusBar, 0), "Opened...");

    std::string saved = folder.PathOf("dump.txt");
    EXPECT_EQ(Menu(CMD_FILE_SAVEAS, {ChooseFile(saved)}).answered, 1);
    EXPECT_TRUE(ReadWholeFile(saved) == EditText(document));
    EXPECT_EQ(WindowText(document), saved);
    EXPECT_EQ(StatusText(statusBar, 0), "Saved...");
    EXPECT_EQ(StatusText(statusBar, 1), saved);

    // The saved dump is text, refused when opened; the empty document left saves an empty file
    // and reports nothing.
    std::string seen;
    Menu(CMD_FILE_OPEN, {ChooseFile(saved), AcceptMessageBox(seen)});
    EXPECT_EQ(seen, DescribeMessageBox("Error", "No QEF format.", IDI_ERROR, frame));
    HWND empty = ActiveDocument();
    Menu(CMD_FILE_SAVEAS, {ChooseFile(folder.PathOf("empty.txt"))});
    EXPECT_EQ(ReadWholeFile(folder.PathOf("empty.txt")), "");
    EXPECT_EQ(WindowText(empty), "[Untitled]");
    EXPECT_EQ(StatusText(statusBar, 1), saved);

    // Edited text goes as it stands; a name without extension gets ".txt"; a file of that name
    // is replaced once the user agrees.
    std::string edited = folder.MakeFile("edited.txt", std::string(500, 'o'));
    SetWindowTextA(EditOf(empty), "first line\r\nsecond, without an end");
    EXPECT_EQ(Menu(CMD_FILE_SAVEAS, {ChooseFile(folder.PathOf("edited")), Press(IDYES)}).answered,
              2);
    EXPECT_EQ(ReadWholeFile(edited), "first line\r\nsecond, without an end");
    EXPECT_EQ(WindowText(empty), edited);
}

// The clipboard is read by pasting it into another document's edit control.
TEST_F(DocumentTest, CutCopyAndPasteActOnTheActiveDocument) {
    HWND reader = EditOf(NewDocument());
    HWND document = NewDocument();
    const struct {
        WORD command;
        const char* text;
        int from, to;
        const char* textAfter;
        const char* clipboard; // afterwards; "before" until then
    } cases[] = {
        {CMD_EDIT_COPY, "00000001: some dump", 10, 14, "00000001: some dump", "some"},
        {CMD_EDIT_CUT, "keep cut keep", 4, 8, "keep keep", " cut"},
        {CMD_EDIT_PASTE, "one two three", 4, 7, "one before three", "before"},
    };
    for (const auto& c : cases) {
        SetWindowTextA(reader, "before");
        SendMessageA(reader, EM_SETSEL, 0, -1);
        SendMessageA(reader, WM_COPY, 0, 0);
        SetWindowTextA(EditOf(document), c.text);
        SendMessageA(EditOf(document), EM_SETSEL, WPARAM(c.from), LPARAM(c.to));
        EXPECT_EQ(Command(c.command), 0);
        EXPECT_EQ(EditText(document), c.textAfter);
        SetWindowTextA(reader, "");
        SendMessageA(reader, WM_PASTE, 0, 0);
        EXPECT_EQ(WindowText(reader), c.clipboard);
    }
}

// Tells a Font dialog of a change to one of its controls, as the control itself would.
void Change(HWND dialog, int id, WORD code, LRESULT selection = 0) {
    if (code == CBN_SELCHANGE)
        SendDlgItemMessageA(dialog, id, CB_SETCURSEL, WPARAM(selection), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Reads the size and colour that the Font dialog shows into `shown`, once Wine has filled it
// in; then `choose` answers it.
DialogAction AnswerFontDialog(std::string& shown, const DialogAction& choose) {
    return [&shown, choose](HWND dialog) {
        char size[16] = {};
        for (int wait = 0; wait < 500 && !GetDlgItemTextA(dialog, 0x472, size, sizeof size);
             ++wait) {
            PumpMessages();
            Sleep(20);
        }
        LRESULT colour = SendDlgItemMessageA(dialog, 0x473, CB_GETCURSEL, 0, 0);
        shown =
            std::string(size) + " " +
            std::to_string(SendDlgItemMessageA(dialog, 0x473, CB_GETITEMDATA, WPARAM(colour), 0));
        choose(dialog);
    };
}

TEST_F(DocumentTest, FontsApplyToTheActiveDocumentAndTheDialogStartsFromTheDefaults) {
    HWND first = NewDocument();
    HWND second = NewDocument();
    HFONT replaced = FontOf(second);

    // Size, colour and underline chosen. BM_CLICK would go through a mouse capture that a
    // focus change from the X server can take away half-way under Wine.
    std::string before;
    std::string chosen;
    Menu(CMD_FORMAT_FONT, {AnswerFontDialog(before, [&](HWND dialog) {
             SetDlgItemTextA(dialog, 0x472, "20");
             Change(dialog, 0x472, CBN_EDITCHANGE);
             Change(dialog, 0x473, CBN_SELCHANGE, 3);
             CheckDlgButton(dialog, 0x411, BST_CHECKED);
             Change(dialog, 0x411, BN_CLICKED);
             AnswerFontDialog(chosen, Press(IDOK))(dialog);
         })});
    EXPECT_EQ(before, "6 0"); // the default GUI font as Wine's dialog shows it, in black
    EXPECT_NE(chosen, before);
    EXPECT_TRUE(RequestedFont(second).lfUnderline);
    EXPECT_EQ(RequestedFont(second).lfHeight, -27);
    EXPECT_STREQ(RequestedFont(first).lfFaceName, "Lucida Console");
    EXPECT_FALSE(RequestedFont(first).lfUnderline);
    EXPECT_EQ(GetObjectType(replaced), 0u);

    // The next dialog starts from the default GUI font again, in the colour chosen last; cancelled,
    // it changes nothing.
    replaced = FontOf(second);
    std::string next;
    Menu(CMD_FORMAT_FONT, {AnswerFontDialog(next, Press(IDCANCEL))});
    std::string colour = chosen.substr(chosen.find(' ') + 1);
    EXPECT_EQ(next, "6 " + colour);
    EXPECT_EQ(std::to_string(LastFontColor), colour);
    EXPECT_EQ(FontOf(second), replaced);

    // "Lucida Console" returns the active document alone to the default.
    Command(ID_MDI_FIRSTCHILD);
    Command(CMD_FORMAT_LUCIDA);
    EXPECT_TRUE(RequestedFont(second).lfUnderline);
    Command(ID_MDI_FIRSTCHILD + 1);
    Command(CMD_FORMAT_LUCIDA);
    EXPECT_STREQ(RequestedFont(second).lfFaceName, "Lucida Console");
    EXPECT_EQ(RequestedFont(second).lfHeight, RequestedFont(first).lfHeight);
    EXPECT_FALSE(RequestedFont(second).lfUnderline);
    EXPECT_EQ(GetObjectType(replaced), 0u);
}

} // namespace
