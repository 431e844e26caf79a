#include "dump/record_index.h"

#include <algorithm>
#include <new>

bool RecordIndex::Build(const unsigned char* data, uint32_t length) {
    *this = RecordIndex();
    // Room for as many records as the headers could fill, one walk instead of two: pages past
    // the records a file really has are never touched, and cost nothing.
    size_t most = length / RecordHeaderSize;
    offsets_.reset(new (std::nothrow) uint32_t[most + 1]);
    lines_.reset(new (std::nothrow) uint32_t[most / LineStep + 1]);
    if (!offsets_ || !lines_) {
        *this = RecordIndex();
        return false;
    }
    uint32_t* offsets = offsets_.get();
    uint32_t* lines = lines_.get();
    RecordWalk walk =
        WalkRecords<EMPTY_RUNS_AT_ONCE>(data, length, {}, [offsets, lines](const Record& record) {
            offsets[record.at.record] = record.at.offset;
            if (record.at.record % LineStep == 0)
                lines[record.at.record / LineStep] = record.at.line;
            return true;
        });
    offsets_[walk.next.record] = walk.next.offset;
    data_ = data;
    count_ = walk.next.record;
    lineCount_ = walk.next.line;
    return true;
}

bool RecordIndex::BuildPieces(const unsigned char* data, const uint32_t* starts, uint32_t count,
                              uint32_t length) {
    *this = RecordIndex();
    offsets_.reset(new (std::nothrow) uint32_t[size_t(count) + 1]);
    lines_.reset(new (std::nothrow) uint32_t[size_t(count) / LineStep + 1]());
    if (!offsets_ || !lines_) {
        *this = RecordIndex();
        return false;
    }
    std::copy(starts, starts + count, offsets_.get());
    offsets_[count] = length;
    data_ = data;
    count_ = count;
    return true;
}

RecordPosition RecordIndex::Position(uint32_t index) const {
    if (index == count_)
        return {Length(), count_, lineCount_};
    uint32_t line = lines_[index / LineStep];
    for (uint32_t k = index / LineStep * LineStep; k < index; ++k)
        line += LinesOfRecord(Bytes(k) - RecordHeaderSize);
    return {offsets_[index], index, line};
}

Record RecordIndex::At(uint32_t index) const {
    return RecordAt(data_, Position(index));
}

uint32_t RecordIndex::RecordOfLine(uint32_t line) const {
    // The last sampled record that starts at or before the line, then the records after it.
    const uint32_t* samples = lines_.get();
    uint32_t sampleCount = (count_ + LineStep - 1) / LineStep;
    uint32_t sample =
        uint32_t(std::upper_bound(samples, samples + sampleCount, line) - samples) - 1;
    uint32_t index = sample * LineStep;
    for (uint32_t first = samples[sample];; ++index) {
        first += LinesOfRecord(Bytes(index) - RecordHeaderSize);
        if (line < first)
            return index;
    }
}

uint32_t RecordIndex::RecordAtOffset(uint32_t offset) const {
    const uint32_t* offsets = offsets_.get();
    return uint32_t(std::upper_bound(offsets, offsets + count_, offset) - offsets) - 1;
}

uint32_t RecordIndex::RecordsEndingBy(uint32_t first, uint32_t most, uint32_t offset) const {
    const uint32_t* ends = offsets_.get() + first + 1;
    return uint32_t(std::upper_bound(ends, ends + most, offset) - ends);
}

DumpRun RecordIndex::RunFromLine(uint32_t line) const {
    RecordPosition from = Position(RecordOfLine(line));
    return {data_, Length(), from, line - from.line};
}

DumpRun RecordIndex::RunOfRecords(uint32_t first, uint32_t end) const {
    return {data_, offsets_[end], Position(first), 0};
}
