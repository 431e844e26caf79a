// The frame and its documents as the user drives them, each test in a fresh frame.
#include "tests/support/dump_model.h"
#include "tests/win/win_testing.h"

#include <tuple>

namespace {

// A 1 for each grayed menu of the bar, then for Save As and Close; an x for each numeration item
// checked, and the mode. A maximised document puts its system menu, which has no text, first.
std::string MenuStates(HWND frame) {
    HMENU bar = GetMenu(frame);
    std::string states;
    for (int at = 0; at < GetMenuItemCount(bar); ++at)
        if (GetMenuStringA(bar, UINT(at), nullptr, 0, MF_BYPOSITION) > 0)
            states += GetMenuState(bar, UINT(at), MF_BYPOSITION) & MF_GRAYED ? "1" : "0";
    for (UINT item : {CMD_FILE_SAVEAS, CMD_FILE_CLOSE})
        states += GetMenuState(bar, item, MF_BYCOMMAND) & MF_GRAYED ? "1" : "0";
    states += ' ';
    for (UINT item = CMD_NUM_MULTI; item <= CMD_NUM_OFFSET; ++item)
        states += GetMenuState(bar, item, MF_BYCOMMAND) & MF_CHECKED ? "x" : "-";
    return states + " " + std::to_string(NumerationMode);
}

void CALLBACK QuitLate(HWND, UINT, UINT_PTR, DWORD) {
    PostQuitMessage(99);
}

TEST_F(ViewerTest, CommandsMenusAndNumerationMarksFollowTheUserUntilExit) {
    EXPECT_EQ(MenuStates(frame), "01110011 --- 2");
    for (auto [command, states] : {std::pair{CMD_NUM_OFFSET, "01110011 --x 3"},
                                   {CMD_NUM_SINGLE, "01110011 -x- 1"},
                                   {CMD_NUM_MULTI, "01110011 x-- 2"}}) {
        Command(command);
        EXPECT_EQ(MenuStates(frame), states);
    }
    HWND first = NewDocument(), second = NewDocument();
    EXPECT_EQ(MenuStates(frame), "00000000 x-- 2");
    Command(ID_MDI_FIRSTCHILD); // the first document in the Window menu's list
    EXPECT_EQ(ActiveDocument(), first);
    SetWindowTextA(EditOf(first), "first");
    Command(CMD_FILE_SAVEAS, {ChooseFile(folder.PathOf("first.txt"))});
    EXPECT_EQ(WindowText(first) + " | " + WindowText(second),
              folder.PathOf("first.txt") + " | [Untitled]");
    Command(CMD_FILE_CLOSE);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(ActiveDocument(), second);
    EXPECT_EQ(MenuStates(frame), "00000000 x-- 2");
    Command(CMD_FILE_CLOSE);
    EXPECT_EQ(MenuStates(frame), "01110011 x-- 2");
    for (WORD command : {CMD_FILE_CLOSE, CMD_FILE_SAVEAS, CMD_FORMAT_FONT})
        Command(command); // dropped: no dialog opens
    HWND document = NewDocument();
    Command(CMD_FILE_EXIT);                                // no question asked
    EXPECT_TRUE(IsWindow(frame));                          // posted: the loop closes the frame
    UINT_PTR timer = SetTimer(nullptr, 0, 5000, QuitLate); // rather than a hang
    Drive([] { EXPECT_EQ(RunMessageLoop(), 0); });
    KillTimer(nullptr, timer);
    EXPECT_FALSE(IsWindow(document) || IsWindow(frame));
}

TEST_F(ViewerTest, OpenShowsTheDumpAndRefusedFilesChangeNothing) {
    std::string bytes = SampleBytes(SAMPLE_MIXED, 7, 20000), path = folder.MakeFile("m.qef", bytes);
    auto data = reinterpret_cast<const unsigned char*>(bytes.data());
    auto named = [&path](const char* status) { return path + " | " + status + " | " + path; };
    std::vector<std::pair<HWND, std::string>> opened;
    for (WORD command : {CMD_NUM_OFFSET, CMD_NUM_SINGLE, CMD_NUM_MULTI}) {
        Command(command);
        Command(CMD_FILE_OPEN, {ChooseFile(path)});
        opened.emplace_back(ActiveDocument(), DumpByModel(data, 20000, NumerationMode).text);
        EXPECT_EQ(ShownFor(ActiveDocument()), named("Opened..."));
    }
    for (const auto& [document, dump] : opened)
        EXPECT_TRUE(WindowText(EditOf(document)) == dump); // in the numbering it was opened with

    HWND document = ActiveDocument();
    std::string broken = SampleBytes(SAMPLE_ONE_RECORD, 9, 3000);
    broken.pop_back(); // the last record now claims one byte more than the file has
    // The file's bytes and size, the message and its icon, the status bar's part 0 afterwards.
    const std::tuple<std::string, UINT64, const char*, const char*, const char*> refusals[] = {
        {"hello\r\n", 0, "No QEF format.", IDI_ERROR, "Opened..."},
        {broken, MaxModuleInfoLength + 1ull, "Don't parse file greather than 32 MB.",
         IDI_INFORMATION, "Opened..."},
        {broken, 0, "QEF format error.", IDI_ERROR, "Opened... 0%"},
    };
    for (const auto& [content, size, text, icon, status] : refusals) {
        std::string seen, refused = folder.MakeFile("refused.qef", content, size);
        Drive([document] { OpenIntoDocument(document, NumerationMode); },
              {ChooseFile(refused), AcceptMessageBox(seen)});
        EXPECT_EQ(seen, Box("Error", text, LoadIconA(nullptr, icon), frame));
        EXPECT_TRUE(WindowText(EditOf(document)) == opened.back().second) << text;
        EXPECT_EQ(ShownFor(document), named(status));
    }
}

// An edit control out of memory keeps none of the text and still answers that it took it.
WNDPROC EditProc = nullptr;
LRESULT CALLBACK KeepNoText(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT)
        lParam = reinterpret_cast<LPARAM>("");
    return CallWindowProcA(EditProc, edit, message, wParam, lParam);
}

TEST_F(ViewerTest, ADumpTheEditControlDidNotTakeWholeIsNeverReportedOpened) {
    HWND document = NewDocument(), edit = EditOf(document);
    SetWindowTextA(edit, "earlier text");
    EditProc = WNDPROC(SetWindowLongPtrA(edit, GWLP_WNDPROC, LONG_PTR(KeepNoText)));
    std::string seen, path = folder.MakeFile("large.qef", SampleBytes(SAMPLE_MIXED, 4, 6000));
    Drive([document] { OpenIntoDocument(document, NumerationMode); },
          {ChooseFile(path), AcceptMessageBox(seen)});
    EXPECT_EQ(seen, Box("Error", "Memory allocation error.", nullptr, frame));
    EXPECT_EQ(WindowText(edit) + " | " + ShownFor(document), " | [Untitled] | Opened... 0% | ");
}

TEST_F(ViewerTest, SaveAsWritesExactlyTheTextAndNamesTheFile) {
    HWND document = NewDocument();
    std::string saved = folder.PathOf("empty.txt");
    Command(CMD_FILE_SAVEAS, {ChooseFile(saved)});
    EXPECT_EQ(ReadWholeFile(saved), "");
    EXPECT_EQ(ShownFor(document), "[Untitled] | Hi there :) | "); // nothing saved to report
    // A name without extension gets ".txt"; a file of that name is replaced once the user agrees.
    std::string text = "first line\r\n\xE9\xFF second, without an end";
    SetWindowTextA(EditOf(document), text.c_str());
    saved = folder.MakeFile("edited.txt", std::string(500, 'o'));
    Command(CMD_FILE_SAVEAS, {ChooseFile(folder.PathOf("edited")), Press(IDYES)});
    EXPECT_EQ(ReadWholeFile(saved), text);
    EXPECT_EQ(ShownFor(document), saved + " | Saved... | " + saved);
}

TEST_F(ViewerTest, FontsApplyToTheActiveDocumentAloneAndAreReleased) {
    HWND first = NewDocument(), second = NewDocument();
    auto fontOf = [](HWND document) {
        return HFONT(SendMessageA(EditOf(document), WM_GETFONT, 0, 0));
    };
    auto requested = [&](HWND document) { // what the document asked for: Wine may realise another
        LOGFONTA font = {};
        GetObjectA(fontOf(document), sizeof font, &font);
        return std::string(font.lfFaceName) + " " + std::to_string(font.lfHeight) +
               (font.lfUnderline ? " underlined" : "");
    };
    HFONT firstFont = fontOf(first), replaced = fontOf(second);
    // Notified as the box would do it: BM_CLICK goes through a mouse capture that Wine can lose.
    Command(CMD_FORMAT_FONT, {[](HWND dialog) {
                CheckDlgButton(dialog, 0x411, BST_CHECKED); // underline
                SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(0x411, BN_CLICKED),
                             LPARAM(GetDlgItem(dialog, 0x411)));
                Press(IDOK)(dialog);
            }});
    EXPECT_NE(requested(second).find(" underlined"), std::string::npos);
    EXPECT_EQ(GetObjectType(replaced), 0u);
    replaced = fontOf(second);
    Command(CMD_FORMAT_LUCIDA);
    EXPECT_EQ(requested(second), "Lucida Console -11"); // 8 points at Wine's 96 pixels per inch
    EXPECT_EQ(GetObjectType(replaced), 0u);
    EXPECT_EQ(fontOf(first), firstFont);
    replaced = fontOf(second);
    SendMessageA(second, WM_CLOSE, 0, 0);
    EXPECT_EQ(GetObjectType(replaced), 0u); // released with its document
}

} // namespace
