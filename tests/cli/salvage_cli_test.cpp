// qefdump --salvage and --repair run for real on files made by hand: what survives, where the
// damage is, and the repaired file read back by qefdump itself.
#include "cli_testing.h"
#include "tools/sample_files.h"

#include <cstdio>

namespace {

using File = std::string;
using Salvage = CliTest;

// MI_VERSION, NM_LABEL and MI_END records, each as its own bytes.
File Record(uint32_t tag, const std::string& data) {
    File record;
    AppendRecord(record, tag, data);
    return record;
}
const File Version = Record(0x7265560A, std::string("\1\2\0\0", 4));
const File Label = Record(0x31000000, "A label of more than sixteen bytes");
const File End = Record(0x646E450A, "");

std::string Json(int number, size_t offset, const char* tag, const char* name, size_t size) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "{\"record\": %d, \"offset\": %zu, \"tag\": \"%s\", \"name\": \"%s\", "
                  "\"size\": %zu}\n",
                  number, offset, tag, name, size);
    return line;
}

TEST_F(Salvage, ADamagedFileIsShownAsItSurvivesAndRepairedToItsIntactRecords) {
    File signature = SignatureFile<File>();
    File junk = Record(0x31000000, "cut");
    junk[4] = junk[5] = junk[6] = '\xFF'; // a size far past the end
    junk += "\xEE\xDD\xCC\xBB\xAA\x99\x88\x77\x66\x55\x44\x33";
    File before = signature + Version + Label;
    File after = End + Label + Version;
    WriteBytes(work_ / "in.qef", before + junk + after);
    size_t damaged = before.size(), resumed = damaged + junk.size();

    // The repaired file is the intact records, byte for byte, and an accepted file.
    Check({{"--salvage --records --json in.qef", 1,
            Json(1, 0, "4D6F6400", "MI_SIGNATURE", 21) + Json(2, 29, "0A566572", "MI_VERSION", 4) +
                Json(3, 41, "00000031", "NM_LABEL", 34) + "{\"damaged\": true, \"offset\": " +
                std::to_string(damaged) + ", \"length\": " + std::to_string(junk.size()) + "}\n" +
                Json(4, resumed, "0A456E64", "MI_END", 0) +
                Json(5, resumed + 8, "00000031", "NM_LABEL", 34) +
                Json(6, resumed + 50, "0A566572", "MI_VERSION", 4),
            "qefdump: in.qef: 1 damaged region, 23 bytes; 6 records intact\n"},
           {"--salvage in.qef", 1},
           {"--repair -o out.qef in.qef", 1, ""},
           {"--salvage --records out.qef", 0}});
    EXPECT_EQ(Run(QEFDUMP_PATH, "--salvage --records in.qef").out.substr(size_t(3) * 60, 48),
              "   damaged  00000053  damaged: 23 bytes at 0x53\n");
    EXPECT_TRUE(ReadText(work_ / "out.qef") == before + after);
    for (std::string stats : {"--stats", "--stats --json"})
        Check({{"--salvage " + stats + " in.qef", 1, Run(QEFDUMP_PATH, stats + " out.qef").out}});

    // The dump: the repaired file's lines, numbered as there, with the region's lines between.
    std::string kept, region;
    for (const std::string& line : Lines(Run(QEFDUMP_PATH, "--salvage in.qef").out))
        (line.starts_with("!DAMAGED! 0x") ? region : kept) += line;
    EXPECT_TRUE(kept == Run(QEFDUMP_PATH, "out.qef").out);
    std::vector<std::string> regionLines = Lines(region);
    ASSERT_EQ(regionLines.size(), 2u);
    EXPECT_EQ(regionLines[0].substr(0, 56),
              "!DAMAGED! 0x00000053    |!!!!!| 00 00 00 31 FF FF FF 00 ");
    EXPECT_EQ(regionLines[1].substr(0, 53),
              "!DAMAGED! 0x00000063    |!!!!!| 99 88 77 66 55 44 33 ");
    EXPECT_EQ(regionLines[1].size(), 103u);
}

// Hits in the intact records are the repaired file's, at their offsets in the damaged one; a
// hit in the damage is told apart, with the region's line of 16 bytes that holds it.
TEST_F(Salvage, FindNumbersHitsAsTheSalvageAndTellsHitsInDamageApart) {
    File before = SignatureFile<File>() + Version + Label;
    File junk = Record(0x31000000, "no label here");
    junk[4] = junk[7] = '\xFF';
    WriteBytes(work_ / "in.qef", before + junk + End + Label);
    WriteBytes(work_ / "repaired.qef", before + End + Label);
    std::vector<std::string> lines = Lines(Run(QEFDUMP_PATH, "--salvage --find label in.qef").out),
                             expected = Lines(Run(QEFDUMP_PATH, "--find label repaired.qef").out);
    ASSERT_TRUE(lines.size() == 3 && expected.size() == 2);
    for (size_t k : {0, 2})
        EXPECT_EQ(lines[k].substr(0, 12) + lines[k].substr(20),
                  expected[k / 2].substr(0, 12) + expected[k / 2].substr(20));
    EXPECT_EQ(lines[1].substr(0, 56), "   damaged  0000005E  (no record)   !DAMAGED! 0x00000053");
    EXPECT_EQ(lines[1].size(), 36u + 102u);
    EXPECT_EQ(lines[2].substr(12, 8), "0000007A"); // past the 21 bytes of damage

    // As grep's: found, in the damage alone too, or not.
    Check({{"--salvage --find-hex 6C6162 --json in.qef", 0,
            "{\"record\": 3, \"offset\": 51, \"tag\": \"00000031\", \"name\": \"NM_LABEL\", "
            "\"length\": 3, \"encoding\": \"hex\", \"pattern\": 1}\n"
            "{\"damaged\": true, \"offset\": 94, \"length\": 3, \"encoding\": \"hex\", "
            "\"pattern\": 1}\n"
            "{\"record\": 5, \"offset\": 122, \"tag\": \"00000031\", \"name\": \"NM_LABEL\", "
            "\"length\": 3, \"encoding\": \"hex\", \"pattern\": 1}\n",
            "qefdump: in.qef: 1 damaged region, 21 bytes; 5 records intact\n"},
           {"--salvage --find-hex FF0000FF in.qef", 0},
           {"--salvage --find nowhere in.qef", 1}});
}

TEST_F(Salvage, RepairRefusesALostSignatureUnlessToldWhichToWrite) {
    Put({{"in.qef", "\x4D\x6F" + Version + Label + End}, {"out.qef", "old\n"}});
    Check({{"--repair -o out.qef in.qef", 2, "",
            "qefdump: in.qef: the signature record is lost; --signature v2.0 or v1.1 says which to "
            "write; nothing is written\n"}});
    EXPECT_TRUE(ReadText(work_ / "out.qef") == "old\n");
    Check({{"--repair --signature v1.1 -o out.qef in.qef", 1, ""}, {"--records out.qef", 0}});
    EXPECT_TRUE(ReadText(work_ / "out.qef") ==
                SignatureFile<File>("Module info file v1.1") + Version + Label + End);
}

TEST_F(Salvage, AWholeFileGivesTheOrdinaryOutputAndMisusesAreUsageErrors) {
    WriteBytes(work_ / "in.qef", SampleBytes(SAMPLE_MIXED, 3, 100000));
    for (std::string mode :
         {"", "--records", "--records --json", "-n offset", "--find-hex 00 -n single"})
        Check({{"--salvage " + mode + " in.qef", 0, Run(QEFDUMP_PATH, mode + " in.qef").out}});
    Check({{"--repair -o out.qef in.qef", 0, "",
            "qefdump: in.qef: 0 damaged regions, 0 bytes; 57 records intact\n"}});
    EXPECT_TRUE(ReadText(work_ / "out.qef") == ReadText(work_ / "in.qef"));
    for (const char* misuse : {"--signature v2.0 in.qef", "--repair --signature v3.0 -o o in.qef",
                               "--salvage --diff in.qef in.qef", "--salvage --tag MI_END in.qef",
                               "--salvage in.qef in.qef", "--salvage --records in.qef in.qef",
                               "--salvage --extract 1 in.qef", "--salvage --find x in.qef in.qef"})
        EXPECT_EQ(Run(QEFDUMP_PATH, misuse).exitCode, 2) << misuse;
}

} // namespace
