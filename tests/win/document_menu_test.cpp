// The frame's menus following the active document, and the window commands on documents.
#include "tests/win/document_testing.h"

#include "frame/frame.h"
#include "frame/resource.h"
#include "tests/win/window_testing.h"

#include <string>
#include <vector>

namespace {

// A menu bar item found by its text: a maximised document shifts the positions.
UINT BarItemState(HWND frame, const std::string& text) {
    HMENU bar = GetMenu(frame);
    for (int position = 0; position < GetMenuItemCount(bar); ++position) {
        char name[64] = {};
        GetMenuStringA(bar, UINT(position), name, sizeof name, MF_BYPOSITION);
        if (text == name)
            return GetMenuState(bar, UINT(position), MF_BYPOSITION);
    }
    ADD_FAILURE() << "no menu " << text;
    return UINT(-1);
}

HMENU BarSubmenu(HWND frame, const std::string& text) {
    HMENU bar = GetMenu(frame);
    for (int position = 0; position < GetMenuItemCount(bar); ++position) {
        char name[64] = {};
        GetMenuStringA(bar, UINT(position), name, sizeof name, MF_BYPOSITION);
        if (text == name)
            return GetSubMenu(bar, position);
    }
    return nullptr;
}

// Which of the document-only menus and File items are grayed, as one readable string.
std::string GrayedItems(HWND frame) {
    std::string grayed;
    for (const char* menu : {"&Edit", "&Window", "F&ormat"})
        if (BarItemState(frame, menu) & MF_GRAYED)
            grayed += std::string(menu) + " ";
    if (GetMenuState(GetMenu(frame), CMD_FILE_SAVEAS, MF_BYCOMMAND) & MF_GRAYED)
        grayed += "SaveAs ";
    if (GetMenuState(GetMenu(frame), CMD_FILE_CLOSE, MF_BYCOMMAND) & MF_GRAYED)
        grayed += "Close ";
    return grayed;
}

const char AllGrayed[] = "&Edit &Window F&ormat SaveAs Close ";

// Presses `key` with Ctrl held in `window` and lets the viewer's own message loop take it.
void PressWithControl(HWND window, WPARAM key) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    BYTE released = keys[VK_CONTROL];
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    PostMessageA(window, WM_KEYDOWN, key, 1);
    PostQuitMessage(0);
    EXPECT_EQ(RunMessageLoopAtMost(5000), 0);
    keys[VK_CONTROL] = released;
    SetKeyboardState(keys);
}

class DocumentMenuTest : public ViewerTest {
  protected:
    std::vector<HWND> Documents() {
        std::vector<HWND> found;
        for (HWND child = GetWindow(MdiClient, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT))
            if (ClassNameOf(child) == "myMDIChildWindowClass")
                found.push_back(child);
        return found;
    }
};

TEST_F(DocumentMenuTest, DocumentMenusAreGrayedWithoutDocument) {
    EXPECT_EQ(GrayedItems(frame), AllGrayed);
}

TEST_F(DocumentMenuTest, DocumentMenusAreEnabledWhileADocumentIsActive) {
    HWND document = NewDocument();
    ASSERT_TRUE(IsZoomed(document));
    // The maximised document's system menu and its three buttons join the six items.
    EXPECT_EQ(GetMenuItemCount(GetMenu(frame)), 10);
    EXPECT_EQ(GrayedItems(frame), "");
}

TEST_F(DocumentMenuTest, MenusStayEnabledUntilTheLastDocumentCloses) {
    NewDocument();
    NewDocument();
    Command(CMD_FILE_CLOSE);
    EXPECT_EQ(GrayedItems(frame), "");
    Command(CMD_FILE_CLOSE);
    EXPECT_EQ(ActiveDocument(), nullptr);
    EXPECT_EQ(GrayedItems(frame), AllGrayed);
}

TEST_F(DocumentMenuTest, MenusFollowARestoredDocumentToo) {
    HWND document = NewDocument();
    ShowWindow(document, SW_RESTORE);
    ASSERT_FALSE(IsZoomed(document));
    EXPECT_EQ(GrayedItems(frame), "");
    SendMessageA(document, WM_CLOSE, 0, 0);
    EXPECT_EQ(GrayedItems(frame), AllGrayed);
}

TEST_F(DocumentMenuTest, CloseClosesOnlyTheActiveDocument) {
    HWND first = NewDocument();
    HWND second = NewDocument();
    Command(CMD_FILE_CLOSE);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(ActiveDocument(), first);
}

TEST_F(DocumentMenuTest, CloseWithoutDocumentDoesNothing) {
    Command(CMD_FILE_CLOSE);
    EXPECT_TRUE(IsWindow(frame));
    EXPECT_TRUE(Documents().empty());
}

TEST_F(DocumentMenuTest, TileLaysTheDocumentsSideBySide) {
    HWND first = NewDocument();
    HWND second = NewDocument();
    Command(CMD_WINDOW_TILE);
    EXPECT_FALSE(IsZoomed(first));
    EXPECT_FALSE(IsZoomed(second));
    RECT a, b, overlap;
    GetWindowRect(first, &a);
    GetWindowRect(second, &b);
    EXPECT_FALSE(IntersectRect(&overlap, &a, &b));
    EXPECT_EQ(GrayedItems(frame), "");
}

TEST_F(DocumentMenuTest, CascadeStaggersTheDocuments) {
    HWND first = NewDocument();
    HWND second = NewDocument();
    Command(CMD_WINDOW_TILE);
    Command(CMD_WINDOW_CASCADE);
    RECT a, b;
    GetWindowRect(first, &a);
    GetWindowRect(second, &b);
    EXPECT_NE(a.left, b.left);
    EXPECT_NE(a.top, b.top);
    EXPECT_EQ(GrayedItems(frame), "");
}

TEST_F(DocumentMenuTest, WindowMenuListsAndActivatesTheDocuments) {
    HWND first = NewDocument();
    NewDocument();
    HWND third = NewDocument();
    HMENU windowMenu = BarSubmenu(frame, "&Window");
    ASSERT_NE(windowMenu, nullptr);
    std::vector<UINT> listed;
    for (int position = 0; position < GetMenuItemCount(windowMenu); ++position)
        if (GetMenuItemID(windowMenu, position) >= ID_MDI_FIRSTCHILD)
            listed.push_back(GetMenuItemID(windowMenu, position));
    EXPECT_EQ(listed, (std::vector<UINT>{50000, 50001, 50002}));
    EXPECT_EQ(ActiveDocument(), third);
    Command(ID_MDI_FIRSTCHILD);
    EXPECT_EQ(ActiveDocument(), first);
    EXPECT_EQ(GrayedItems(frame), "");
}

TEST_F(DocumentMenuTest, ControlF4ClosesTheActiveDocument) {
    HWND first = NewDocument();
    HWND second = NewDocument();
    PressWithControl(EditOf(second), VK_F4);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(ActiveDocument(), first);
    PressWithControl(EditOf(first), VK_F4);
    EXPECT_TRUE(Documents().empty());
    EXPECT_EQ(GrayedItems(frame), AllGrayed);
}

TEST_F(DocumentMenuTest, ControlF6MovesToTheNextDocument) {
    HWND first = NewDocument();
    HWND second = NewDocument();
    PressWithControl(EditOf(second), VK_F6);
    EXPECT_EQ(ActiveDocument(), first);
    PressWithControl(EditOf(first), VK_F6);
    EXPECT_EQ(ActiveDocument(), second);
    EXPECT_EQ(GrayedItems(frame), "");
}

} // namespace
