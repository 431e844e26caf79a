// The documents' display fonts: the default, the Font dialog, and the release of old fonts.
#include "tests/win/document_testing.h"

#include "document/display_fonts.h"
#include "frame/resource.h"
#include "tests/win/window_testing.h"

#include <string>
#include <vector>

namespace {

// The Font dialog's controls.
constexpr int FaceListId = 0x470;
constexpr int SizeListId = 0x472;
constexpr int ColourListId = 0x473;
constexpr int StrikeOutBoxId = 0x410;
constexpr int UnderlineBoxId = 0x411;

HFONT FontOf(HWND document) {
    return reinterpret_cast<HFONT>(SendMessageA(EditOf(document), WM_GETFONT, 0, 0));
}

// What the document asked for; the face realised may be a substitute.
LOGFONTA RequestedFont(HWND document) {
    LOGFONTA font = {};
    EXPECT_EQ(GetObjectA(FontOf(document), sizeof font, &font), int(sizeof font));
    return font;
}

LOGFONTA DefaultGuiFont() {
    LOGFONTA font = {};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    return font;
}

int ScreenPixelsPerInch() {
    HDC screen = GetDC(nullptr);
    int pixels = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return pixels;
}

void Choose(HWND dialog, int list, LRESULT index) {
    SendDlgItemMessageA(dialog, list, CB_SETCURSEL, WPARAM(index), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, list)));
}

std::string ListText(HWND dialog, int list, LRESULT index) {
    std::vector<char> text(
        size_t(SendDlgItemMessageA(dialog, list, CB_GETLBTEXTLEN, WPARAM(index), 0)) + 1, '\0');
    SendDlgItemMessageA(dialog, list, CB_GETLBTEXT, WPARAM(index),
                        reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

std::string SelectedText(HWND dialog, int list) {
    LRESULT index = SendDlgItemMessageA(dialog, list, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? "<none>" : ListText(dialog, list, index);
}

COLORREF SelectedColour(HWND dialog) {
    LRESULT index = SendDlgItemMessageA(dialog, ColourListId, CB_GETCURSEL, 0, 0);
    return COLORREF(SendDlgItemMessageA(dialog, ColourListId, CB_GETITEMDATA, WPARAM(index), 0));
}

// What a Font dialog showed when it opened.
struct FontDialogStart {
    std::string face;
    std::string size;
    COLORREF colour = 0;
};

void TypeSize(HWND dialog, const char* points) {
    SetDlgItemTextA(dialog, SizeListId, points);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(SizeListId, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, SizeListId)));
}

// Checks a box as a click would. BM_CLICK goes through the mouse capture, which a focus
// change from the X server can take away half-way under Wine.
void Tick(HWND dialog, int box) {
    CheckDlgButton(dialog, box, BST_CHECKED);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(box, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, box)));
}

std::string DialogText(HWND dialog, int id) {
    char text[64] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// Wine's Font dialog can show before its lists and size field are filled; under load the
// first timer tick may come that early.
void WaitUntilFilled(HWND dialog) {
    for (int wait = 0; wait < 500; ++wait) {
        if (SendDlgItemMessageA(dialog, FaceListId, CB_GETCOUNT, 0, 0) > 0 &&
            SendDlgItemMessageA(dialog, ColourListId, CB_GETCOUNT, 0, 0) > 0 &&
            SendDlgItemMessageA(dialog, SizeListId, CB_GETCOUNT, 0, 0) > 0 &&
            !DialogText(dialog, SizeListId).empty())
            return;
        PumpMessages();
        Sleep(20);
    }
    ADD_FAILURE() << "the Font dialog was never filled";
}

class FontTest : public ViewerTest {
  protected:
    void SetUp() override {
        ViewerTest::SetUp();
        LastFontColor = RGB(0, 0, 0);
    }

    // Format > Font... on the active document; `choose` sets the dialog before OK.
    ModalRun ChooseFont(const std::function<void(HWND dialog)>& choose,
                        FontDialogStart* start = nullptr) {
        return RunWithDialogs([this] { Command(CMD_FORMAT_FONT); }, {[choose, start](HWND dialog) {
                                  WaitUntilFilled(dialog);
                                  if (start) {
                                      start->face = SelectedText(dialog, FaceListId);
                                      start->size = DialogText(dialog, SizeListId);
                                      start->colour = SelectedColour(dialog);
                                  }
                                  choose(dialog);
                                  PressButton(dialog, IDOK);
                              }});
    }

    // Picks the first listed face that is neither the default GUI font's, the default display
    // font's nor the one the dialog shows, so that a change is visible whatever is installed.
    static std::string ChooseOtherFace(HWND dialog) {
        std::string shown = SelectedText(dialog, FaceListId);
        LRESULT count = SendDlgItemMessageA(dialog, FaceListId, CB_GETCOUNT, 0, 0);
        for (LRESULT index = 0; index < count; ++index) {
            std::string face = ListText(dialog, FaceListId, index);
            if (face != DefaultGuiFont().lfFaceName && face != "Lucida Console" && face != shown) {
                Choose(dialog, FaceListId, index);
                return face;
            }
        }
        ADD_FAILURE() << "only the default faces are listed";
        return "";
    }
};

TEST_F(FontTest, NewDocumentAsksForEightPointLucidaConsole) {
    const struct {
        int pixelsPerInch;
        LONG height;
    } Heights[] = {{96, -11}, {120, -13}, {144, -16}};
    int pixels = ScreenPixelsPerInch();
    LOGFONTA font = RequestedFont(NewDocument());
    EXPECT_STREQ(font.lfFaceName, "Lucida Console");
    EXPECT_EQ(font.lfCharSet, ANSI_CHARSET);
    EXPECT_EQ(font.lfWeight, FW_DONTCARE);
    for (const auto& expected : Heights) {
        if (expected.pixelsPerInch == pixels) {
            EXPECT_EQ(font.lfHeight, expected.height);
        }
    }
}

TEST_F(FontTest, ChosenFontAppliesToTheActiveDocumentOnly) {
    HWND first = NewDocument();
    HWND second = NewDocument();
    std::string face;
    ModalRun run = ChooseFont([&face](HWND dialog) { face = ChooseOtherFace(dialog); });
    EXPECT_EQ(run.answered, 1);
    ASSERT_FALSE(face.empty());
    EXPECT_EQ(RequestedFont(second).lfFaceName, face);
    EXPECT_STREQ(RequestedFont(first).lfFaceName, "Lucida Console");
}

TEST_F(FontTest, UnderlineAndStrikeOutReachTheText) {
    HWND document = NewDocument();
    ChooseFont([](HWND dialog) {
        Tick(dialog, UnderlineBoxId);
        Tick(dialog, StrikeOutBoxId);
    });
    LOGFONTA font = RequestedFont(document);
    EXPECT_TRUE(font.lfUnderline);
    EXPECT_TRUE(font.lfStrikeOut);
}

// The default GUI face may be a substitute that the list does not hold, and what the dialog
// then selects in the face list varies, so the face is only checked not to be the chosen one;
// the size comes from the default font's height and must come back.
TEST_F(FontTest, DialogAlwaysStartsFromTheDefaultGuiFont) {
    HWND document = NewDocument();
    FontDialogStart first;
    std::string chosen;
    ChooseFont(
        [&chosen](HWND dialog) {
            chosen = ChooseOtherFace(dialog);
            TypeSize(dialog, "20");
        },
        &first);
    ASSERT_EQ(RequestedFont(document).lfFaceName, chosen);
    ASSERT_EQ(RequestedFont(document).lfHeight, -MulDiv(20, ScreenPixelsPerInch(), 72));
    FontDialogStart second;
    ChooseFont([](HWND) {}, &second);
    EXPECT_NE(second.face, chosen);
    EXPECT_EQ(second.size, first.size);
    EXPECT_NE(second.size, "20");
}

TEST_F(FontTest, ChosenColourPreselectsTheNextDialogOnly) {
    HWND document = NewDocument();
    COLORREF chosen = 0;
    FontDialogStart first;
    ChooseFont(
        [&chosen](HWND dialog) {
            Choose(dialog, ColourListId, 3);
            chosen = SelectedColour(dialog);
        },
        &first);
    EXPECT_EQ(first.colour, RGB(0, 0, 0));
    ASSERT_NE(chosen, RGB(0, 0, 0));
    EXPECT_EQ(LastFontColor, chosen);

    FontDialogStart second;
    ChooseFont([](HWND) {}, &second);
    EXPECT_EQ(second.colour, chosen);
    // The text keeps the edit control's own colour: the document paints nothing itself.
    HDC context = GetDC(EditOf(document));
    HBRUSH brush = reinterpret_cast<HBRUSH>(
        SendMessageA(document, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(context),
                     reinterpret_cast<LPARAM>(EditOf(document))));
    EXPECT_EQ(GetTextColor(context), GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_NE(brush, nullptr);
    ReleaseDC(EditOf(document), context);
}

TEST_F(FontTest, CancelledDialogChangesNothing) {
    HWND document = NewDocument();
    HFONT before = FontOf(document);
    LastFontColor = RGB(0, 0, 128);
    ModalRun run = RunWithDialogs([this] { Command(CMD_FORMAT_FONT); }, {CancelDialog()});
    EXPECT_EQ(run.answered, 1);
    EXPECT_EQ(FontOf(document), before);
    EXPECT_EQ(LastFontColor, RGB(0, 0, 128));
}

TEST_F(FontTest, LucidaConsoleRestoresTheDefaultInTheActiveDocumentOnly) {
    HWND first = NewDocument();
    std::string face;
    ChooseFont([&face](HWND dialog) { face = ChooseOtherFace(dialog); });
    HWND second = NewDocument();
    ChooseFont([](HWND dialog) { ChooseOtherFace(dialog); });
    Command(CMD_FORMAT_LUCIDA);
    LOGFONTA restored = RequestedFont(second);
    LOGFONTA fresh = RequestedFont(NewDocument());
    EXPECT_STREQ(restored.lfFaceName, "Lucida Console");
    EXPECT_EQ(restored.lfHeight, fresh.lfHeight);
    EXPECT_EQ(RequestedFont(first).lfFaceName, face);
}

TEST_F(FontTest, ReplacedFontsAreReleasedAndTheShownOneIsKept) {
    HWND document = NewDocument();
    for (int change = 0; change < 50; ++change) {
        HFONT before = FontOf(document);
        Command(CMD_FORMAT_LUCIDA);
        HFONT after = FontOf(document);
        ASSERT_NE(after, before);
        ASSERT_EQ(GetObjectType(before), 0u) << "change " << change;
        ASSERT_EQ(GetObjectType(after), DWORD(OBJ_FONT));
    }
    HFONT before = FontOf(document);
    ChooseFont([](HWND dialog) { ChooseOtherFace(dialog); });
    EXPECT_EQ(GetObjectType(before), 0u);
    EXPECT_EQ(GetObjectType(FontOf(document)), DWORD(OBJ_FONT));
}

TEST_F(FontTest, ClosingDocumentsReleasesTheirFonts) {
    std::vector<HFONT> fonts;
    fonts.reserve(20);
    for (int count = 0; count < 20; ++count)
        fonts.push_back(FontOf(NewDocument()));
    for (int count = 0; count < 10; ++count)
        Command(CMD_FILE_CLOSE);
    int alive = 0;
    for (HFONT font : fonts)
        alive += GetObjectType(font) == OBJ_FONT;
    EXPECT_EQ(alive, 10);
    DestroyWindow(frame);
    for (HFONT font : fonts)
        EXPECT_EQ(GetObjectType(font), 0u);
}

} // namespace
