// The frame window: start-up's failure messages, its layout, and its commands, carried out,
// passed on to the active document or dropped.
#include "document/document.h"
#include "dump/formatter.h"
#include "frame/frame.h"
#include "frame/resource.h"
#include "qef_version.h"
#include "tests/win/win_testing.h"

#include <algorithm>
#include <sstream>

namespace {

using FrameTest = ViewerTest;

TEST_F(FrameTest, StartUpFailuresAreReportedWithoutAnOwner) {
    HINSTANCE self = GetModuleHandleA(nullptr);
    // A plain window cannot hold MDI children. The frame class goes last, with the frame.
    HWND notAClient = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 9, 9, nullptr,
                                      nullptr, self, nullptr);
    const struct {
        std::function<bool()> call;
        const char *caption, *text;
        HWND owner;
    } failures[] = {
        {[&] { return RegisterFrameClass(self); }, "Error!", "Window Registration Failed!", {}},
        {[&] { return RegisterDocumentClass(self); },
         "Oh Oh...",
         "Could Not Register Child Window",
         {}},
        {[&] { return CreateDocumentWindow(notAClient); }, "Oh Oh...", "MDI Child creation failed.",
         notAClient},
        {[&] {
             DestroyWindow(frame);
             PumpMessages(); // its WM_QUIT would end the message box at once
             UnregisterClassA("myWindowClass", self);
             return CreateFrameWindow(self, SW_SHOWNORMAL);
         },
         "Error!",
         "Window Creation Failed!",
         {}},
    };
    for (const auto& failure : failures) {
        std::string seen;
        Drive([&] { EXPECT_FALSE(failure.call()); }, {AcceptMessageBox(seen)});
        EXPECT_EQ(seen, Box(failure.caption, failure.text, SystemIcon(IDI_WARNING), failure.owner));
    }
    DestroyWindow(notAClient);
    RegisterFrameClass(self);
}

RECT PlaceInFrame(HWND child, HWND frame) {
    RECT place = {};
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

TEST_F(FrameTest, ResizingKeepsTheMdiClientBetweenToolbarAndStatusBar) {
    for (SIZE size : {SIZE{400, 300}, SIZE{1000, 700}}) {
        SetWindowPos(frame, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        RECT client = {};
        GetClientRect(frame, &client);
        RECT toolbar = PlaceInFrame(GetDlgItem(frame, ID_TOOLBAR), frame);
        RECT status = PlaceInFrame(statusBar, frame);
        RECT mdi = PlaceInFrame(MdiClient, frame);
        RECT between = {0, toolbar.bottom, client.right, status.top};
        EXPECT_TRUE(toolbar.top == 0 && toolbar.bottom > 0 && status.top < client.bottom &&
                    status.bottom == client.bottom && EqualRect(&mdi, &between))
            << size.cx;
    }
}

TEST_F(FrameTest, NumerationItemsMarkOnlyTheChosenOneAndSetTheMode) {
    auto marked = [this] {
        std::string ids;
        for (UINT id = CMD_NUM_MULTI; id <= CMD_NUM_OFFSET; ++id)
            if (GetMenuState(GetMenu(frame), id, MF_BYCOMMAND) & MF_CHECKED)
                ids += std::to_string(id);
        return ids;
    };
    EXPECT_EQ(marked(), "");
    for (auto [command, mode] : {std::pair{CMD_NUM_OFFSET, NUMERATION_OFFSET},
                                 {CMD_NUM_SINGLE, NUMERATION_SINGLE},
                                 {CMD_NUM_MULTI, NUMERATION_MULTI}}) {
        Command(command);
        EXPECT_EQ(marked(), std::to_string(command));
        EXPECT_EQ(NumerationMode, mode);
    }
}

// A 1 for each grayed menu of the bar, then for Save As and Close. A maximised document puts
// its system menu, which has no text, in front of the menus.
std::string Grayed(HWND frame) {
    HMENU bar = GetMenu(frame);
    std::string grayed;
    for (int at = 0; at < GetMenuItemCount(bar); ++at)
        if (GetMenuStringA(bar, UINT(at), nullptr, 0, MF_BYPOSITION) > 0)
            grayed += GetMenuState(bar, UINT(at), MF_BYPOSITION) & MF_GRAYED ? "1" : "0";
    for (UINT item : {CMD_FILE_SAVEAS, CMD_FILE_CLOSE})
        grayed += GetMenuState(bar, item, MF_BYCOMMAND) & MF_GRAYED ? "1" : "0";
    return grayed;
}

TEST_F(FrameTest, CommandsAndMenusFollowTheActiveDocument) {
    EXPECT_EQ(Grayed(frame), "01110011");
    HWND first = NewDocument();
    HWND second = NewDocument();
    EXPECT_EQ(Grayed(frame), "00000000");
    Command(ID_MDI_FIRSTCHILD); // the first document in the Window menu's list
    EXPECT_EQ(ActiveDocument(), first);
    SetWindowTextA(EditOf(first), "first");
    Command(CMD_FILE_SAVEAS, {ChooseFile(folder.PathOf("first.txt"))});
    EXPECT_EQ(WindowText(first), folder.PathOf("first.txt"));
    EXPECT_EQ(WindowText(second), "[Untitled]");
    Command(CMD_FILE_CLOSE);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(ActiveDocument(), second);
    EXPECT_EQ(Grayed(frame), "00000000");
    Command(CMD_FILE_CLOSE);
    EXPECT_EQ(Grayed(frame), "01110011");
    for (WORD command : {CMD_FILE_CLOSE, CMD_FILE_SAVEAS, CMD_FORMAT_FONT})
        Command(command); // dropped: no dialog opens
}

void CALLBACK QuitLate(HWND, UINT, UINT_PTR, DWORD) {
    PostQuitMessage(99);
}

TEST_F(FrameTest, ExitEndsTheLoopAndClosesEverythingWithoutAQuestion) {
    PostQuitMessage(7);
    EXPECT_EQ(RunMessageLoop(), 7);
    HWND document = NewDocument();
    Command(CMD_FILE_EXIT);
    EXPECT_TRUE(IsWindow(frame));                          // posted: the loop closes the frame
    UINT_PTR timer = SetTimer(nullptr, 0, 5000, QuitLate); // rather than a hang
    int code = -1;
    Drive([&code] { code = RunMessageLoop(); });
    KillTimer(nullptr, timer);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(IsWindow(document) || IsWindow(frame));
}

TEST_F(FrameTest, AboutShowsTitleAndVersionCentred) {
    std::string seen;
    Command(CMD_ABOUT, {AcceptMessageBox(seen)});
    // The text lies between "About | " and the icon.
    std::string text =
        seen.substr(0, seen.find(" | icon")).substr(std::min<size_t>(8, seen.size()));
    EXPECT_EQ(seen, Box("About", text, nullptr, frame));
    std::vector<std::string> lines;
    size_t width = 0; // that of the widest line, which has no padding
    std::istringstream in(text);
    for (std::string line; std::getline(in, line); width = std::max(width, line.size()))
        lines.push_back(line.substr(std::min(line.find_first_not_of(' '), line.size())));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0] + "; " + lines[1], "QEF Viewer; Version " QEF_VERSION_TEXT);
    std::string centred;
    for (const std::string& line : lines)
        centred += std::string((width - line.size()) / 2, ' ') + line + "\n";
    EXPECT_EQ(text + "\n", centred);
}

} // namespace
