// File > Save As through the real dialog: the file, the title and the status bar.
#include "tests/win/document_testing.h"

#include "frame/resource.h"
#include "tests/support/sample_files.h"
#include "tests/win/window_testing.h"

#include <string>
#include <vector>

namespace {

class DocumentSaveTest : public ViewerTest {
  protected:
    HWND DocumentShowing(const char* text) {
        HWND document = NewDocument();
        SetWindowTextA(EditOf(document), text);
        return document;
    }
};

TEST_F(DocumentSaveTest, SavedFileHoldsExactlyTheOpenedDump) {
    std::string source = MakeFile("source.qef", GenerateSample(SAMPLE_MIXED, 4, 6000));
    OpenThroughDialog(source);
    HWND document = ActiveDocument();
    std::string target = PathOf("dump.txt");
    ModalRun run = SaveThroughDialog(target);
    EXPECT_EQ(run.answered, 1);
    EXPECT_EQ(run.cancelled, 0);
    EXPECT_EQ(FirstDifference(ReadWholeFile(target), EditText(document)), "");
    EXPECT_EQ(WindowText(document), target);
    EXPECT_EQ(StatusText(statusBar, 0), "Saved...");
    EXPECT_EQ(StatusText(statusBar, 1), target);
}

TEST_F(DocumentSaveTest, EditedTextIsSavedAsItStands) {
    DocumentShowing("first line\r\nsecond, without an end");
    std::string target = PathOf("edited.txt");
    SaveThroughDialog(target);
    EXPECT_EQ(ReadWholeFile(target), "first line\r\nsecond, without an end");
}

TEST_F(DocumentSaveTest, NameWithoutExtensionGetsTxt) {
    HWND document = DocumentShowing("x");
    SaveThroughDialog(PathOf("plain"));
    EXPECT_EQ(ReadWholeFile(PathOf("plain.txt")), "x");
    EXPECT_EQ(WindowText(document), PathOf("plain.txt"));
}

TEST_F(DocumentSaveTest, CancelledSaveChangesNothing) {
    HWND document = DocumentShowing("kept");
    ModalRun run = RunWithDialogs([this] { Command(CMD_FILE_SAVEAS); }, {CancelDialog()});
    EXPECT_EQ(run.answered, 1);
    EXPECT_EQ(WindowText(document), "[Untitled]");
    EXPECT_EQ(StatusText(statusBar, 0), "Hi there :)");
    EXPECT_EQ(StatusText(statusBar, 1), "");
    EXPECT_EQ(EditText(document), "kept");
}

TEST_F(DocumentSaveTest, EmptyDocumentLeavesAnEmptyFileAndNoReport) {
    HWND document = NewDocument();
    std::string target = PathOf("empty.txt");
    SaveThroughDialog(target);
    EXPECT_EQ(ReadWholeFile(target), "");
    EXPECT_EQ(WindowText(document), "[Untitled]");
    EXPECT_EQ(StatusText(statusBar, 0), "Hi there :)");
}

TEST_F(DocumentSaveTest, ConfirmedOverwriteReplacesTheFile) {
    std::string target = MakeFile("old.txt", std::vector<unsigned char>(500, 'o'));
    HWND document = DocumentShowing("new");
    MessageBoxContent prompt;
    ModalRun run = SaveThroughDialog(target, {[&prompt](HWND box) {
                                         prompt = ReadMessageBox(box);
                                         PressButton(box, IDYES);
                                     }});
    EXPECT_EQ(run.answered, 2);
    EXPECT_EQ(prompt.buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(ReadWholeFile(target), "new");
    EXPECT_EQ(WindowText(document), target);
}

TEST_F(DocumentSaveTest, SavedDumpReopenedIsNoModuleInfoFile) {
    OpenThroughDialog(MakeFile("again.qef", GenerateSample(SAMPLE_MIXED, 8, 2000)));
    std::string dump = PathOf("again.txt");
    SaveThroughDialog(dump);
    MessageBoxContent seen;
    OpenThroughDialog(dump, {AcceptMessageBox(seen)});
    EXPECT_EQ(seen.text, "No QEF format.");
    EXPECT_EQ(WindowText(ActiveDocument()), "[Untitled]");
    EXPECT_EQ(StatusText(statusBar, 0), "Saved...");
}

TEST_F(DocumentSaveTest, SaveAsWithoutDocumentOpensNoDialog) {
    ModalRun run = RunWithDialogs([this] { Command(CMD_FILE_SAVEAS); }, {});
    EXPECT_EQ(run.answered + run.cancelled, 0);
}

} // namespace
