// Document windows: the MDI children that each show one dump.
#pragma once

#include <windows.h>

// Registers "myMDIChildWindowClass"; on failure shows its message and gives false.
bool RegisterDocumentClass(HINSTANCE instance);

// A new empty "[Untitled]" document in the MDI client, or null (after a message).
HWND CreateDocumentWindow(HWND mdiClient);

// Lets the user pick a file and shows its dump in `document`.
void OpenIntoDocument(HWND document);
