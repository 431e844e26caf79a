// The frame window: start-up's classes and failure messages, the frame's children, menu, toolbar
// and status bar, its layout, and the commands it carries out or passes on.
#include "document/document.h"
#include "frame/frame.h"
#include "frame/resource.h"
#include "qef_version.h"
#include "tests/win/win_testing.h"

#include <commctrl.h>

#include <algorithm>
#include <sstream>

namespace {

using FrameTest = ViewerTest;

// One line per menu of the bar: its items, each with its command id and its set states.
std::string DescribeMenu(HMENU menu, const char* separator = "\n") {
    std::string text;
    for (int at = 0; at < GetMenuItemCount(menu); ++at) {
        char name[64] = {};
        GetMenuStringA(menu, UINT(at), name, sizeof name, MF_BYPOSITION);
        UINT state = GetMenuState(menu, UINT(at), MF_BYPOSITION);
        HMENU submenu = GetSubMenu(menu, at);
        text.append(at ? separator : "").append(name[0] ? name : "-");
        if (!name[0])
            continue;
        if (!submenu)
            text.append(" ").append(std::to_string(GetMenuItemID(menu, at)));
        text.append(state & MF_GRAYED ? " grayed" : "").append(state & MF_CHECKED ? " X" : "");
        if (submenu)
            text.append(": ").append(DescribeMenu(submenu, ", "));
    }
    return text;
}

TEST_F(FrameTest, StartsWithItsChildrenMenuToolbarAndStatusBar) {
    EXPECT_EQ(FrameWindow, frame);
    EXPECT_EQ(WindowText(frame), "QEF Viewer");
    EXPECT_TRUE(IsWindowVisible(frame));
    RECT bounds = {};
    GetWindowRect(frame, &bounds);
    EXPECT_EQ(bounds.right - bounds.left, 780);
    EXPECT_EQ(bounds.bottom - bounds.top, 600);
    std::string children;
    for (HWND child = GetWindow(frame, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = {};
        GetClassNameA(child, name, sizeof name);
        children += std::to_string(GetDlgCtrlID(child)) + " " + name + ", ";
    }
    EXPECT_EQ(children, "101 MDIClient, 102 ToolbarWindow32, 103 msctls_statusbar32, ");
    EXPECT_EQ(MdiClient, GetDlgItem(frame, ID_MDI_CLIENT));
    EXPECT_EQ(DescribeMenu(GetMenu(frame)),
              "&File: &New 40002, &Open... 40003, Save &As... 40005 grayed, -, "
              "&Close 40010 grayed, -, E&xit 40001\n"
              "&Edit grayed: C&ut 40015, &Copy 40016, &Paste 40017\n"
              "&Window grayed: &Tile 40009, &Cascade 40008\n"
              "F&ormat grayed: &Font... 40022, Lucida Console 40026\n"
              "Numeration: &Multi 40041, &Single 40042, &Offset 40043\n"
              "&About 40030");

    HWND toolbar = GetDlgItem(frame, ID_TOOLBAR);
    std::string buttons;
    for (int index = 0; index < SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0); ++index) {
        TBBUTTON button = {};
        SendMessageA(toolbar, TB_GETBUTTON, WPARAM(index), reinterpret_cast<LPARAM>(&button));
        bool plain = button.fsState == TBSTATE_ENABLED && button.fsStyle == TBSTYLE_BUTTON &&
                     button.iString == 0;
        buttons += std::to_string(button.iBitmap) + (plain ? " " : " odd ") +
                   std::to_string(button.idCommand) + ", ";
    }
    EXPECT_EQ(buttons, std::to_string(STD_FILENEW) + " 40002, " + std::to_string(STD_FILEOPEN) +
                           " 40003, " + std::to_string(STD_FILESAVE) + " 40005, ");
    auto images = reinterpret_cast<HIMAGELIST>(SendMessageA(toolbar, TB_GETIMAGELIST, 0, 0));
    EXPECT_GT(ImageList_GetImageCount(images), STD_FILESAVE);

    int edges[3] = {};
    EXPECT_EQ(SendMessageA(statusBar, SB_GETPARTS, 3, reinterpret_cast<LPARAM>(edges)), 2);
    EXPECT_EQ(edges[0], 100);
    EXPECT_EQ(edges[1], -1);
    EXPECT_EQ(StatusText(statusBar, 0), "Hi there :)");
    EXPECT_EQ(StatusText(statusBar, 1), "");
}

TEST_F(FrameTest, StartUpFailuresAreReportedWithoutAnOwner) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    // A plain window cannot make MDI children. The frame class is missing for the last row
    // only, with the frame gone.
    HWND notAClient = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 9, 9, nullptr,
                                      nullptr, instance, nullptr);
    const struct {
        std::function<bool()> call;
        const char* caption;
        const char* text;
        HWND owner;
    } failures[] = {
        {[&] { return RegisterFrameClass(instance); }, "Error!", "Window Registration Failed!",
         nullptr},
        {[&] { return RegisterDocumentClass(instance); }, "Oh Oh...",
         "Could Not Register Child Window", nullptr},
        {[&] { return CreateDocumentWindow(notAClient) != nullptr; }, "Oh Oh...",
         "MDI Child creation failed.", notAClient},
        {[&] {
             DestroyWindow(frame);
             PumpMessages();
             UnregisterClassA("myWindowClass", instance);
             return CreateFrameWindow(instance, SW_SHOWNORMAL) != nullptr;
         },
         "Error!", "Window Creation Failed!", nullptr},
    };
    for (const auto& failure : failures) {
        std::string seen;
        bool succeeded = true;
        Drive([&] { succeeded = failure.call(); }, {AcceptMessageBox(seen)});
        EXPECT_FALSE(succeeded);
        EXPECT_EQ(seen,
                  DescribeMessageBox(failure.caption, failure.text, IDI_WARNING, failure.owner));
    }
    DestroyWindow(notAClient);
    RegisterFrameClass(instance);
}

// A child's rectangle in the frame's client coordinates.
RECT PlaceOf(HWND child, HWND frame) {
    RECT place = {};
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

// After each size the toolbar spans the top, the status bar the bottom, and the MDI client
// fills exactly what lies between them.
TEST_F(FrameTest, ResizingKeepsTheMdiClientBetweenToolbarAndStatusBar) {
    for (SIZE size : {SIZE{400, 300}, SIZE{1000, 700}, SIZE{320, 180}}) {
        SetWindowPos(frame, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        RECT client = {};
        GetClientRect(frame, &client);
        RECT toolbar = PlaceOf(GetDlgItem(frame, ID_TOOLBAR), frame);
        RECT status = PlaceOf(statusBar, frame);
        RECT mdi = PlaceOf(MdiClient, frame);
        RECT between = {0, toolbar.bottom, client.right, status.top};
        EXPECT_TRUE(toolbar.top == 0 && toolbar.bottom > 0 && toolbar.left == 0 &&
                    toolbar.right == client.right && status.top < client.bottom &&
                    status.bottom == client.bottom && status.left == 0 &&
                    status.right == client.right && EqualRect(&mdi, &between))
            << size.cx << " x " << size.cy;
    }
}

TEST_F(FrameTest, NumerationItemsMarkThemselvesAloneAndSetTheMode) {
    const struct {
        WORD command; // 0 chooses nothing
        Numeration mode;
        const char* marks;
    } choices[] = {
        {0, NUMERATION_MULTI, "&Multi 40041, &Single 40042, &Offset 40043"},
        {CMD_NUM_OFFSET, NUMERATION_OFFSET, "&Multi 40041, &Single 40042, &Offset 40043 X"},
        {CMD_NUM_SINGLE, NUMERATION_SINGLE, "&Multi 40041, &Single 40042 X, &Offset 40043"},
        {CMD_NUM_MULTI, NUMERATION_MULTI, "&Multi 40041 X, &Single 40042, &Offset 40043"},
    };
    for (const auto& choice : choices) {
        EXPECT_EQ(Command(choice.command), 0);
        EXPECT_EQ(DescribeMenu(GetSubMenu(GetMenu(frame), 4), ", "), choice.marks);
        EXPECT_EQ(NumerationMode, choice.mode) << choice.command;
    }
}

// What reached the stand-in documents: "<title> <id> <notification> <lParam>" or "<title> close".
std::string Received;

LRESULT CALLBACK RecordingDocumentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND)
        Received += WindowText(window) + " " + std::to_string(LOWORD(wParam)) + " " +
                    std::to_string(HIWORD(wParam)) + " " + std::to_string(lParam);
    else if (message == WM_CLOSE)
        Received += WindowText(window) + " close";
    return DefMDIChildProcA(window, message, wParam, lParam);
}

// A stand-in document, not maximised, that becomes the active one.
HWND OpenStandIn(const char* title) {
    WNDCLASSEXA recording = {};
    recording.cbSize = sizeof recording;
    recording.lpfnWndProc = RecordingDocumentProc;
    recording.hInstance = GetModuleHandleA(nullptr);
    recording.lpszClassName = "qefRecordingDocument";
    RegisterClassExA(&recording); // fails harmlessly once it is registered
    return CreateMDIWindowA(recording.lpszClassName, title, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, MdiClient, recording.hInstance, 0);
}

TEST_F(FrameTest, CommandsAreCarriedOutOrPassedOnAsTheyCame) {
    HWND one = OpenStandIn("one");
    HWND two = OpenStandIn("two");
    char listed[64] = {};
    GetMenuStringA(GetSubMenu(GetMenu(frame), 2), ID_MDI_FIRSTCHILD + 1, listed, sizeof listed,
                   MF_BYCOMMAND);
    EXPECT_STREQ(listed, "&2 two");
    RECT first = {};
    RECT second = {};
    RECT overlap = {};
    EXPECT_EQ(Command(CMD_WINDOW_TILE), 0);
    GetWindowRect(one, &first);
    GetWindowRect(two, &second);
    EXPECT_FALSE(IntersectRect(&overlap, &first, &second));
    EXPECT_EQ(Command(CMD_WINDOW_CASCADE), 0);
    GetWindowRect(one, &first);
    GetWindowRect(two, &second);
    EXPECT_TRUE(second.left > first.left && second.top > first.top &&
                second.right - second.left == first.right - first.left);

    // The last ones, without a document, are dropped: no dialog opens, nothing happens.
    const struct {
        WPARAM wParam;
        LPARAM lParam;
        const char* received;
        const char* active; // afterwards
    } steps[] = {
        {CMD_EDIT_COPY, 1234, "two 40016 0 1234", "two"},
        {MAKEWPARAM(CMD_FORMAT_FONT, 1), 0, "two 40022 1 0", "two"},
        {CMD_FILE_SAVEAS, 0, "two 40005 0 0", "two"},
        {ID_MDI_FIRSTCHILD - 1, 0, "two 49999 0 0", "two"},
        {CMD_NUM_SINGLE, 0, "", "two"},
        {ID_MDI_FIRSTCHILD, 0, "", "one"},
        {CMD_FILE_CLOSE, 0, "one close", "two"},
        {CMD_FILE_CLOSE, 0, "two close", ""},
        {CMD_FILE_CLOSE, 0, "", ""},
        {CMD_FILE_SAVEAS, 0, "", ""},
        {CMD_FORMAT_FONT, 0, "", ""},
    };
    for (const auto& step : steps) {
        Received.clear();
        EXPECT_EQ(Command(step.wParam, step.lParam), 0);
        HWND active = ActiveDocument();
        EXPECT_EQ(Received, step.received) << step.wParam;
        EXPECT_EQ(active ? WindowText(active) : "", step.active) << step.wParam;
    }
}

TEST_F(FrameTest, ExitEndsTheLoopAndClosesEverythingWithoutAQuestion) {
    PostQuitMessage(7);
    EXPECT_EQ(RunMessageLoopAtMost(5000), 7);
    HWND document = NewDocument();
    EXPECT_EQ(Command(CMD_FILE_EXIT), 0);
    EXPECT_TRUE(IsWindow(frame)); // posted: the loop closes the frame
    int code = -1;
    Drive([&code] { code = RunMessageLoopAtMost(5000); });
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(IsWindow(document) || IsWindow(frame));
}

TEST_F(FrameTest, AboutShowsTitleAndVersionCentred) {
    std::string seen;
    std::string text;
    DialogAction accept = AcceptMessageBox(seen);
    Menu(CMD_ABOUT, {[&](HWND box) {
             text = WindowText(GetDlgItem(box, 0xFFFF));
             accept(box);
         }});
    EXPECT_EQ(seen, DescribeMessageBox("About", text, nullptr, frame));
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(lines[0].find_first_not_of(' ')), "QEF Viewer");
    EXPECT_EQ(lines[1].substr(lines[1].find_first_not_of(' ')), "Version " QEF_VERSION_TEXT);
    size_t width = 0;
    for (const std::string& line : lines)
        width = std::max(width, line.size());
    for (const std::string& line : lines) {
        size_t padding = std::min(line.find_first_not_of(' '), line.size());
        EXPECT_EQ(padding, (width - (line.size() - padding)) / 2) << "[" << line << "]";
    }
}

} // namespace
