// The commands the frame carries out, and the ones it passes on to the active document or to
// the MDI system. Stand-in document windows record what reaches them.
#include "document/document.h"
#include "frame/resource.h"
#include "qef_version.h"
#include "tests/win/frame_testing.h"
#include "tests/win/modal_driver.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

const char RecordingClassName[] = "qefRecordingDocument";

// What reached the stand-in documents, one line per message: "<title> command <id> <lParam>"
// or "<title> close".
std::vector<std::string> Received;

LRESULT CALLBACK RecordingDocumentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND)
        Received.push_back(WindowText(window) + " command " + std::to_string(LOWORD(wParam)) + " " +
                           std::to_string(HIWORD(wParam)) + " " + std::to_string(lParam));
    else if (message == WM_CLOSE)
        Received.push_back(WindowText(window) + " close");
    return DefMDIChildProcA(window, message, wParam, lParam);
}

class FrameCommandTest : public FrameTest {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        Received.clear();
        WNDCLASSEXA known = {};
        known.cbSize = sizeof known;
        HINSTANCE instance = GetModuleHandleA(nullptr);
        if (!GetClassInfoExA(instance, RecordingClassName, &known)) {
            WNDCLASSEXA recording = {};
            recording.cbSize = sizeof recording;
            recording.lpfnWndProc = RecordingDocumentProc;
            recording.hInstance = instance;
            recording.hCursor = LoadCursorA(nullptr, IDC_ARROW);
            recording.hbrBackground = reinterpret_cast<HBRUSH>(INT_PTR(COLOR_WINDOW + 1));
            recording.lpszClassName = RecordingClassName;
            ASSERT_TRUE(RegisterClassExA(&recording));
        }
    }

    // A stand-in document, not maximised, so that the menu bar keeps its own items; it becomes
    // the active one.
    HWND OpenStandIn(const char* title) {
        MDICREATESTRUCTA creation = {};
        creation.szClass = RecordingClassName;
        creation.szTitle = title;
        creation.hOwner = GetModuleHandleA(nullptr);
        creation.x = creation.y = creation.cx = creation.cy = CW_USEDEFAULT;
        return reinterpret_cast<HWND>(
            SendMessageA(MdiClient, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&creation)));
    }

    HWND ActiveDocument() const {
        return reinterpret_cast<HWND>(SendMessageA(MdiClient, WM_MDIGETACTIVE, 0, 0));
    }

    int DocumentCount() const {
        int count = 0;
        for (HWND child = GetWindow(MdiClient, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT))
            ++count;
        return count;
    }

    // "X" where the Numeration item shows the radio mark, "-" where not: Multi, Single, Offset.
    std::string NumerationMarks() const {
        std::string marks;
        for (UINT id : {CMD_NUM_MULTI, CMD_NUM_SINGLE, CMD_NUM_OFFSET})
            marks += (GetMenuState(GetMenu(frame), id, MF_BYCOMMAND) & MF_CHECKED) ? "X" : "-";
        return marks;
    }
};

TEST_F(FrameCommandTest, NumerationStartsAtMultiWithoutAMark) {
    EXPECT_EQ(NumerationMode, NUMERATION_MULTI);
    EXPECT_EQ(NumerationMarks(), "---");
}

TEST_F(FrameCommandTest, EachNumerationItemMarksItselfAloneAndSetsItsMode) {
    struct Choice {
        WORD command;
        const char* marks;
        Numeration mode;
    };
    const Choice choices[] = {
        {CMD_NUM_OFFSET, "--X", NUMERATION_OFFSET},
        {CMD_NUM_SINGLE, "-X-", NUMERATION_SINGLE},
        {CMD_NUM_MULTI, "X--", NUMERATION_MULTI},
        {CMD_NUM_OFFSET, "--X", NUMERATION_OFFSET},
    };
    for (const Choice& choice : choices) {
        EXPECT_EQ(Command(choice.command), 0);
        EXPECT_EQ(NumerationMarks(), choice.marks) << choice.command;
        EXPECT_EQ(NumerationMode, choice.mode) << choice.command;
    }
}

TEST_F(FrameCommandTest, NumerationIsTheFramesOwnCommand) {
    OpenStandIn("one");

    Command(CMD_NUM_SINGLE);

    EXPECT_TRUE(Received.empty());
}

TEST_F(FrameCommandTest, CloseWithoutADocumentDoesNothing) {
    EXPECT_EQ(Command(CMD_FILE_CLOSE), 0);
    PumpMessages();

    EXPECT_TRUE(IsWindow(frame));
    EXPECT_EQ(DocumentCount(), 0);
}

TEST_F(FrameCommandTest, DocumentCommandsWithoutADocumentAreDropped) {
    const WORD commands[] = {CMD_FILE_SAVEAS, CMD_EDIT_CUT,      CMD_EDIT_COPY, CMD_EDIT_PASTE,
                             CMD_FORMAT_FONT, CMD_FORMAT_LUCIDA, 12345};
    for (WORD command : commands) {
        LRESULT result = -1;
        ModalRun run = RunWithDialogs([&] { result = Command(command); }, {});

        EXPECT_EQ(result, 0) << command;
        EXPECT_EQ(run.answered + run.cancelled, 0) << command;
    }
    PumpMessages();
    EXPECT_TRUE(IsWindow(frame));
    EXPECT_EQ(DocumentCount(), 0);
}

TEST_F(FrameCommandTest, OtherCommandsGoToTheActiveDocumentAsTheyCame) {
    OpenStandIn("one");
    OpenStandIn("two");

    Command(CMD_EDIT_COPY, 1234);
    SendMessageA(frame, WM_COMMAND, MAKEWPARAM(CMD_FORMAT_FONT, 1), 0);
    Command(CMD_FILE_SAVEAS);
    Command(49999);

    std::vector<std::string> expected = {
        "two command 40016 0 1234",
        "two command 40022 1 0",
        "two command 40005 0 0",
        "two command 49999 0 0",
    };
    EXPECT_EQ(Received, expected);
}

TEST_F(FrameCommandTest, ToolbarSaveButtonReachesTheActiveDocument) {
    OpenStandIn("one");
    HWND toolbar = Child(ID_TOOLBAR);
    RECT button = {};
    ASSERT_TRUE(SendMessageA(toolbar, TB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&button)));
    LPARAM middle = MAKELPARAM((button.left + button.right) / 2, (button.top + button.bottom) / 2);

    // Any dialog a wrong command opened is cancelled and counted.
    ModalRun run = RunWithDialogs(
        [&] {
            SendMessageA(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, middle);
            SendMessageA(toolbar, WM_LBUTTONUP, 0, middle);
        },
        {});

    EXPECT_EQ(run.answered + run.cancelled, 0);
    std::vector<std::string> expected = {"one command 40005 0 " +
                                         std::to_string(reinterpret_cast<LPARAM>(toolbar))};
    EXPECT_EQ(Received, expected);
}

TEST_F(FrameCommandTest, CloseClosesOnlyTheActiveDocument) {
    HWND one = OpenStandIn("one");
    HWND two = OpenStandIn("two");
    ASSERT_EQ(ActiveDocument(), two);

    EXPECT_EQ(Command(CMD_FILE_CLOSE), 0);

    std::vector<std::string> expected = {"two close"};
    EXPECT_EQ(Received, expected);
    EXPECT_FALSE(IsWindow(two));
    EXPECT_TRUE(IsWindow(one));
    EXPECT_TRUE(IsWindow(frame));
}

TEST_F(FrameCommandTest, WindowMenuListsTheDocumentsFromTheFirstChildId) {
    OpenStandIn("one");
    OpenStandIn("two");
    HMENU windowMenu = GetSubMenu(GetMenu(frame), 2);

    char first[64] = {};
    char second[64] = {};
    GetMenuStringA(windowMenu, ID_MDI_FIRSTCHILD, first, sizeof first, MF_BYCOMMAND);
    GetMenuStringA(windowMenu, ID_MDI_FIRSTCHILD + 1, second, sizeof second, MF_BYCOMMAND);

    EXPECT_EQ(std::string(first), "&1 one");
    EXPECT_EQ(std::string(second), "&2 two");
}

TEST_F(FrameCommandTest, WindowListItemActivatesItsDocument) {
    HWND one = OpenStandIn("one");
    HWND two = OpenStandIn("two");
    ASSERT_EQ(ActiveDocument(), two);

    EXPECT_EQ(Command(ID_MDI_FIRSTCHILD), 0);

    EXPECT_EQ(ActiveDocument(), one);
    EXPECT_TRUE(Received.empty());
}

TEST_F(FrameCommandTest, TileSetsTheDocumentsSideBySide) {
    HWND one = OpenStandIn("one");
    HWND two = OpenStandIn("two");

    EXPECT_EQ(Command(CMD_WINDOW_TILE), 0);

    RECT first = {};
    RECT second = {};
    RECT overlap = {};
    GetWindowRect(one, &first);
    GetWindowRect(two, &second);
    EXPECT_FALSE(IntersectRect(&overlap, &first, &second));
    EXPECT_TRUE(Received.empty());
}

TEST_F(FrameCommandTest, CascadeStacksTheDocumentsDiagonally) {
    HWND one = OpenStandIn("one");
    HWND two = OpenStandIn("two");
    Command(CMD_WINDOW_TILE);

    EXPECT_EQ(Command(CMD_WINDOW_CASCADE), 0);

    RECT first = {};
    RECT second = {};
    GetWindowRect(one, &first);
    GetWindowRect(two, &second);
    // The active document comes last, on top and furthest down and right.
    EXPECT_GT(second.left, first.left);
    EXPECT_GT(second.top, first.top);
    EXPECT_EQ(second.right - second.left, first.right - first.left);
    EXPECT_TRUE(Received.empty());
}

TEST_F(FrameCommandTest, ExitEndsTheMessageLoopWithCodeZero) {
    Command(CMD_FILE_EXIT);
    // Posted: the frame is closed by the loop, not inside the command.
    EXPECT_TRUE(IsWindow(frame));

    EXPECT_EQ(RunMessageLoopAtMost(5000), 0);

    EXPECT_FALSE(IsWindow(frame));
}

TEST_F(FrameCommandTest, ClosingTheFrameEndsTheMessageLoopWithCodeZero) {
    PostMessageA(frame, WM_CLOSE, 0, 0);

    EXPECT_EQ(RunMessageLoopAtMost(5000), 0);

    EXPECT_FALSE(IsWindow(frame));
}

TEST_F(FrameCommandTest, ClosingTheFrameWithOpenDocumentsAsksNothing) {
    HWND first = CreateDocumentWindow(MdiClient);
    HWND second = CreateDocumentWindow(MdiClient);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    PostMessageA(frame, WM_CLOSE, 0, 0);

    int code = -1;
    ModalRun run = RunWithDialogs([&] { code = RunMessageLoopAtMost(5000); }, {});

    EXPECT_EQ(code, 0);
    EXPECT_EQ(run.answered + run.cancelled, 0);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(IsWindow(second));
    EXPECT_FALSE(IsWindow(frame));
}

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

TEST_F(FrameCommandTest, AboutShowsTitleAndVersionInABoxWithOnlyOk) {
    MessageBoxContent seen;

    ModalRun run = RunWithDialogs([&] { Command(CMD_ABOUT); }, {AcceptMessageBox(seen)});

    EXPECT_EQ(run.answered, 1);
    EXPECT_EQ(seen.caption, "About");
    EXPECT_EQ(seen.owner, frame);
    EXPECT_EQ(seen.icon, nullptr);
    EXPECT_EQ(seen.buttons, std::vector<int>{IDOK});
    std::vector<std::string> lines = LinesOf(seen.text);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(lines[0].find_first_not_of(' ')), "QEF Viewer");
    EXPECT_EQ(lines[1].substr(lines[1].find_first_not_of(' ')), "Version " QEF_VERSION_TEXT);
    EXPECT_TRUE(IsWindow(frame));
}

// Each line is padded on the left to sit in the middle of the widest one.
TEST_F(FrameCommandTest, AboutCentresEveryLine) {
    MessageBoxContent seen;
    RunWithDialogs([&] { Command(CMD_ABOUT); }, {AcceptMessageBox(seen)});

    std::vector<std::string> lines = LinesOf(seen.text);
    size_t width = 0;
    for (const std::string& line : lines)
        width = std::max(width, line.size());
    for (const std::string& line : lines) {
        size_t padding = line.find_first_not_of(' ');
        if (padding == std::string::npos)
            continue;
        size_t length = line.size() - padding;
        EXPECT_EQ(padding, (width - length) / 2) << "[" << line << "]";
        EXPECT_NE(line.back(), ' ') << "[" << line << "]";
    }
}

} // namespace
