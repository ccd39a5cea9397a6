#include "graphics/blendrow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace {

uint32_t Bytes(uint32_t B0, uint32_t B1, uint32_t B2, uint32_t B3) { return B0 | B1 << 8 | B2 << 16 | B3 << 24; }

// Runs Body in SSE2 lanes, then in AVX2 lanes where the processor has them.
template <class F>
void InEachLanes(F&& Body) {
    for (bool avx2 : {false, true}) {
        SetRowsUseAvx2(avx2);
        if (RowsUseAvx2() != avx2) continue;
        SCOPED_TRACE(avx2 ? "AVX2 lanes" : "SSE2 lanes");
        Body();
    }
    SetRowsUseAvx2(true);
}

// The masked rows against their one-pixel rules over a grid of channel, mask and opacity values,
// each pair of channel values also under a run of mask 255 long enough to fill eight pixels at any
// start, every row length up to 17 at unaligned starts, forward and mirrored. Opacity 256 stands
// for the masked draw without opacity (MaskRows32).
TEST(BlendRow, MaskedRowsMatchThePixelRules) {
    const uint32_t levels[] = {0, 1, 2, 127, 128, 129, 254, 255};
    std::vector<uint32_t> dv, sv;
    std::vector<uint8_t> mv;
    for (uint32_t d : levels)
        for (uint32_t s : levels)
            for (int k = 0; k < 23; ++k) {
                dv.push_back(Bytes(d, s, 255 - d, d ^ s));
                // Every third source equals its destination.
                sv.push_back(dv.size() % 3 == 0 ? dv.back() : Bytes(s, d, s, 255 - s));
                mv.push_back(uint8_t(k < 8 ? levels[k] : 255));
            }
    const int n = int(dv.size());
    // Pixels stored from an odd byte address.
    std::vector<uint8_t> dst(size_t(n) * 4 + 1), src(size_t(n) * 4 + 1);
    std::memcpy(src.data() + 1, sv.data(), size_t(n) * 4);
    InEachLanes([&] {
        for (uint32_t a : {0u, 1u, 100u, 128u, 254u, 255u, 256u})
            for (int dir : {1, -1})
                for (int len = 1; len <= 17; ++len)
                    for (int start = 1; start + len <= n; start += len) {
                        std::memcpy(dst.data() + 1, dv.data(), size_t(n) * 4);
                        const int first = dir > 0 ? start : start + len - 1;
                        const TRowBlock row{dst.data() + 1 + start * 4, src.data() + 1 + first * 4, mv.data() + first,
                                            len, dir, 1, 0, 0, 0};
                        if (a == 256)
                            MaskRows32(row);
                        else
                            AlphaMaskRows32(row, a);
                        // The row and one pixel either side of it.
                        for (int i = start - 1; i <= std::min(start + len, n - 1); ++i) {
                            const bool in = i >= start && i < start + len;
                            const int j = first + (i - start) * dir;
                            uint32_t got;
                            std::memcpy(&got, dst.data() + 1 + i * 4, 4);
                            const uint32_t want = !in        ? dv[i]
                                                  : a == 256 ? MaskPixel32(dv[i], sv[j], mv[j])
                                                             : AlphaMaskPixel32(dv[i], sv[j], mv[j], a);
                            ASSERT_EQ(got, want)
                                << "a " << a << " dir " << dir << " len " << len << " start " << start << " at " << i;
                        }
                    }
    });
}

// Blocks of more rows than are asked for ahead, with the source and the mask read bottom-up (as a
// vertically mirrored draw reads them) and every row its own step apart, forward and mirrored:
// every pixel against its rule, the bytes between the rows left alone. Opacity 256 stands for the
// masked draw, and a null mask for the alpha draw without one.
TEST(BlendRow, BlocksTakeEveryRowAtItsStep) {
    constexpr int rows = 11, width = 21, dstStep = 25 * 4 + 3, srcStep = 23 * 4, maskStep = 29;
    std::vector<uint8_t> dst(size_t(rows) * dstStep), src(size_t(rows) * srcStep), mask(size_t(rows) * maskStep);
    for (size_t i = 0; i < dst.size(); ++i) dst[i] = uint8_t(i * 7 + 3);
    for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i * 13 + 1);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = i % 5 == 0 ? 0 : i % 3 == 0 ? 255 : uint8_t(i * 31);
    // (masked, opacity): the alpha draw through a mask, the masked draw, the alpha draw.
    InEachLanes([&] {
        for (const auto& [masked, a] : {std::pair{true, 100u}, {true, 256u}, {false, 100u}})
            for (int dir : {1, -1}) {
                const int first = dir > 0 ? 0 : width - 1;
                std::vector<uint8_t> got = dst, want = dst;
                const TRowBlock block{got.data(), src.data() + (rows - 1) * srcStep + first * 4,
                                      masked ? mask.data() + (rows - 1) * maskStep + first : nullptr,
                                      width, dir, rows, dstStep, -srcStep, -maskStep};
                if (!masked)
                    AlphaRows32(block, a);
                else if (a == 256)
                    MaskRows32(block);
                else
                    AlphaMaskRows32(block, a);
                for (int y = 0; y < rows; ++y)
                    for (int x = 0; x < width; ++x) {
                        const int sy = rows - 1 - y, sx = first + x * dir;
                        uint32_t d, s;
                        std::memcpy(&d, want.data() + y * dstStep + x * 4, 4);
                        std::memcpy(&s, src.data() + sy * srcStep + sx * 4, 4);
                        const uint32_t m = masked ? mask[size_t(sy * maskStep + sx)] : 255;
                        d = a == 256 ? MaskPixel32(d, s, m) : AlphaMaskPixel32(d, s, m, a);
                        std::memcpy(want.data() + y * dstStep + x * 4, &d, 4);
                    }
                ASSERT_EQ(got, want) << "masked " << masked << " a " << a << " dir " << dir;
            }
    });
}

// The fill against the one-pixel store for every pixel size: rows across the 32- and 48-byte
// steps from every start within 32 bytes, three of them at a step that moves each row's start,
// with the bytes between and around the rows left alone.
TEST(BlendRow, FillRowMatchesThePixelRule) {
    InEachLanes([] {
        for (int n = 1; n <= 4; ++n)
            for (uint32_t v : {0u, 0x12345678u, 0xFFFFFFFFu, 0x80FF0001u})
                for (int start = 0; start < 32; ++start)
                    for (int count = 0; count <= 70; ++count) {
                        const int rows = 3, step = count * n + 7;
                        std::vector<uint8_t> got(size_t(start + rows * step), 0xA5), want = got;
                        TRowFill(n, v)(got.data() + start, count, rows, step);
                        for (int y = 0; y < rows; ++y)
                            for (int i = 0; i < count; ++i) StorePixel(want.data() + start + y * step + i * n, n, v);
                        ASSERT_EQ(got, want) << "n " << n << " value " << v << " start " << start << " count " << count;
                    }
    });
}

// Rows with no gap between them fill as one row, and long rows of 1, 2 and 4 bytes a pixel through
// the string store: one row and three at every start within a cache line, at lengths either side
// of 2 KB and past it by a part of a double word, the bytes around left alone.
TEST(BlendRow, GaplessAndLongFillsMatchThePixelRule) {
    InEachLanes([] {
        for (int n = 1; n <= 4; ++n)
            for (uint32_t v : {0x12345678u, 0x80FF0001u})
                for (int start = 0; start < 64; ++start)
                    for (int count : {2048 / n - 1, 2048 / n, 2048 / n + 1, 1001})
                        for (int rows : {1, 3}) {
                            const int bytes = rows * count * n;
                            std::vector<uint8_t> got(size_t(start + bytes + 5), 0xA5), want = got;
                            TRowFill(n, v)(got.data() + start, count, rows, count * n);
                            for (int i = 0; i < bytes; i += n) StorePixel(want.data() + start + i, n, v);
                            ASSERT_EQ(got, want) << "n " << n << " value " << v << " start " << start << " count "
                                                 << count << " rows " << rows;
                        }
    });
}

// The ramped rows against their one-pixel rule, brightening and darkening: entries of either
// picture with greys that saturate some bytes and not others, in steps wholly on the old picture,
// wholly on the new one and mixed, every row length up to 40 from an odd byte address, with the
// bytes either side of the row left alone.
TEST(BlendRow, RampedRowMatchesThePixelRule) {
    const uint32_t entries[] = {
        0, kShowsNew, 0x00404040, 0x00404040 | kShowsNew, 0x7FFF0001, 0x7FFF0001 | kShowsNew, 0x00FFFFFF};
    constexpr int n = 48;
    std::vector<int32_t> values(n);
    std::vector<uint8_t> oldRow(n * 4 + 1), newRow(n * 4 + 1);
    for (int i = 0; i < n; ++i) {
        // Eight on the old picture, eight on the new one, then every entry in turn.
        values[size_t(i)] = i < 8 ? 2 * (i % 2) + 2 : i < 16 ? 1 + 2 * (i % 3) : i % 7;
        const uint32_t o = Bytes(uint32_t(i * 37) & 255, 255, 0, uint32_t(200 - i)),
                       w = Bytes(0, uint32_t(i * 11), 255, 128);
        std::memcpy(oldRow.data() + 1 + i * 4, &o, 4);
        std::memcpy(newRow.data() + 1 + i * 4, &w, 4);
    }
    InEachLanes([&] {
        for (bool darken : {false, true})
            for (int count = 0; count <= 40; ++count) {
                std::vector<uint8_t> got(n * 4 + 2, 0xA5), want = got;
                RampedRow32(got.data() + 1, oldRow.data() + 1, newRow.data() + 1, values.data(), entries, count,
                            darken);
                for (int i = 0; i < count; ++i) {
                    uint32_t o, w;
                    std::memcpy(&o, oldRow.data() + 1 + i * 4, 4);
                    std::memcpy(&w, newRow.data() + 1 + i * 4, 4);
                    StorePixel(want.data() + 1 + i * 4, 4, RampedPixel32(o, w, entries[values[size_t(i)]], darken));
                }
                ASSERT_EQ(got, want) << "darken " << darken << " count " << count;
            }
    });
}

// The copy against the one-pixel rule (the value without its fourth byte) for row lengths
// across the four-pixel step at every byte offset, the bytes either side of the row left alone.
TEST(BlendRow, CopyRowNoAlphaMatchesThePixelRule) {
    std::vector<uint8_t> src(17 * 4 + 3);
    for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i * 37 + 200);
    for (int start = 0; start < 4; ++start)
        for (int count = 0; count <= 17; ++count) {
            std::vector<uint8_t> got(size_t(start + count * 4 + 2), 0xA5), want = got;
            CopyRowNoAlpha32(got.data() + start, src.data() + 3 - start, count);
            for (int i = 0; i < count; ++i) {
                uint32_t v;
                std::memcpy(&v, src.data() + 3 - start + i * 4, 4);
                StorePixel(want.data() + start + i * 4, 4, v & 0x00FFFFFF);
            }
            ASSERT_EQ(got, want) << "start " << start << " count " << count;
        }
}

}  // namespace
