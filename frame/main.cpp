// The program's entry: start-up in order, then the message loop. Everything it calls lives in
// the libraries, where the tests drive the same code.
#include "document/document.h"
#include "frame/frame.h"

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    InitCommonControls();
    if (!RegisterFrameClass(instance))
        return 0;
    // It shows its own message.
    if (!RegisterDocumentClass(instance))
        return 0;
    if (!CreateFrameWindow(instance, showCommand))
        return 0;
    return RunMessageLoop();
}
