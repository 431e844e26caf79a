#include "fuzz/reference_dump.h"

#include "dump/module_info.h"

namespace {

std::string Spaces(size_t count) {
    return std::string(count, ' ');
}

// Spelled out field by field rather than taken from the formatter's own constants, so that a
// slip in those shows up as a difference.
const std::string HeaderLine = "00000000:" + Spaces(15) + "|00000|" + Spaces(25) + "-" +
                               Spaces(25) + "|" + Spaces(18) + "\r\n";
const std::string ContinuationLine =
    "TTTTTTTT: TTTTTTTTTTTT  |     |" + Spaces(25) + "-" + Spaces(25) + "|" + Spaces(18) + "\r\n";

uint32_t ReadLe(const unsigned char* bytes) {
    uint32_t value = 0;
    for (int k = 3; k >= 0; --k)
        value = value << 8 | bytes[k];
    return value;
}

// Digits right-aligned on lastColumn; what is left of them stays.
void PutNumber(std::string& line, size_t lastColumn, uint64_t value) {
    std::string digits = std::to_string(value);
    for (size_t i = 0; i < digits.size(); ++i) {
        size_t fromRight = digits.size() - 1 - i;
        if (fromRight <= lastColumn)
            line[lastColumn - fromRight] = digits[i];
    }
}

// Exact tag first, then its top byte alone, then the unknown entry; each scan stops after the
// end marker.
std::string NameOfTag(uint32_t tag) {
    const uint32_t endMarker = 0x646E450A;
    for (uint32_t key : {tag, tag & 0xFF000000u, 0xFFFFFFFFu}) {
        for (const TagNameEntry& entry : TagNameTable) {
            if (entry.tag == key)
                return std::string(entry.name, 12);
            if (entry.tag == endMarker)
                break;
        }
    }
    return "";
}

void PutByte(std::string& line, uint32_t k, unsigned char byte) {
    const char hex[] = "0123456789ABCDEF";
    size_t column = k < 8 ? 32 + 3 * k : 58 + 3 * (k - 8);
    line[column] = hex[byte >> 4];
    line[column + 1] = hex[byte & 15];
    line[84 + k] = byte >= 0x20 && byte <= 0x7E ? char(byte) : '.';
}

std::string ProgressText(uint64_t position, uint32_t length) {
    return "Opened... " + std::to_string(position * 100 / length) + "%";
}

void ApplyContinuation(std::string& line) {
    for (size_t column = 0; column < line.size(); ++column)
        if (ContinuationLine[column] != 'T')
            line[column] = ContinuationLine[column];
}

} // namespace

std::string ReferenceDump(const unsigned char* data, uint32_t length, Numeration mode,
                          bool& complete, std::vector<std::string>& progress) {
    std::string out;
    progress.clear();
    uint64_t records = 0;
    uint64_t lines = 0;
    uint64_t cursor = 0;
    complete = false;
    while (cursor < length) {
        if (records % 10000 == 0)
            progress.push_back(ProgressText(cursor, length));
        uint64_t left = length - cursor;
        if (left < 8)
            return out;
        uint32_t tag = ReadLe(data + cursor);
        uint32_t size = ReadLe(data + cursor + 4);
        if (size > left - 8)
            return out;
        records += 1;
        lines += 1;
        std::string line = HeaderLine;
        PutNumber(line, 7,
                  mode == NUMERATION_SINGLE   ? lines
                  : mode == NUMERATION_OFFSET ? cursor + 8
                                              : records);
        std::string name = NameOfTag(tag);
        line.replace(10, name.size(), name);
        PutNumber(line, 29, size);
        uint32_t subLine = 0;
        uint32_t shown = 0;
        uint32_t remaining = size;
        for (;;) {
            uint32_t count = remaining < 16 ? remaining : 16;
            for (uint32_t k = 0; k < count; ++k)
                PutByte(line, k, data[cursor + 8 + shown + k]);
            out += line;
            if (remaining <= 16)
                break;
            shown += 16;
            subLine += 1;
            remaining -= 16;
            ApplyContinuation(line);
            if (mode == NUMERATION_SINGLE)
                PutNumber(line, 7, lines += 1);
            else if (mode == NUMERATION_OFFSET)
                PutNumber(line, 7, cursor + 8 + shown);
            else
                PutNumber(line, 29, subLine);
            if (subLine % 10000 == 0)
                progress.push_back(ProgressText(cursor + shown, length));
        }
        cursor += 8 + uint64_t(size);
    }
    complete = true;
    return out;
}
