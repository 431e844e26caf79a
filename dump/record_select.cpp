#include "dump/record_select.h"

#include "dump/record_text.h"

#include <algorithm>
#include <charconv>

namespace {

// A decimal number from 1; one past 32 bits is UINT32_MAX when `clamp` says so.
bool ParseNumber(std::string_view text, uint32_t& number, bool clamp) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error == std::errc::result_out_of_range && clamp && end == text.data() + text.size())
        number = UINT32_MAX;
    else if (error != std::errc() || end != text.data() + text.size())
        return false;
    return number != 0;
}

bool ParseRange(std::string_view text, RecordSelection::Range& range) {
    size_t dash = text.find('-');
    std::string_view first = text.substr(0, dash);
    std::string_view last = dash == text.npos ? first : text.substr(dash + 1);
    range = {1, UINT32_MAX};
    return !(first.empty() && last.empty()) &&
           (first.empty() || ParseNumber(first, range.first, false)) &&
           (last.empty() || ParseNumber(last, range.last, dash != text.npos)) &&
           range.first <= range.last;
}

} // namespace

bool TagNameMatches(uint32_t tag, std::string_view text, bool part) {
    auto same = [](char a, char b) {
        auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
        return upper(a) == upper(b);
    };
    std::string_view name = TrimmedTagName(tag);
    if (!part)
        return std::equal(name.begin(), name.end(), text.begin(), text.end(), same);
    return std::search(name.begin(), name.end(), text.begin(), text.end(), same) != name.end();
}

bool RecordSelection::Selects(const Record& record) const {
    uint32_t number = record.Number();
    auto holds = [number](const Range& range) {
        return number >= range.first && number <= range.last;
    };
    auto owns = [&record](const Tag& tag) {
        return tag.byName ? TagNameMatches(record.tag, tag.name, false) : record.tag == tag.tag;
    };
    return (ranges.empty() || std::any_of(ranges.begin(), ranges.end(), holds)) &&
           (tags.empty() || std::any_of(tags.begin(), tags.end(), owns));
}

uint32_t RecordSelection::LatestStart() const {
    uint32_t latest = 0;
    for (const Range& range : ranges)
        latest = std::max(latest, range.first);
    return latest;
}

bool ParseRecordRanges(std::string_view text, RecordSelection& selection) {
    std::vector<RecordSelection::Range> ranges;
    for (size_t from = 0;;) {
        size_t comma = std::min(text.find(',', from), text.size());
        RecordSelection::Range range{};
        if (!ParseRange(text.substr(from, comma - from), range))
            return false;
        ranges.push_back(range);
        if (comma == text.size())
            break;
        from = comma + 1;
    }
    uint32_t last = selection.ranges.empty() ? 0 : selection.last;
    for (const RecordSelection::Range& range : ranges)
        last = std::max(last, range.last);
    selection.ranges.insert(selection.ranges.end(), ranges.begin(), ranges.end());
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
        selection.tags.push_back({false, tag, {}});
        return true;
    }
    for (const TagNameEntry& entry : TagNameTable) {
        std::string_view name(entry.name, TagNameLength);
        if (!text.empty() && name.substr(0, name.find_last_not_of(' ') + 1) == text) {
            selection.tags.push_back({true, 0, std::string(text)});
            return true;
        }
    }
    return false;
}
