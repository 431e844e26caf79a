// Reading a module-info file whole into the formatter, and writing a document's text to disk.
#pragma once

#include "dump/viewer_dump.h"

#include <cstddef>

// Where SaveDocumentText takes its text from: the viewer plugs in a document's edit control.
class TextSource {
  public:
    // Characters in the text, not counting a terminator.
    virtual size_t TextLength() = 0;
    // Copies at most capacity - 1 characters and a NUL into buffer, like GetWindowTextA, and
    // returns the number of characters copied.
    virtual size_t CopyText(char* buffer, size_t capacity) = 0;

  protected:
    ~TextSource() = default;
};

// Reads the file at `path` and formats it into `target`, numbered in `mode`; true when the dump
// was set. A file that cannot be opened, sized or read fails silently; messages about its
// content (and about its size) come from the formatter's texts.
bool LoadDocumentFile(DumpTarget& target, const char* path, Numeration mode);

// Replaces the file at `path` with exactly the source's text; true when all of it was written.
// An empty text leaves an empty file and gives false.
bool SaveDocumentText(TextSource& source, const char* path);
