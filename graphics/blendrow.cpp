// The fill stores 48 bytes per step in SSE2 lanes (16 pixels of 3 bytes, or whole pixels of any
// other size), 96 in AVX2 lanes; a fill of AVX2 lanes takes all its rows in one call. Rows with no
// gap between them are one row, and a long row of pixels of 1, 2 or 4 bytes goes to the string
// store.
// The alpha rows take eight pixels a step in AVX2 lanes where the processor has them, four in SSE2
// lanes otherwise and after them, the whole block in one call (blendrow_lanes.h); the scalar rule
// finishes each row.
// The copy without the fourth byte masks four pixels per step in SSE2 lanes. The ramped rows
// take eight pixels a step in AVX2 lanes, the one-pixel rule finishing each row.
#include "graphics/blendrow.h"
#include "graphics/blendrow_lanes.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

const bool kHasAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

// Whether the rows take AVX2 lanes.
bool gAvx2 = kHasAvx2;

// One row of Bytes bytes of the fill in SSE2 lanes.
void FillRow(const uint8_t* Pattern, uint8_t* Dst, size_t Bytes) {
    // Bytes up to a 16-byte boundary first; the aligned stores go on from that offset of the pattern.
    const size_t head = std::min(Bytes, (16 - reinterpret_cast<uintptr_t>(Dst) % 16) % 16);
    std::memcpy(Dst, Pattern, head);
    Dst += head, Bytes -= head;
    const uint8_t* from = Pattern + head;
    const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16));
    const __m128i p2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 32));
    for (; Bytes >= 48; Bytes -= 48, Dst += 48) {
        _mm_store_si128(reinterpret_cast<__m128i*>(Dst), p0);
        _mm_store_si128(reinterpret_cast<__m128i*>(Dst + 16), p1);
        _mm_store_si128(reinterpret_cast<__m128i*>(Dst + 32), p2);
    }
    std::memcpy(Dst, from, Bytes);
}

// From this many bytes on, the string store fills a row faster than the vector loops, in the first
// level cache and in the second alike.
constexpr size_t kStringFillBytes = 2048;

// One row of Bytes bytes (kStringFillBytes or more) of a pattern that repeats every four bytes
// (pixels of 1, 2 or 4 bytes): the bytes up to a cache line boundary copied, the double words from
// there stored by rep stosd.
void FillRowString(const uint8_t* Pattern, uint8_t* Dst, size_t Bytes) {
    const size_t head = (64 - reinterpret_cast<uintptr_t>(Dst) % 64) % 64;
    std::memcpy(Dst, Pattern, head);
    const uint8_t* from = Pattern + head % 4;
    uint32_t word;
    std::memcpy(&word, from, 4);
    uint8_t* p = Dst + head;
    size_t words = (Bytes - head) / 4;
    asm volatile("rep stosl" : "+D"(p), "+c"(words) : "a"(word) : "memory");
    std::memcpy(p, from, (Bytes - head) % 4);
}

}  // namespace

bool RowsUseAvx2() { return gAvx2; }

void SetRowsUseAvx2(bool Value) { gAvx2 = Value && kHasAvx2; }

TRowFill::TRowFill(int AN, uint32_t V) : N(AN) {
    // Twelve bytes hold whole pixels of every size: three double words, repeated.
    const uint32_t c = N == 4 ? V : V & ((1u << 8 * N) - 1);
    const uint32_t w = N == 4 ? c : N == 2 ? c * 0x10001 : c * 0x01010101;
    const uint32_t words[3] = {N == 3 ? c | c << 24 : w, N == 3 ? c >> 8 | c << 16 : w, N == 3 ? c >> 16 | c << 8 : w};
    for (size_t at = 0; at < sizeof(Pattern); at += sizeof(words)) std::memcpy(Pattern + at, words, sizeof(words));
}

void TRowFill::operator()(uint8_t* Dst, int32_t Count, int32_t Rows, ptrdiff_t Step) const {
    if (Count <= 0 || Rows <= 0) return;
    size_t bytes = size_t(Count) * size_t(N);
    if (Step == ptrdiff_t(bytes)) bytes *= size_t(Rows), Rows = 1;
    if (Rows == 1 && N != 3 && bytes >= kStringFillBytes) return FillRowString(Pattern, Dst, bytes);
    if (gAvx2) return FillRowsAvx2(Pattern, Dst, bytes, Rows, Step);
    for (; Rows > 0; --Rows, Dst += Step) FillRow(Pattern, Dst, bytes);
}

void CopyRowNoAlpha32(uint8_t* Dst, const uint8_t* Src, int32_t Count) {
    const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
    int32_t x = 0;
    for (; x + 4 <= Count; x += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Dst + ptrdiff_t(x) * 4),
                         _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + ptrdiff_t(x) * 4)), rgb));
    for (; x < Count; ++x) {
        uint32_t v;
        std::memcpy(&v, Src + ptrdiff_t(x) * 4, 4);
        StorePixel(Dst + ptrdiff_t(x) * 4, 4, v & 0x00FFFFFF);
    }
}

void RampedRow32(uint8_t* Dst, const uint8_t* Old, const uint8_t* New, const int32_t* Values, const uint32_t* Entries,
                 int32_t Count, bool Darken) {
    for (int32_t x = gAvx2 ? RampedRowAvx2(Dst, Old, New, Values, Entries, Count, Darken) : 0; x < Count; ++x) {
        uint32_t o, n;
        std::memcpy(&o, Old + ptrdiff_t(x) * 4, 4);
        std::memcpy(&n, New + ptrdiff_t(x) * 4, 4);
        StorePixel(Dst + ptrdiff_t(x) * 4, 4, RampedPixel32(o, n, Entries[Values[x]], Darken));
    }
}

namespace {

// The alpha rows in the widest lanes the processor runs.
template <bool Masked, bool CopyFull = false>
void AlphaRows(const TRowBlock& B, uint32_t A) {
    if (gAvx2)
        AlphaRowsAvx2(B, A, Masked, CopyFull);
    else
        BlendRows<TLanes4, Masked, CopyFull>(B, A);
}

}  // namespace

void AlphaMaskRows32(const TRowBlock& B, uint32_t A) { AlphaRows<true>(B, A); }

void MaskRows32(const TRowBlock& B) { AlphaRows<true, true>(B, 255); }

void AlphaRows32(const TRowBlock& B, uint32_t A) { AlphaRows<false>(B, A); }
