#include "cli/records.h"

#include "dump/module_info.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace {

// The longest line, five fields of at most ten digits or twelve characters, is far shorter.
static_assert(JsonLineRoom > 100);

char* Put(char* at, std::string_view text) {
    std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

char* PutNumber(char* at, uint32_t value) {
    return std::to_chars(at, at + 10, value).ptr;
}

char* FormatJsonLine(char* at, uint32_t number, uint32_t offset, const unsigned char* record) {
    const char hexDigits[] = "0123456789ABCDEF";
    RecordHeader header = ReadRecordHeader(record);
    std::string_view name = LookupTagName(header.tag);
    name = name.substr(0, name.find_last_not_of(' ') + 1);
    at = PutNumber(Put(at, "{\"record\": "), number);
    at = PutNumber(Put(at, ", \"offset\": "), offset);
    at = Put(at, ", \"tag\": \"");
    for (size_t k = 0; k < 4; ++k) {
        *at++ = hexDigits[record[k] >> 4];
        *at++ = hexDigits[record[k] & 15];
    }
    at = Put(Put(Put(at, "\", \"name\": \""), name), "\", \"size\": ");
    return Put(PutNumber(at, header.size), "}\n");
}

} // namespace

bool FindRecord(const unsigned char* data, uint32_t length, uint32_t number, RecordSpan& span,
                uint32_t& count) {
    count = 0;
    for (uint32_t offset = 0; offset < length;) {
        uint32_t size = ReadRecordHeader(data + offset).size;
        if (++count == number) {
            span = {offset, size};
            return true;
        }
        offset += RecordHeaderSize + size;
    }
    return false;
}

bool WriteRecordData(const unsigned char* data, uint32_t length, uint32_t number,
                     DumpLineSink& sink) {
    RecordSpan span{};
    uint32_t count = 0;
    if (!FindRecord(data, length, number, span, count))
        return false;
    return sink.WriteLines(reinterpret_cast<const char*>(data) + span.offset + RecordHeaderSize,
                           span.size);
}

bool WriteRecordLines(const unsigned char* data, uint32_t length, RecordLineWriter writeLine,
                      size_t room, char* chunk, size_t capacity, DumpLineSink& sink) {
    char* at = chunk;
    uint32_t number = 0;
    for (uint32_t offset = 0; offset < length;) {
        if (size_t(at - chunk) + room > capacity) {
            if (!sink.WriteLines(chunk, size_t(at - chunk)))
                return false;
            at = chunk;
        }
        at = writeLine(at, ++number, offset, data + offset);
        offset += RecordHeaderSize + ReadRecordHeader(data + offset).size;
    }
    return sink.WriteLines(chunk, size_t(at - chunk));
}

bool WriteRecordJson(const unsigned char* data, uint32_t length, char* chunk, size_t capacity,
                     DumpLineSink& sink) {
    return WriteRecordLines(data, length, FormatJsonLine, JsonLineRoom, chunk, capacity, sink);
}
