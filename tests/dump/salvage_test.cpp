// The salvage walk against the bytes: whole files give the ordinary walk's records, damaged
// ones the records built around their damage, and the spans always tile the file.
#include "dump/byte_search.h"
#include "dump/salvage.h"
#include "dump/salvage_text.h"
#include "tests/support/checks.h"
#include "tools/damaged_files.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// What VisitSalvage hands on: each record's place and size, each damaged region's place and
// length.
struct Seen {
    uint32_t offset, record, line, size;
    bool operator==(const Seen&) const = default;
};
struct Found {
    std::vector<Seen> records;
    std::vector<std::pair<uint32_t, uint32_t>> regions;
};

Found Salvaged(const Bytes& file, Salvage& salvage) {
    EXPECT_TRUE(SalvageFile(file.data(), uint32_t(file.size()), salvage));
    EXPECT_EQ(CheckSalvage(file.data(), uint32_t(file.size()), salvage), "");
    Found found;
    VisitSalvage(
        file.data(), salvage,
        [&](const Record& r) {
            found.records.push_back({r.at.offset, r.at.record, r.at.line, r.size});
            return true;
        },
        [&](const SalvageSpan& span) {
            found.regions.emplace_back(span.at.offset, span.length);
            return true;
        });
    return found;
}

// A whole file is its own repair.
TEST(Salvage, AWholeFileGivesExactlyTheOrdinaryRecords) {
    for (SampleShape shape : {SAMPLE_MIXED, SAMPLE_ONE_RECORD, SAMPLE_EMPTY_RECORDS}) {
        Bytes file = GenerateSample(shape, 7, 300000);
        std::vector<Seen> ordinary;
        WalkRecords(file.data(), uint32_t(file.size()), {}, [&](const Record& r) {
            ordinary.push_back({r.at.offset, r.at.record, r.at.line, r.size});
            return true;
        });
        Salvage salvage;
        EXPECT_TRUE(Salvaged(file, salvage).records == ordinary);
        EXPECT_TRUE(SignatureSurvived(file.data(), uint32_t(file.size()), salvage));
        EXPECT_EQ(RepairedLength(file.data(), uint32_t(file.size()), salvage), file.size());
    }
}

// The repair keeps the bytes outside the regions, counted here from where they were cut.
TEST(Salvage, RecordsStartAgainAfterJunkAndATruncatedTail) {
    Bytes file = SignatureFile();
    AppendRecord(file, 0x7265560A, std::string("\x01\x02\x00\x00", 4));
    uint32_t junk = uint32_t(file.size());
    AppendRecord(file, 0x31000000, "label", 0x7FFFFFFF); // its size runs past the end
    file.insert(file.end(), {0xFF, 0xEE, 0xDD});
    uint32_t resumed = uint32_t(file.size());
    AppendRecord(file, 0x646E450A, "");
    AppendRecord(file, 0x31000000, "A longer label, of more than sixteen bytes");
    AppendRecord(file, 0x30000000, "cmd");
    AppendRecord(file, 0x7265560A, "");
    uint32_t cut = uint32_t(file.size());
    AppendRecord(file, 0x31000000, "cut short");
    file.resize(file.size() - 3);

    Salvage salvage;
    Found found = Salvaged(file, salvage);
    ASSERT_EQ(found.records.size(), 6u);
    EXPECT_EQ(found.regions, (std::vector<std::pair<uint32_t, uint32_t>>{
                                 {junk, resumed - junk}, {cut, uint32_t(file.size()) - cut}}));
    // Numbered in the order found; the lines after a region count its lines.
    EXPECT_TRUE(found.records[2] == (Seen{resumed, 2, 3 + (resumed - junk + 15) / 16, 0}));
    EXPECT_EQ(found.records[3].size, 42u);
    EXPECT_EQ(RepairedLength(file.data(), uint32_t(file.size()), salvage), junk + cut - resumed);
}

// Without its signature the repair gains one: a header and the signature's 21 bytes.
TEST(Salvage, ZerosAfterABreakAreDamageAndALostSignatureIsTold) {
    Bytes file{0x4D, 0x6F, 0x64};
    AppendRecord(file, 0x31000000, "label", 0xFFFFFFFF);
    file.resize(file.size() + 20);
    uint32_t resumed = uint32_t(file.size());
    AppendRecord(file, 0x7265560A, "abc");
    Salvage salvage;
    Found found = Salvaged(file, salvage);
    EXPECT_EQ(found.regions, (std::vector<std::pair<uint32_t, uint32_t>>{{0, resumed}}));
    EXPECT_TRUE(found.records == (std::vector<Seen>{{resumed, 0, (resumed + 15) / 16, 3}}));
    EXPECT_FALSE(SignatureSurvived(file.data(), uint32_t(file.size()), salvage));
    EXPECT_EQ(RepairedLength(file.data(), uint32_t(file.size()), salvage),
              8 + 21 + file.size() - resumed);

    Bytes empty;
    EXPECT_TRUE(SalvageFile(empty.data(), 0, salvage));
    EXPECT_TRUE(salvage.spans.empty() && salvage.Whole());
}

// The goals on a small corpus; `make bench` prints them on a larger one.
TEST(Salvage, FindsWhatSurvivesEachKindOfDamage) {
    for (int kind = 0; kind < DamageKindCount; ++kind) {
        SalvageScore total;
        for (SampleShape shape : {SAMPLE_MIXED, SAMPLE_ONE_RECORD, SAMPLE_EMPTY_RECORDS}) {
            SalvageScore score;
            ASSERT_TRUE(ScoreCorpus(shape, DamageKind(kind), 6, 65536, 1900000, score));
            total.Add(score);
        }
        SCOPED_TRACE(DamageKindName(DamageKind(kind)));
        EXPECT_GT(total.survivors, 0u);
        EXPECT_GE(total.Recall(), 0.99);
        EXPECT_GE(total.Precision(), 0.995);
    }
}

// Each kind of damage to one sample. The corpus's claims against the bytes: a survivor is a
// record of the sample before the damage, the same bytes, wherever it moved. The search over the
// spans as pieces of the file, what --salvage --find reads: every start of the pattern in the
// bytes, each with the span that holds its first byte.
TEST(Salvage, EachKindOfDamageKeepsItsSurvivorsAndTheSearchNamesTheirSpans) {
    Bytes original = GenerateSample(SAMPLE_MIXED, 3, 50000);
    std::string text(original.begin(), original.end());
    SearchQuery query;
    ASSERT_TRUE(ParseHexPattern("00 00", query));
    for (int kind = 0; kind < DamageKindCount; ++kind) {
        SCOPED_TRACE(DamageKindName(DamageKind(kind)));
        DamagedFile file = DamageSample(SAMPLE_MIXED, 3, 50000, DamageKind(kind));
        EXPECT_NE(file.bytes, original);
        size_t searched = 0;
        for (const SurvivingRecord& record : file.survivors) {
            std::string bytes(file.bytes.begin() + record.offset,
                              file.bytes.begin() + record.offset + record.length);
            EXPECT_EQ(ReadUint32Le(file.bytes.data() + record.offset + 4) + RecordHeaderSize,
                      record.length);
            size_t found = text.find(bytes, searched);
            ASSERT_NE(found, std::string::npos);
            searched = found + 1;
        }
        Salvage salvage;
        ASSERT_TRUE(SalvageFile(file.bytes.data(), uint32_t(file.bytes.size()), salvage));
        std::vector<uint32_t> starts;
        for (const SalvageSpan& span : salvage.spans)
            starts.push_back(span.at.offset);
        RecordIndex pieces;
        ASSERT_TRUE(pieces.BuildPieces(file.bytes.data(), starts.data(), uint32_t(starts.size()),
                                       uint32_t(file.bytes.size())));
        size_t hits = 0;
        EXPECT_EQ(CheckSearch(file.bytes.data(), pieces, query, false, {}, &hits, starts), "");
        EXPECT_GT(hits, 0u);
    }
}

} // namespace
