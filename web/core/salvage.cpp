// The page's view of a damaged file: the core's salvage walk split into rows, one for each
// intact record and one for each damaged region, with the first dump line of each, so that the
// dump, the record list, Go to and the byte cursor page through it as through any file.
#include "web/core/salvage.h"

#include "dump/record_text.h"
#include "dump/salvage.h"
#include "dump/salvage_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

struct SalvagedView {
    const unsigned char* data = nullptr; // the file as it is
    Salvage salvage;
    RecordIndex pieces;                        // where each row starts
    std::vector<uint32_t> lines;               // each row's first dump line, then the line count
    std::vector<uint32_t> regionRows;          // the rows that are damaged regions, ascending
    std::vector<SalvageSpan> regions;          // and the regions, in the same order
    std::unique_ptr<unsigned char[]> repaired; // the intact records end to end
};

namespace {

bool IsRegion(const SalvagedView& view, uint32_t row) {
    return std::binary_search(view.regionRows.begin(), view.regionRows.end(), row);
}

uint32_t RegionsBefore(const SalvagedView& view, uint32_t row) {
    return uint32_t(std::lower_bound(view.regionRows.begin(), view.regionRows.end(), row) -
                    view.regionRows.begin());
}

// The bytes before a row's data: a record's header; a damaged region has none.
uint32_t HeaderOf(const SalvagedView& view, uint32_t row) {
    return IsRegion(view, row) ? 0 : RecordHeaderSize;
}

// The first row after `row` that is a damaged region, or the row count.
uint32_t NextRegion(const SalvagedView& view, uint32_t row) {
    auto next = std::upper_bound(view.regionRows.begin(), view.regionRows.end(), row);
    return next == view.regionRows.end() ? view.pieces.Count() : *next;
}

} // namespace

bool SalvageOpenFile(OpenFile& file) try {
    auto view = std::make_shared<SalvagedView>();
    view->data = file.bytes.get();
    if (!SalvageFile(file.bytes.get(), file.length, view->salvage))
        return false;
    size_t rows = size_t(view->salvage.records) + view->salvage.damagedRegions;
    std::vector<uint32_t> starts;
    starts.reserve(rows);
    view->lines.reserve(rows + 1);
    uint32_t intactBytes = 0;
    for (const SalvageSpan& span : view->salvage.spans)
        intactBytes += span.damaged ? 0 : span.length;
    view->repaired.reset(new unsigned char[size_t(intactBytes) + 1]);
    unsigned char* repaired = view->repaired.get();
    VisitSalvage(
        file.bytes.get(), view->salvage,
        [&](const Record& record) {
            starts.push_back(record.at.offset);
            view->lines.push_back(record.at.line);
            uint32_t bytes = RecordHeaderSize + record.size;
            repaired = std::copy_n(file.bytes.get() + record.at.offset, bytes, repaired);
            return true;
        },
        [&](const SalvageSpan& span) {
            view->regionRows.push_back(uint32_t(starts.size()));
            view->regions.push_back(span);
            starts.push_back(span.at.offset);
            view->lines.push_back(span.at.line);
            return true;
        });
    view->lines.push_back(view->salvage.lines);
    if (!view->pieces.BuildPieces(file.bytes.get(), starts.data(), uint32_t(starts.size()),
                                  file.length) ||
        !file.index.Build(view->repaired.get(), intactBytes))
        return false;
    file.salvage = std::move(view);
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

uint32_t SalvageLineCount(const SalvagedView& view) {
    return view.salvage.lines;
}

uint32_t SalvageRowCount(const SalvagedView& view) {
    return view.pieces.Count();
}

uint32_t SalvageRegionCount(const SalvagedView& view) {
    return view.salvage.damagedRegions;
}

bool SalvageSigned(const SalvagedView& view) {
    return SignatureSurvived(view.data, view.pieces.Length(), view.salvage);
}

uint32_t SalvageLines(const SalvagedView& view, uint32_t first, uint32_t count, Numeration mode,
                      char* room) {
    uint32_t written = 0;
    for (uint32_t row = SalvageRowOfLine(view, first); count > 0 && row < view.pieces.Count();) {
        uint32_t skip = first - view.lines[row];
        uint32_t end = IsRegion(view, row) ? row + 1 : NextRegion(view, row);
        uint32_t lines = std::min(count, view.lines[end] - first);
        char* at = room + size_t(written) * DumpLineLength;
        if (IsRegion(view, row)) {
            uint32_t offset = view.pieces.Offset(row), length = view.pieces.Bytes(row);
            for (uint32_t k = 0; k < lines; ++k) {
                uint32_t from = FirstByteOfLine(skip + k, 0);
                WriteDamagedLine(view.data, offset + from, std::min(BytesPerLine, length - from),
                                 at + size_t(k) * DumpLineLength);
            }
        } else {
            RecordPosition from{view.pieces.Offset(row), row - RegionsBefore(view, row),
                                view.lines[row]};
            WriteDumpLines({view.data, view.pieces.Offset(end), from, skip}, mode, at,
                           size_t(lines) * DumpLineLength, nullptr, nullptr);
        }
        first += lines, count -= lines, written += lines;
        row = end;
    }
    return written * uint32_t(DumpLineLength);
}

uint32_t SalvageRowLines(const SalvagedView& view, uint32_t first, uint32_t count, char* at) {
    char* start = at;
    for (uint32_t row = first; row < first + count; ++row) {
        uint32_t regions = RegionsBefore(view, row);
        if (!IsRegion(view, row)) {
            RecordPosition position{view.pieces.Offset(row), row - regions, view.lines[row]};
            at = WriteRecordLine(RecordAt(view.data, position), at);
            continue;
        }
        std::string text = DamagedRecordLine(view.regions[regions]);
        at = std::copy_n(text.begin(), std::min(text.size(), SalvageRowRoom), at);
    }
    return uint32_t(at - start);
}

uint32_t SalvageFirstLineOfRow(const SalvagedView& view, uint32_t row) {
    return view.lines[row];
}

uint32_t SalvageRowOfLine(const SalvagedView& view, uint32_t line) {
    return uint32_t(std::upper_bound(view.lines.begin(), view.lines.end() - 1, line) -
                    view.lines.begin()) -
           1;
}

uint32_t SalvageRowOfRecord(const SalvagedView& view, uint32_t record) {
    const std::vector<SalvageSpan>& regions = view.regions;
    auto after =
        std::upper_bound(regions.begin(), regions.end(), record,
                         [](uint32_t r, const SalvageSpan& span) { return r < span.at.record; });
    return record + uint32_t(after - regions.begin());
}

uint32_t SalvageRecordOffset(const SalvagedView& view, uint32_t record) {
    return view.pieces.Offset(SalvageRowOfRecord(view, record));
}

uint32_t SalvageRecordFrom(const SalvagedView& view, uint32_t offset) {
    uint32_t row = view.pieces.RecordAtOffset(offset);
    uint32_t before = row - RegionsBefore(view, row); // the records before the row
    return view.pieces.Offset(row) < offset && !IsRegion(view, row) ? before + 1 : before;
}

int64_t SalvageRecordOfRow(const SalvagedView& view, uint32_t row) {
    return IsRegion(view, row) ? -1 : int64_t(row - RegionsBefore(view, row));
}

uint32_t SalvageOffsetOfLine(const SalvagedView& view, uint32_t line) {
    uint32_t row = SalvageRowOfLine(view, line);
    return view.pieces.Offset(row) + FirstByteOfLine(line - view.lines[row], HeaderOf(view, row));
}

uint32_t SalvageLineOfOffset(const SalvagedView& view, uint32_t offset) {
    uint32_t row = view.pieces.RecordAtOffset(offset);
    return view.lines[row] + LineOfByte(offset - view.pieces.Offset(row), HeaderOf(view, row));
}

const RecordIndex& SalvagePieces(const SalvagedView& view) {
    return view.pieces;
}

// The page's calls for a salvaged file; for a whole file they answer nothing damaged.
namespace {

const SalvagedView* ViewOf(int slot) {
    OpenFile* file = AcceptedFile(slot);
    return file && file->salvage ? file->salvage.get() : nullptr;
}

} // namespace

QEF_EXPORT uint32_t qef_damaged_regions(int slot) {
    const SalvagedView* view = ViewOf(slot);
    return view ? SalvageRegionCount(*view) : 0;
}

// "1 damaged region, 474 bytes; 235 records intact", as qefdump --salvage sums it up, in the
// output buffer: its length.
QEF_EXPORT uint32_t qef_damage_summary(int slot) {
    const SalvagedView* view = ViewOf(slot);
    return view ? OutputOf([view] { return DescribeSalvage(view->salvage); }) : 0;
}

QEF_EXPORT int qef_line_damaged(int slot, uint32_t line) {
    const SalvagedView* view = ViewOf(slot);
    return view && line < SalvageLineCount(*view) &&
           SalvageRecordOfRow(*view, SalvageRowOfLine(*view, line)) < 0;
}

QEF_EXPORT int qef_signature_survived(int slot) {
    const SalvagedView* view = ViewOf(slot);
    return view && SalvageSigned(*view);
}

namespace {

std::unique_ptr<unsigned char[]> repairedFile; // made for a save, until the next call
uint32_t repairedLength = 0;

} // namespace

// The repaired file of the salvaged file in `slot` as qefdump --repair writes it, its length at
// qef_repaired_length: the intact records in order, after the signature record `signature` (1
// v2.0, 2 v1.1) when the file's own was lost. nullptr when it was lost and none is chosen, as
// then the records alone are no module-info file, or when memory ran out. Any other slot
// forgets the file made last.
QEF_EXPORT const unsigned char* qef_repaired(int slot, int signature) {
    repairedFile.reset();
    repairedLength = 0;
    const SalvagedView* view = ViewOf(slot);
    bool chosen = signature == 1 || signature == 2;
    if (!view || !(SalvageSigned(*view) || chosen))
        return nullptr;
    uint32_t length = view->pieces.Length();
    uint64_t bytes = RepairedLength(view->data, length, view->salvage);
    repairedFile.reset(new (std::nothrow) unsigned char[bytes + 1]);
    unsigned char* at = repairedFile.get();
    if (!at)
        return nullptr;
    WriteRepaired(view->data, length, view->salvage, chosen ? SignatureTexts[signature - 1] : "",
                  [&at](const unsigned char* from, size_t count) {
                      at = std::copy_n(from, count, at);
                      return true;
                  });
    repairedLength = uint32_t(bytes);
    return repairedFile.get();
}

QEF_EXPORT uint32_t qef_repaired_length() {
    return repairedLength;
}
