// The fonts of the documents' edit controls.
#pragma once

#include <windows.h>

// The colour the Font dialog opens with: the one chosen in the last confirmed dialog. Only the
// dialog uses it; the documents' text keeps its colour.
extern COLORREF LastFontColor;

// Gives the document's edit control an 8-point "Lucida Console"; false (after a message) when
// the font could not be made.
bool SetDefaultDisplayFont(HWND document);

// Lets the user pick a font for the document's edit control; false when the dialog was
// cancelled.
bool ChooseDisplayFont(HWND document);

// Takes the font back from a closing document's edit control and releases it.
void ReleaseDisplayFont(HWND document);
