#include "tests/support/dump_model.h"

#include "dump/module_info.h"

namespace {

uint32_t ReadLe(const unsigned char* bytes) {
    return uint32_t(bytes[0] | bytes[1] << 8 | bytes[2] << 16) | uint32_t(bytes[3]) << 24;
}

// Digits right-aligned on lastColumn, over whatever was there.
void PutNumber(std::string& line, size_t lastColumn, uint64_t value) {
    std::string digits = std::to_string(value);
    line.replace(lastColumn + 1 - digits.size(), digits.size(), digits);
}

void PutByte(std::string& line, uint32_t k, unsigned char byte) {
    const char hex[] = "0123456789ABCDEF";
    size_t column = k < 8 ? 32 + 3 * k : 58 + 3 * (k - 8);
    line[column] = hex[byte >> 4];
    line[column + 1] = hex[byte & 15];
    line[84 + k] = byte >= 0x20 && byte <= 0x7E ? char(byte) : '.';
}

// A line from column 22 on, before the size or sub-line and the data go in.
const std::string Tail = "  |     |" + std::string(25, ' ') + "-" + std::string(25, ' ') + "|" +
                         std::string(18, ' ') + "\r\n";

} // namespace

std::string ProgressText(uint64_t position, uint32_t length) {
    return "Opened... " + std::to_string(position * 100 / length) + "%";
}

// A plain scan of the core's table: the exact tag first, then its top byte alone, then the
// unknown entry; each scan stops after the end marker, the last entry.
std::string ModelTagName(uint32_t tag) {
    for (uint32_t key : {tag, tag & 0xFF000000u, 0xFFFFFFFFu})
        for (const TagNameEntry& entry : TagNameTable)
            if (entry.tag == key)
                return std::string(entry.name, 12);
    return "";
}

ModelDump DumpByModel(const unsigned char* data, uint32_t length, Numeration mode) {
    ModelDump dump{};
    uint64_t cursor = 0;
    while (cursor < length) {
        if (dump.records % 10000 == 0)
            dump.progress.push_back(ProgressText(cursor, length));
        uint64_t left = length - cursor;
        uint32_t size = left >= 8 ? ReadLe(data + cursor + 4) : 0;
        if (left < 8 || size > left - 8) {
            dump.brokenOffset = uint32_t(cursor);
            dump.brokenSize = size;
            dump.bytesLeft = uint32_t(left);
            return dump;
        }
        dump.records += 1;
        dump.lines += 1;
        std::string line = "00000000: " + ModelTagName(ReadLe(data + cursor)) + Tail;
        line.replace(25, 5, "00000");
        PutNumber(line, 7,
                  mode == NUMERATION_SINGLE   ? dump.lines
                  : mode == NUMERATION_OFFSET ? cursor + 8
                                              : dump.records);
        PutNumber(line, 29, size);
        for (uint32_t shown = 0, subLine = 0;; shown += 16) {
            for (uint32_t k = 0; k < 16 && shown + k < size; ++k)
                PutByte(line, k, data[cursor + 8 + shown + k]);
            dump.text += line;
            if (size - shown <= 16)
                break;
            subLine += 1;
            dump.lines += 1;
            line.replace(22, std::string::npos, Tail); // the number and the name stay
            if (mode == NUMERATION_SINGLE)
                PutNumber(line, 7, dump.lines);
            else if (mode == NUMERATION_OFFSET)
                PutNumber(line, 7, cursor + 8 + shown + 16);
            else
                PutNumber(line, 29, subLine);
            if (subLine % 10000 == 0)
                dump.progress.push_back(ProgressText(cursor + shown + 16, length));
        }
        cursor += 8 + uint64_t(size);
    }
    dump.complete = true;
    return dump;
}
