// Document windows in a real frame: the menus following the active document, Open in each
// numeration mode, refused files, Save As, the clipboard and the display fonts.
#include "document/display_fonts.h"
#include "document/document.h"
#include "dump/formatter.h"
#include "frame/frame.h"
#include "frame/resource.h"
#include "tests/support/recording_target.h"
#include "tests/support/sample_files.h"
#include "tests/win/win_testing.h"

#include <utility>

namespace {

using DocumentTest = ViewerTest;

std::string EditText(HWND document) {
    return WindowText(EditOf(document));
}

std::string ExpectedDump(const std::string& bytes, Numeration mode) {
    Numeration saved = std::exchange(NumerationMode, mode);
    RecordingTarget target;
    FormatModuleInfo(target, reinterpret_cast<const unsigned char*>(bytes.data()),
                     uint32_t(bytes.size()));
    NumerationMode = saved;
    return target.text;
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

// A 1 for each of these that is grayed: the Edit, Window and Format menus (found by their text,
// as a maximised document shifts their positions), then Save As and Close.
std::string Grayed(HWND frame) {
    HMENU bar = GetMenu(frame);
    std::string grayed;
    for (std::string menu : {"&Edit", "&Window", "F&ormat"}) {
        for (int at = 0; at < GetMenuItemCount(bar); ++at) {
            char name[16] = {};
            GetMenuStringA(bar, UINT(at), name, sizeof name, MF_BYPOSITION);
            if (menu == name)
                grayed += GetMenuState(bar, UINT(at), MF_BYPOSITION) & MF_GRAYED ? "1" : "0";
        }
    }
    for (UINT item : {CMD_FILE_SAVEAS, CMD_FILE_CLOSE})
        grayed += GetMenuState(bar, item, MF_BYCOMMAND) & MF_GRAYED ? "1" : "0";
    return grayed;
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
    EXPECT_EQ(Grayed(frame), "11111");
    HWND first = NewDocument();
    EXPECT_EQ(WindowText(first), "[Untitled]");
    EXPECT_TRUE(IsZoomed(first));
    EXPECT_EQ(Grayed(frame), "00000");
    // Restored, a document keeps the menus and its edit control still fills it.
    HWND second = NewDocument();
    ShowWindow(second, SW_RESTORE);
    RECT client = {}, edit = {};
    GetClientRect(second, &client);
    GetWindowRect(EditOf(second), &edit);
    MapWindowPoints(nullptr, second, reinterpret_cast<POINT*>(&edit), 2);
    EXPECT_TRUE(EqualRect(&client, &edit));
    EXPECT_EQ(Grayed(frame), "00000");

    PressWithControl(EditOf(second), VK_F6);
    EXPECT_EQ(ActiveDocument(), first);
    HFONT firstFont = FontOf(first);
    PressWithControl(EditOf(first), VK_F4);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(GetObjectType(firstFont), 0u); // released with its document
    EXPECT_EQ(ActiveDocument(), second);
    EXPECT_EQ(Grayed(frame), "00000");
    Command(CMD_FILE_CLOSE);
    EXPECT_EQ(Grayed(frame), "11111");
}

TEST_F(DocumentTest, OpenShowsTheDumpInTheChosenNumerationAndNamesTheFile) {
    std::string bytes = Bytes(GenerateSample(SAMPLE_MIXED, 7, 20000));
    std::string path = folder.MakeFile("mixed.qef", bytes);
    HWND first = nullptr;
    for (auto [command, mode] : {std::pair{CMD_NUM_OFFSET, NUMERATION_OFFSET},
                                 {CMD_NUM_SINGLE, NUMERATION_SINGLE},
                                 {CMD_NUM_MULTI, NUMERATION_MULTI}}) {
        Command(command);
        Command(CMD_FILE_OPEN, {ChooseFile(path)});
        HWND document = ActiveDocument();
        EXPECT_TRUE(EditText(document) == ExpectedDump(bytes, mode)) << command;
        EXPECT_EQ(WindowText(document), path);
        EXPECT_EQ(StatusText(statusBar, 0), "Opened...");
        EXPECT_EQ(StatusText(statusBar, 1), path);
        first = first ? first : document;
    }
    // Documents opened earlier keep their numbering.
    EXPECT_TRUE(EditText(first) == ExpectedDump(bytes, NUMERATION_OFFSET));
}

TEST_F(DocumentTest, CancelledOrRefusedFilesLeaveTheDocumentAsItWas) {
    Command(CMD_FILE_OPEN, {Press(IDCANCEL)});
    HWND document = ActiveDocument();
    EXPECT_EQ(WindowText(document), "[Untitled]");
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
        {broken, MaxModuleInfoLength + 1ull, "Don't parse file greather than 32 MB.",
         IDI_INFORMATION, "Opened..."},
        {broken, 0, "QEF format error.", IDI_ERROR, "Opened... 0%"},
    };
    for (const auto& refusal : refusals) {
        std::string seen;
        std::string path = folder.MakeFile("refused.qef", refusal.bytes, refusal.size);
        Drive([document] { OpenIntoDocument(document); },
              {ChooseFile(path), AcceptMessageBox(seen)});
        EXPECT_EQ(seen, Box("Error", refusal.text, refusal.icon, frame));
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
    EXPECT_EQ(seen, Box("Error", "Memory allocation error.", nullptr, frame));
    EXPECT_EQ(EditText(document), "");
    EXPECT_EQ(WindowText(document), "[Untitled]");
    EXPECT_NE(StatusText(statusBar, 0), "Opened...");
    EXPECT_EQ(StatusText(statusBar, 1), "");
}

TEST_F(DocumentTest, SaveAsWritesExactlyTheTextAndNamesTheFile) {
    std::string source =
        folder.MakeFile("source.qef", Bytes(GenerateSample(SAMPLE_MIXED, 4, 6000)));
    Command(CMD_FILE_OPEN, {ChooseFile(source)});
    HWND document = ActiveDocument();
    std::string saved = folder.PathOf("dump.txt");
    Command(CMD_FILE_SAVEAS, {ChooseFile(saved)});
    EXPECT_TRUE(ReadWholeFile(saved) == EditText(document));
    EXPECT_EQ(WindowText(document), saved);
    EXPECT_EQ(StatusText(statusBar, 0), "Saved...");
    EXPECT_EQ(StatusText(statusBar, 1), saved);

    // An empty document leaves an empty file and reports nothing.
    HWND empty = NewDocument();
    Command(CMD_FILE_SAVEAS, {ChooseFile(folder.PathOf("empty.txt"))});
    EXPECT_EQ(ReadWholeFile(folder.PathOf("empty.txt")), "");
    EXPECT_EQ(WindowText(empty), "[Untitled]");
    EXPECT_EQ(StatusText(statusBar, 1), saved);

    // Edited text goes as it stands; a name without extension gets ".txt"; a file of that name
    // is replaced once the user agrees.
    std::string edited = folder.MakeFile("edited.txt", std::string(500, 'o'));
    SetWindowTextA(EditOf(empty), "first line\r\nsecond, without an end");
    Command(CMD_FILE_SAVEAS, {ChooseFile(folder.PathOf("edited")), Press(IDYES)});
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
        Command(c.command);
        EXPECT_EQ(EditText(document), c.textAfter);
        SetWindowTextA(reader, "");
        SendMessageA(reader, WM_PASTE, 0, 0);
        EXPECT_EQ(WindowText(reader), c.clipboard);
    }
}

// Tells a Font dialog of a change to one of its controls, as the control itself would. BM_CLICK
// would go through a mouse capture that a focus change from the X server can take away.
void Notify(HWND dialog, int id, WORD code) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Whether a Font dialog shows underline checked, and the colour it shows.
std::string ShownEffects(HWND dialog) {
    LRESULT colour = SendDlgItemMessageA(dialog, 0x473, CB_GETCURSEL, 0, 0);
    return std::to_string(IsDlgButtonChecked(dialog, 0x411)) + " " +
           std::to_string(SendDlgItemMessageA(dialog, 0x473, CB_GETITEMDATA, WPARAM(colour), 0));
}

TEST_F(DocumentTest, FontsApplyToTheActiveDocumentAloneAndTheDialogStartsFromTheDefault) {
    HWND first = NewDocument();
    HWND second = NewDocument();
    HFONT firstFont = FontOf(first);
    EXPECT_STREQ(RequestedFont(first).lfFaceName, "Lucida Console");
    EXPECT_EQ(RequestedFont(first).lfHeight, -11); // 8 points at Wine's 96 pixels per inch
    HFONT replaced = FontOf(second);
    std::string before;
    Command(CMD_FORMAT_FONT, {[&before](HWND dialog) {
                before = ShownEffects(dialog);
                SetDlgItemTextA(dialog, 0x472, "20");
                Notify(dialog, 0x472, CBN_EDITCHANGE);
                SendDlgItemMessageA(dialog, 0x473, CB_SETCURSEL, 3, 0);
                Notify(dialog, 0x473, CBN_SELCHANGE);
                CheckDlgButton(dialog, 0x411, BST_CHECKED);
                Notify(dialog, 0x411, BN_CLICKED);
                Press(IDOK)(dialog);
            }});
    EXPECT_EQ(before, "0 0");
    EXPECT_TRUE(RequestedFont(second).lfUnderline);
    EXPECT_EQ(RequestedFont(second).lfHeight, -27);
    EXPECT_EQ(GetObjectType(replaced), 0u);

    // The next dialog starts from the default GUI font again, in the colour chosen last;
    // cancelled, it changes nothing.
    replaced = FontOf(second);
    std::string next;
    Command(CMD_FORMAT_FONT, {[&next](HWND dialog) {
                next = ShownEffects(dialog);
                Press(IDCANCEL)(dialog);
            }});
    EXPECT_NE(LastFontColor, 0u);
    EXPECT_EQ(next, "0 " + std::to_string(LastFontColor));
    EXPECT_EQ(FontOf(second), replaced);

    Command(CMD_FORMAT_LUCIDA);
    EXPECT_EQ(RequestedFont(second).lfHeight, -11);
    EXPECT_FALSE(RequestedFont(second).lfUnderline);
    EXPECT_EQ(GetObjectType(replaced), 0u);
    EXPECT_EQ(FontOf(first), firstFont);
}

} // namespace
