// The frame window: start-up steps, the frame's window procedure and the main message loop.
#pragma once

#include "dump/line_writer.h"

#include <windows.h>

// Set once the frame has been created (so still null while it handles its own WM_CREATE).
extern HWND FrameWindow;
// Set while the frame handles WM_CREATE; null when the MDI client could not be created.
extern HWND MdiClient;
// What the Numeration menu chose; a file opened from now on is numbered so, and documents
// already shown keep their numbering.
extern Numeration NumerationMode;

// Registers "myWindowClass"; on failure shows "Window Registration Failed!" and gives false.
bool RegisterFrameClass(HINSTANCE instance);

// Creates the frame, remembers it in FrameWindow, shows it with `showCommand` and paints it.
// On failure shows "Window Creation Failed!" and gives null.
HWND CreateFrameWindow(HINSTANCE instance, int showCommand);

// Dispatches messages, with the MDI system's keys, until WM_QUIT; gives the quit code.
int RunMessageLoop();

LRESULT CALLBACK FrameWindowProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam);
