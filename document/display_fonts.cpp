#include "document/display_fonts.h"

#include <commdlg.h>

COLORREF LastFontColor = RGB(0, 0, 0);

namespace {

constexpr int DefaultPointSize = 8;
constexpr int PointsPerInch = 72;
const char DefaultFaceName[] = "Lucida Console";

#if !defined(_WIN64)
// Windows checks the structure size; this is the one it knows for 32-bit programs.
static_assert(sizeof(CHOOSEFONTA) == 60, "CHOOSEFONTA must be the 60-byte structure");
#endif

// A negative height asks for the character height rather than the cell height.
int DefaultFontHeight() {
    HDC screen = GetDC(nullptr);
    int pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return -MulDiv(DefaultPointSize, pixelsPerInch, PointsPerInch);
}

void ShowFontFailure(HWND edit) {
    MessageBoxA(GetParent(edit), "Font creation failed!", "Error", MB_OK | MB_ICONWARNING);
}

// Every font an edit control shows was made for it alone, so the one it gives up can go once
// the new one is in place. Without an edit control the new font has no user and goes at once.
bool GiveFont(HWND edit, HFONT font) {
    if (!edit) {
        DeleteObject(font);
        return false;
    }
    HFONT previous = reinterpret_cast<HFONT>(SendMessageA(edit, WM_GETFONT, 0, 0));
    SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (previous)
        DeleteObject(previous);
    return true;
}

} // namespace

bool SetDefaultDisplayFont(HWND edit) {
    HFONT font = CreateFontA(DefaultFontHeight(), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                             ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, DefaultFaceName);
    if (!font) {
        ShowFontFailure(edit);
        return false;
    }
    return GiveFont(edit, font);
}

// The dialog always starts from the default GUI font, whatever the document shows now.
bool ChooseDisplayFont(HWND edit) {
    LOGFONTA chosen = {};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof chosen, &chosen);
    CHOOSEFONTA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = GetParent(edit);
    dialog.lpLogFont = &chosen;
    dialog.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_EFFECTS;
    dialog.rgbColors = LastFontColor;
    if (!ChooseFontA(&dialog))
        return false;

    if (HFONT font = CreateFontIndirectA(&chosen))
        GiveFont(edit, font);
    else
        ShowFontFailure(edit);
    LastFontColor = dialog.rgbColors;
    return true;
}

// Called while the edit control still exists, so that it never holds a released font.
void ReleaseDisplayFont(HWND edit) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(edit, WM_GETFONT, 0, 0));
    if (!font)
        return;
    SendMessageA(edit, WM_SETFONT, 0, FALSE);
    DeleteObject(font);
}
