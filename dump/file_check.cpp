#include "dump/file_check.h"

#include "dump/byte_text.h"
#include "dump/plural.h"
#include "dump/viewer_dump.h"

#include <charconv>

namespace {

using std::to_string;

// Upper-case hexadecimal, as offsets are shown.
std::string Hex(uint32_t value) {
    char digits[8];
    char* end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
    std::string hex(digits, end);
    for (char& digit : hex)
        digit = digit >= 'a' ? char(digit - 'a' + 'A') : digit;
    return hex;
}

// "1 byte", "2 bytes": a count with its noun, singular where the count is 1.
std::string Count(uint64_t count, const char* noun) {
    return to_string(count) + " " + noun + PluralEnding(count);
}

std::string TooLarge(uint64_t length) {
    if (length == 0)
        return " More than the limit of " + to_string(MaxModuleInfoLength) + " bytes arrived.";
    return " The file has " + to_string(length) + " bytes, more than the limit of " +
           to_string(MaxModuleInfoLength) + ".";
}

// What stands where the signature belongs, shown as the dump shows characters.
std::string NoSignature(const unsigned char* data, uint64_t length) {
    if (length < SignatureOffset + SignatureLength)
        return " Only " + Count(length, "byte") + ", too few for the " +
               to_string(SignatureLength) + "-byte signature at offset " +
               to_string(SignatureOffset) + ".";
    std::string shown;
    for (uint32_t k = 0; k < SignatureLength; ++k)
        shown += ByteTexts.shown[data[SignatureOffset + k]];
    return " The " + to_string(SignatureLength) + " bytes at offset " + to_string(SignatureOffset) +
           " are \"" + shown + "\", not a signature.";
}

std::string Broken(const RecordWalk& chain) {
    std::string record =
        " Record " + to_string(chain.next.record + 1) + " at offset 0x" + Hex(chain.next.offset);
    if (chain.bytesLeft < RecordHeaderSize)
        return record + ": only " + Count(chain.bytesLeft, "byte") +
               " left, too few for a record header.";
    uint32_t follow = chain.bytesLeft - RecordHeaderSize;
    return record + " declares " + Count(chain.brokenSize, "data byte") + ", but only " +
           to_string(follow) + (follow == 1 ? " follows" : " follow") + " its header.";
}

} // namespace

FileCheck CheckModuleInfoFile(const unsigned char* data, uint64_t length) {
    if (length > MaxModuleInfoLength)
        return {FILE_TOO_LARGE, {}};
    if (!IsModuleInfoFile(data, uint32_t(length)))
        return {FILE_NO_SIGNATURE, {}};
    RecordWalk chain = PlanDump(data, uint32_t(length));
    return {chain.end == RECORDS_COMPLETE ? FILE_ACCEPTED : FILE_BROKEN, chain};
}

std::string DescribeRefusal(const FileCheck& check, const unsigned char* data, uint64_t length) {
    switch (check.verdict) {
    case FILE_ACCEPTED:
        break;
    case FILE_TOO_LARGE:
        return DumpFailureMessages[DUMP_TOO_LARGE].text + TooLarge(length);
    case FILE_NO_SIGNATURE:
        return DumpFailureMessages[DUMP_NO_SIGNATURE].text + NoSignature(data, length);
    case FILE_BROKEN:
        return DumpFailureMessages[DUMP_FORMAT_ERROR].text + Broken(check.chain);
    }
    return {};
}
