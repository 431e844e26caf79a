// File > Open through the real dialog: the dump in the edit control, the title and the status.
#include "tests/win/document_testing.h"

#include "document/document.h"
#include "frame/resource.h"
#include "tests/support/sample_files.h"
#include "tests/win/window_testing.h"

#include <string>
#include <vector>

namespace {

class DocumentOpenTest : public ViewerTest {
  protected:
    // Opens a generated file through the menu in `mode` and checks the whole dump.
    void ExpectDumpInMode(WORD menuCommand, Numeration mode) {
        std::vector<unsigned char> bytes = GenerateSample(SAMPLE_MIXED, 7, 20000);
        std::string path = MakeFile("mixed.qef", bytes);
        Command(menuCommand);
        ModalRun run = OpenThroughDialog(path);
        EXPECT_EQ(run.answered, 1);
        EXPECT_EQ(run.cancelled, 0);
        EXPECT_EQ(FirstDifference(EditText(ActiveDocument()), ExpectedDump(bytes, mode)), "");
    }

    // A document that already shows `text`, and a status bar that shows the greeting.
    HWND DocumentShowing(const std::string& text) {
        HWND document = NewDocument();
        SetWindowTextA(EditOf(document), text.c_str());
        return document;
    }

    // OpenIntoDocument on `document` with `path` chosen; the message box it shows is read.
    ModalRun OpenInto(HWND document, const std::string& path, MessageBoxContent& seen) {
        return RunWithDialogs([document] { OpenIntoDocument(document); },
                              {ChooseFile(path), AcceptMessageBox(seen)});
    }
};

TEST_F(DocumentOpenTest, MultiNumerationGivesTheFormattersDump) {
    ExpectDumpInMode(CMD_NUM_MULTI, NUMERATION_MULTI);
}

TEST_F(DocumentOpenTest, SingleNumerationGivesTheFormattersDump) {
    ExpectDumpInMode(CMD_NUM_SINGLE, NUMERATION_SINGLE);
}

TEST_F(DocumentOpenTest, OffsetNumerationGivesTheFormattersDump) {
    ExpectDumpInMode(CMD_NUM_OFFSET, NUMERATION_OFFSET);
}

TEST_F(DocumentOpenTest, OpenedFileNamesTheDocumentAndTheStatusBar) {
    std::string path = MakeFile("named.qef", GenerateSample(SAMPLE_ONE_RECORD, 3, 5000));
    OpenThroughDialog(path);
    HWND document = ActiveDocument();
    EXPECT_EQ(WindowText(document), path);
    EXPECT_EQ(StatusText(statusBar, 0), "Opened...");
    EXPECT_EQ(StatusText(statusBar, 1), path);
}

TEST_F(DocumentOpenTest, EveryOpenUsesANewMaximisedDocument) {
    std::string path = MakeFile("twice.qef", GenerateSample(SAMPLE_MIXED, 1, 3000));
    OpenThroughDialog(path);
    HWND first = ActiveDocument();
    OpenThroughDialog(path);
    HWND second = ActiveDocument();
    EXPECT_NE(first, second);
    EXPECT_TRUE(IsZoomed(second));
    EXPECT_EQ(EditText(first), EditText(second));
}

TEST_F(DocumentOpenTest, CancelledOpenLeavesAnEmptyUntitledDocument) {
    ModalRun run = RunWithDialogs([this] { Command(CMD_FILE_OPEN); }, {CancelDialog()});
    EXPECT_EQ(run.answered, 1);
    HWND document = ActiveDocument();
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(WindowText(document), "[Untitled]");
    EXPECT_EQ(EditText(document), "");
    EXPECT_EQ(StatusText(statusBar, 0), "Hi there :)");
}

TEST_F(DocumentOpenTest, FileWithoutSignatureChangesNothing) {
    HWND document = DocumentShowing("typed by hand");
    std::string path = MakeFile("plain.txt", {'h', 'e', 'l', 'l', 'o', '\r', '\n'});
    MessageBoxContent seen;
    ModalRun run = OpenInto(document, path, seen);
    EXPECT_EQ(run.answered, 2);
    EXPECT_EQ(seen.text, "No QEF format.");
    EXPECT_EQ(seen.caption, "Error");
    EXPECT_EQ(seen.owner, frame); // the top-level window of the owning edit control
    EXPECT_EQ(seen.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(WindowText(document), "[Untitled]");
    EXPECT_EQ(EditText(document), "typed by hand");
    EXPECT_EQ(StatusText(statusBar, 0), "Hi there :)");
    EXPECT_EQ(StatusText(statusBar, 1), "");
}

TEST_F(DocumentOpenTest, EmptyFileHasNoSignature) {
    HWND document = DocumentShowing("");
    MessageBoxContent seen;
    OpenInto(document, MakeFile("empty.qef", {}), seen);
    EXPECT_EQ(seen.text, "No QEF format.");
    EXPECT_EQ(WindowText(document), "[Untitled]");
}

TEST_F(DocumentOpenTest, FileOverTheLimitGetsTheSizeMessage) {
    HWND document = DocumentShowing("earlier text");
    std::string path = MakeLongFile("huge.qef", GenerateSample(SAMPLE_ONE_RECORD, 5, 1000),
                                    MaxModuleInfoLength + 1ull);
    MessageBoxContent seen;
    OpenInto(document, path, seen);
    EXPECT_EQ(seen.text, "Don't parse file greather than 32 MB.");
    EXPECT_EQ(seen.caption, "Error");
    EXPECT_NE(seen.icon, nullptr);
    EXPECT_EQ(seen.owner, frame);
    EXPECT_EQ(EditText(document), "earlier text");
    EXPECT_EQ(WindowText(document), "[Untitled]");
    EXPECT_EQ(StatusText(statusBar, 0), "Hi there :)");
}

TEST_F(DocumentOpenTest, BrokenRecordChainKeepsThePreviousDump) {
    std::string good = MakeFile("good.qef", GenerateSample(SAMPLE_MIXED, 2, 4000));
    OpenThroughDialog(good);
    HWND document = ActiveDocument();
    std::string dump = EditText(document);
    ASSERT_FALSE(dump.empty());

    std::vector<unsigned char> bytes = GenerateSample(SAMPLE_ONE_RECORD, 9, 3000);
    bytes.pop_back(); // the last record now claims one byte more than the file has
    MessageBoxContent seen;
    OpenInto(document, MakeFile("broken.qef", bytes), seen);
    EXPECT_EQ(seen.text, "QEF format error.");
    EXPECT_EQ(seen.caption, "Error");
    EXPECT_EQ(seen.owner, frame);
    EXPECT_EQ(EditText(document), dump);
    EXPECT_EQ(WindowText(document), good);
    EXPECT_EQ(StatusText(statusBar, 1), good);
}

TEST_F(DocumentOpenTest, DumpFillsTheWholeClientArea) {
    HWND document = NewDocument();
    RECT client, edit;
    GetClientRect(document, &client);
    GetWindowRect(EditOf(document), &edit);
    MapWindowPoints(nullptr, document, reinterpret_cast<POINT*>(&edit), 2);
    EXPECT_EQ(edit.left, 0);
    EXPECT_EQ(edit.top, 0);
    EXPECT_EQ(edit.right, client.right);
    EXPECT_EQ(edit.bottom, client.bottom);
    LONG style = GetWindowLongA(EditOf(document), GWL_STYLE);
    LONG wanted = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                  ES_AUTOHSCROLL;
    EXPECT_EQ(style & wanted, wanted);
    EXPECT_TRUE(GetWindowLongA(EditOf(document), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
}

} // namespace
