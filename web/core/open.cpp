// Opening a file: the bytes the page read into a slot's incoming file (qef_reserve) checked as
// the viewer checks them and indexed, or, for a damaged file the reader asked to see, salvaged.
#include "web/core/binding.h"
#include "web/core/salvage.h"

#include "dump/file_check.h"

#include <algorithm>

namespace {

uint32_t refusalLength = 0; // of the last refusal's text in the output buffer
bool salvageable = false;   // whether the last file refused could be salvaged

} // namespace

// Checks the bytes the page put at qef_reserve's answer (none for a file over the limit) and
// indexes an accepted file, which then waits for qef_take (the shown slot) or qef_compare (the
// compared one). With `salvage`, a file refused for its chain or its signature is accepted as
// what survives of it. A refusal's text, the viewer's message and where the file breaks, is
// left in the output buffer. A refused file is forgotten and leaves the slots as they were.
QEF_EXPORT int qef_open(int slot, double length, int salvage) {
    if (!IsSlot(slot) || !(length >= 0))
        return OPEN_REFUSED;
    OpenFile& file = *IncomingFile(slot);
    bool tooLarge = length > MaxModuleInfoLength;
    if (!tooLarge && !(file.bytes && length == file.length)) {
        file = OpenFile();
        return OPEN_NO_MEMORY;
    }
    uint64_t size = tooLarge ? uint64_t(std::min(length, 1e18)) : file.length;
    FileCheck check = CheckModuleInfoFile(file.bytes.get(), size);
    // An empty file has nothing that could survive.
    salvageable = size > 0 && (check.verdict == FILE_BROKEN || check.verdict == FILE_NO_SIGNATURE);
    if (check.verdict != FILE_ACCEPTED && !(salvage && salvageable)) {
        refusalLength = OutputOf([&] { return DescribeRefusal(check, file.bytes.get(), size); });
        file = OpenFile();
        return refusalLength ? OPEN_REFUSED : OPEN_NO_MEMORY;
    }
    bool indexed = check.verdict == FILE_ACCEPTED ? file.index.Build(file.bytes.get(), file.length)
                                                  : SalvageOpenFile(file);
    if (!indexed) {
        file = OpenFile();
        return OPEN_NO_MEMORY;
    }
    file.accepted = true;
    return OPEN_ACCEPTED;
}

// The length of the text qef_open left for its last refusal.
QEF_EXPORT uint32_t qef_open_message_length() {
    return refusalLength;
}

// Whether the last file refused could be opened as what survives of it.
QEF_EXPORT int qef_open_salvageable() {
    return salvageable;
}
