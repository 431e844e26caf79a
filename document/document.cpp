// A bare MDI child for now: the frame's New, Open, Close and window commands need one to act on.
#include "document/document.h"

namespace {

const char DocumentClassName[] = "myMDIChildWindowClass";

LRESULT CALLBACK DocumentWindowProc(HWND document, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefMDIChildProcA(document, message, wParam, lParam);
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
    creation.szTitle = "[Untitled]";
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

void OpenIntoDocument(HWND) {}
