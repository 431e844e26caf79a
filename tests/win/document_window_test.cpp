// The document class, the failures of making a document, and what the file dialogs offer.
#include "tests/win/document_testing.h"

#include "document/document.h"
#include "frame/frame.h"
#include "frame/resource.h"
#include "tests/win/window_testing.h"

#include <string>
#include <vector>

namespace {

// The file type list of the Explorer-style file dialogs, and their read-only box.
constexpr int FileTypeListId = 0x470;
constexpr int ReadOnlyBoxId = 0x410;

struct FileDialogView {
    std::vector<std::string> types;
    int selectedType = -1;
    bool readOnlyShown = true;
};

DialogAction ReadFileDialogThenCancel(FileDialogView& view) {
    return [&view](HWND dialog) {
        HWND list = GetDlgItem(dialog, FileTypeListId);
        LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
        for (LRESULT index = 0; index < count; ++index) {
            char text[128] = {};
            SendMessageA(list, CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(text));
            view.types.push_back(text);
        }
        view.selectedType = int(SendMessageA(list, CB_GETCURSEL, 0, 0));
        HWND readOnly = GetDlgItem(dialog, ReadOnlyBoxId);
        view.readOnlyShown = readOnly && IsWindowVisible(readOnly);
        PressButton(dialog, IDCANCEL);
    };
}

using DocumentWindowTest = ViewerTest;

TEST_F(DocumentWindowTest, ClassIsRegisteredAsDocumentsNeedIt) {
    WNDCLASSEXA documentClass = {};
    documentClass.cbSize = sizeof documentClass;
    ASSERT_TRUE(
        GetClassInfoExA(GetModuleHandleA(nullptr), "myMDIChildWindowClass", &documentClass));
    EXPECT_EQ(documentClass.style, UINT(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(documentClass.lpfnWndProc, &DocumentWindowProc);
    EXPECT_EQ(documentClass.hbrBackground,
              reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_3DFACE + 1)));
    EXPECT_EQ(documentClass.lpszMenuName, nullptr);
    EXPECT_EQ(documentClass.cbClsExtra, 0);
    EXPECT_EQ(documentClass.cbWndExtra, 0);
}

TEST_F(DocumentWindowTest, SecondRegistrationFailsWithItsMessage) {
    MessageBoxContent seen;
    bool registered = true;
    ModalRun run = RunWithDialogs(
        [&registered] { registered = RegisterDocumentClass(GetModuleHandleA(nullptr)); },
        {AcceptMessageBox(seen)});
    EXPECT_FALSE(registered);
    EXPECT_EQ(run.answered, 1);
    EXPECT_EQ(seen.text, "Could Not Register Child Window");
    EXPECT_EQ(seen.caption, "Oh Oh...");
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_NE(seen.icon, nullptr);
}

TEST_F(DocumentWindowTest, CreationWithoutAnMdiClientFailsWithItsMessage) {
    // A plain window cannot make MDI children: the message then names it as the owner.
    HWND notAClient = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
    MessageBoxContent seen;
    HWND document = nullptr;
    RunWithDialogs([&] { document = CreateDocumentWindow(notAClient); }, {AcceptMessageBox(seen)});
    DestroyWindow(notAClient);
    EXPECT_EQ(document, nullptr);
    EXPECT_EQ(seen.text, "MDI Child creation failed.");
    EXPECT_EQ(seen.caption, "Oh Oh...");
    EXPECT_EQ(seen.owner, notAClient);
    EXPECT_NE(seen.icon, nullptr);
}

TEST_F(DocumentWindowTest, NewDocumentIsAnEmptyMaximisedUntitledWindow) {
    HWND document = NewDocument();
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(GetParent(document), MdiClient);
    EXPECT_EQ(WindowText(document), "[Untitled]");
    EXPECT_TRUE(IsZoomed(document));
    EXPECT_EQ(ClassNameOf(EditOf(document)), "Edit");
    EXPECT_EQ(GetDlgItem(document, ID_DOCUMENT_EDIT), EditOf(document));
    EXPECT_EQ(EditText(document), "");
}

TEST_F(DocumentWindowTest, OpenDialogOffersModuleInfoFilesFirst) {
    FileDialogView view;
    RunWithDialogs([this] { Command(CMD_FILE_OPEN); }, {ReadFileDialogThenCancel(view)});
    EXPECT_EQ(view.types, (std::vector<std::string>{"Text Files (*.qef)", "All Files (*.*)"}));
    EXPECT_EQ(view.selectedType, 0);
    EXPECT_FALSE(view.readOnlyShown);
}

TEST_F(DocumentWindowTest, SaveDialogOffersTextFilesFirst) {
    NewDocument();
    FileDialogView view;
    RunWithDialogs([this] { Command(CMD_FILE_SAVEAS); }, {ReadFileDialogThenCancel(view)});
    EXPECT_EQ(view.types, (std::vector<std::string>{"Text Files (*.txt)", "All Files (*.*)"}));
    EXPECT_EQ(view.selectedType, 0);
    EXPECT_FALSE(view.readOnlyShown);
}

} // namespace
