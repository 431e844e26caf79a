// Built with SSSE3 enabled (see dump/CMakeLists.txt); only called after the processor has
// been asked.
#include "dump/line_kernel.h"

#if defined(__SSSE3__) || (defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86)))

#include <tmmintrin.h>

namespace {

// Every data column of a full line comes from one of three 16-byte vectors, or is the
// template's own character: A holds the hex digits of bytes 0 to 7, B those of bytes 8 to 15,
// C the bytes as shown characters.
enum Source { FROM_TEMPLATE, FROM_A, FROM_B, FROM_C };

struct ColumnSource {
    Source source;
    int index;
};

constexpr ColumnSource SourceOf(size_t column) {
    if (column >= HexColumn && column < HexColumn + 23 && (column - HexColumn) % 3 != 2) {
        size_t j = column - HexColumn;
        return {FROM_A, int(2 * (j / 3) + j % 3)};
    }
    if (column >= HexHighHalfColumn && column < HexHighHalfColumn + 23 &&
        (column - HexHighHalfColumn) % 3 != 2) {
        size_t j = column - HexHighHalfColumn;
        return {FROM_B, int(2 * (j / 3) + j % 3)};
    }
    if (column >= CharColumn && column < CharColumn + BytesPerLine)
        return {FROM_C, int(column - CharColumn)};
    return {FROM_TEMPLATE, 0};
}

// A shuffle control that picks the columns from `window` on that come from `source` and
// zeroes the rest; with FROM_TEMPLATE, the template's characters instead.
struct alignas(16) Shuffle {
    unsigned char bytes[16];
};

constexpr Shuffle MakeShuffle(size_t window, Source source) {
    Shuffle shuffle{};
    for (size_t i = 0; i < 16; ++i) {
        ColumnSource from = SourceOf(window + i);
        if (source == FROM_TEMPLATE)
            shuffle.bytes[i] =
                from.source == FROM_TEMPLATE ? (unsigned char)HeaderLineTemplate[window + i] : 0;
        else
            shuffle.bytes[i] = from.source == source ? (unsigned char)from.index : 0x80;
    }
    return shuffle;
}

// Five stores cover columns 32 to 102; the last one overlaps the fourth.
constexpr size_t Windows[5] = {32, 48, 64, 80, DumpLineLength - 16};

struct WindowShuffles {
    Shuffle a, b, c, fixed;
};

constexpr WindowShuffles MakeWindow(size_t window) {
    return {MakeShuffle(window, FROM_A), MakeShuffle(window, FROM_B), MakeShuffle(window, FROM_C),
            MakeShuffle(window, FROM_TEMPLATE)};
}

constexpr WindowShuffles Shuffles[5] = {MakeWindow(Windows[0]), MakeWindow(Windows[1]),
                                        MakeWindow(Windows[2]), MakeWindow(Windows[3]),
                                        MakeWindow(Windows[4])};

// No window may leave a column unwritten.
constexpr bool WindowsCoverTheData() {
    for (size_t column = HexColumn; column < DumpLineLength; ++column) {
        bool covered = false;
        for (size_t window : Windows)
            covered = covered || (column >= window && column < window + 16);
        if (!covered)
            return false;
    }
    return true;
}
static_assert(WindowsCoverTheData());

constexpr bool Uses(size_t window, Source source) {
    for (size_t i = 0; i < 16; ++i)
        if (SourceOf(window + i).source == source)
            return true;
    return false;
}

inline __m128i Load(const Shuffle& shuffle) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(shuffle.bytes));
}

// Only the sources a window takes from are shuffled in.
template <size_t W> inline void StoreWindow(char* line, __m128i a, __m128i b, __m128i c) {
    const WindowShuffles& w = Shuffles[W];
    __m128i picked = Load(w.fixed);
    if constexpr (Uses(Windows[W], FROM_A))
        picked = _mm_or_si128(picked, _mm_shuffle_epi8(a, Load(w.a)));
    if constexpr (Uses(Windows[W], FROM_B))
        picked = _mm_or_si128(picked, _mm_shuffle_epi8(b, Load(w.b)));
    if constexpr (Uses(Windows[W], FROM_C))
        picked = _mm_or_si128(picked, _mm_shuffle_epi8(c, Load(w.c)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(line + Windows[W]), picked);
}

void WriteDataColumnsSsse3(char* lines, const unsigned char* bytes, size_t count) {
    const __m128i digits = _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B',
                                         'C', 'D', 'E', 'F');
    const __m128i lowNibble = _mm_set1_epi8(0x0F);
    const __m128i belowSpace = _mm_set1_epi8(0x1F);
    const __m128i del = _mm_set1_epi8(0x7F);
    const __m128i dot = _mm_set1_epi8('.');
    for (; count > 0; --count, lines += DumpLineLength, bytes += BytesPerLine) {
        __m128i data = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
        __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(data, 4), lowNibble));
        __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(data, lowNibble));
        __m128i a = _mm_unpacklo_epi8(high, low);
        __m128i b = _mm_unpackhi_epi8(high, low);
        // Signed compares: 0x80 to 0xFF are negative, so they fail the first test.
        __m128i printable =
            _mm_and_si128(_mm_cmpgt_epi8(data, belowSpace), _mm_cmplt_epi8(data, del));
        __m128i c = _mm_or_si128(_mm_and_si128(printable, data), _mm_andnot_si128(printable, dot));
        StoreWindow<0>(lines, a, b, c);
        StoreWindow<1>(lines, a, b, c);
        StoreWindow<2>(lines, a, b, c);
        StoreWindow<3>(lines, a, b, c);
        StoreWindow<4>(lines, a, b, c);
    }
}

} // namespace

DataColumnWriter Ssse3DataColumnWriter() {
    return WriteDataColumnsSsse3;
}

#else

DataColumnWriter Ssse3DataColumnWriter() {
    return nullptr;
}

#endif
