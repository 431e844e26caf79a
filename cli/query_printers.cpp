#include "cli/query_printers.h"

#include "dump/json_text.h"
#include "cli/hit_marks.h"
#include "dump/record_text.h"
#include "dump/tag_count.h"
#include "dump/utf8.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Whole lines: the prefix, then the line (a JSON object's members after the file's).
bool PutLine(TextOut& out, const LinePrefix& prefix, std::string_view line) {
    if (prefix.text.empty())
        return out.Put(line);
    return out.Put(prefix.text) && out.Put(prefix.json ? line.substr(1) : line);
}

// The line writer's lines, each put with LF alone.
class LineFeedSink final : public DumpLineSink {
  public:
    explicit LineFeedSink(TextOut& out) : out_(out) {}
    bool WriteLines(const char* lines, size_t bytes) override {
        for (size_t at = 0; at < bytes; at += DumpLineLength) {
            char* line = out_.Room(DumpLineLength - 1);
            if (!line)
                return false;
            std::memcpy(line, lines + at, DumpLineLength - 2);
            line[DumpLineLength - 2] = '\n';
        }
        return true;
    }

  private:
    TextOut& out_;
};

// The dump line that shows the byte at `offset`: a byte of the header is shown by the first.
// `shownFrom` is where the line's data bytes start in the file.
std::string_view LineOfOffset(const RecordIndex& index, uint32_t record, uint32_t offset,
                              Numeration mode, char (&line)[DumpLineLength], uint32_t& shownFrom) {
    RecordPosition at = index.Position(record);
    uint32_t subLine = LineOfByte(offset - at.offset, RecordHeaderSize);
    shownFrom = at.offset + FirstByteOfLine(subLine, RecordHeaderSize);
    DumpRun run{index.Data(), index.Offset(record) + index.Bytes(record), at, subLine};
    WriteDumpLines(run, mode, line, DumpLineLength, nullptr, nullptr);
    return {line, DumpLineLength - 2};
}

constexpr const char* EncodingNames[] = {"hex", "text", "utf-16le"};

} // namespace

LinePrefix PrefixFor(const char* file, const std::string& shown, bool json, char afterName) {
    LinePrefix prefix{"", json};
    if (!file)
        return prefix;
    if (!json)
        return {shown + afterName, false};
    prefix.text = "{\"file\": ";
    AppendJsonString(prefix.text, file);
    if (!IsUtf8(file)) {
        prefix.text += ", \"file_hex\": ";
        AppendJsonHex(prefix.text, file);
    }
    prefix.text += ", ";
    return prefix;
}

bool PrintSelectedDump(const unsigned char* data, uint32_t length, const RecordSelection* selection,
                       Numeration mode, bool lineFeeds, TextOut& out) {
    char lines[128 * DumpLineLength];
    LineFeedSink feeds(out);
    DumpLineSink* sink = lineFeeds ? static_cast<DumpLineSink*>(&feeds) : &out;
    char* buffer = lineFeeds ? lines : out.Chunk();
    size_t capacity = lineFeeds ? sizeof lines : TextOut::ChunkBytes;
    bool written = true;
    if (!selection)
        written = WriteDumpLines(WholeDump(data, length), mode, buffer, capacity, sink, nullptr) ==
                  DUMP_WALK_COMPLETE;
    else
        ForEachSelectedRun(data, length, *selection, [&](const DumpRun& run) {
            written =
                WriteDumpLines(run, mode, buffer, capacity, sink, nullptr) == DUMP_WALK_COMPLETE;
            return written;
        });
    return written && out.Flush();
}

bool PrintSelectedRecords(const unsigned char* data, uint32_t length,
                          const RecordSelection& selection, const LinePrefix& prefix,
                          TextOut& out) {
    bool written = true;
    WalkRecords(data, length, {}, [&](const Record& record) {
        char line[RecordJsonRoom];
        if (selection.Selects(record)) {
            char* end = prefix.json ? WriteRecordJson(record, line) : WriteRecordLine(record, line);
            written = PutLine(out, prefix, {line, size_t(end - line)});
        }
        return written && record.Number() < selection.last;
    });
    return written && out.Flush();
}

PrintOutcome PrintHits(const RecordIndex& index, const SearchQuery& query,
                       const RecordSelection& selection, Numeration mode, const LinePrefix& prefix,
                       TextOut& out, uint64_t& hits, uint64_t most, bool silent, bool marked) {
    HitCursor cursor(index, query);
    SearchHit hit;
    bool written = true;
    // Hits come in the order of their offsets, and at one offset in the order the patterns were
    // given: a place that several patterns find is told once, for the first of them.
    uint64_t told = UINT64_MAX;
    for (uint64_t found = 0;
         found < most && written && cursor.Next(hit) && hit.record < selection.last;) {
        Record record = RecordAt(index.Data(), {index.Offset(hit.record), hit.record, 0});
        if (!selection.Selects(record) || hit.offset == told)
            continue;
        told = hit.offset;
        ++hits;
        if (++found; silent)
            continue;
        char line[256];
        int length = 0;
        std::string_view trimmed = TrimmedTagName(record.tag);
        if (prefix.json) {
            length = std::snprintf(
                line, sizeof line,
                "{\"record\": %" PRIu32 ", \"offset\": %" PRIu32
                ", \"tag\": \"%02X%02X%02X%02X\", \"name\": \"%.*s\""
                ", \"length\": %" PRIu32 ", \"encoding\": \"%s\", \"pattern\": %" PRIu32 "}\n",
                hit.record + 1, hit.offset, record.tag & 0xFF, record.tag >> 8 & 0xFF,
                record.tag >> 16 & 0xFF, record.tag >> 24, int(trimmed.size()), trimmed.data(),
                hit.length, EncodingNames[query.patterns[hit.pattern].encoding],
                query.patterns[hit.pattern].given + 1);
        } else {
            char dumpLine[DumpLineLength];
            uint32_t shownFrom = 0;
            std::string shown{
                LineOfOffset(index, hit.record, hit.offset, mode, dumpLine, shownFrom)};
            if (marked)
                shown = MarkHit(shown, shownFrom, hit.offset, hit.length);
            std::string_view name = LookupTagName(record.tag);
            length = std::snprintf(line, sizeof line, "%10" PRIu32 "  %08" PRIX32 "  %.*s  %.*s\n",
                                   hit.record + 1, hit.offset, int(name.size()), name.data(),
                                   int(shown.size()), shown.data());
        }
        written = PutLine(out, prefix, {line, size_t(length)});
    }
    if (cursor.Failed())
        return PRINT_NO_MEMORY;
    return written && out.Flush() ? PRINT_DONE : PRINT_WRITE_FAILED;
}

bool PrintFileReport(HitReport report, const char* name, bool withName, char afterName,
                     uint64_t found, TextOut& out) {
    if (report != REPORT_COUNT && (report == REPORT_FILES_WITH) != (found > 0))
        return true;
    std::string line;
    if (withName || report != REPORT_COUNT)
        line.append(name);
    if (report == REPORT_COUNT) {
        if (withName)
            line.push_back(afterName);
        line.append(std::to_string(found));
    }
    line.push_back(report != REPORT_COUNT && afterName == '\0' ? '\0' : '\n');
    return out.Put(line) && out.Flush();
}

PrintOutcome PrintTagStats(const unsigned char* data, uint32_t length,
                           const RecordSelection& selection, const LinePrefix& prefix,
                           TextOut& out) {
    std::vector<TagCount> counts;
    if (!CountTags(data, length, selection, counts))
        return PRINT_NO_MEMORY;
    char line[256];
    auto put = [&](int size) { return PutLine(out, prefix, {line, size_t(size)}); };
    bool written = prefix.json || put(std::snprintf(line, sizeof line, "%-8s  %-12s  %10s  %10s\n",
                                                    "tag", "name", "records", "bytes"));
    uint64_t records = 0, bytes = 0;
    for (const TagCount& count : counts) {
        char tag[8];
        WriteTagHex(count.tag, tag);
        std::string_view name = prefix.json ? TrimmedTagName(count.tag) : LookupTagName(count.tag);
        const char* format = prefix.json ? "{\"tag\": \"%.8s\", \"name\": \"%.*s\", \"records\": "
                                           "%" PRIu32 ", \"bytes\": %" PRIu64 "}\n"
                                         : "%.8s  %.*s  %10" PRIu32 "  %10" PRIu64 "\n";
        written = written && put(std::snprintf(line, sizeof line, format, tag, int(name.size()),
                                               name.data(), count.records, count.bytes));
        records += count.records;
        bytes += count.bytes;
    }
    if (!prefix.json)
        written = written && put(std::snprintf(line, sizeof line,
                                               "%-8s  %-12s  %10" PRIu64 "  %10" PRIu64 "\n",
                                               "total", "", records, bytes));
    return written && out.Flush() ? PRINT_DONE : PRINT_WRITE_FAILED;
}
