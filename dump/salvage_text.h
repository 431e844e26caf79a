// How a salvaged file shows its damage, in every face alike, and the repaired file made of its
// intact records.
#pragma once

#include "dump/line_layout.h"
#include "dump/salvage.h"

#include <cstdint>
#include <string>
#include <string_view>

// A dump line of a damaged region: up to sixteen of its bytes from `offset`, in the hex and
// character columns of a record line, after "!DAMAGED! 0x" and the offset in hexadecimal, with
// "!!!!!" in the size column. No record line has a "!" or an "x" before its hex column.
// DumpLineLength characters, CR LF included.
void WriteDamagedLine(const unsigned char* data, uint32_t offset, uint32_t count, char* line);

// "damaged: 4,117 bytes at 0x3BC"
std::string DescribeDamage(const SalvageSpan& span);

// The record list's line of a damaged region, "   damaged  000003BC  damaged: 4,117 bytes at
// 0x3BC" and a line feed: "damaged" where a record's number stands, then its offset as a
// record's.
std::string DamagedRecordLine(const SalvageSpan& span);

// {"damaged": true, "offset": 956, "length": 4117} and a line feed.
std::string DamagedRecordJson(const SalvageSpan& span);

// "2 damaged regions, 4,117 bytes; 1,203 records intact"
std::string DescribeSalvage(const Salvage& salvage);

// The repaired file: the intact records in order, byte for byte, after a signature record of
// `signature` ("Module info file v2.0" or "v1.1") when the file's own did not survive. `write`
// takes (const unsigned char*, size_t) and returns false to stop; false when it did.
constexpr std::string_view SignatureTexts[] = {"Module info file v2.0", "Module info file v1.1"};

template <typename Write>
bool WriteRepaired(const unsigned char* data, uint32_t length, const Salvage& salvage,
                   std::string_view signature, Write&& write) {
    if (!SignatureSurvived(data, length, salvage)) {
        unsigned char record[RecordHeaderSize + SignatureLength] = {'M', 'o', 'd', 0,
                                                                    SignatureLength};
        for (size_t k = 0; k < SignatureLength && k < signature.size(); ++k)
            record[RecordHeaderSize + k] = (unsigned char)signature[k];
        if (!write(record, sizeof record))
            return false;
    }
    for (const SalvageSpan& span : salvage.spans)
        if (!span.damaged && !write(data + span.at.offset, size_t(span.length)))
            return false;
    return true;
}

// The repaired file's length.
uint64_t RepairedLength(const unsigned char* data, uint32_t length, const Salvage& salvage);
