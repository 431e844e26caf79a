// The frame window: start-up's failure messages, its layout, and the commands it carries out,
// passes on to the active document or drops.
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
    HINSTANCE instance = GetModuleHandleA(nullptr);
    // A plain window cannot hold MDI children. The frame class goes last, with the frame.
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
             PumpMessages(); // its WM_QUIT would end the message box at once
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
        EXPECT_EQ(seen, Box(failure.caption, failure.text, IDI_WARNING, failure.owner));
    }
    DestroyWindow(notAClient);
    RegisterFrameClass(instance);
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
            ids += GetMenuState(GetMenu(frame), id, MF_BYCOMMAND) & MF_CHECKED ? std::to_string(id)
                                                                               : "";
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

// What reached the stand-in documents: "<title> <wParam> <lParam>" or "<title> close".
std::string Received;

LRESULT CALLBACK RecordingDocumentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND)
        Received +=
            WindowText(window) + " " + std::to_string(wParam) + " " + std::to_string(lParam);
    else if (message == WM_CLOSE)
        Received += WindowText(window) + " close";
    return DefMDIChildProcA(window, message, wParam, lParam);
}

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

TEST_F(FrameTest, CommandsAreCarriedOutPassedOnOrDropped) {
    HWND one = OpenStandIn("one");
    HWND two = OpenStandIn("two");
    char listed[16] = {};
    GetMenuStringA(GetSubMenu(GetMenu(frame), 2), ID_MDI_FIRSTCHILD + 1, listed, sizeof listed,
                   MF_BYCOMMAND);
    EXPECT_STREQ(listed, "&2 two"); // the Window menu lists the documents
    for (WORD command : {CMD_WINDOW_TILE, CMD_WINDOW_CASCADE}) {
        Command(command);
        RECT first = {}, second = {}, overlap = {};
        GetWindowRect(one, &first);
        GetWindowRect(two, &second);
        EXPECT_EQ(IntersectRect(&overlap, &first, &second) != 0, command == CMD_WINDOW_CASCADE);
    }
    const struct {
        WPARAM wParam;
        LPARAM lParam;
        const char* received;
        const char* active; // afterwards
    } steps[] = {
        {CMD_EDIT_COPY, 1234, "two 40016 1234", "two"},
        {MAKEWPARAM(CMD_FORMAT_FONT, 1), 0, "two 105558 0", "two"},
        {ID_MDI_FIRSTCHILD - 1, 0, "two 49999 0", "two"},
        {CMD_NUM_SINGLE, 0, "", "two"},
        {ID_MDI_FIRSTCHILD, 0, "", "one"},
        {CMD_FILE_CLOSE, 0, "one close", "two"},
        {CMD_FILE_CLOSE, 0, "two close", ""},
        {CMD_FILE_CLOSE, 0, "", ""},
        {CMD_FILE_SAVEAS, 0, "", ""},
    };
    for (const auto& step : steps) {
        Received.clear();
        Command(step.wParam, {}, step.lParam);
        HWND active = ActiveDocument();
        EXPECT_EQ(Received, step.received) << step.wParam;
        EXPECT_EQ(active ? WindowText(active) : "", step.active) << step.wParam;
    }
}

TEST_F(FrameTest, ExitEndsTheLoopAndClosesEverythingWithoutAQuestion) {
    PostQuitMessage(7);
    EXPECT_EQ(RunMessageLoopAtMost(5000), 7);
    HWND document = NewDocument();
    Command(CMD_FILE_EXIT);
    EXPECT_TRUE(IsWindow(frame)); // posted: the loop closes the frame
    int code = -1;
    Drive([&code] { code = RunMessageLoopAtMost(5000); });
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(IsWindow(document) || IsWindow(frame));
}

TEST_F(FrameTest, AboutShowsTitleAndVersionCentred) {
    std::string seen;
    Command(CMD_ABOUT, {AcceptMessageBox(seen)});
    ASSERT_EQ(seen.rfind("About | ", 0), 0u) << seen;
    std::string text = seen.substr(8, seen.find(" | icon") - 8);
    EXPECT_EQ(seen, Box("About", text, nullptr, frame));
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
