#include "dump/record_select.h"

#include <charconv>
#include <new>
#include <unordered_map>

namespace {

bool ParseNumber(std::string_view text, uint32_t& number) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() && number != 0;
}

} // namespace

bool RecordSelection::Selects(const Record& record) const {
    uint32_t number = record.Number();
    return number >= first && number <= last &&
           (by == ANY_TAG ||
            (by == TAG_VALUE ? record.tag == tag : TrimmedTagName(record.tag) == name));
}

bool ParseRecordRange(std::string_view text, RecordSelection& selection) {
    size_t dash = text.find('-');
    uint32_t first = 0, last = 0;
    if (!ParseNumber(text.substr(0, dash), first) ||
        !ParseNumber(dash == text.npos ? text : text.substr(dash + 1), last) || last < first)
        return false;
    selection.first = first;
    selection.last = last;
    return true;
}

bool ParseTagChoice(std::string_view text, RecordSelection& selection) {
    uint32_t tag = 0;
    bool hex = text.size() == 8;
    for (size_t k = 0; hex && k < 8; k += 2) {
        uint32_t byte = 0;
        auto [end, error] = std::from_chars(text.data() + k, text.data() + k + 2, byte, 16);
        hex = error == std::errc() && end == text.data() + k + 2;
        tag |= byte << (4 * k);
    }
    if (hex) {
        selection.by = RecordSelection::TAG_VALUE;
        selection.tag = tag;
        return true;
    }
    for (const TagNameEntry& entry : TagNameTable) {
        std::string_view name(entry.name, TagNameLength);
        if (!text.empty() && name.substr(0, name.find_last_not_of(' ') + 1) == text) {
            selection.by = RecordSelection::TAG_NAME;
            selection.name = text;
            return true;
        }
    }
    return false;
}

std::string_view TrimmedTagName(uint32_t tag) {
    std::string_view name = LookupTagName(tag);
    return name.substr(0, name.find_last_not_of(' ') + 1);
}

bool CountTags(const unsigned char* data, uint32_t length, const RecordSelection& selection,
               std::vector<TagCount>& counts) {
    counts.clear();
    try {
        std::unordered_map<uint32_t, size_t> place;
        RecordWalk walk = WalkRecords(data, length, {}, [&](const Record& record) {
            if (!selection.Selects(record))
                return record.Number() < selection.last;
            auto [at, added] = place.try_emplace(record.tag, counts.size());
            if (added)
                counts.push_back({record.tag, 0, 0});
            ++counts[at->second].records;
            counts[at->second].bytes += record.size;
            return record.Number() < selection.last;
        });
        return walk.end != RECORDS_BROKEN;
    } catch (const std::bad_alloc&) {
        counts.clear();
        return false;
    }
}
