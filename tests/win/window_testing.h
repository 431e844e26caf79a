// Small window helpers shared by the viewer's window tests.
#pragma once

#include <windows.h>

#include <string>

std::string WindowText(HWND window);
std::string ClassNameOf(HWND window);

// The text of one status bar part ("" for an empty part).
std::string StatusText(HWND statusBar, int part);

// Initialises the common controls and registers the frame and document classes, as start-up
// does, unless they are registered already.
void RegisterViewerClasses();

// Handles every message already waiting for this thread, WM_QUIT included, so that nothing a
// test left behind reaches the next one.
void PumpMessages();

// Runs the viewer's message loop; a loop still running after `bound` milliseconds is ended with
// the code 99 so that a broken quit fails its test instead of hanging it.
int RunMessageLoopAtMost(UINT bound);
