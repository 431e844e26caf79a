// The viewer's windows driven from the same process, as a user drives them: texts read, the
// window classes registered as start-up does, and modal dialogs answered from inside their own
// message loops. For the demo, the GUI benchmark and the GUI tests.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

std::string WindowText(HWND window);
std::string StatusText(HWND statusBar, int part);
bool RegisterViewerClasses(); // once per process; later calls give the first one's result
void PumpMessages();          // every message already waiting, WM_QUIT included

using DialogAction = std::function<void(HWND dialog)>; // must close it or open the next one
DialogAction Press(int id); // posted, so that it acts once the action has returned
DialogAction ChooseFile(const std::string& path); // in an Open or Save As dialog, then OK

// Runs `call`, answering the dialogs it opens with `actions` in order. Gives how many went
// wrong: dialogs left over or stuck for 20 s (then cancelled), and actions never used.
int RunWithDialogs(const std::function<void()>& call, std::vector<DialogAction> actions);
