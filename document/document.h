// Document windows: the MDI children that each show one dump in an edit control.
#pragma once

#include "dump/line_writer.h"

#include <windows.h>

// Registers "myMDIChildWindowClass"; on failure shows its message and gives false.
bool RegisterDocumentClass(HINSTANCE instance);

// A new empty "[Untitled]" document in the MDI client, or null (after a message).
HWND CreateDocumentWindow(HWND mdiClient);

// Lets the user pick a file and shows its dump in `document`, numbered in `mode`; the title and
// the status bar then name the file. A cancelled dialog or a refused file changes nothing; a
// dump too large for the edit control leaves it empty, with "Memory allocation error." said.
void OpenIntoDocument(HWND document, Numeration mode);

// Lets the user pick a file name and writes the document's text there; the title and the
// status bar then name the file. A cancelled dialog or a failed write changes nothing.
void SaveDocumentAs(HWND document);

// The edit control that shows the document's text (ID_DOCUMENT_EDIT), or null.
HWND EditOf(HWND document);

LRESULT CALLBACK DocumentWindowProc(HWND document, UINT message, WPARAM wParam, LPARAM lParam);
