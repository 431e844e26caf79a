// The dump core held against the plain model in tests/support: the two worked examples are the
// only dumps typed out; everything else is a property over generated, cut and corrupted files,
// in every numeration mode, through FormatModuleInfo and through every line writer.
#include "dump/line_kernel.h"
#include "dump/module_info.h"
#include "dump/records.h"
#include "dump/viewer_dump.h"
#include "tests/support/checks.h"
#include "tests/support/dump_model.h"
#include "tools/sample_files.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr Numeration Modes[] = {NUMERATION_SINGLE, NUMERATION_MULTI, NUMERATION_OFFSET};

// Tags are the little-endian values of their four bytes: 0A 56 65 72 is MI_VERSION's.
const uint32_t VersionTag = 0x7265560A, EndTag = 0x646E450A;

void CheckFormat(const Bytes& file, Numeration mode, TargetFaults faults = {}) {
    EXPECT_EQ(::CheckFormat(file.data(), uint32_t(file.size()), mode, faults), "");
}

// Each mode through the formatter and the index, and the walk with buffers of less than a line,
// one line and two, the last two with sinks that give up at their first and second calls.
void CheckEverything(const Bytes& file, const std::string& what) {
    for (Numeration mode : Modes) {
        SCOPED_TRACE(what + ", mode " + std::to_string(int(mode)));
        CheckFormat(file, mode);
        EXPECT_EQ(::CheckRuns(file.data(), uint32_t(file.size()), mode), "");
        for (size_t capacity : {DumpLineLength - 1, DumpLineLength, 2 * DumpLineLength + 50})
            EXPECT_EQ(::CheckWalk(file.data(), uint32_t(file.size()), mode, capacity,
                                  capacity / DumpLineLength),
                      "")
                << capacity;
    }
}

TEST(Dump, WorkedExamples) {
    Bytes three = SignatureFile("Module info file v2.0", 11);
    AppendRecord(three, VersionTag, std::string("\x01\x02\x00\x00", 4));
    AppendRecord(three, EndTag, "");
    Bytes characters = SignatureFile("Module info file v1.1\x7F\x80\xFF\x1F\x20\x7E", 5);
    AppendRecord(characters, 0x31000010, "ABCDEFGHIJKLMNOPQ");
    const std::string head = "00000001: MI_SIGNATURE  |00032| 4D 6F 64 75 6C 65 20 69 - 6E 66 6F "
                             "20 66 69 6C 65 | Module info file \r\n";
    const struct {
        const Bytes& file;
        std::string multi;
        const char *single, *offset; // the number columns, line by line
    } examples[] = {
        {three,
         head +
             "00000001: MI_SIGNATURE  |    1| 20 76 32 2E 30 00 00 00 - 00 00 00 00 00 00 00 00 |  "
             "v2.0........... \r\n"
             "00000002: MI_VERSION    |00004| 01 02 00 00             -                         | "
             "....             \r\n"
             "00000003: MI_END        |00000|                         -                         | "
             "                 \r\n",
         "00000001000000020000000300000004", "00000008000000240000004800000060"},
        {characters,
         head +
             "00000001: MI_SIGNATURE  |    1| 20 76 31 2E 31 7F 80 FF - 1F 20 7E 00 00 00 00 00 |  "
             "v1.1.... ~..... \r\n"
             "00000002: NM_LABEL      |00017| 41 42 43 44 45 46 47 48 - 49 4A 4B 4C 4D 4E 4F 50 | "
             "ABCDEFGHIJKLMNOP \r\n"
             "00000002: NM_LABEL      |    1| 51                      -                         | "
             "Q                \r\n",
         "00000001000000020000000300000004", "00000008000000240000004800000064"},
    };
    for (const auto& example : examples) {
        for (Numeration mode : Modes) {
            std::string expected = example.multi;
            for (size_t line = 0; line < 4 && mode != NUMERATION_MULTI; ++line) {
                std::string_view numbers =
                    mode == NUMERATION_SINGLE ? example.single : example.offset;
                expected.replace(line * DumpLineLength, 8, numbers.substr(line * 8, 8));
                if (expected[line * DumpLineLength + 25] == ' ') // a continuation line
                    expected.replace(line * DumpLineLength + 25, 5, "     ");
            }
            EXPECT_EQ(DumpByModel(example.file.data(), uint32_t(example.file.size()), mode).text,
                      expected)
                << "mode " << mode;
            CheckFormat(example.file, mode); // the core's dump is the model's
        }
    }
}

// The model's names for every table tag, every top byte under assorted lower bytes, and
// scattered tags.
TEST(Dump, TagNames) {
    std::vector<uint32_t> tags;
    for (const TagNameEntry& entry : TagNameTable)
        tags.push_back(entry.tag);
    for (uint32_t top = 0; top < 256; ++top)
        for (uint32_t low : {0x000000u, 0x000001u, 0x010000u, 0x0A4E61u, 0xFFFFFFu})
            tags.push_back(top << 24 | low);
    for (uint32_t seed = 1; tags.size() < 20000; seed = seed * 1103515245u + 12345u)
        tags.push_back(seed);
    for (uint32_t tag : tags)
        ASSERT_EQ(LookupTagName(tag), ModelTagName(tag)) << std::hex << tag;
}

// Generated files of every shape; records of every size up to 48 and each byte value; and
// counters past every carry: sub-lines past 100000 (into column 24), more than 10,000 records
// and sub-lines for the progress.
TEST(Dump, GeneratedAndEdgeFilesMatchTheModel) {
    for (SampleShape shape : {SAMPLE_MIXED, SAMPLE_ONE_RECORD, SAMPLE_EMPTY_RECORDS})
        for (uint32_t size : {29u, 37u, 46u, 333u, 4099u, 200001u})
            CheckEverything(GenerateSample(shape, size % 5, size),
                            "shape " + std::to_string(shape) + ", size " + std::to_string(size));
    Bytes sizes = SignatureFile();
    std::string data;
    for (uint32_t size = 0; size <= 48; ++size, data += char(size * 37))
        AppendRecord(sizes, TagNameTable[size % TagNameCount].tag ^ (size % 3 << 8), data);
    for (int byte = 0; byte < 256; ++byte)
        data += char(byte);
    AppendRecord(sizes, 0, data);
    CheckEverything(sizes, "sizes up to 48");
    Bytes counters = GenerateSample(SAMPLE_ONE_RECORD, 2, 1600100);
    for (uint32_t i = 0; i < 10500; ++i)
        AppendRecord(counters, EndTag, std::string(i % 7 == 0 ? 17 : 0, 'x'));
    CheckEverything(counters, "large counters");
    // Eight-digit offsets fill the number column; eight-digit sizes cover the bar before them.
    CheckFormat(GenerateSample(SAMPLE_ONE_RECORD, 5, 10000100), NUMERATION_OFFSET);
}

// Signatures accepted and refused, files cut at every length, sizes that run past the end or
// wrap, the size limit, and every combination of target faults on a good and a broken file.
TEST(Dump, RefusalsAndBrokenFiles) {
    std::vector<Bytes> files = {
        SignatureFile("Module info file v1.1"),  SignatureFile("Module info file v1.1-and-more", 7),
        SignatureFile("module info file v2.0"),  SignatureFile("Module info file v1.2"),
        SignatureFile(" Module info file v2.0"), {}};
    files.push_back(SignatureFile());
    files.back()[0] = files.back()[4] = 0xFF; // the first record's tag and size play no part
    // Cut short of the signature, and at and around every record's end and inside the header
    // after it.
    for (const Bytes& whole : {GenerateSample(SAMPLE_MIXED, 4, 1500),
                               GenerateSample(SAMPLE_EMPTY_RECORDS, 4, 29 + 8 * 12)}) {
        std::vector<uint32_t> cuts = {0, 7, 14, 21, 28};
        WalkRecords(whole.data(), uint32_t(whole.size()), {}, [&cuts](const Record& record) {
            uint32_t end = record.Next().offset;
            cuts.insert(cuts.end(), {end - 1, end, end + 1, end + 4, end + 7});
            return true;
        });
        for (uint32_t length : cuts)
            if (length <= whole.size())
                files.emplace_back(whole.begin(), whole.begin() + long(length));
    }
    for (uint32_t size : {5u, 0xFFFFFFFFu, 0xFFFFFFDBu, 0xFFFFFFF8u, 0xFFFFFFF0u}) {
        files.push_back(SignatureFile());
        AppendRecord(files.back(), VersionTag, "xxxx", size);
    }
    for (const Bytes& file : files)
        CheckEverything(file, std::to_string(file.size()) + " bytes");
    Bytes limit = SignatureFile("Module info file v2.0", MaxModuleInfoLength - 29);
    CheckFormat(limit, NUMERATION_MULTI, {true}); // passes the size test
    limit.push_back(0);
    CheckFormat(limit, NUMERATION_MULTI);
    // 20,000 records, two progress texts; broken, a third for the record that does not fit.
    Bytes good = GenerateSample(SAMPLE_EMPTY_RECORDS, 1, 160021);
    Bytes broken = good;
    broken.push_back(0);
    for (const Bytes* file : {&good, &broken})
        for (int fault = 0; fault < 8; ++fault)
            CheckFormat(*file, NUMERATION_SINGLE,
                        {(fault & 1) != 0, (fault & 2) != 0, (fault & 4) != 0});
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// The dump is the same with either writer, so only the processor tells which one must run.
TEST(Dump, VectorWriterExactlyWhereTheProcessorHasSsse3) {
    bool ssse3 = __builtin_cpu_supports("ssse3");
    EXPECT_EQ(FindDataColumnWriter(LINE_KERNEL_SSSE3) != nullptr, ssse3);
    EXPECT_EQ(BestDataColumnWriter(),
              FindDataColumnWriter(ssse3 ? LINE_KERNEL_SSSE3 : LINE_KERNEL_PLAIN));
}
#endif

} // namespace
