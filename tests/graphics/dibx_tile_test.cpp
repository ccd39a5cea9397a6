#include "graphics/dibx.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <limits>
#include <span>
#include <string>

namespace {

constexpr int kAllBits[] = {8, 15, 16, 24, 32};

// A blank surface without a clip rectangle.
void Blank(TDIBX& D, int W, int H, int Bits) {
    D.SetSize(W, H, Bits);
    D.ClearClipRect();
    D.Fill(0);
}

// A source of W x H pixels lettered row by row: a, b, c, ... (values 1, 2, 3, ...); with Seed,
// values from it instead.
void Letters(TDIBX& S, int W, int Bits, int H = 1, uint32_t Seed = 0) {
    S.SetSize(W, H, Bits);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            S.SetPixel(x, y,
                       Seed ? ((x * 0x9E3779B1u + y * 0x85EBCA77u) ^ Seed * 0x7F4A7C15u) >>
                                  (Bits == 32 ? 0 : 32 - (Bits == 15 ? 16 : Bits))
                            : uint32_t(1 + x + W * y));
}

// Row Y of a surface in letters, '.' for 0.
std::string Row(const TCustomDIBX& D, int Y = 0) {
    std::string s;
    for (int x = 0; x < D.GetWidth(); ++x) s += D.GetPixel(x, Y) == 0 ? '.' : char('a' + D.GetPixel(x, Y) - 1);
    return s;
}

bool SamePixels(const TDIBX& A, const TDIBX& B) {
    for (int y = 0; y < A.GetHeight(); ++y)
        for (int x = 0; x < A.GetWidth(); ++x)
            if (A.GetPixel(x, y) != B.GetPixel(x, y)) return false;
    return true;
}

}  // namespace

// The wrapped copy and the zoomed wrapped copy (zoom 2) of a source row a b c d into ten pixels,
// and the zoomed one at zoom 1 across two column tables.
TEST(DIBXWrap, WrappedRows) {
    struct Case {
        int32_t Left, Offset;
        bool Mirror, Clip;
        const char* Want;
    } wraps[] =
        {
            {0, 1, false, false, "bcdabcdabc"}, {0, 1, true, false, "cbadcbadcb"},  {0, -1, false, false, "dabcdabcda"},
            {0, 4, false, false, "abcdabcdab"}, {-2, 1, false, true, "..bcdabc.."},  // cut by the clip: the visible
                                                                                     // part as if unclipped
        },
      quads[] = {
          {0, 0, false, false, "aabbccddaa"},    {0, 2048, false, false, "aabbccddaa"},  // a whole period, 256 x 4 x 2
          {0, -512, false, false, "ddaabbccdd"},                                         // one source column back
          {0, 0, true, false, "addccbbaad"},                                             // mirrored about the left edge
          {0, 0, false, true, "..bbccddaa"},  // the clip cut keeps the pattern in place
      };
    for (int bits : kAllBits) {
        TDIBX src, d;
        Letters(src, 4, bits);
        for (bool quad : {false, true})
            for (const Case& c : quad ? std::span<const Case>(quads) : std::span<const Case>(wraps)) {
                Blank(d, 10, 1, bits);
                if (c.Clip) d.SetClipRectDirect({2, 0, 10, 1});
                if (quad)
                    d.DrawQuad(Bounds(c.Left, 0, 10, 1), src, 2, 1, c.Offset, 0, false, c.Mirror, false, 255);
                else
                    d.DrawWrap(Bounds(c.Left, 0, 10, 1), src, c.Offset, 0, c.Mirror, false);
                EXPECT_EQ(Row(d), c.Want) << bits << " bits quad " << quad << " offset " << c.Offset;
            }
    }
    TDIBX src, d;
    Letters(src, 2, 32, 3);
    Blank(d, 2, 5, 32);
    d.DrawWrap(d.GetBoundsRect(), src, 0, 1, false, true);
    EXPECT_EQ(Row(d, 0) + Row(d, 1) + Row(d, 2) + Row(d, 3), "cdabefcd");
    Letters(src, 7, 16);
    Blank(d, 1300, 1, 16);
    d.DrawQuad(d.GetBoundsRect(), src, 1, 1, 0, 0, false, false, false, 255);
    for (int x : {1279, 1280, 1281, 1299}) EXPECT_EQ(Row(d)[x], char('a' + x % 7)) << x;
}

// At zoom 1 over a source the size of the destination, the blend values give the pixels of the
// unscaled draws; the masked form copies through a full mask and keeps the destination through
// an empty one (on the packed formats: 24 bits weight a full mask by 255 / 256).
TEST(DIBXWrap, QuadBlendValues) {
    for (int bits : {15, 16, 24, 32}) {
        TDIBX src, mask, base, got, want;
        Letters(src, 9, bits, 6, 1);
        Letters(base, 9, bits, 6, 2);
        const std::pair<int32_t, std::function<void(TDIBX&)>> cases[] = {
            {255, [&](TDIBX& d) { d.Draw(0, 0, src, src.GetBoundsRect(), false, false, false); }},
            {128, [&](TDIBX& d) { d.DrawAlpha(0, 0, src, src.GetBoundsRect(), false, false, false, 128); }},
            {256, [&](TDIBX&) {}},
            {300, [&](TDIBX& d) { d.DrawAdd(0, 0, src, src.GetBoundsRect(), false, false, false, 44); }},
            {600, [&](TDIBX& d) { d.DrawAdd(0, 0, src, src.GetBoundsRect(), false, false, false, 255); }},
        };
        for (const auto& [blend, same] : cases) {
            for (TDIBX* d : {&got, &want}) Letters(*d, 9, bits, 6, 2);
            got.DrawQuad(got.GetBoundsRect(), src, 1, 1, 0, 0, false, false, false, blend);
            same(want);
            EXPECT_TRUE(SamePixels(got, want)) << bits << " bits blend " << blend;
        }
        for (uint32_t m : {0u, 255u}) {
            if (m && bits == 24) continue;
            Blank(mask, 9, 6, 8);
            mask.Fill(int32_t(m));
            Letters(got, 9, bits, 6, 2);
            got.DrawQuadMask(got.GetBoundsRect(), src, 1, 1, 0, 0, false, false, mask, 255);
            EXPECT_TRUE(SamePixels(got, m ? src : base)) << bits << " bits mask " << m;
        }
    }
}

// A frame 2 pixels thick on a 10 x 10 rectangle changes its 64 border pixels and nothing else;
// each strip starts the pattern at its own corner.
TEST(DIBXWrap, FrameOfFourStrips) {
    TDIBX src, d;
    Letters(src, 3, 32, 2);
    Blank(d, 12, 12, 32);
    d.DrawWrapFrame({1, 1, 11, 11}, 2, src, {0, 0, 0, 0}, false, 1, 0);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(d.GetPixel(x, y) != 0, x > 0 && x < 11 && y > 0 && y < 11 && (x < 3 || x > 8 || y < 3 || y > 8))
                << x << "," << y;
    EXPECT_EQ(Row(d, 1), ".bcabcabcbc.");
}

// Tiles of 3 x 1 pixels with gaps of 2 across and 1 down over 10 x 4 pixels; an origin of -3 is
// one of 0; the clip rectangle comes back as it was.
TEST(DIBXTile, TilesGapsAndOrigins) {
    const std::pair<int32_t, const char*> cases[] = {{0, "abc..abc.."}, {-3, "abc..abc.."}, {1, "bc..abc..a"}};
    for (int bits : kAllBits)
        for (const auto& [origin, want] : cases) {
            TDIBX src, d;
            Letters(src, 4, bits);
            Blank(d, 10, 4, bits);
            d.UnionClipRect({0, 0, 10, 3});
            d.DrawTile({0, 0, 10, 4}, 2, 1, src, {0, 0, 3, 1}, false, origin, 0);
            EXPECT_EQ(Row(d, 0) + Row(d, 1) + Row(d, 2) + Row(d, 3),
                      std::string(want) + ".........." + want + "..........")
                << bits << " bits origin " << origin;
            EXPECT_EQ(d.ClipRect, (TRect{0, 0, 10, 3}));
        }
    // Only the tiles that meet the clip rectangle are drawn, in their places.
    TDIBX src, d;
    Letters(src, 4, 32);
    Blank(d, 20, 1, 32);
    d.UnionClipRect({11, 0, 20, 1});
    d.DrawTile(d.GetBoundsRect(), 2, 0, src, {0, 0, 3, 1}, false, 0, 0);
    EXPECT_EQ(Row(d), "...........bc..abc..");
}

// Empty sources, zooms that are not finite or not above 0, tiles that would not move on, and
// sources, masks, rectangles and offsets past every edge: nothing drawn where nothing can be,
// nothing read or written outside a surface (the sanitizers watch), and every call returns.
TEST(DIBXTile, NothingOutsideWhateverTheGeometry) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    for (int bits : kAllBits) {
        TDIBX src, mask, empty, d;
        Letters(src, 7, bits, 5, 6);
        Letters(mask, 4, 8, 6, 7);
        empty.SetSize(0, 0, bits);
        Blank(d, 10, 10, bits);
        d.SetClipRectDirect({-50, -50, 500, 500});
        const TRect all = {-5, -5, 20, 20};
        d.DrawWrap(all, empty, 1, 1, false, false);
        d.DrawQuad(all, empty, 1, 1, 0, 0, false, false, false, 255);
        d.DrawTile(all, 0, 0, src, {3, 3, 3, 9}, false, 0, 0);
        for (double zoom : {0.0, -2.0, nan, inf}) {
            d.DrawQuad(all, src, zoom, 1, 0, 0, false, false, false, 255);
            d.DrawQuadMask(all, src, 1, zoom, 0, 0, false, false, mask, 255);
            d.DrawRotate(3, 3, zoom, 1, src, src.GetBoundsRect(), 0, 0, 0.5, false, false, false, 255);
            d.DrawRotateMask(3, 3, 1, zoom, src, src.GetBoundsRect(), 0, 0, 0, false, false, mask, 255);
            d.DrawRotateZoomMasked(3, 3, zoom, zoom, src, src.GetBoundsRect(), 0, 0, 1, false, false, nullptr, 255);
        }
        for (int y = 0; y < 10; ++y) ASSERT_EQ(Row(d, y), "..........") << bits << " bits row " << y;
        d.DrawTile({INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, -1, -1, src, {0, 0, 1, 1}, false, 0, 0);
        d.DrawTile({INT32_MIN, 0, INT32_MAX, 5}, 0, -5, src, {0, 0, 1, 5}, false, INT32_MIN, INT32_MAX);
        for (const TRect& r :
             {TRect{-3, -3, 20, 20}, TRect{5, 5, 6, 6}, TRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}})
            for (int32_t off : {INT32_MIN, -9, 3, INT32_MAX})
                for (double zoom : {1e-300, 0.37, 3.0, 1e300})
                    for (bool mirror : {false, true}) {
                        d.DrawWrap(r, src, off, -off, mirror, !mirror);
                        d.DrawWrapFrame(r, off, src, r, false, off, off);
                        d.DrawQuad(r, src, zoom, 1.5, off, off, true, mirror, mirror, 200);
                        d.DrawQuadMask(r, src, 0.6, zoom, -off, off, mirror, false, mask, 400);
                        d.DrawTileAddMask(r, off, -3, src, {-4, -4, 9, 9}, mask, 90, off, off);
                        d.DrawRotateMask(off, 4, zoom, 1.5, src, r, 3, off, off * 0.1, mirror, !mirror, mask, 300);
                        d.DrawRotateZoomMasked(4, off, 1.5, zoom, src, r, off, 2, zoom, mirror, mirror, &mask, 200);
                        d.DrawRotateZoomMasked(off, off, zoom, zoom, src, r, 1, 1, -zoom, mirror, false, nullptr, 255);
                    }
    }
}
