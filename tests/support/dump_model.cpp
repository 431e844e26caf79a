#include "tests/support/dump_model.h"

#include <cstring>
#include <sstream>
#include <utility>

namespace {

// The tag-name table in its order: each name and its tag's four bytes in file order.
const char TableText[] =
    "MI_SIGNATURE 4D6F6400 MI_VERSION 0A566572 MI_FILENAME 0A46696C MI_FILESIZE 0A53697A "
    "MI_TIMESTAMP 0A547374 MI_SFXENTRY 0A536665 MI_PATCH 0A506174 MI_USER 0A557300 "
    "MI_PROCDATA 0A507263 MI_SWDATA 0A537769 MI_CALLFINT 0A436669 MI_CALLFMOD 0A43666D "
    "MI_CALLFABS 0A436661 MI_INT3BREAK 0A427074 MI_INT3BRKC 0A427063 MI_HDWRBREAK 0A486272 "
    "MI_JDDATA 0A4A6474 MI_ANALYSIS 0A416E61 MI_ANALPACK 0A416E63 MI_AHINT 0A416874 "
    "MI_TRACE 0A547261 MI_TRACEPACK 0A547263 MI_CODECRC 0A436372 MI_SAVEAREA 0A537661 "
    "NM_NONAME 00000000 ??_UNKNOWN FFFFFFFF NM_ANYNAME 000000FF NM_PLUGCMD 00000030 "
    "NM_LABEL 00000031 NM_EXPORT 00000032 NM_IMPORT 00000033 NM_LIBRARY 00000034 "
    "NM_CONST 00000035 NM_COMMENT 00000036 NM_LIBCOMM 00000037 NM_BREAK 00000038 NM_ARG 00000039 "
    "NM_ANALYSE 0000003A NM_BREAKEXPR 0000003B NM_BREAKEXPL 0000003C NM_ASSUME 0000003D "
    "NM_STRUCT 0000003E NM_CASE 0000003F NM_INSPECT 00000040 NM_WATCH 00000041 NM_ASM 00000042 "
    "NM_FINDASM 00000043 NM_LASTWATCH 00000048 NM_SOURCE 00000049 NM_REFTXT 0000004A "
    "NM_GOTO 0000004B NM_GOTODUMP 0000004C NM_TRPAUSE 0000004D NM_IMCALL 000000FE "
    "NMHISTORY 00000040 MI_FCR 0A466372 MI_NAM 0A4E616D MI_DAT 0A446174 MI_CHR 0A436272 "
    "MI_LBR 0A4C6272 MI_CAS 0A436173 MI_PRD 0A507264 MI_LSA 0A4C7361 MI_SAV 0A536176 "
    "MI_RTC 0A527463 MI_RTP 0A527470 MI_BPH 0A427068 MI_MBA 0A4D6261 MI_BPM 0A42706D "
    "MI_END 0A456E64";

// The tag as the 32-bit value read from its bytes, the name padded to 12 characters.
std::vector<std::pair<uint32_t, std::string>> ReadTable() {
    std::vector<std::pair<uint32_t, std::string>> table;
    std::istringstream in(TableText);
    std::string name, bytes;
    while (in >> name >> bytes) {
        uint32_t asWritten = uint32_t(std::stoul(bytes, nullptr, 16)), tag = 0;
        for (int k = 0; k < 4; ++k)
            tag = tag << 8 | (asWritten >> (8 * k) & 0xFF);
        table.emplace_back(tag, name + std::string(12 - name.size(), ' '));
    }
    return table;
}

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

std::string ProgressText(uint64_t position, uint32_t length) {
    return "Opened... " + std::to_string(position * 100 / length) + "%";
}

} // namespace

// Exact tag first, then its top byte alone, then the unknown entry; each scan stops after the
// end marker.
std::string ModelTagName(uint32_t tag) {
    static const auto table = ReadTable();
    for (uint32_t key : {tag, tag & 0xFF000000u, 0xFFFFFFFFu})
        for (const auto& [entryTag, name] : table) {
            if (entryTag == key)
                return name;
            if (entryTag == 0x646E450A)
                break;
        }
    return "";
}

bool ModelSignature(const unsigned char* data, uint32_t length) {
    return length >= 29 && (std::memcmp(data + 8, "Module info file v2.0", 21) == 0 ||
                            std::memcmp(data + 8, "Module info file v1.1", 21) == 0);
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
