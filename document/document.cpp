#include "document/document.h"

#include "document/display_fonts.h"
#include "dump/viewer_dump.h"
#include "files/files.h"
#include "frame/resource.h"

#include <commctrl.h>
#include <commdlg.h>

#include <climits>

HWND EditOf(HWND document) {
    return reinterpret_cast<HWND>(GetWindowLongPtrA(document, GWLP_USERDATA));
}

namespace {

const char DocumentClassName[] = "myMDIChildWindowClass";
const char UntitledTitle[] = "[Untitled]";

constexpr DWORD EditStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                            ES_AUTOVSCROLL | ES_AUTOHSCROLL;
constexpr int EditInitialSize = 100; // until the first WM_SIZE gives the client area

// Both lists end in the double NUL the dialogs look for.
const char OpenFilter[] = "Text Files (*.qef)\0*.qef\0All Files (*.*)\0*.*\0";
const char SaveFilter[] = "Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
const char DefaultExtension[] = "txt";

#if !defined(_WIN64)
// The full structure, with the fields after lpTemplateName; older sizes open the old dialogs.
static_assert(sizeof(OPENFILENAMEA) == 88, "OPENFILENAMEA must be the 88-byte structure");
#endif

// Documents live in the MDI client, which lives in the frame.
HWND FrameOf(HWND window) {
    return GetAncestor(window, GA_ROOT);
}

void SetStatusText(HWND frame, int part, const char* text) {
    SendDlgItemMessageA(frame, ID_STATUSBAR, SB_SETTEXTA, WPARAM(part),
                        reinterpret_cast<LPARAM>(text));
}

UINT MessageBoxIcon(MessageIcon icon) {
    static const UINT Icons[] = {0, MB_ICONINFORMATION, MB_ICONERROR};
    return Icons[icon];
}

size_t EditTextLength(HWND edit) {
    int length = GetWindowTextLengthA(edit);
    return length > 0 ? size_t(length) : 0;
}

// The formatter's view of a document: its edit control takes the dump and owns the messages,
// and the frame's status bar shows the progress.
class EditControlTarget : public DumpTarget {
  public:
    explicit EditControlTarget(HWND edit) : edit(edit) {}

    // An edit control that cannot get the memory for a text may keep none of it and still
    // report success, so only its length tells whether the whole dump arrived. A dump that did
    // not is taken out again: the user must never be told that a file is shown when it is not.
    bool SetText(const char* text, size_t length) override {
        if (SetWindowTextA(edit, text) && EditTextLength(edit) == length)
            return true;
        SetWindowTextA(edit, "");
        ShowMessage(DumpFailureMessages[DUMP_ALLOCATION_FAILED]);
        return false;
    }
    void ShowProgress(const char* text) override { SetStatusText(FrameOf(edit), 0, text); }
    void ShowMessage(const DumpMessage& message) override {
        MessageBoxA(edit, message.text, message.caption, MB_OK | MessageBoxIcon(message.icon));
    }
    void* AllocateOutput(size_t bytes) override { return GlobalAlloc(GPTR, bytes); }
    bool ReleaseOutput(void* block) override { return GlobalFree(block) == nullptr; }

  private:
    HWND edit;
};

class EditControlSource : public TextSource {
  public:
    explicit EditControlSource(HWND edit) : edit(edit) {}

    size_t TextLength() override { return EditTextLength(edit); }
    size_t CopyText(char* buffer, size_t capacity) override {
        int room = capacity > size_t(INT_MAX) ? INT_MAX : int(capacity);
        int copied = GetWindowTextA(edit, buffer, room);
        return copied > 0 ? size_t(copied) : 0;
    }

  private:
    HWND edit;
};

// After a successful open or save the document is known by the file's full path.
void ReportFile(HWND document, const char* status, const char* path) {
    HWND frame = FrameOf(document);
    SetStatusText(frame, 0, status);
    SetStatusText(frame, 1, path);
    SetWindowTextA(document, path);
}

OPENFILENAMEA FileDialog(HWND document, const char* filter, DWORD flags, char* path) {
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = document;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = flags;
    dialog.lpstrDefExt = DefaultExtension;
    return dialog;
}

// The frame's menus that only mean something with a document, each found by a command it
// holds: a maximised document puts its system menu in front of them.
const UINT DocumentMenuCommands[] = {CMD_EDIT_CUT, CMD_WINDOW_TILE, CMD_FORMAT_FONT};
const UINT DocumentFileCommands[] = {CMD_FILE_SAVEAS, CMD_FILE_CLOSE};

int MenuBarPositionHolding(HMENU bar, UINT command) {
    int count = GetMenuItemCount(bar);
    for (int position = 0; position < count; ++position) {
        HMENU submenu = GetSubMenu(bar, position);
        if (submenu && GetMenuState(submenu, command, MF_BYCOMMAND) != UINT(-1))
            return position;
    }
    return -1;
}

void EnableDocumentMenus(HWND frame, bool enabled) {
    UINT state = enabled ? MF_ENABLED : MF_GRAYED;
    HMENU bar = GetMenu(frame);
    for (UINT command : DocumentMenuCommands) {
        int position = MenuBarPositionHolding(bar, command);
        if (position >= 0)
            EnableMenuItem(bar, UINT(position), MF_BYPOSITION | state);
    }
    for (UINT command : DocumentFileCommands)
        EnableMenuItem(bar, command, MF_BYCOMMAND | state);
    DrawMenuBar(frame);
}

void OnCreate(HWND document, const CREATESTRUCTA& creation) {
    HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", EditStyle, 0, 0, EditInitialSize,
                                EditInitialSize, document,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_DOCUMENT_EDIT)),
                                creation.hInstance, nullptr);
    if (!edit)
        MessageBoxA(document, "Could not create edit box.", "Error", MB_OK | MB_ICONERROR);
    // Kept by handle: Wine has been seen to renumber the edit control to an MDI child id after
    // a modal dialog, and GetDlgItem then no longer finds it.
    SetWindowLongPtrA(document, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(edit));
    ShowWindow(document, SW_SHOWMAXIMIZED);
    SetDefaultDisplayFont(edit);
}

void OnSize(HWND document) {
    RECT client;
    GetClientRect(document, &client);
    SetWindowPos(EditOf(document), nullptr, 0, 0, client.right, client.bottom, SWP_NOZORDER);
}

void SendToEdit(HWND document, UINT message) {
    SendMessageA(EditOf(document), message, 0, 0);
}

void OnCommand(HWND document, WORD command) {
    switch (command) {
    case CMD_FILE_SAVEAS:
        SaveDocumentAs(document);
        break;
    case CMD_EDIT_CUT:
        SendToEdit(document, WM_CUT);
        break;
    case CMD_EDIT_COPY:
        SendToEdit(document, WM_COPY);
        break;
    case CMD_EDIT_PASTE:
        SendToEdit(document, WM_PASTE);
        break;
    case CMD_FORMAT_FONT:
        ChooseDisplayFont(EditOf(document));
        break;
    case CMD_FORMAT_LUCIDA:
        SetDefaultDisplayFont(EditOf(document));
        break;
    default:
        break;
    }
}

} // namespace

bool RegisterDocumentClass(HINSTANCE instance) {
    WNDCLASSEXA documentClass = {};
    documentClass.cbSize = sizeof documentClass;
    documentClass.style = CS_HREDRAW | CS_VREDRAW;
    documentClass.lpfnWndProc = DocumentWindowProc;
    documentClass.hInstance = instance;
    documentClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    documentClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    documentClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_3DFACE + 1));
    documentClass.lpszClassName = DocumentClassName;
    documentClass.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
    if (RegisterClassExA(&documentClass))
        return true;
    MessageBoxA(nullptr, "Could Not Register Child Window", "Oh Oh...", MB_OK | MB_ICONWARNING);
    return false;
}

HWND CreateDocumentWindow(HWND mdiClient) {
    MDICREATESTRUCTA creation = {};
    creation.szClass = DocumentClassName;
    creation.szTitle = UntitledTitle;
    creation.hOwner = GetModuleHandleA(nullptr);
    creation.x = CW_USEDEFAULT;
    creation.y = CW_USEDEFAULT;
    creation.cx = CW_USEDEFAULT;
    creation.cy = CW_USEDEFAULT;
    creation.style = MDIS_ALLCHILDSTYLES;
    HWND document = reinterpret_cast<HWND>(
        SendMessageA(mdiClient, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&creation)));
    if (!document)
        MessageBoxA(mdiClient, "MDI Child creation failed.", "Oh Oh...", MB_OK | MB_ICONWARNING);
    return document;
}

// A refused file has had its message from the formatter; nothing else is said here.
void OpenIntoDocument(HWND document, Numeration mode) {
    char path[MAX_PATH] = "";
    OPENFILENAMEA dialog =
        FileDialog(document, OpenFilter, OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, path);
    if (!GetOpenFileNameA(&dialog))
        return;
    EditControlTarget target(EditOf(document));
    if (LoadDocumentFile(target, path, mode))
        ReportFile(document, "Opened...", path);
}

void SaveDocumentAs(HWND document) {
    char path[MAX_PATH] = "";
    OPENFILENAMEA dialog =
        FileDialog(document, SaveFilter,
                   OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY, path);
    if (!GetSaveFileNameA(&dialog))
        return;
    EditControlSource source(EditOf(document));
    if (SaveDocumentText(source, path))
        ReportFile(document, "Saved...", path);
}

LRESULT CALLBACK DocumentWindowProc(HWND document, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate(document, *reinterpret_cast<const CREATESTRUCTA*>(lParam));
        return 0;
    case WM_SIZE:
        OnSize(document);
        break;
    case WM_COMMAND:
        OnCommand(document, LOWORD(wParam));
        return 0;
    case WM_MDIACTIVATE:
        EnableDocumentMenus(FrameOf(document), reinterpret_cast<HWND>(lParam) == document);
        return 0;
    case WM_DESTROY:
        ReleaseDisplayFont(EditOf(document));
        break;
    default:
        break;
    }
    return DefMDIChildProcA(document, message, wParam, lParam);
}
