// The viewer with FILE opened through File > Open and its dialog, as a user opens it, for the
// pictures of scripts/run-viewer. Prints "opened" once the dump shows, then runs the viewer
// until it is closed.
//   viewer_demo FILE
#include "frame/frame.h"
#include "frame/resource.h"
#include "tools/window_driver.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: viewer_demo FILE\n");
        return 2;
    }
    if (!RegisterViewerClasses()) {
        std::fprintf(stderr, "viewer_demo: the window classes could not be registered\n");
        return 1;
    }
    HWND frame = CreateFrameWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    RunWithDialogs([frame] { SendMessageA(frame, WM_COMMAND, CMD_FILE_OPEN, 0); },
                   {ChooseFile(argv[1])});
    if (StatusText(GetDlgItem(frame, ID_STATUSBAR), 0) != "Opened...") {
        std::fprintf(stderr, "viewer_demo: %s was not opened\n", argv[1]);
        return 1;
    }
    std::printf("opened\n");
    std::fflush(stdout);
    return RunMessageLoop();
}
