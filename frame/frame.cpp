#include "frame/frame.h"

#include "document/document.h"
#include "frame/resource.h"
#include "qef_version.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

HWND FrameWindow = nullptr;
HWND MdiClient = nullptr;
Numeration NumerationMode = NUMERATION_MULTI;

namespace {

const char FrameClassName[] = "myWindowClass";
const char FrameTitle[] = "QEF Viewer";
constexpr int FrameWidth = 780;
constexpr int FrameHeight = 600;

// The "&Window" menu, where the MDI system lists the document windows.
constexpr int WindowMenuPosition = 2;

const TBBUTTON ToolbarButtons[] = {
    {STD_FILENEW, CMD_FILE_NEW, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0},
    {STD_FILEOPEN, CMD_FILE_OPEN, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0},
    {STD_FILESAVE, CMD_FILE_SAVEAS, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0},
};

// Right edges of the status bar's parts: short messages, then the path of the last file.
const int StatusPartEdges[] = {100, -1};
const char StatusGreeting[] = "Hi there :)";

const char* const AboutLines[] = {
    "QEF Viewer",
    ("Version " QEF_VERSION_TEXT), // one string: the parentheses tell clang the joining is meant
    "",
    "Made with the MinGW-w64 toolchain",
    "and CMake, tested with GoogleTest",
    "under Wine.",
};

void ShowFailure(HWND owner, const char* text, const char* caption, UINT icon) {
    MessageBoxA(owner, text, caption, MB_OK | icon);
}

HMENU ControlId(int id) {
    return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
}

void CreateMdiClient(HWND frame, HINSTANCE instance) {
    CLIENTCREATESTRUCT client = {GetSubMenu(GetMenu(frame), WindowMenuPosition), ID_MDI_FIRSTCHILD};
    MdiClient = CreateWindowExA(WS_EX_CLIENTEDGE, "mdiclient", nullptr,
                                WS_CHILD | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL | WS_VISIBLE,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, frame,
                                ControlId(ID_MDI_CLIENT), instance, &client);
    if (!MdiClient)
        ShowFailure(frame, "Could not create MDI client.", "Error", MB_ICONERROR);
}

void CreateToolbar(HWND frame, HINSTANCE instance) {
    HWND toolbar = CreateWindowExA(0, "ToolbarWindow32", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                   frame, ControlId(ID_TOOLBAR), instance, nullptr);
    if (!toolbar)
        ShowFailure(frame, "Could not create tool bar.", "Error", MB_ICONERROR);

    TBADDBITMAP bitmaps = {HINST_COMMCTRL, IDB_STD_SMALL_COLOR};
    SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(toolbar, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&bitmaps));
    SendMessageA(toolbar, TB_ADDBUTTONS, std::size(ToolbarButtons),
                 reinterpret_cast<LPARAM>(ToolbarButtons));
}

void CreateStatusBar(HWND frame, HINSTANCE instance) {
    HWND status =
        CreateWindowExA(0, "msctls_statusbar32", nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0,
                        0, 0, 0, frame, ControlId(ID_STATUSBAR), instance, nullptr);
    SendMessageA(status, SB_SETPARTS, std::size(StatusPartEdges),
                 reinterpret_cast<LPARAM>(StatusPartEdges));
    SendMessageA(status, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(StatusGreeting));
}

void OnCreate(HWND frame, const CREATESTRUCTA& creation) {
    CreateMdiClient(frame, creation.hInstance);
    CreateToolbar(frame, creation.hInstance);
    CreateStatusBar(frame, creation.hInstance);
}

int WindowHeight(HWND window) {
    RECT bounds;
    if (!GetWindowRect(window, &bounds))
        return 0;
    return bounds.bottom - bounds.top;
}

// The toolbar and the status bar place themselves; the MDI client fills what lies between.
void OnSize(HWND frame) {
    HWND toolbar = GetDlgItem(frame, ID_TOOLBAR);
    SendMessageA(toolbar, TB_AUTOSIZE, 0, 0);
    int toolbarHeight = WindowHeight(toolbar);

    HWND status = GetDlgItem(frame, ID_STATUSBAR);
    SendMessageA(status, WM_SIZE, 0, 0);
    int statusHeight = WindowHeight(status);

    RECT client;
    GetClientRect(frame, &client);
    SetWindowPos(MdiClient, nullptr, 0, toolbarHeight, client.right,
                 client.bottom - toolbarHeight - statusHeight, SWP_NOZORDER);
}

HWND ActiveDocument() {
    return reinterpret_cast<HWND>(SendMessageA(MdiClient, WM_MDIGETACTIVE, 0, 0));
}

// Every line padded on the left to sit in the middle of the widest one.
std::string AboutText() {
    size_t width = 0;
    for (const char* line : AboutLines)
        width = std::max(width, std::strlen(line));
    std::string text;
    for (const char* line : AboutLines) {
        if (!text.empty())
            text += '\n';
        text.append((width - std::strlen(line)) / 2, ' ');
        text += line;
    }
    return text;
}

void OnExit(HWND frame, WORD) {
    PostMessageA(frame, WM_CLOSE, 0, 0);
}

void OnNew(HWND, WORD) {
    CreateDocumentWindow(MdiClient);
}

void OnOpen(HWND, WORD) {
    if (HWND document = CreateDocumentWindow(MdiClient))
        OpenIntoDocument(document, NumerationMode);
}

void OnCloseDocument(HWND, WORD) {
    if (HWND document = ActiveDocument())
        SendMessageA(document, WM_CLOSE, 0, 0);
}

void OnCascade(HWND, WORD) {
    SendMessageA(MdiClient, WM_MDICASCADE, 0, 0);
}

void OnTile(HWND, WORD) {
    SendMessageA(MdiClient, WM_MDITILE, 0, 0);
}

void OnAbout(HWND frame, WORD) {
    MessageBoxA(frame, AboutText().c_str(), "About", MB_OK);
}

struct NumerationItem {
    WORD command;
    Numeration mode;
};
const NumerationItem NumerationItems[] = {
    {CMD_NUM_MULTI, NUMERATION_MULTI},
    {CMD_NUM_SINGLE, NUMERATION_SINGLE},
    {CMD_NUM_OFFSET, NUMERATION_OFFSET},
};

void OnNumeration(HWND frame, WORD command) {
    CheckMenuRadioItem(GetMenu(frame), CMD_NUM_MULTI, CMD_NUM_OFFSET, command, MF_BYCOMMAND);
    for (const NumerationItem& item : NumerationItems)
        if (item.command == command)
            NumerationMode = item.mode;
}

struct FrameCommand {
    WORD command;
    void (*handler)(HWND frame, WORD command);
};
const FrameCommand FrameCommands[] = {
    {CMD_FILE_NEW, OnNew},
    {CMD_FILE_OPEN, OnOpen},
    {CMD_FILE_CLOSE, OnCloseDocument},
    {CMD_FILE_EXIT, OnExit},
    {CMD_WINDOW_CASCADE, OnCascade},
    {CMD_WINDOW_TILE, OnTile},
    {CMD_ABOUT, OnAbout},
    {CMD_NUM_MULTI, OnNumeration},
    {CMD_NUM_SINGLE, OnNumeration},
    {CMD_NUM_OFFSET, OnNumeration},
};

// The frame's own commands; the rest belong to the active document, and ids from the first
// MDI child up are the Window menu's list of documents, which the MDI system activates.
void OnCommand(HWND frame, WPARAM wParam, LPARAM lParam) {
    WORD command = LOWORD(wParam);
    for (const FrameCommand& entry : FrameCommands) {
        if (entry.command == command) {
            entry.handler(frame, command);
            return;
        }
    }
    if (command < ID_MDI_FIRSTCHILD) {
        if (HWND document = ActiveDocument())
            SendMessageA(document, WM_COMMAND, wParam, lParam);
        return;
    }
    DefFrameProcA(frame, MdiClient, WM_COMMAND, wParam, lParam);
}

} // namespace

bool RegisterFrameClass(HINSTANCE instance) {
    WNDCLASSEXA frameClass = {};
    frameClass.cbSize = sizeof frameClass;
    frameClass.lpfnWndProc = FrameWindowProc;
    frameClass.hInstance = instance;
    frameClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    frameClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    frameClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    frameClass.lpszMenuName = MAKEINTRESOURCEA(ID_MAIN_MENU);
    frameClass.lpszClassName = FrameClassName;
    frameClass.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
    if (RegisterClassExA(&frameClass))
        return true;
    ShowFailure(nullptr, "Window Registration Failed!", "Error!", MB_ICONWARNING);
    return false;
}

HWND CreateFrameWindow(HINSTANCE instance, int showCommand) {
    HWND frame = CreateWindowExA(
        0, FrameClassName, FrameTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
        CW_USEDEFAULT, FrameWidth, FrameHeight, nullptr, nullptr, instance, nullptr);
    if (!frame) {
        ShowFailure(nullptr, "Window Creation Failed!", "Error!", MB_ICONWARNING);
        return nullptr;
    }
    FrameWindow = frame;
    ShowWindow(frame, showCommand);
    UpdateWindow(frame);
    return frame;
}

int RunMessageLoop() {
    MSG message = {};
    BOOL received;
    while ((received = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        if (!TranslateMDISysAccel(MdiClient, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    // After an error the message holds whatever came last, not a quit code.
    return received == 0 ? static_cast<int>(message.wParam) : 0;
}

LRESULT CALLBACK FrameWindowProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate(frame, *reinterpret_cast<const CREATESTRUCTA*>(lParam));
        return 0;
    case WM_SIZE:
        OnSize(frame);
        return 0;
    case WM_COMMAND:
        OnCommand(frame, wParam, lParam);
        return 0;
    case WM_CLOSE:
        DestroyWindow(frame);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefFrameProcA(frame, MdiClient, message, wParam, lParam);
    }
}
