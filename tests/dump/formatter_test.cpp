// The dump text: the worked examples, line geometry, numbering and the character column.
#include "dump/formatter.h"
#include "tests/dump/dump_testing.h"
#include "tests/support/recording_target.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using FormatterTest = NumerationTest;

const std::string SignatureLine21 = "00000001: MI_SIGNATURE  |00021| 4D 6F 64 75 6C 65 20 69 - 6E "
                                    "66 6F 20 66 69 6C 65 | Module info file ";
const std::string SignatureTailLine21 = "00000001: MI_SIGNATURE  |    1| 20 76 32 2E 30          - "
                                        "                        |  v2.0            ";

TEST(NumerationModeSetting, StartsAsMulti) {
    EXPECT_EQ(NumerationMode, NUMERATION_MULTI);
}

// --- The three-record example ---

TEST_F(FormatterTest, ThreeRecordsInMultiMode) {
    EXPECT_EQ(DumpText(ThreeRecordFile(), NUMERATION_MULTI),
              JoinLines({
                  "00000001: MI_SIGNATURE  |00032| 4D 6F 64 75 6C 65 20 69 - 6E 66 6F 20 66 69 6C "
                  "65 | Module info file ",
                  "00000001: MI_SIGNATURE  |    1| 20 76 32 2E 30 00 00 00 - 00 00 00 00 00 00 00 "
                  "00 |  v2.0........... ",
                  "00000002: MI_VERSION    |00004| 01 02 00 00             -                       "
                  "  | ....             ",
                  "00000003: MI_END        |00000|                         -                       "
                  "  |                  ",
              }));
}

TEST_F(FormatterTest, ThreeRecordsInSingleMode) {
    EXPECT_EQ(DumpText(ThreeRecordFile(), NUMERATION_SINGLE),
              JoinLines({
                  "00000001: MI_SIGNATURE  |00032| 4D 6F 64 75 6C 65 20 69 - 6E 66 6F 20 66 69 6C "
                  "65 | Module info file ",
                  "00000002: MI_SIGNATURE  |     | 20 76 32 2E 30 00 00 00 - 00 00 00 00 00 00 00 "
                  "00 |  v2.0........... ",
                  "00000003: MI_VERSION    |00004| 01 02 00 00             -                       "
                  "  | ....             ",
                  "00000004: MI_END        |00000|                         -                       "
                  "  |                  ",
              }));
}

TEST_F(FormatterTest, ThreeRecordsInOffsetMode) {
    EXPECT_EQ(DumpText(ThreeRecordFile(), NUMERATION_OFFSET),
              JoinLines({
                  "00000008: MI_SIGNATURE  |00032| 4D 6F 64 75 6C 65 20 69 - 6E 66 6F 20 66 69 6C "
                  "65 | Module info file ",
                  "00000024: MI_SIGNATURE  |     | 20 76 32 2E 30 00 00 00 - 00 00 00 00 00 00 00 "
                  "00 |  v2.0........... ",
                  "00000048: MI_VERSION    |00004| 01 02 00 00             -                       "
                  "  | ....             ",
                  "00000060: MI_END        |00000|                         -                       "
                  "  |                  ",
              }));
}

// --- The character example: a v1.1 signature, odd bytes and a 17-byte record ---

TEST_F(FormatterTest, CharactersInMultiMode) {
    EXPECT_EQ(DumpText(CharacterFile(), NUMERATION_MULTI),
              JoinLines({
                  "00000001: MI_SIGNATURE  |00032| 4D 6F 64 75 6C 65 20 69 - 6E 66 6F 20 66 69 6C "
                  "65 | Module info file ",
                  "00000001: MI_SIGNATURE  |    1| 20 76 31 2E 31 7F 80 FF - 1F 20 7E 00 00 00 00 "
                  "00 |  v1.1.... ~..... ",
                  "00000002: NM_LABEL      |00017| 41 42 43 44 45 46 47 48 - 49 4A 4B 4C 4D 4E 4F "
                  "50 | ABCDEFGHIJKLMNOP ",
                  "00000002: NM_LABEL      |    1| 51                      -                       "
                  "  | Q                ",
              }));
}

TEST_F(FormatterTest, CharactersInSingleMode) {
    EXPECT_EQ(DumpText(CharacterFile(), NUMERATION_SINGLE),
              JoinLines({
                  "00000001: MI_SIGNATURE  |00032| 4D 6F 64 75 6C 65 20 69 - 6E 66 6F 20 66 69 6C "
                  "65 | Module info file ",
                  "00000002: MI_SIGNATURE  |     | 20 76 31 2E 31 7F 80 FF - 1F 20 7E 00 00 00 00 "
                  "00 |  v1.1.... ~..... ",
                  "00000003: NM_LABEL      |00017| 41 42 43 44 45 46 47 48 - 49 4A 4B 4C 4D 4E 4F "
                  "50 | ABCDEFGHIJKLMNOP ",
                  "00000004: NM_LABEL      |     | 51                      -                       "
                  "  | Q                ",
              }));
}

TEST_F(FormatterTest, CharactersInOffsetMode) {
    EXPECT_EQ(DumpText(CharacterFile(), NUMERATION_OFFSET),
              JoinLines({
                  "00000008: MI_SIGNATURE  |00032| 4D 6F 64 75 6C 65 20 69 - 6E 66 6F 20 66 69 6C "
                  "65 | Module info file ",
                  "00000024: MI_SIGNATURE  |     | 20 76 31 2E 31 7F 80 FF - 1F 20 7E 00 00 00 00 "
                  "00 |  v1.1.... ~..... ",
                  "00000048: NM_LABEL      |00017| 41 42 43 44 45 46 47 48 - 49 4A 4B 4C 4D 4E 4F "
                  "50 | ABCDEFGHIJKLMNOP ",
                  "00000064: NM_LABEL      |     | 51                      -                       "
                  "  | Q                ",
              }));
}

// --- Lines per record ---

TEST_F(FormatterTest, SignatureOnlyFileGivesTwoLines) {
    EXPECT_EQ(DumpText(SignatureOnlyFile(), NUMERATION_MULTI),
              JoinLines({SignatureLine21, SignatureTailLine21}));
}

TEST_F(FormatterTest, EmptyRecordGivesOneBlankLine) {
    Bytes file = SignatureOnlyFile();
    AppendRecord(file, TagVersion, "");
    EXPECT_EQ(DumpText(file, NUMERATION_MULTI),
              JoinLines({SignatureLine21, SignatureTailLine21,
                         "00000002: MI_VERSION    |00000|                         -               "
                         "          |                  "}));
}

TEST_F(FormatterTest, SixteenByteRecordGivesOneLine) {
    Bytes file = SignatureOnlyFile();
    AppendRecord(file, TagVersion, "0123456789ABCDEF");
    EXPECT_EQ(DumpText(file, NUMERATION_MULTI),
              JoinLines({SignatureLine21, SignatureTailLine21,
                         "00000002: MI_VERSION    |00016| 30 31 32 33 34 35 36 37 - 38 39 41 42 43 "
                         "44 45 46 | 0123456789ABCDEF "}));
}

TEST_F(FormatterTest, SeventeenByteRecordGivesTwoLines) {
    Bytes file = SignatureOnlyFile();
    AppendRecord(file, TagEnd, "0123456789ABCDEFG");
    EXPECT_EQ(DumpText(file, NUMERATION_MULTI),
              JoinLines({SignatureLine21, SignatureTailLine21,
                         "00000002: MI_END        |00017| 30 31 32 33 34 35 36 37 - 38 39 41 42 43 "
                         "44 45 46 | 0123456789ABCDEF ",
                         "00000002: MI_END        |    1| 47                      -               "
                         "          | G                "}));
}

// --- Geometry ---

// Records of every size from 0 to 48 under assorted tags, in every mode.
TEST_F(FormatterTest, EveryLineKeepsTheFixedColumns) {
    Bytes file = SignatureOnlyFile();
    const uint32_t tags[] = {TagVersion, TagEnd, TagLabelByTopByte, 0x12345678, 0};
    for (uint32_t size = 0; size <= 48; ++size)
        AppendFilledRecord(file, tags[size % 5], size, static_cast<unsigned char>(0xF0 + size));
    for (Numeration mode : {NUMERATION_SINGLE, NUMERATION_MULTI, NUMERATION_OFFSET}) {
        SCOPED_TRACE(mode);
        std::string text = DumpText(file, mode);
        ASSERT_EQ(text.size() % DumpLineLength, 0u);
        // 2 signature lines, then 1 line each for sizes 0 to 16, 2 for 17 to 32, 3 for 33 to 48.
        ASSERT_EQ(text.size() / DumpLineLength, 2u + 17 + 2 * 16 + 3 * 16);
        for (const std::string& line : SplitLines(text)) {
            SCOPED_TRACE(line);
            EXPECT_EQ(line.substr(8, 2), ": ");
            EXPECT_EQ(line.substr(22, 3), "  |");
            EXPECT_EQ(line[30], '|');
            EXPECT_EQ(line[31], ' ');
            EXPECT_EQ(line.substr(55, 3), " - ");
            EXPECT_EQ(line.substr(81, 3), " | ");
            EXPECT_EQ(line.substr(100), " \r\n");
        }
    }
}

TEST_F(FormatterTest, CharacterColumnShowsOnlyPrintableAscii) {
    Bytes file = SignatureOnlyFile();
    std::string everyByte;
    for (int byte = 0; byte <= 0xFF; ++byte)
        everyByte += static_cast<char>(byte);
    AppendRecord(file, 0, everyByte);
    std::vector<std::string> lines = SplitLines(DumpText(file, NUMERATION_MULTI));
    ASSERT_EQ(lines.size(), 2u + 16);
    const std::string dots(16, '.');
    const std::string expected[16] = {
        dots,
        dots,
        " !\"#$%&'()*+,-./",
        "0123456789:;<=>?",
        "@ABCDEFGHIJKLMNO",
        "PQRSTUVWXYZ[\\]^_",
        "`abcdefghijklmno",
        "pqrstuvwxyz{|}~.",
        dots,
        dots,
        dots,
        dots,
        dots,
        dots,
        dots,
        dots,
    };
    for (int row = 0; row < 16; ++row)
        EXPECT_EQ(lines[2 + row].substr(84, 16), expected[row]) << "row " << row;
    EXPECT_EQ(lines[9],
              "00000002: NM_NONAME     |    7| 70 71 72 73 74 75 76 77 - 78 79 7A 7B 7C 7D "
              "7E 7F | pqrstuvwxyz{|}~. \r\n");
    EXPECT_EQ(lines[17], "00000002: NM_NONAME     |   15| F0 F1 F2 F3 F4 F5 F6 F7 - F8 F9 FA FB FC "
                         "FD FE FF | ................ \r\n");
}

// --- Numbers wider than their field ---

TEST_F(FormatterTest, SixDigitSizeCoversTheBarOfTheFirstLineOnly) {
    Bytes file = SignatureOnlyFile();
    AppendFilledRecord(file, 0, 123456, 'A');
    std::vector<std::string> lines = SplitLines(DumpText(file, NUMERATION_MULTI));
    ASSERT_EQ(lines.size(), 2u + 7716);
    EXPECT_EQ(lines[2],
              "00000002: NM_NONAME     123456| 41 41 41 41 41 41 41 41 - 41 41 41 41 41 41 "
              "41 41 | AAAAAAAAAAAAAAAA \r\n");
    EXPECT_EQ(lines[3],
              "00000002: NM_NONAME     |    1| 41 41 41 41 41 41 41 41 - 41 41 41 41 41 41 "
              "41 41 | AAAAAAAAAAAAAAAA \r\n");
    EXPECT_EQ(lines.back(), "00000002: NM_NONAME     | 7715| 41 41 41 41 41 41 41 41 - 41 41 41 41 "
                            "41 41 41 41 | AAAAAAAAAAAAAAAA \r\n");
}

TEST_F(FormatterTest, SubLineHundredThousandReachesIntoTheBar) {
    std::vector<std::string> lines =
        SplitLines(DumpText(OneBigRecordFile(1600016), NUMERATION_MULTI));
    ASSERT_EQ(lines.size(), 100001u);
    EXPECT_EQ(lines[0],
              "00000001: MI_SIGNATURE 1600016| 4D 6F 64 75 6C 65 20 69 - 6E 66 6F 20 66 69 "
              "6C 65 | Module info file \r\n");
    EXPECT_EQ(lines[1],
              "00000001: MI_SIGNATURE  |    1| 20 76 32 2E 30 00 00 00 - 00 00 00 00 00 00 "
              "00 00 |  v2.0........... \r\n");
    EXPECT_EQ(lines[99999], "00000001: MI_SIGNATURE  |99999| 00 00 00 00 00 00 00 00 - 00 00 00 00 "
                            "00 00 00 00 | ................ \r\n");
    EXPECT_EQ(lines[100000],
              "00000001: MI_SIGNATURE  100000| 00 00 00 00 00 00 00 00 - 00 00 00 00 "
              "00 00 00 00 | ................ \r\n");
}

TEST_F(FormatterTest, EightDigitOffsetsFillTheNumberColumn) {
    Bytes file = OneBigRecordFile(10000016);
    ASSERT_EQ(file.size(), 10000024u);
    std::vector<std::string> lines = SplitLines(DumpText(file, NUMERATION_OFFSET));
    ASSERT_EQ(lines.size(), 625001u);
    // The eight-digit size also runs left over the bar and the two spaces before it.
    EXPECT_EQ(lines[0],
              "00000008: MI_SIGNATURE10000016| 4D 6F 64 75 6C 65 20 69 - 6E 66 6F 20 66 69 "
              "6C 65 | Module info file \r\n");
    EXPECT_EQ(lines[624999],
              "09999992: MI_SIGNATURE  |     | 00 00 00 00 00 00 00 00 - 00 00 00 00 "
              "00 00 00 00 | ................ \r\n");
    EXPECT_EQ(lines[625000],
              "10000008: MI_SIGNATURE  |     | 00 00 00 00 00 00 00 00 - 00 00 00 00 "
              "00 00 00 00 | ................ \r\n");
}

} // namespace
