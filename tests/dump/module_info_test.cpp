#include "dump/module_info.h"
#include "tests/dump/dump_testing.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <string_view>

namespace {

struct ExpectedEntry {
    const char* name;
    unsigned char bytes[4]; // in file order
};

// The table as the file format defines it, typed independently of the core's copy.
const ExpectedEntry ExpectedTable[] = {
    {"MI_SIGNATURE", {0x4D, 0x6F, 0x64, 0x00}}, {"MI_VERSION", {0x0A, 0x56, 0x65, 0x72}},
    {"MI_FILENAME", {0x0A, 0x46, 0x69, 0x6C}},  {"MI_FILESIZE", {0x0A, 0x53, 0x69, 0x7A}},
    {"MI_TIMESTAMP", {0x0A, 0x54, 0x73, 0x74}}, {"MI_SFXENTRY", {0x0A, 0x53, 0x66, 0x65}},
    {"MI_PATCH", {0x0A, 0x50, 0x61, 0x74}},     {"MI_USER", {0x0A, 0x55, 0x73, 0x00}},
    {"MI_PROCDATA", {0x0A, 0x50, 0x72, 0x63}},  {"MI_SWDATA", {0x0A, 0x53, 0x77, 0x69}},
    {"MI_CALLFINT", {0x0A, 0x43, 0x66, 0x69}},  {"MI_CALLFMOD", {0x0A, 0x43, 0x66, 0x6D}},
    {"MI_CALLFABS", {0x0A, 0x43, 0x66, 0x61}},  {"MI_INT3BREAK", {0x0A, 0x42, 0x70, 0x74}},
    {"MI_INT3BRKC", {0x0A, 0x42, 0x70, 0x63}},  {"MI_HDWRBREAK", {0x0A, 0x48, 0x62, 0x72}},
    {"MI_JDDATA", {0x0A, 0x4A, 0x64, 0x74}},    {"MI_ANALYSIS", {0x0A, 0x41, 0x6E, 0x61}},
    {"MI_ANALPACK", {0x0A, 0x41, 0x6E, 0x63}},  {"MI_AHINT", {0x0A, 0x41, 0x68, 0x74}},
    {"MI_TRACE", {0x0A, 0x54, 0x72, 0x61}},     {"MI_TRACEPACK", {0x0A, 0x54, 0x72, 0x63}},
    {"MI_CODECRC", {0x0A, 0x43, 0x63, 0x72}},   {"MI_SAVEAREA", {0x0A, 0x53, 0x76, 0x61}},
    {"NM_NONAME", {0x00, 0x00, 0x00, 0x00}},    {"??_UNKNOWN", {0xFF, 0xFF, 0xFF, 0xFF}},
    {"NM_ANYNAME", {0x00, 0x00, 0x00, 0xFF}},   {"NM_PLUGCMD", {0x00, 0x00, 0x00, 0x30}},
    {"NM_LABEL", {0x00, 0x00, 0x00, 0x31}},     {"NM_EXPORT", {0x00, 0x00, 0x00, 0x32}},
    {"NM_IMPORT", {0x00, 0x00, 0x00, 0x33}},    {"NM_LIBRARY", {0x00, 0x00, 0x00, 0x34}},
    {"NM_CONST", {0x00, 0x00, 0x00, 0x35}},     {"NM_COMMENT", {0x00, 0x00, 0x00, 0x36}},
    {"NM_LIBCOMM", {0x00, 0x00, 0x00, 0x37}},   {"NM_BREAK", {0x00, 0x00, 0x00, 0x38}},
    {"NM_ARG", {0x00, 0x00, 0x00, 0x39}},       {"NM_ANALYSE", {0x00, 0x00, 0x00, 0x3A}},
    {"NM_BREAKEXPR", {0x00, 0x00, 0x00, 0x3B}}, {"NM_BREAKEXPL", {0x00, 0x00, 0x00, 0x3C}},
    {"NM_ASSUME", {0x00, 0x00, 0x00, 0x3D}},    {"NM_STRUCT", {0x00, 0x00, 0x00, 0x3E}},
    {"NM_CASE", {0x00, 0x00, 0x00, 0x3F}},      {"NM_INSPECT", {0x00, 0x00, 0x00, 0x40}},
    {"NM_WATCH", {0x00, 0x00, 0x00, 0x41}},     {"NM_ASM", {0x00, 0x00, 0x00, 0x42}},
    {"NM_FINDASM", {0x00, 0x00, 0x00, 0x43}},   {"NM_LASTWATCH", {0x00, 0x00, 0x00, 0x48}},
    {"NM_SOURCE", {0x00, 0x00, 0x00, 0x49}},    {"NM_REFTXT", {0x00, 0x00, 0x00, 0x4A}},
    {"NM_GOTO", {0x00, 0x00, 0x00, 0x4B}},      {"NM_GOTODUMP", {0x00, 0x00, 0x00, 0x4C}},
    {"NM_TRPAUSE", {0x00, 0x00, 0x00, 0x4D}},   {"NM_IMCALL", {0x00, 0x00, 0x00, 0xFE}},
    {"NMHISTORY", {0x00, 0x00, 0x00, 0x40}},    {"MI_FCR", {0x0A, 0x46, 0x63, 0x72}},
    {"MI_NAM", {0x0A, 0x4E, 0x61, 0x6D}},       {"MI_DAT", {0x0A, 0x44, 0x61, 0x74}},
    {"MI_CHR", {0x0A, 0x43, 0x62, 0x72}},       {"MI_LBR", {0x0A, 0x4C, 0x62, 0x72}},
    {"MI_CAS", {0x0A, 0x43, 0x61, 0x73}},       {"MI_PRD", {0x0A, 0x50, 0x72, 0x64}},
    {"MI_LSA", {0x0A, 0x4C, 0x73, 0x61}},       {"MI_SAV", {0x0A, 0x53, 0x61, 0x76}},
    {"MI_RTC", {0x0A, 0x52, 0x74, 0x63}},       {"MI_RTP", {0x0A, 0x52, 0x74, 0x70}},
    {"MI_BPH", {0x0A, 0x42, 0x70, 0x68}},       {"MI_MBA", {0x0A, 0x4D, 0x62, 0x61}},
    {"MI_BPM", {0x0A, 0x42, 0x70, 0x6D}},       {"MI_END", {0x0A, 0x45, 0x6E, 0x64}},
};
static_assert(std::size(ExpectedTable) == 70);

uint32_t TagOfBytes(const unsigned char (&bytes)[4]) {
    return TagOf(bytes[0], bytes[1], bytes[2], bytes[3]);
}

std::string Padded(std::string_view name) {
    std::string padded(name);
    padded.resize(TagNameLength, ' ');
    return padded;
}

std::string NameOf(unsigned char b0, unsigned char b1, unsigned char b2, unsigned char b3) {
    return std::string(LookupTagName(TagOf(b0, b1, b2, b3)));
}

bool AcceptsSignature(const Bytes& file) {
    return IsModuleInfoFile(DataOf(file), LengthOf(file));
}

// --- The table ---

TEST(TagNameTable, HoldsSeventyEntriesInTheFormatsOrder) {
    ASSERT_EQ(TagNameCount, 70);
    for (int i = 0; i < TagNameCount; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(std::string(TagNameTable[i].name, TagNameLength), Padded(ExpectedTable[i].name));
        EXPECT_EQ(TagNameTable[i].tag, TagOfBytes(ExpectedTable[i].bytes));
    }
}

TEST(TagNameTable, EntriesArePaddedWithSpacesToThirteenThenNuls) {
    EXPECT_EQ(std::string(TagNameTable[0].name, 16), std::string("MI_SIGNATURE \0\0\0", 16));
    EXPECT_EQ(std::string(TagNameTable[54].name, 16), std::string("NMHISTORY    \0\0\0", 16));
    EXPECT_EQ(std::string(TagNameTable[69].name, 16), std::string("MI_END       \0\0\0", 16));
    for (const TagNameEntry& entry : TagNameTable) {
        SCOPED_TRACE(entry.name);
        EXPECT_EQ(entry.name[12], ' ');
        EXPECT_EQ(std::string(entry.name + 13, 3), std::string(3, '\0'));
    }
}

TEST(TagNameTable, EndsWithTheEndMarker) {
    EXPECT_EQ(TagNameTable[TagNameCount - 1].tag, 0x646E450Au);
    for (int i = 0; i < TagNameCount - 1; ++i)
        EXPECT_NE(TagNameTable[i].tag, 0x646E450Au) << "entry " << i + 1;
}

// --- Lookup ---

TEST(LookupTagName, NamesExactMatches) {
    EXPECT_EQ(NameOf(0x4D, 0x6F, 0x64, 0x00), "MI_SIGNATURE");
    EXPECT_EQ(NameOf(0x0A, 0x45, 0x6E, 0x64), "MI_END      ");
    EXPECT_EQ(NameOf(0x0A, 0x55, 0x73, 0x00), "MI_USER     ");
    EXPECT_EQ(NameOf(0x0A, 0x43, 0x62, 0x72), "MI_CHR      ");
    EXPECT_EQ(NameOf(0xFF, 0xFF, 0xFF, 0xFF), "??_UNKNOWN  ");
}

TEST(LookupTagName, FallsBackToTheFourthByte) {
    EXPECT_EQ(NameOf(0x12, 0x34, 0x56, 0x00), "NM_NONAME   ");
    EXPECT_EQ(NameOf(0x10, 0x00, 0x00, 0x31), "NM_LABEL    ");
    EXPECT_EQ(NameOf(0x01, 0x00, 0x00, 0xFF), "NM_ANYNAME  ");
    EXPECT_EQ(NameOf(0x01, 0x02, 0x03, 0xFE), "NM_IMCALL   ");
}

TEST(LookupTagName, NamesWhatMatchesNothingUnknown) {
    EXPECT_EQ(NameOf(0x78, 0x56, 0x34, 0x12), "??_UNKNOWN  ");
    EXPECT_EQ(NameOf(0x41, 0x42, 0x43, 0x44), "??_UNKNOWN  ");
    EXPECT_EQ(NameOf(0x0A, 0x43, 0x68, 0x72), "??_UNKNOWN  ");
    EXPECT_EQ(NameOf(0x0A, 0x45, 0x6E, 0x00), "NM_NONAME   ");
}

TEST(LookupTagName, InspectTagIsNeverShownAsHistory) {
    EXPECT_EQ(NameOf(0x00, 0x00, 0x00, 0x40), "NM_INSPECT  ");
    EXPECT_EQ(NameOf(0x55, 0x00, 0x00, 0x40), "NM_INSPECT  ");
}

TEST(LookupTagName, EveryTableTagGivesItsFirstEntry) {
    for (int i = 0; i < TagNameCount; ++i) {
        const ExpectedEntry& expected = ExpectedTable[i];
        std::string name = expected.name;
        if (name == "NMHISTORY")
            name = "NM_INSPECT";
        SCOPED_TRACE(expected.name);
        EXPECT_EQ(std::string(LookupTagName(TagOfBytes(expected.bytes))), Padded(name));
    }
}

TEST(LookupTagName, EveryFourthByteWithoutExactMatch) {
    // 12 34 56 starts no tag of the table, so only the fourth byte can name these.
    const std::string nmNames[] = {
        "NM_PLUGCMD",
        "NM_LABEL",
        "NM_EXPORT",
        "NM_IMPORT",
        "NM_LIBRARY",
        "NM_CONST",
        "NM_COMMENT",
        "NM_LIBCOMM",
        "NM_BREAK",
        "NM_ARG",
        "NM_ANALYSE",
        "NM_BREAKEXPR",
        "NM_BREAKEXPL",
        "NM_ASSUME",
        "NM_STRUCT",
        "NM_CASE",
        "NM_INSPECT",
        "NM_WATCH",
        "NM_ASM",
        "NM_FINDASM",
        "",
        "",
        "",
        "",
        "NM_LASTWATCH",
        "NM_SOURCE",
        "NM_REFTXT",
        "NM_GOTO",
        "NM_GOTODUMP",
        "NM_TRPAUSE",
    };
    for (int byte = 0; byte <= 0xFF; ++byte) {
        std::string expected = "??_UNKNOWN";
        if (byte == 0x00)
            expected = "NM_NONAME";
        else if (byte == 0xFF)
            expected = "NM_ANYNAME";
        else if (byte == 0xFE)
            expected = "NM_IMCALL";
        else if (byte >= 0x30 && byte <= 0x4D && !nmNames[byte - 0x30].empty())
            expected = nmNames[byte - 0x30];
        SCOPED_TRACE(byte);
        EXPECT_EQ(NameOf(0x12, 0x34, 0x56, static_cast<unsigned char>(byte)), Padded(expected));
    }
}

// --- Signature ---

TEST(IsModuleInfoFile, AcceptsBothSignatureTexts) {
    EXPECT_TRUE(AcceptsSignature(SignatureOnlyFile(SignatureV20)));
    EXPECT_TRUE(AcceptsSignature(SignatureOnlyFile(SignatureV11)));
}

TEST(IsModuleInfoFile, ComparesCaseSensitively) {
    EXPECT_FALSE(AcceptsSignature(SignatureOnlyFile("module info file v2.0")));
    EXPECT_FALSE(AcceptsSignature(SignatureOnlyFile("Module info file V1.1")));
}

TEST(IsModuleInfoFile, RefusesOtherVersions) {
    EXPECT_FALSE(AcceptsSignature(SignatureOnlyFile("Module info file v2.1")));
    EXPECT_FALSE(AcceptsSignature(SignatureOnlyFile("Module info file v1.0")));
}

TEST(IsModuleInfoFile, IgnoresWhatFollowsTheSignature) {
    Bytes file;
    AppendRecord(file, TagSignature,
                 std::string(SignatureV11) + std::string("\xFF\x00 anything", 11));
    EXPECT_TRUE(AcceptsSignature(file));
}

TEST(IsModuleInfoFile, IgnoresTheFirstRecordsTagAndSize) {
    Bytes file;
    AppendHeader(file, 0xFFFFFFFF, 0xFFFFFFFF);
    AppendBytes(file, SignatureV20);
    EXPECT_TRUE(AcceptsSignature(file));
}

TEST(IsModuleInfoFile, RefusesTheSignatureElsewhere) {
    Bytes file;
    AppendHeader(file, TagSignature, 22);
    AppendBytes(file, " ");
    AppendBytes(file, SignatureV20);
    EXPECT_FALSE(AcceptsSignature(file));
}

TEST(IsModuleInfoFile, AcceptsExactlyTwentyNineBytes) {
    Bytes file = SignatureOnlyFile();
    ASSERT_EQ(file.size(), 29u);
    EXPECT_TRUE(IsModuleInfoFile(file.data(), 29));
}

TEST(IsModuleInfoFile, RefusesTwentyEightBytesOfAValidFile) {
    Bytes file = SignatureOnlyFile();
    EXPECT_FALSE(IsModuleInfoFile(file.data(), 28));
    file.resize(28);
    EXPECT_FALSE(AcceptsSignature(file));
}

TEST(IsModuleInfoFile, RefusesAnEmptyFile) {
    EXPECT_FALSE(AcceptsSignature(Bytes()));
}

} // namespace
