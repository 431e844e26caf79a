// The sample generator: every shape a well-formed, signed file of exactly the size asked for,
// the same for the same seed on every platform, and the program writing what the library makes.
#include "tests/cli/cli_testing.h"

#include "dump/formatter.h"
#include "dump/module_info.h"
#include "tests/support/sample_files.h"

namespace {

// FNV-1a: pins the generator's output across compilers and standard libraries.
uint64_t Fingerprint(const Bytes& bytes) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (unsigned char byte : bytes)
        hash = (hash ^ byte) * 0x100000001B3ull;
    return hash;
}

TEST(SampleFiles, AreSignedWellFormedAndOfExactlyTheSize) {
    for (SampleShape shape : {SAMPLE_MIXED, SAMPLE_ONE_RECORD, SAMPLE_EMPTY_RECORDS}) {
        for (uint32_t size : {29u, 30u, 36u, 37u, 45u, 123457u}) {
            Bytes file = GenerateSample(shape, 11, size);
            ASSERT_EQ(file.size(), size);
            EXPECT_TRUE(IsModuleInfoFile(file.data(), size));
            EXPECT_TRUE(PlanDump(file.data(), size).complete) << shape << " " << size;
            EXPECT_TRUE(GenerateSample(shape, 11, size) == file);
        }
    }
}

TEST(SampleFiles, KeepTheirBytesAcrossPlatformsAndDifferBySeed) {
    EXPECT_EQ(Fingerprint(GenerateSample(SAMPLE_MIXED, 1, 100000)), 0xB0368664BFB34C78ull);
    EXPECT_EQ(Fingerprint(GenerateSample(SAMPLE_EMPTY_RECORDS, 1, 100000)), 0x17E1FAB644AC6B3Aull);
    EXPECT_FALSE(GenerateSample(SAMPLE_MIXED, 1, 10000) == GenerateSample(SAMPLE_MIXED, 2, 10000));
}

TEST_F(CliTest, QefgenWritesTheChosenSampleAndRefusesATooSmallSize) {
    CommandResult result = Run(QEFGEN_PATH, "--shape empty-records --seed 5 --size 5000 -o s.qef");
    EXPECT_EQ(result.exitCode, 0);
    Bytes sample = GenerateSample(SAMPLE_EMPTY_RECORDS, 5, 5000);
    EXPECT_TRUE(ReadFileText(folder_ / "s.qef") == std::string(sample.begin(), sample.end()));
    Bytes standard = GenerateSample(SAMPLE_MIXED, 1, 1000000);
    EXPECT_TRUE(Run(QEFGEN_PATH, "").out == std::string(standard.begin(), standard.end()));
    EXPECT_EQ(Run(QEFGEN_PATH, "--size 28").exitCode, 2);
}

} // namespace
