#include "dump/salvage_text.h"

#include "dump/byte_text.h"
#include "dump/plural.h"

#include <string_view>

namespace {

// "4,117": thousands apart, as people read counts.
std::string Grouped(uint64_t value) {
    std::string digits = std::to_string(value);
    std::string grouped;
    for (size_t k = 0; k < digits.size(); ++k) {
        if (k > 0 && (digits.size() - k) % 3 == 0)
            grouped += ',';
        grouped += digits[k];
    }
    return grouped;
}

std::string Counted(uint64_t count, const char* noun) {
    return Grouped(count) + " " + noun + PluralEnding(count);
}

std::string HexOffset(uint32_t offset, int digits) {
    char text[9];
    for (int k = 0; k < digits; ++k)
        text[k] = ByteTexts.hex[(offset >> (8 * (digits / 2 - 1 - k / 2))) & 0xFF][k % 2];
    return std::string(text, size_t(digits));
}

// Without leading zeros, as in "0x3BC".
std::string ShortHex(uint32_t offset) {
    std::string hex = HexOffset(offset, 8);
    size_t first = hex.find_first_not_of('0');
    return first == std::string::npos ? "0" : hex.substr(first);
}

} // namespace

void WriteDamagedLine(const unsigned char* data, uint32_t offset, uint32_t count, char* line) {
    std::string_view lead = HeaderLineTemplate;
    std::string marks = "!DAMAGED! 0x" + HexOffset(offset, 8);
    marks += lead.substr(marks.size(), SizeLastColumn - 4 - marks.size());
    marks += "!!!!!";
    marks += lead.substr(marks.size());
    marks.copy(line, DumpLineLength);
    for (uint32_t k = 0; k < count && k < BytesPerLine; ++k) {
        unsigned char byte = data[offset + k];
        line[HexColumnOf(k)] = ByteTexts.hex[byte][0];
        line[HexColumnOf(k) + 1] = ByteTexts.hex[byte][1];
        line[CharColumnOf(k)] = ByteTexts.shown[byte];
    }
}

std::string DescribeDamage(const SalvageSpan& span) {
    return "damaged: " + Counted(span.length, "byte") + " at 0x" + ShortHex(span.at.offset);
}

std::string DamagedRecordLine(const SalvageSpan& span) {
    return "   damaged  " + HexOffset(span.at.offset, 8) + "  " + DescribeDamage(span) + "\n";
}

std::string DamagedRecordJson(const SalvageSpan& span) {
    return "{\"damaged\": true, \"offset\": " + std::to_string(span.at.offset) +
           ", \"length\": " + std::to_string(span.length) + "}\n";
}

std::string DescribeSalvage(const Salvage& salvage) {
    return Counted(salvage.damagedRegions, "damaged region") + ", " +
           Counted(salvage.damagedBytes, "byte") + "; " + Counted(salvage.records, "record") +
           " intact";
}

uint64_t RepairedLength(const unsigned char* data, uint32_t length, const Salvage& salvage) {
    uint64_t bytes =
        SignatureSurvived(data, length, salvage) ? 0 : RecordHeaderSize + SignatureLength;
    for (const SalvageSpan& span : salvage.spans)
        bytes += span.damaged ? 0 : span.length;
    return bytes;
}
