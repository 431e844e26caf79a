// The page's Find by tag name: the next or the previous record whose tag's name holds what the
// reader typed. (Bytes and texts are found by qef_search.)
#include "web/core/binding.h"
#include "web/core/salvage.h"

#include "dump/record_select.h"

#include <algorithm>
#include <new>
#include <string_view>

namespace {

// The first record from `first` on, then from the start, whose tag name holds `wanted`; with
// `backward`, the last from `first` back, then from the end. -1 for none.
int64_t FindName(const RecordIndex& index, uint32_t first, bool backward, std::string_view wanted) {
    uint32_t count = index.Count();
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t record = backward ? (first + count - k) % count : (first + k) % count;
        if (TagNameMatches(ReadUint32Le(index.Data() + index.Offset(record)), wanted, true))
            return record;
    }
    return -1;
}

} // namespace

// The first record from byte `from` on, going round to the start, whose tag name holds the
// query in any case: its offset; else a SearchResult. With `backward`, the last record that starts
// before byte `from`, going round to the end.
QEF_EXPORT double qef_find(int slot, uint32_t length, double from, int backward) try {
    OpenFile* file = AcceptedFile(slot);
    std::string_view text = QueryText(length);
    text.remove_prefix(std::min(text.size(), text.find_first_not_of(' ')));
    text = text.substr(0, text.find_last_not_of(' ') + 1);
    if (!file || text.empty())
        return SEARCH_BAD_QUERY;
    const RecordIndex& index = file->index;
    uint32_t count = index.Count();
    if (count == 0)
        return SEARCH_NONE;
    uint32_t start = from >= 0 && from < file->length ? uint32_t(from) : 0;
    // The first record that starts at or after `start`; backward, the one before it.
    uint32_t next = 0;
    if (file->salvage) {
        next = SalvageRecordFrom(*file->salvage, start);
    } else {
        uint32_t record = index.RecordAtOffset(start);
        next = index.Offset(record) < start ? record + 1 : record;
    }
    int64_t found =
        FindName(index, backward ? (next + count - 1) % count : next % count, backward != 0, text);
    if (found < 0)
        return SEARCH_NONE;
    uint32_t record = uint32_t(found);
    return file->salvage ? SalvageRecordOffset(*file->salvage, record) : index.Offset(record);
} catch (const std::bad_alloc&) {
    return SEARCH_NO_MEMORY;
}
