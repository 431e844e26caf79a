#include "tests/win/window_testing.h"

#include "document/document.h"
#include "frame/frame.h"

#include <commctrl.h>

#include <vector>

std::string WindowText(HWND window) {
    int length = GetWindowTextLengthA(window);
    std::string text(size_t(length) + 1, '\0');
    int copied = GetWindowTextA(window, text.data(), length + 1);
    text.resize(size_t(copied > 0 ? copied : 0));
    return text;
}

std::string ClassNameOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string StatusText(HWND statusBar, int part) {
    LRESULT info = SendMessageA(statusBar, SB_GETTEXTLENGTHA, WPARAM(part), 0);
    // An empty part leaves the buffer as it is, so it starts zeroed.
    std::vector<char> text(size_t(LOWORD(info)) + 1, '\0');
    SendMessageA(statusBar, SB_GETTEXTA, WPARAM(part), reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

void RegisterViewerClasses() {
    InitCommonControls();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA known = {};
    known.cbSize = sizeof known;
    if (!GetClassInfoExA(instance, "myWindowClass", &known))
        RegisterFrameClass(instance);
    if (!GetClassInfoExA(instance, "myMDIChildWindowClass", &known))
        RegisterDocumentClass(instance);
}

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

namespace {
void CALLBACK EndOverdueLoop(HWND, UINT, UINT_PTR, DWORD) {
    PostQuitMessage(99);
}
} // namespace

int RunMessageLoopAtMost(UINT bound) {
    UINT_PTR timer = SetTimer(nullptr, 0, bound, EndOverdueLoop);
    int code = RunMessageLoop();
    KillTimer(nullptr, timer);
    return code;
}
