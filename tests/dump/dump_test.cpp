// The dump core held against the plain model in tests/support: the two worked examples are the
// only dumps typed out; everything else is a property over generated, cut and corrupted files,
// in every numeration mode, through FormatModuleInfo and through every line writer.
#include "dump/formatter.h"
#include "dump/line_kernel.h"
#include "dump/module_info.h"
#include "tests/support/dump_checks.h"
#include "tests/support/dump_model.h"
#include "tests/support/recording_target.h"
#include "tests/support/sample_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Texts = std::vector<std::string>;

constexpr Numeration Modes[] = {NUMERATION_SINGLE, NUMERATION_MULTI, NUMERATION_OFFSET};

constexpr uint32_t Tag(unsigned char b0, unsigned char b1, unsigned char b2, unsigned char b3) {
    return uint32_t(b0) | uint32_t(b1) << 8 | uint32_t(b2) << 16 | uint32_t(b3) << 24;
}

void AddHeader(Bytes& file, uint32_t tag, uint32_t size) {
    for (uint32_t value : {tag, size})
        for (int shift = 0; shift < 32; shift += 8)
            file.push_back((unsigned char)(value >> shift));
}

void AddRecord(Bytes& file, uint32_t tag, std::string_view data) {
    AddHeader(file, tag, uint32_t(data.size()));
    file.insert(file.end(), data.begin(), data.end());
}

const uint32_t Signature = Tag(0x4D, 0x6F, 0x64, 0x00);
const std::string V20 = "Module info file v2.0";

Bytes SignatureRecord(uint32_t extra = 0, std::string_view text = V20) {
    Bytes file;
    AddHeader(file, Signature, uint32_t(text.size()) + extra);
    file.insert(file.end(), text.begin(), text.end());
    file.resize(file.size() + extra, 0);
    return file;
}

Bytes Cut(const Bytes& file, size_t length) {
    return Bytes(file.begin(), file.begin() + long(length));
}

// The core never reads the NUL the loader puts after the data, so none is given here: a read
// past the end shows up under the sanitizers.
const unsigned char* DataOf(const Bytes& file) {
    static const unsigned char nothing[1] = {0};
    return file.empty() ? nothing : file.data();
}

std::string JoinLines(const Texts& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

// Each mode through the formatter and the walk, with buffers of one line and of a few.
void CheckFormat(const Bytes& file, Numeration mode, TargetFaults faults = {}) {
    EXPECT_EQ(::CheckFormat(DataOf(file), uint32_t(file.size()), mode, faults), "");
}

void CheckWalk(const Bytes& file, Numeration mode) {
    for (size_t capacity : {DumpLineLength, 7 * DumpLineLength + 50})
        EXPECT_EQ(::CheckWalk(DataOf(file), uint32_t(file.size()), mode, capacity, 0), "");
}

void CheckEverything(const Bytes& file, const std::string& what) {
    for (Numeration mode : Modes) {
        SCOPED_TRACE(what + ", mode " + std::to_string(int(mode)));
        CheckFormat(file, mode);
        CheckWalk(file, mode);
    }
}

TEST(Dump, WorkedExamples) {
    EXPECT_EQ(NumerationMode, NUMERATION_MULTI);
    Bytes three = SignatureRecord(11);
    AddRecord(three, Tag(0x0A, 0x56, 0x65, 0x72), std::string("\x01\x02\x00\x00", 4));
    AddRecord(three, Tag(0x0A, 0x45, 0x6E, 0x64), "");
    Bytes characters = SignatureRecord(11, "Module info file v1.1");
    std::copy_n("\x7F\x80\xFF\x1F\x20\x7E", 6, characters.begin() + 29);
    AddRecord(characters, Tag(0x10, 0x00, 0x00, 0x31), "ABCDEFGHIJKLMNOPQ");
    const std::string head = "00000001: MI_SIGNATURE  |00032| 4D 6F 64 75 6C 65 20 69 - 6E 66 6F "
                             "20 66 69 6C 65 | Module info file ";
    const struct {
        const Bytes& file;
        Texts multi;
        Texts single, offset; // the number columns
    } examples[] = {
        {three,
         {head,
          "00000001: MI_SIGNATURE  |    1| 20 76 32 2E 30 00 00 00 - 00 00 00 00 00 00 00 00 |  "
          "v2.0........... ",
          "00000002: MI_VERSION    |00004| 01 02 00 00             -                         | "
          "....             ",
          "00000003: MI_END        |00000|                         -                         | "
          "                 "},
         {"00000001", "00000002", "00000003", "00000004"},
         {"00000008", "00000024", "00000048", "00000060"}},
        {characters,
         {head,
          "00000001: MI_SIGNATURE  |    1| 20 76 31 2E 31 7F 80 FF - 1F 20 7E 00 00 00 00 00 |  "
          "v1.1.... ~..... ",
          "00000002: NM_LABEL      |00017| 41 42 43 44 45 46 47 48 - 49 4A 4B 4C 4D 4E 4F 50 | "
          "ABCDEFGHIJKLMNOP ",
          "00000002: NM_LABEL      |    1| 51                      -                         | "
          "Q                "},
         {"00000001", "00000002", "00000003", "00000004"},
         {"00000008", "00000024", "00000048", "00000064"}},
    };
    for (const auto& example : examples) {
        for (Numeration mode : Modes) {
            Texts expected = example.multi;
            for (size_t i = 0; i < expected.size() && mode != NUMERATION_MULTI; ++i) {
                expected[i].replace(
                    0, 8, (mode == NUMERATION_SINGLE ? example.single : example.offset)[i]);
                if (expected[i][25] == ' ') // a continuation line
                    expected[i].replace(25, 5, "     ");
            }
            NumerationMode = mode;
            RecordingTarget target;
            ASSERT_TRUE(
                FormatModuleInfo(target, example.file.data(), uint32_t(example.file.size())));
            EXPECT_EQ(target.text, JoinLines(expected)) << "mode " << mode;
            EXPECT_EQ(DumpByModel(example.file.data(), uint32_t(example.file.size()), mode).text,
                      JoinLines(expected));
        }
    }
}

TEST(Dump, TagNames) {
    const struct {
        unsigned char bytes[4];
        const char* name;
    } cases[] = {
        {{0x4D, 0x6F, 0x64, 0x00}, "MI_SIGNATURE"}, {{0x0A, 0x45, 0x6E, 0x64}, "MI_END      "},
        {{0x12, 0x34, 0x56, 0x00}, "NM_NONAME   "}, {{0x10, 0x00, 0x00, 0x31}, "NM_LABEL    "},
        {{0x01, 0x00, 0x00, 0xFF}, "NM_ANYNAME  "}, {{0x78, 0x56, 0x34, 0x12}, "??_UNKNOWN  "},
        {{0x00, 0x00, 0x00, 0x40}, "NM_INSPECT  "}, {{0x0A, 0x43, 0x68, 0x72}, "??_UNKNOWN  "},
        {{0x41, 0x42, 0x43, 0x44}, "??_UNKNOWN  "}, {{0x0A, 0x43, 0x62, 0x72}, "MI_CHR      "},
        {{0x0A, 0x55, 0x73, 0x00}, "MI_USER     "}, {{0x99, 0x00, 0x00, 0xFE}, "NM_IMCALL   "},
    };
    for (const auto& c : cases) {
        uint32_t tag = Tag(c.bytes[0], c.bytes[1], c.bytes[2], c.bytes[3]);
        EXPECT_EQ(LookupTagName(tag), c.name);
        EXPECT_EQ(ModelTagName(tag), c.name);
    }
    // Every table tag, every fourth byte under assorted lower bytes, and scattered tags.
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

TEST(Dump, Signature) {
    const struct {
        Bytes file;
        bool accepted;
    } cases[] = {
        {SignatureRecord(), true},
        {SignatureRecord(0, "Module info file v1.1"), true},
        {SignatureRecord(7, "Module info file v1.1-and-more"), true},
        {SignatureRecord(0, "module info file v2.0"), false},
        {SignatureRecord(0, "Module info file v1.2"), false},
        {SignatureRecord(0, " Module info file v2.0"), false},
        {Cut(SignatureRecord(), 28), false},
        {{}, false},
    };
    for (const auto& c : cases) {
        uint32_t length = uint32_t(c.file.size());
        EXPECT_EQ(IsModuleInfoFile(DataOf(c.file), length), c.accepted) << length;
        EXPECT_EQ(ModelSignature(DataOf(c.file), length), c.accepted) << length;
    }
    Bytes odd = SignatureRecord();
    odd[0] = odd[4] = 0xFF; // the first record's tag and size play no part
    EXPECT_TRUE(IsModuleInfoFile(odd.data(), uint32_t(odd.size())));
}

TEST(Dump, GeneratedFilesMatchTheModel) {
    for (SampleShape shape : {SAMPLE_MIXED, SAMPLE_ONE_RECORD, SAMPLE_EMPTY_RECORDS})
        for (uint32_t size : {29u, 37u, 46u, 333u, 4099u, 65536u, 200001u})
            for (uint32_t seed = 1; seed <= (size < 5000 ? 3u : 1u); ++seed)
                CheckEverything(GenerateSample(shape, seed, size),
                                "shape " + std::to_string(shape) + ", size " +
                                    std::to_string(size) + ", seed " + std::to_string(seed));
}

// Records of every size up to 48, each byte value, and counters past every carry: sub-lines
// past 100000 (into column 24), more than 10,000 records and sub-lines for the progress.
TEST(Dump, EdgeFilesMatchTheModel) {
    Bytes sizes = SignatureRecord();
    std::string data;
    for (uint32_t size = 0; size <= 48; ++size, data += char(size * 37))
        AddRecord(sizes, TagNameTable[size % TagNameCount].tag ^ (size % 3 << 8), data);
    for (int byte = 0; byte < 256; ++byte)
        data += char(byte);
    AddRecord(sizes, 0, data);
    CheckEverything(sizes, "sizes up to 48");
    Bytes counters = GenerateSample(SAMPLE_ONE_RECORD, 2, 1600100);
    for (uint32_t i = 0; i < 10500; ++i)
        AddRecord(counters, Tag(0x0A, 0x45, 0x6E, 0x64), std::string(i % 7 == 0 ? 17 : 0, 'x'));
    CheckEverything(counters, "large counters");
}

// Eight-digit offsets fill the number column; eight-digit sizes cover the bar before them.
TEST(Dump, EightDigitNumbers) {
    Bytes file = GenerateSample(SAMPLE_ONE_RECORD, 5, 10000100);
    CheckFormat(file, NUMERATION_OFFSET);
}

// Every way a chain can break: cut at every length, and sizes that run past the end or wrap.
TEST(Dump, BrokenFilesAreRefusedAfterTheRecordsBefore) {
    Bytes sample = GenerateSample(SAMPLE_MIXED, 4, 1500);
    Bytes empties = GenerateSample(SAMPLE_EMPTY_RECORDS, 4, 29 + 8 * 12);
    for (const Bytes* whole : {&sample, &empties})
        for (size_t length = 29; length <= whole->size(); ++length) {
            Bytes cut = Cut(*whole, length);
            SCOPED_TRACE(length);
            CheckFormat(cut, Modes[length % 3]);
            CheckWalk(cut, Modes[length % 3]);
        }
    for (uint32_t size : {5u, 0xFFFFFFFFu, 0xFFFFFFDBu, 0xFFFFFFF8u, 0xFFFFFFF0u}) {
        Bytes file = SignatureRecord();
        AddHeader(file, Tag(0x0A, 0x56, 0x65, 0x72), size);
        file.resize(file.size() + 4, 'x');
        SCOPED_TRACE(size);
        CheckFormat(file, NUMERATION_MULTI);
        CheckWalk(file, NUMERATION_MULTI);
    }
}

TEST(Dump, RefusalsAndFaults) {
    Bytes limit = SignatureRecord(MaxModuleInfoLength - 29);
    CheckFormat(limit, NUMERATION_MULTI, {true}); // passes the size test
    limit.push_back(0);
    CheckFormat(limit, NUMERATION_MULTI);
    CheckFormat(Bytes(MaxModuleInfoLength + 1, 0), NUMERATION_MULTI);
    CheckFormat({}, NUMERATION_MULTI);
    CheckFormat(Cut(SignatureRecord(), 28), NUMERATION_MULTI);
    Bytes good = GenerateSample(SAMPLE_EMPTY_RECORDS, 1, 160029); // three progress texts
    Bytes broken = good;
    broken.push_back(0);
    for (const Bytes* file : {&good, &broken})
        for (int fault = 0; fault < 8; ++fault)
            CheckFormat(*file, NUMERATION_SINGLE,
                        {(fault & 1) != 0, (fault & 2) != 0, (fault & 4) != 0});
}

TEST(Dump, ReportProgress) {
    const struct {
        uint32_t position, length;
        const char* text;
    } cases[] = {{0, 100, "Opened... 0%"}, {37, 100, "Opened... 37%"},
                 {2, 3, "Opened... 66%"},  {1, 1, "Opened... 100%"},
                 {0, 0, "Opened... 0%"},   {31999999, 32000000, "Opened... 99%"}};
    // Positions are pointers into the file, so the file must be there, as large as the largest.
    const std::vector<unsigned char> data(MaxModuleInfoLength);
    for (const auto& c : cases) {
        RecordingTarget target;
        ReportProgress(target, data.data() + c.position, data.data(), c.length);
        EXPECT_EQ(target.progress, Texts({c.text}));
    }
}

// A sink that gives up, and a buffer without a sink, stop the walk after whole lines only.
TEST(Dump, WalkStopsWhereTheSinkOrTheBufferEnds) {
    Bytes file = GenerateSample(SAMPLE_MIXED, 6, 3000);
    size_t lines = PlanDump(file.data(), uint32_t(file.size())).lineCount;
    for (size_t capacity : {size_t(0), DumpLineLength - 1, DumpLineLength, 5 * DumpLineLength - 1,
                            lines * DumpLineLength})
        for (size_t refuseAt : {1, 2, 3})
            EXPECT_EQ(::CheckWalk(file.data(), uint32_t(file.size()), NUMERATION_MULTI, capacity,
                                  refuseAt),
                      "")
                << capacity << " bytes, giving up at " << refuseAt;
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
