// The frame as start-up leaves it: its class, its window, its three children, the menu bar,
// the toolbar and the status bar, and the layout after resizing.
#include "frame/resource.h"
#include "tests/win/frame_testing.h"
#include "tests/win/modal_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

// One line per item, indented by menu depth: text, command id unless it opens a submenu, and
// the states that are set.
std::string DescribeMenu(HMENU menu, int depth = 0) {
    std::string description;
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        char text[256] = {};
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
        item.dwTypeData = text;
        item.cch = sizeof text;
        if (!GetMenuItemInfoA(menu, UINT(position), TRUE, &item)) {
            description += "<unreadable>\n";
            continue;
        }
        description.append(size_t(depth) * 2, ' ');
        if (item.fType & MFT_SEPARATOR) {
            description += "-\n";
            continue;
        }
        description += text;
        if (!item.hSubMenu)
            description.append(" ").append(std::to_string(item.wID));
        UINT state = GetMenuState(menu, UINT(position), MF_BYPOSITION);
        if (state & MF_GRAYED)
            description += " grayed";
        if (state & MF_CHECKED)
            description += " checked";
        description += "\n";
        if (item.hSubMenu)
            description += DescribeMenu(item.hSubMenu, depth + 1);
    }
    return description;
}

// A child's rectangle in the frame's client coordinates.
RECT PlaceOf(HWND child, HWND frame) {
    RECT place = {};
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

std::string Describe(const char* name, const RECT& place) {
    return std::string(name) + " " + std::to_string(place.left) + "," + std::to_string(place.top) +
           "-" + std::to_string(place.right) + "," + std::to_string(place.bottom) + "\n";
}

TEST_F(FrameTest, FrameHasItsTitleClassSizeAndStyle) {
    EXPECT_EQ(FrameWindow, frame);
    EXPECT_EQ(WindowText(frame), "QEF Viewer");
    EXPECT_EQ(ClassNameOf(frame), "myWindowClass");
    RECT bounds = {};
    GetWindowRect(frame, &bounds);
    EXPECT_EQ(bounds.right - bounds.left, 780);
    EXPECT_EQ(bounds.bottom - bounds.top, 600);
    LONG style = GetWindowLongA(frame, GWL_STYLE);
    EXPECT_EQ(style & (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN),
              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN);
    EXPECT_EQ(GetParent(frame), nullptr);
    EXPECT_TRUE(IsWindowVisible(frame));
}

TEST_F(FrameTest, FrameClassIsRegisteredAsStated) {
    WNDCLASSEXA frameClass = {};
    frameClass.cbSize = sizeof frameClass;
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), "myWindowClass", &frameClass));

    EXPECT_EQ(frameClass.style, 0u);
    EXPECT_EQ(frameClass.lpfnWndProc, FrameWindowProc);
    EXPECT_EQ(frameClass.cbClsExtra, 0);
    EXPECT_EQ(frameClass.cbWndExtra, 0);
    EXPECT_EQ(frameClass.hIcon, LoadIconA(nullptr, IDI_APPLICATION));
    EXPECT_EQ(frameClass.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(frameClass.hbrBackground, reinterpret_cast<HBRUSH>(INT_PTR(COLOR_WINDOW + 1)));
    EXPECT_EQ(frameClass.lpszMenuName, MAKEINTRESOURCEA(102));
}

TEST_F(FrameTest, RegisteringTheFrameClassTwiceShowsTheRegistrationMessage) {
    MessageBoxContent seen;
    bool registered = true;

    ModalRun run =
        RunWithDialogs([&] { registered = RegisterFrameClass(GetModuleHandleA(nullptr)); },
                       {AcceptMessageBox(seen)});

    EXPECT_FALSE(registered);
    EXPECT_EQ(run.answered, 1);
    EXPECT_EQ(seen.text, "Window Registration Failed!");
    EXPECT_EQ(seen.caption, "Error!");
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_EQ(seen.icon, LoadIconA(nullptr, IDI_WARNING));
    EXPECT_EQ(seen.buttons, std::vector<int>{IDOK});
}

TEST_F(FrameTest, FrameOwnsItsThreeChildren) {
    std::map<int, std::string> children;
    for (HWND child = GetWindow(frame, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children[GetDlgCtrlID(child)] = ClassNameOf(child);

    std::map<int, std::string> expected = {
        {101, "MDIClient"}, {102, "ToolbarWindow32"}, {103, "msctls_statusbar32"}};
    EXPECT_EQ(children, expected);
    EXPECT_EQ(MdiClient, Child(101));
}

TEST_F(FrameTest, ChildrenHaveTheirStyles) {
    HWND client = Child(ID_MDI_CLIENT);
    EXPECT_TRUE(GetWindowLongA(client, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    LONG clientStyle = WS_CHILD | WS_CLIPCHILDREN | WS_VISIBLE;
    EXPECT_EQ(GetWindowLongA(client, GWL_STYLE) & clientStyle, clientStyle);

    EXPECT_EQ(GetWindowLongA(Child(ID_TOOLBAR), GWL_STYLE) & (WS_CHILD | WS_VISIBLE),
              WS_CHILD | WS_VISIBLE);

    LONG statusStyle = WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP;
    EXPECT_EQ(GetWindowLongA(Child(ID_STATUSBAR), GWL_STYLE) & statusStyle, statusStyle);
}

TEST_F(FrameTest, MenuBarHasEveryItemInOrderWithItsInitialState) {
    HMENU bar = GetMenu(frame);
    ASSERT_NE(bar, nullptr);

    EXPECT_EQ(DescribeMenu(bar), "&File\n"
                                 "  &New 40002\n"
                                 "  &Open... 40003\n"
                                 "  Save &As... 40005 grayed\n"
                                 "  -\n"
                                 "  &Close 40010 grayed\n"
                                 "  -\n"
                                 "  E&xit 40001\n"
                                 "&Edit grayed\n"
                                 "  C&ut 40015\n"
                                 "  &Copy 40016\n"
                                 "  &Paste 40017\n"
                                 "&Window grayed\n"
                                 "  &Tile 40009\n"
                                 "  &Cascade 40008\n"
                                 "F&ormat grayed\n"
                                 "  &Font... 40022\n"
                                 "  Lucida Console 40026\n"
                                 "Numeration\n"
                                 "  &Multi 40041\n"
                                 "  &Single 40042\n"
                                 "  &Offset 40043\n"
                                 "&About 40030\n");
}

TEST_F(FrameTest, ToolbarHasNewOpenAndSaveButtons) {
    HWND toolbar = Child(ID_TOOLBAR);
    ASSERT_EQ(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), 3);

    std::string buttons;
    for (int index = 0; index < 3; ++index) {
        TBBUTTON button = {};
        SendMessageA(toolbar, TB_GETBUTTON, WPARAM(index), reinterpret_cast<LPARAM>(&button));
        buttons += std::to_string(button.iBitmap) + " " + std::to_string(button.idCommand);
        buttons += (button.fsState & TBSTATE_ENABLED) ? " enabled" : " disabled";
        buttons += button.fsStyle == TBSTYLE_BUTTON ? " button" : " other";
        buttons += button.iString > 0 ? " text\n" : "\n";
    }

    EXPECT_EQ(buttons, std::to_string(STD_FILENEW) + " 40002 enabled button\n" +
                           std::to_string(STD_FILEOPEN) + " 40003 enabled button\n" +
                           std::to_string(STD_FILESAVE) + " 40005 enabled button\n");
}

TEST_F(FrameTest, StatusBarGreetsInItsFirstPart) {
    HWND status = Child(ID_STATUSBAR);

    EXPECT_EQ(StatusText(status, 0), "Hi there :)");
    EXPECT_EQ(StatusText(status, 1), "");
}

TEST_F(FrameTest, StatusBarHasAShortPartAndOneToTheRightEdge) {
    int edges[4] = {};

    LRESULT parts =
        SendMessageA(Child(ID_STATUSBAR), SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges));

    EXPECT_EQ(parts, 2);
    EXPECT_EQ(edges[0], 100);
    EXPECT_EQ(edges[1], -1);
}

// After each size the toolbar spans the top, the status bar the bottom, and the MDI client
// fills exactly what lies between them.
TEST_F(FrameTest, ResizingKeepsTheMdiClientBetweenToolbarAndStatusBar) {
    const SIZE sizes[] = {{780, 600}, {400, 300}, {1000, 700}, {320, 180}, {780, 600}};
    for (const SIZE& size : sizes) {
        SetWindowPos(frame, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        RECT client = {};
        GetClientRect(frame, &client);
        RECT toolbar = PlaceOf(Child(ID_TOOLBAR), frame);
        RECT status = PlaceOf(Child(ID_STATUSBAR), frame);
        LONG toolbarHeight = toolbar.bottom - toolbar.top;
        LONG statusHeight = status.bottom - status.top;
        ASSERT_GT(toolbarHeight, 0);
        ASSERT_GT(statusHeight, 0);

        RECT expectedToolbar = {0, 0, client.right, toolbarHeight};
        RECT expectedMdi = {0, toolbarHeight, client.right, client.bottom - statusHeight};
        RECT expectedStatus = {0, client.bottom - statusHeight, client.right, client.bottom};
        EXPECT_EQ(Describe("toolbar", toolbar) + Describe("mdi", PlaceOf(MdiClient, frame)) +
                      Describe("status", status),
                  Describe("toolbar", expectedToolbar) + Describe("mdi", expectedMdi) +
                      Describe("status", expectedStatus))
            << "frame " << size.cx << " x " << size.cy;
    }
}

} // namespace
