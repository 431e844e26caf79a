// The queries of the core against plain models on random files with planted patterns: the
// search against a byte-by-byte comparison at every offset, the selection against the lines of
// the whole dump, the tag counts against a count, the values against the bytes.
#include "dump/byte_search.h"
#include "dump/record_select.h"
#include "dump/tag_count.h"
#include "dump/value_read.h"
#include "tests/support/checks.h"
#include "tests/support/dump_model.h"
#include "tools/sample_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using Bytes = std::vector<unsigned char>;

const uint32_t Tags[] = {0x7265560A, 0x646E450A, 0x31000010, 0xDEADBEEF};
// Texts and their UTF-16LE forms, in either case; U+0141 and U+0161 have letters for low bytes.
const std::string Planted[] = {"Zo\xC3\xAB\xF0\x9D\x84\x9E"s,
                               "zO\xC3\x8B"s,
                               "Z\0o\0\xEB\0\x34\xD8\x1E\xDD"s,
                               "z\0O\0\xCB\0"s,
                               "\0\0\0"s,
                               "Z\xC5\x81"s,
                               "z\0A\x01"s,
                               "Z\0a\x01"s};

// Records of random tags and sizes whose data mixes a small alphabet with planted texts; with
// `large`, amid them a record of more than a megabyte that holds none, past the windows the search
// steps by.
Bytes RandomFile(std::mt19937& random, std::vector<uint32_t>& starts, bool large = false) {
    Bytes file = SignatureFile();
    starts = {0};
    for (int count = int(random() % 40) + large, n = count; n > 0; --n) {
        std::string data = large && n == (count + 1) / 2 ? std::string(1100000, 'O') : "";
        for (uint32_t size = random() % 40; data.size() < size;)
            data += random() % 6 ? std::string(1, "zZoO\xEB\0"[random() % 6])
                                 : Planted[random() % std::size(Planted)];
        starts.push_back(uint32_t(file.size()));
        AppendRecord(file, Tags[random() % std::size(Tags)], data);
    }
    return file;
}

// How many hits `query` has in `file`, every one and the next and previous from `from` held
// against CheckSearch's model.
size_t CheckedHits(const Bytes& file, const SearchQuery& query, bool fold,
                   std::vector<uint32_t> from) {
    RecordIndex index;
    size_t hits = 0;
    EXPECT_TRUE(index.Build(file.data(), uint32_t(file.size())));
    EXPECT_EQ(CheckSearch(file.data(), index, query, fold, std::move(from), &hits), "");
    return hits;
}

TEST(Query, SearchFindsEveryStartAsAComparisonAtEachOffsetDoes) {
    std::mt19937 random(31);
    SearchQuery bad;
    for (const char* hex : {"", " ", "4D6", "4 D", "4G", "0x41"})
        EXPECT_FALSE(ParseHexPattern(hex, bad)) << hex;
    for (const char* text : {"", "\xC3"}) // empty; not UTF-8 (utf8_check.py holds the decoder)
        EXPECT_FALSE(MakeTextQuery(text, false, true, bad)) << text;
    size_t total = 0;
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        std::vector<uint32_t> starts;
        Bytes file = RandomFile(random, starts, round == 5);
        // Across a record's edge, as hex; the planted texts, either case and wide too.
        uint32_t edge = starts[random() % starts.size()] + 2;
        std::string hex;
        for (uint32_t k = edge - 4 + (edge < 4) * 4; k < edge + 2 && k < file.size(); ++k)
            hex += std::string(1, "0123456789abcdef"[file[k] >> 4]) +
                   "0123456789ABCDEF"[file[k] & 15] + (k % 2 ? " " : "");
        SearchQuery query;
        bool fold = round % 3 == 1, wide = round % 3 != 0;
        ASSERT_TRUE(round % 4 == 3
                        ? ParseHexPattern(hex, query)
                        : MakeTextQuery(round % 2 ? "Zo\xC3\xAB\xF0\x9D\x84\x9E" : "z\xC5\x81",
                                        fold, wide, query));
        EXPECT_EQ(query.patterns.back().encoding, round % 4 == 3 ? ENCODING_HEX
                                                  : wide         ? ENCODING_UTF16LE
                                                                 : ENCODING_TEXT);
        // The UTF-16LE form as the compiler writes it.
        EXPECT_TRUE(round % 4 == 3 || !wide ||
                    query.patterns[1].bytes == Planted[round % 2 ? 2 : 6]);
        total += CheckedHits(file, query, fold && round % 4 != 3,
                             {edge, uint32_t(random() % file.size())});
    }
    EXPECT_GT(total, 200u); // the planted patterns are found
}

// At the edges of the planes and of the surrogates, a text's UTF-16LE form is the compiler's.
TEST(Query, TextsTakeTheUtf16FormTheCompilerGives) {
    std::u8string_view text = u8"\u007F\u0080\u07FF\u0800\uD7FF\uE000\uFFFF\U00010000\U0010FFFF";
    std::u16string_view units = u"\u007F\u0080\u07FF\u0800\uD7FF\uE000\uFFFF\U00010000\U0010FFFF";
    std::string expected;
    for (char16_t unit : units)
        expected.append({char(unit & 0xFF), char(unit >> 8)});
    SearchQuery query;
    ASSERT_TRUE(MakeTextQuery({reinterpret_cast<const char*>(text.data()), text.size()}, false,
                              true, query));
    EXPECT_EQ(query.patterns.back().bytes, expected);
}

// Runs of one unit with a few others between them, searched for runs of the same units: where a
// scan that compares each candidate from its start does quadratic work, and the search changes
// its way. Patterns of "A" and "\xC5\x81" (41 01 in UTF-16LE, a letter byte whose case counts)
// in either case, wide or not, and the bytes of the data as hex.
TEST(Query, PeriodicPatternsInRunsAreFoundAsTheModelFindsThem) {
    std::mt19937 random(37);
    const std::string Text[] = {"A", "a", "\xC5\x81", "B"};
    const std::string Data[] = {"A", "a", "A\x01", "a\x01", "a\0"s, "A\0"s, "B", "\0"s};
    auto runs = [&](const std::string* units, size_t kinds, int count, size_t longest) {
        std::string text;
        while (count-- > 0)
            for (size_t unit = random() % kinds, r = 1 + random() % longest; r > 0; --r)
                text += units[unit];
        return text;
    };
    size_t total = 0;
    for (int round = 0; round < 40; ++round) {
        // The last round: "a\xC5\x81" again and again, whose UTF-16LE form folds its 61 and
        // not the 41 of 41 01, in runs of its forms with a run of 61 01 between them.
        bool last = round == 39;
        bool fold = round % 2 || last, wide = round % 4 >= 2 || last, hex = round % 5 == 4 && !last;
        std::string data = runs(Data, round % 3 ? 2 + round % 7 : 8, 20, 400);
        for (int k = 0; k < 900 && last; ++k) // its forms, 300 of them each
            data = (k ? data : "") + (k / 300 == 1 ? "a\0a\x01"s : "A\0A\x01"s);
        Bytes file = SignatureFile();
        AppendRecord(file, Tags[0], data);
        SearchQuery query;
        std::string text =
            last ? "" : runs(Text, round % 3 ? 1 + round % 4 : 4, 1 + round % 3, 120);
        for (int k = 0; k < 60 && last; ++k)
            text += "a\xC5\x81";
        if (hex) {
            std::string digits; // a piece of the data, so that it is found
            for (size_t k = data.size() / 3, end = k + 1 + random() % 300; k < end; ++k)
                digits += std::string(1, "0123456789ABCDEF"[(unsigned char)data[k] >> 4]) +
                          "0123456789ABCDEF"[data[k] & 15];
            ASSERT_TRUE(ParseHexPattern(digits, query));
        } else {
            ASSERT_TRUE(MakeTextQuery(text, fold, wide, query));
        }
        SCOPED_TRACE(round);
        total += CheckedHits(file, query, fold && !hex, {uint32_t(random() % file.size())});
    }
    EXPECT_GT(total, 1000u);
}

TEST(Query, SelectedRecordsAreTheirLinesOfTheWholeDumpAndTheirTagsCount) {
    std::mt19937 random(29);
    RecordSelection bad;
    for (const char* range : {"", "0", "3-2", "-", "x", "1-2-3", "99999999999", "1,", ",1", "1,,2",
                              "99999999999-", "0-3", "2-x", "1 ,2"})
        EXPECT_FALSE(ParseRecordRanges(range, bad)) << range;
    EXPECT_TRUE(bad.ranges.empty());
    for (const char* tag : {"", "MI_VERSIO", "0A56657", "0A56657G", "mi_version"})
        EXPECT_FALSE(ParseTagChoice(tag, bad)) << tag;
    // A whole name (--tag), or part of one (the page's Find), in any case.
    EXPECT_TRUE(TagNameMatches(Tags[0], "mi_Version", false) &&
                TagNameMatches(Tags[2], "m_lab", true));
    EXPECT_FALSE(TagNameMatches(Tags[0], "MI_VERSIO", false) ||
                 TagNameMatches(Tags[1], "MI_ENDX", true));
    for (int round = 0; round < 40; ++round) {
        std::vector<uint32_t> starts;
        Bytes file = RandomFile(random, starts);
        // Round 18 selects all: more tags than the counts' first table holds, each met twice.
        for (uint32_t k = 0; k < 3000 && round == 18; ++k) {
            starts.push_back(uint32_t(file.size()));
            AppendRecord(file, k % 1500 * 0x01000193u, std::string(k % 3, 'x'));
        }
        uint32_t length = uint32_t(file.size()), count = uint32_t(starts.size());
        // Up to two --record lists of each form of range, and up to two tags.
        RecordSelection selection;
        std::vector<RecordSelection::Range> ranges;
        for (int option = 0; option < round % 3; ++option) {
            std::string list;
            for (int item = 0, items = 1 + int(random() % 3); item < items; ++item) {
                uint32_t first = 1 + random() % count, last = first + random() % 4;
                std::string n = std::to_string(first), m = std::to_string(last);
                const std::pair<std::string, RecordSelection::Range> Forms[] = {
                    {std::string(n).append("-").append(m), {first, last}},
                    {n, {first, first}},
                    {n + "-", {first, UINT32_MAX}},
                    {"-" + m, {1, last}},
                    {n + "-99999999999", {first, UINT32_MAX}}};
                auto [text, range] = Forms[random() % 5];
                list += (item ? "," : "") + text;
                ranges.push_back(range);
            }
            ASSERT_TRUE(ParseRecordRanges(list, selection)) << list;
        }
        const char* tags[] = {"MI_VERSION", "0A456E64", "NM_LABEL", "", "EFBEADDE"};
        int tag1 = round % 5, tag2 = round % 2 ? (round + 2) % 5 : 3;
        ASSERT_TRUE(tag1 == 3 || ParseTagChoice(tags[tag1], selection));
        ASSERT_TRUE(tag2 == 3 || ParseTagChoice(tags[tag2], selection));
        auto hasTag = [&](int choice, const std::string& name, uint32_t tag) {
            return name == tags[choice] || (choice == 1 && tag == Tags[1]) ||
                   (choice == 4 && tag == Tags[3]);
        };
        for (Numeration mode : {NUMERATION_SINGLE, NUMERATION_MULTI, NUMERATION_OFFSET}) {
            std::string whole = DumpByModel(file.data(), length, mode).text, expected;
            std::vector<TagCount> counted;
            for (uint32_t k = 0, line = 0; k < count; ++k) {
                uint32_t end = k + 1 < count ? starts[k + 1] : length;
                uint32_t tag, size = end - starts[k] - 8, lines = size ? (size + 15) / 16 : 1;
                std::memcpy(&tag, &file[starts[k]], 4);
                std::string name = ModelTagName(tag);
                name.erase(name.find_last_not_of(' ') + 1);
                bool chosen =
                    (ranges.empty() ||
                     std::any_of(ranges.begin(), ranges.end(),
                                 [k](auto& r) { return k + 1 >= r.first && k + 1 <= r.last; })) &&
                    ((tag1 == 3 && tag2 == 3) || hasTag(tag1, name, tag) ||
                     hasTag(tag2, name, tag));
                if (chosen) {
                    expected +=
                        whole.substr(size_t(line) * DumpLineLength, size_t(lines) * DumpLineLength);
                    auto known = std::find_if(counted.begin(), counted.end(),
                                              [tag](const TagCount& c) { return c.tag == tag; });
                    if (known == counted.end())
                        known = counted.insert(counted.end(), {tag, k, 0, 0});
                    known->records += 1;
                    known->bytes += size;
                }
                line += lines;
            }
            std::string text;
            ForEachSelectedRun(file.data(), length, selection, [&](const DumpRun& run) {
                std::string lines(size_t(run.end / 8 + 1) * DumpLineLength, '\0');
                WriteDumpLines(run, mode, lines.data(), lines.size(), nullptr, nullptr);
                text += lines.substr(0, lines.find('\0'));
                return true;
            });
            EXPECT_EQ(text, expected) << round << " mode " << mode;
            std::vector<TagCount> counts;
            ASSERT_TRUE(CountTags(file.data(), length, selection, counts));
            EXPECT_TRUE(std::equal(counts.begin(), counts.end(), counted.begin(), counted.end(),
                                   [](const TagCount& a, const TagCount& b) {
                                       return a.tag == b.tag && a.first == b.first &&
                                              a.records == b.records && a.bytes == b.bytes;
                                   }))
                << round;
        }
    }
}

// Numbers read by arithmetic from their bits, not by the machine: `value` of `width` bytes as
// two's complement; sign, exponent and fraction of a binary floating-point number.
int64_t Signed(uint64_t value, uint32_t width) {
    if (width == 8)
        return int64_t(value); // converted modulo 2^64
    int64_t whole = int64_t(1) << (8 * width);
    return int64_t(value) >= whole / 2 ? int64_t(value) - whole : int64_t(value);
}

double Ieee(uint64_t bits, int exponentBits, int fractionBits) {
    uint64_t fraction = bits & ((uint64_t(1) << fractionBits) - 1);
    int top = (1 << exponentBits) - 1, exponent = int(bits >> fractionBits) & top;
    double size = exponent == top
                      ? (fraction ? NAN : INFINITY)
                      : std::ldexp(double(fraction) + (exponent ? std::ldexp(1, fractionBits) : 0),
                                   std::max(exponent, 1) - top / 2 - fractionBits);
    return bits >> (exponentBits + fractionBits) & 1 ? -size : size;
}

bool SameNumber(double got, double expected) {
    return got == expected ? std::signbit(got) == std::signbit(expected)
                           : std::isnan(got) && std::isnan(expected);
}

TEST(Query, ValuesAtAnOffsetAreItsBytesReadEachWay) {
    Bytes file = SignatureFile();
    AppendRecord(file, Tags[0], "\x81\x02\x03\x04\x05\x06\x07\xF8"s);
    AppendRecord(file, Tags[1], "A\0\xE9\0\x34\xD8\x1E\xDD\x00\xD8z\0\0\0q"s);
    AppendRecord(file, Tags[2], "\x01\0\0\0\0\0\x80\x7F\xF0\xFF\0\0\x80\xFF\xFF"s);
    RecordIndex index;
    ASSERT_TRUE(index.Build(file.data(), uint32_t(file.size())));
    for (uint32_t offset = 0; offset < file.size(); ++offset) {
        ValuesAt values;
        ASSERT_TRUE(ReadValuesAt(index, offset, 64, values));
        const uint32_t Ends[] = {29, 45, 68, 91}; // of the records
        uint32_t record = uint32_t(std::upper_bound(Ends, Ends + 4, offset) - Ends),
                 end = Ends[record];
        ASSERT_EQ(values.record, record);
        ASSERT_EQ(values.available, end - offset);
        for (int w = 0; w < ValueWidthCount; ++w) {
            uint32_t width = ValueWidths[w];
            uint64_t little = 0, big = 0;
            for (uint32_t k = 0; k < width && width <= end - offset; ++k) {
                little |= uint64_t(file[offset + k]) << 8 * k;
                big = big << 8 | file[offset + k];
            }
            EXPECT_EQ(values.fits[w], width <= end - offset);
            EXPECT_TRUE(values.little[w] == little && values.big[w] == big) << offset << " " << w;
            EXPECT_TRUE(values.signedLittle[w] == Signed(little, width) &&
                        values.signedBig[w] == Signed(big, width))
                << offset << " " << w;
        }
        EXPECT_TRUE(SameNumber(values.float32Little, Ieee(values.little[2], 8, 23)) &&
                    SameNumber(values.float32Big, Ieee(values.big[2], 8, 23)) &&
                    SameNumber(values.float64Little, Ieee(values.little[3], 11, 52)) &&
                    SameNumber(values.float64Big, Ieee(values.big[3], 11, 52)))
            << offset;
        EXPECT_EQ(values.ascii,
                  std::string(reinterpret_cast<const char*>(&file[offset]),
                              strnlen(reinterpret_cast<const char*>(&file[offset]), end - offset)));
    }
    ValuesAt text, cut;
    ASSERT_TRUE(ReadValuesAt(index, 53, 64, text) && ReadValuesAt(index, 53, 3, cut));
    EXPECT_EQ(text.utf16, "A\xC3\xA9\xF0\x9D\x84\x9E\xEF\xBF\xBDz");
    EXPECT_EQ(cut.utf16, "A");
    EXPECT_FALSE(ReadValuesAt(index, uint32_t(file.size()), 64, text));
}

} // namespace
