// The fonts of the documents' edit controls. Each call takes the edit control it acts on; its
// messages and the Font dialog belong to the window that holds it.
#pragma once

#include <windows.h>

// The colour the Font dialog opens with: the one chosen in the last confirmed dialog. Only the
// dialog uses it; the documents' text keeps its colour.
extern COLORREF LastFontColor;

// Gives the edit control an 8-point "Lucida Console"; false (after a message) when the font
// could not be made.
bool SetDefaultDisplayFont(HWND edit);

// Lets the user pick a font for the edit control; false when the dialog was cancelled.
bool ChooseDisplayFont(HWND edit);

// Takes the font back from a closing document's edit control and releases it.
void ReleaseDisplayFont(HWND edit);
