#include "cli/hit_marks.h"

#include "dump/line_layout.h"

#include <algorithm>
#include <vector>

namespace {

// grep's default for what it found: bold red, then back to plain.
constexpr std::string_view MarkStart = "\033[01;31m";
constexpr std::string_view MarkEnd = "\033[m";

constexpr size_t BytesShown = BytesPerLine;
constexpr size_t HalfBytes = BytesShown / 2;

struct Span {
    size_t from, to; // columns, `to` past the last
};

} // namespace

bool MarksHits(ColorChoice choice, bool toTerminal, const char* noColor) {
    if (choice != COLOR_AUTO)
        return choice == COLOR_ALWAYS;
    return toTerminal && (!noColor || !*noColor);
}

std::string MarkHit(std::string_view line, uint32_t shownFrom, uint32_t hitFrom,
                    uint32_t hitLength) {
    uint64_t from = std::max<uint64_t>(hitFrom, shownFrom);
    uint64_t to =
        std::min<uint64_t>(uint64_t(hitFrom) + hitLength, uint64_t(shownFrom) + BytesShown);
    if (from >= to || line.size() < CharColumnOf(BytesShown))
        return std::string(line);
    size_t first = size_t(from - shownFrom), last = size_t(to - shownFrom) - 1;
    std::vector<Span> spans; // in the order of their columns
    if (first < HalfBytes)
        spans.push_back({HexColumnOf(first), HexColumnOf(std::min(last, HalfBytes - 1)) + 2});
    if (last >= HalfBytes)
        spans.push_back({HexColumnOf(std::max(first, HalfBytes)), HexColumnOf(last) + 2});
    spans.push_back({CharColumnOf(first), CharColumnOf(last) + 1});
    std::string marked;
    size_t at = 0;
    for (const Span& span : spans) {
        marked.append(line.substr(at, span.from - at)).append(MarkStart);
        marked.append(line.substr(span.from, span.to - span.from)).append(MarkEnd);
        at = span.to;
    }
    return marked.append(line.substr(at));
}
