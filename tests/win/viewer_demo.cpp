// The viewer with one file opened the way a user opens it, through File > Open and its dialog,
// for pictures of the program. Prints "opened" once the dump is shown, then runs the viewer
// until it is closed or ended.
//   viewer_demo FILE
#include "frame/frame.h"
#include "frame/resource.h"
#include "tests/win/modal_driver.h"
#include "tests/win/window_testing.h"

#include <cstdio>
#include <string>

namespace {

// The file name field of the Open dialog.
constexpr int FileNameFieldId = 0x47C;

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: viewer_demo FILE\n");
        return 2;
    }
    std::string path = argv[1];
    RegisterViewerClasses();
    HWND frame = CreateFrameWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    if (!frame)
        return 1;
    RunWithDialogs([frame] { SendMessageA(frame, WM_COMMAND, CMD_FILE_OPEN, 0); },
                   {[&path](HWND dialog) {
                       SetDlgItemTextA(dialog, FileNameFieldId, path.c_str());
                       PressButton(dialog, IDOK);
                   }});
    if (StatusText(GetDlgItem(frame, ID_STATUSBAR), 0) != "Opened...") {
        std::fprintf(stderr, "viewer_demo: %s was not opened\n", path.c_str());
        return 1;
    }
    std::printf("opened\n");
    std::fflush(stdout);
    return RunMessageLoop();
}
