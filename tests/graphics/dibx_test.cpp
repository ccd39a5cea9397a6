#include "graphics/dibx.h"
#include "tests/graphics/paint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <functional>
#include <vector>

namespace {

// The channels of a format as (mask) fields; 32 bits: four bytes.
std::vector<uint32_t> Fields(int Bits) {
    if (Bits == 15) return {0x7C00, 0x03E0, 0x001F};
    if (Bits == 16) return {0xF800, 0x07E0, 0x001F};
    return {0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF};
}

// Per field F(d, s, bit position, field maximum) on field values shifted down to bit 0.
uint32_t PerField(int Bits, uint32_t D, uint32_t S, const std::function<uint64_t(uint64_t, uint64_t, int, uint64_t)>& F) {
    uint32_t r = 0;
    for (uint32_t m : Fields(Bits)) {
        const int p = std::countr_zero(m);
        r |= uint32_t((F((D & m) >> p, (S & m) >> p, p, m >> p) << p) & m);
    }
    return r;
}

// (d (255 - w) + s w) div 256 of each field as it sits in place.
uint32_t FieldBlend(int Bits, uint32_t D, uint32_t S, uint32_t W) {
    return PerField(Bits, D, S, [&](uint64_t d, uint64_t s, int p, uint64_t max) {
        return ((((d << p) * (255 - W) + (s << p) * W) >> 8) >> p) & max;
    });
}

// d + (s i) div 256 of each field in place, capped at the field's maximum.
uint32_t FieldAdd(int Bits, uint32_t D, uint32_t S, uint32_t I) {
    return PerField(Bits, D, S, [&](uint64_t d, uint64_t s, int p, uint64_t max) {
        return std::min(d + (((((s << p) * I) >> 8) >> p) & max), max);
    });
}

}  // namespace

TEST(DIBXModel, FreshSurfaceFormatsAndColorToPixel) {
    TDIBX s;
    EXPECT_TRUE(s.GetEmpty());
    EXPECT_EQ(s.TransparentColor, -1);
    EXPECT_EQ(s.DIB->Width(), 1);
    s.SetSize(10, 10, 16);
    EXPECT_EQ(s.GetClipRect(), (TRect{0, 0, 10, 10}));
    EXPECT_EQ(s.GetBitCount(), 16);
    EXPECT_EQ(s.ColorToPixel(0xFFFFFF), 0xFFFF);
    EXPECT_EQ(s.ColorToPixel(0x0000FF), 0xF800);
    s.SetBitCount(15);
    EXPECT_EQ(s.GetBitCount(), 15);
    EXPECT_EQ(s.GetBitsPerPixel(), 16);
    EXPECT_EQ(s.BytesPerPixel(), 2);
    EXPECT_EQ(s.ColorToPixel(0xFFFFFF), 0x7FFF);
    EXPECT_EQ(s.ColorToPixel(0x0000FF), 0x7C00);
    EXPECT_EQ(s.ColorToPixel(-1), -1);
    s.SetSize(4, 4, 32);
    EXPECT_EQ(s.BytesPerPixel(), 4);
    EXPECT_EQ(s.ColorToPixel(0xFFFFFF), 0x00FFFFFF);
    EXPECT_EQ(s.ColorToPixel(0x0000FF), 0x00FF0000);
    // 24 bits: red lands in the red byte (the third in memory), blue in the first.
    s.SetSize(4, 4, 24);
    const int32_t red = s.ColorToPixel(0x0000FF);
    EXPECT_EQ(red, 0x00FF0000);
    s.Fill(red);
    EXPECT_EQ(s.DIB->ScanLine(0)[0], 0);
    EXPECT_EQ(s.DIB->ScanLine(0)[2], 0xFF);
    s.SetSize(8, 2, 4);
    EXPECT_EQ(s.Lock(3, 0), s.DIB->ScanLine(0) + 1);
    s.Unlock();
    s.Clear();
    EXPECT_TRUE(s.GetEmpty());
}

TEST(DIBXModel, ClipRectangle) {
    TDIBX s;
    s.SetSize(100, 100, 32);
    s.UnionClipRect({200, 200, 300, 300});
    EXPECT_EQ(s.ClipRect.Right, 0);
    s.UnionClipRect({-5, -5, 10, 10});
    EXPECT_EQ(s.GetClipRect(), (TRect{0, 0, 10, 10}));
    s.UnionClipRect({50, 50, 60, 60});
    EXPECT_EQ(s.GetClipRect(), (TRect{0, 0, 60, 60}));
    s.ClearClipRect();
    EXPECT_EQ(s.GetClipRect(), s.GetBoundsRect());
    EXPECT_EQ(TCustomDIBX::CalcRotateZoomBounds(5, 5, 0, 0, {0, 0, 10, 10}, 0, 1, 1, false, false),
              (TRect{5, 5, 16, 16}));
}

TEST(DIBXModel, FillsAndDrawsStayInsideWhateverTheGeometry) {
    TDIBX d, src, mask;
    Paint(src, 8, 8, 32, [](int x, int y) { return Mix(x, y, 1); });
    Paint(mask, 8, 8, 8, [](int x, int) { return uint32_t(x * 36); });
    d.SetSize(10, 10, 32);
    d.SetClipRectDirect({-50, -50, 500, 500});  // larger than the surface: still no write outside
    const TRect rects[] = {{-20, -20, 5, 5}, {5, 5, 40, 40}, {-100, 3, 100, 4}, {3, 3, 1, 1}, {INT32_MIN, 0, INT32_MAX, 2}};
    for (const TRect& r : rects) {
        d.FillRect(r, 7);
        d.FillRectAlpha(r, 7, 100);
        d.FrameRectAdd(r, 3, 7);
        d.Draw(r.Left, r.Top, src, r, true, true, false);
        d.DrawAlphaMask(r.Left, r.Top, src, r, false, true, mask, 200);
        d.DrawAlphaMaskKeyed(r.Left, r.Top, mask, r, true, true, 5, 255);
        d.DrawRotate(r.Left, r.Top, 0.3, 7, src, r, 2, 2, 1.0, false, false, false, 300);
    }
    // A source rectangle partly outside the source is cut to it.
    d.Fill(0);
    d.Draw(2, 2, src, {-2, -2, 4, 4}, false, false, false);
    EXPECT_EQ(d.GetPixel(3, 3), 0u);
    EXPECT_EQ(d.GetPixel(4, 4), src.GetPixel(0, 0));
    EXPECT_EQ(d.GetPixel(7, 7), src.GetPixel(3, 3));
    EXPECT_EQ(d.GetPixel(8, 8), 0u);
    // A source of another width draws nothing.
    TDIBX narrow;
    Paint(narrow, 4, 4, 16, [](int, int) { return 0x1234u; });
    d.Draw(0, 0, narrow, narrow.GetBoundsRect(), false, false, false);
    EXPECT_EQ(d.GetPixel(0, 0), 0u);
}

TEST(DIBXDraw, MirroredClippedDrawAndFrame) {
    TDIBX d, src;
    Paint(src, 10, 1, 32, [](int x, int) { return uint32_t(x + 1); });
    d.SetSize(12, 6, 32);
    d.Fill(0);
    d.Draw(-3, 0, src, src.GetBoundsRect(), false, true, false);
    for (int x = 0; x < 7; ++x) EXPECT_EQ(d.GetPixel(x, 0), uint32_t(6 - x + 1)) << x;
    EXPECT_EQ(d.GetPixel(7, 0), 0u);

    TDIBX f;
    f.SetSize(10, 5, 8);
    f.Fill(0);
    f.FrameRect(Bounds(0, 0, 10, 5), 3, 9);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 10; ++x) EXPECT_EQ(f.GetPixel(x, y), 9u);
    f.Fill(0);
    f.FrameRect(Bounds(0, 0, 10, 8), 2, 9);
    EXPECT_EQ(f.GetPixel(5, 2), 0u);
    EXPECT_EQ(f.GetPixel(1, 2), 9u);
    EXPECT_EQ(f.GetPixel(8, 3), 9u);
    // Fill of an 8-bit memory surface ignores the clip rectangle.
    f.UnionClipRect({0, 0, 1, 1});
    f.Fill(3);
    EXPECT_EQ(f.GetPixel(9, 4), 3u);
}

// A rectangle fill at every depth sets exactly the pixels inside to the value cut to the
// pixel's bytes, a rectangle past the sides and the bottom too (at 32 bits rows with no gap
// between them, long enough for the string store); the whole fill of 15 and 16 bits sets every
// pixel.
TEST(DIBXDraw, FillsAtEveryDepth) {
    for (int bits : {8, 15, 16, 24, 32}) {
        const int bytes = (bits + 7) / 8;
        const uint32_t value = 0x79ABCDEFu & (bytes == 4 ? ~0u : (1u << 8 * bytes) - 1);
        TDIBX d;
        d.SetSize(601, 9, bits);
        d.Fill(1);
        d.FillRect({3, 2, 600, 7}, int32_t(value));
        d.FillRect({-7, 7, 700, 20}, int32_t(value));
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 601; ++x)
                ASSERT_EQ(d.GetPixel(x, y), (x >= 3 && x < 600 && y >= 2) || y >= 7 ? value : 1u)
                    << bits << " bits at " << x << "," << y;
        d.Fill(int32_t(value));
        EXPECT_EQ(d.GetPixel(0, 0), value) << bits;
        EXPECT_EQ(d.GetPixel(600, 8), value) << bits;
    }
}

TEST(DIBXDraw, ColourKeyAtStorageWidth) {
    struct Case {
        int Bits;
        uint32_t Pixel;
        bool Skipped;
    } cases[] = {{8, 0xFF, true}, {16, 0xFFFF, true}, {15, 0xFFFF, true}, {32, 0xFFFFFFFF, true}, {24, 0xFFFFFF, false}};
    for (const Case& c : cases) {
        TDIBX d, s;
        Paint(s, 2, 1, c.Bits, [&](int x, int) { return x == 0 ? c.Pixel : 1u; });
        d.SetSize(2, 1, c.Bits);
        d.Fill(0);
        d.Draw(0, 0, s, s.GetBoundsRect(), true, false, false);
        EXPECT_EQ(d.GetPixel(0, 0), c.Skipped ? 0u : c.Pixel) << c.Bits;
        EXPECT_EQ(d.GetPixel(1, 0), 1u) << c.Bits;
    }
    // A 24-bit key: the keyed pixel after a copied one stays.
    TDIBX d, s;
    Paint(s, 4, 1, 24, [](int x, int) { return x % 2 ? 0x123456u : 0xABCDEFu; });
    s.TransparentColor = 0x123456;
    d.SetSize(4, 1, 24);
    d.Fill(0x010203);
    d.Draw(0, 0, s, s.GetBoundsRect(), true, false, false);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(d.GetPixel(x, 0), x % 2 ? 0x010203u : 0xABCDEFu);
}

TEST(DIBXDraw, SpecificValues) {
    TDIBX d;
    d.SetSize(1, 1, 32);
    d.Fill(0);
    d.FillRectAlpha(d.GetBoundsRect(), 0xFFFFFF, 255);
    EXPECT_EQ(d.GetPixel(0, 0), 0x00FEFEFEu);
    d.FillRectAlpha(d.GetBoundsRect(), 0xFEFEFE, 255);  // already the colour: unchanged
    EXPECT_EQ(d.GetPixel(0, 0), 0x00FEFEFEu);
    d.Fill(0xA01020);
    d.FillRectAdd(d.GetBoundsRect(), 0x808080);
    EXPECT_EQ(d.GetPixel(0, 0), 0x00FF90A0u);
    d.Fill(0xA01020);
    d.FillRectSub(d.GetBoundsRect(), 0x808080);
    EXPECT_EQ(d.GetPixel(0, 0), 0x00200000u);
    d.SetSize(1, 1, 16);
    d.Fill(0xF000 | 0x07C0 | 0x1E);
    d.FillRectAdd(d.GetBoundsRect(), 0x0841);
    EXPECT_EQ(d.GetPixel(0, 0), 0xF800u | 0x07E0u | 0x1Fu);
}

// Every blend formula on 15-, 16- and 32-bit pixels against a per-field reference.
TEST(DIBXDraw, BlendsMatchScalarReference) {
    constexpr int W = 16, H = 16;
    for (int bits : {15, 16, 32}) {
        const uint32_t storage = bits == 32 ? 0xFFFFFFFFu : bits == 15 ? 0x7FFFu : 0xFFFFu;
        auto dv = [&](int x, int y) { return (x + y) % 7 == 0 ? 0u : Mix(x, y, 2) & storage; };
        auto sv = [&](int x, int y) { return (x * y) % 5 == 0 ? dv(x, y) : Mix(x, y, 3) & storage; };
        TDIBX src, mask;
        Paint(src, W, H, bits, sv);
        Paint(mask, W, H, 8, [](int x, int y) { return uint32_t(((y * W + x) * 37) & 255) | (x == 3 ? 255 : 0); });
        src.TransparentColor = int32_t(sv(5, 1));
        const uint32_t key = uint32_t(src.TransparentColor);
        const uint32_t color = Mix(1, 1, 77) & storage;

        struct Op {
            const char* Name;
            std::function<void(TDIBX&, int)> Run;
            std::function<uint32_t(uint32_t d, uint32_t s, uint32_t m, int a)> Ref;
        };
        const std::vector<Op> ops = {
            {"FillRectAlpha", [&](TDIBX& d, int a) { d.FillRectAlpha(d.GetBoundsRect(), int32_t(color), a); },
             [&](uint32_t d, uint32_t, uint32_t, int a) { return d == color ? d : FieldBlend(bits, d, color, a); }},
            {"FillRectAdd", [&](TDIBX& d, int) { d.FillRectAdd(d.GetBoundsRect(), int32_t(color)); },
             [&](uint32_t d, uint32_t, uint32_t, int) { return FieldAdd(bits, d, color, 256); }},
            {"DrawMask", [&](TDIBX& d, int) { d.DrawMask(0, 0, src, src.GetBoundsRect(), false, false, mask); },
             [&](uint32_t d, uint32_t s, uint32_t m, int) {
                 return m == 0 || d == s ? d : m == 255 ? s : FieldBlend(bits, d, s, m);
             }},
            {"DrawAlpha", [&](TDIBX& d, int a) { d.DrawAlpha(0, 0, src, src.GetBoundsRect(), true, false, false, a); },
             [&](uint32_t d, uint32_t s, uint32_t, int a) { return s == key || d == s ? d : FieldBlend(bits, d, s, a); }},
            {"DrawAlphaMask",
             [&](TDIBX& d, int a) { d.DrawAlphaMask(0, 0, src, src.GetBoundsRect(), false, false, mask, a); },
             [&](uint32_t d, uint32_t s, uint32_t m, int a) {
                 const uint32_t w = bits == 32 && m == 255 ? a : m * a / 256;
                 return m == 0 || d == s ? d : FieldBlend(bits, d, s, w);
             }},
            {"DrawAdd", [&](TDIBX& d, int a) { d.DrawAdd(0, 0, src, src.GetBoundsRect(), false, false, false, a + 1); },
             [&](uint32_t d, uint32_t s, uint32_t, int a) { return s == key ? d : FieldAdd(bits, d, s, a + 1); }},
            {"DrawAddMask",
             [&](TDIBX& d, int a) { d.DrawAddMask(0, 0, src, src.GetBoundsRect(), false, false, mask, a + 1); },
             [&](uint32_t d, uint32_t s, uint32_t m, int a) {
                 return m == 0 ? d : FieldAdd(bits, d, s, m * uint32_t(a + 1) / 256);
             }},
            {"DrawAlphaMaskKeyed",
             [&](TDIBX& d, int a) { d.DrawAlphaMaskKeyed(0, 0, mask, mask.GetBoundsRect(), false, false, int32_t(color), a); },
             [&](uint32_t d, uint32_t, uint32_t m, int a) {
                 const uint32_t w = a >= 255 ? m : bits == 32 && m == 255 ? a : m * a / 256;
                 return m == 0 || d == color ? d : FieldBlend(bits, d, color, w);
             }},
            {"DrawRotate",
             [&](TDIBX& d, int a) { d.DrawRotate(0, 0, 1, 1, src, src.GetBoundsRect(), 0, 0, 0, true, false, false, a + 256); },
             [&](uint32_t d, uint32_t s, uint32_t, int a) { return s == key ? d : FieldAdd(bits, d, s, a); }},
        };
        for (const Op& op : ops)
            for (int a : {1, 64, 128, 200, 254, 255}) {
                TDIBX d;
                Paint(d, W, H, bits, dv);
                op.Run(d, a);
                for (int y = 0; y < H; ++y)
                    for (int x = 0; x < W; ++x)
                        ASSERT_EQ(d.GetPixel(x, y), op.Ref(dv(x, y), sv(x, y), mask.GetPixel(x, y), a) & storage)
                            << op.Name << " bits " << bits << " a " << a << " at " << x << "," << y;
            }
    }
}

// Between memory surfaces the rows are found in their images; a surface of a kind of its own is
// reached only through its locks. Both draw the same pixels, mirrored or not, clipped at every edge.
TEST(DIBXDraw, MemoryAndLockedPicturesDrawAlike) {
    struct TLocked : TDIBX {};
    TDIBX src, mask;
    TLocked lockedSrc, lockedMask;
    for (TCustomDIBX* s : {static_cast<TCustomDIBX*>(&src), static_cast<TCustomDIBX*>(&lockedSrc)})
        Paint(*s, 9, 7, 32, [](int x, int y) { return Mix(x, y, 5); });
    for (TCustomDIBX* m : {static_cast<TCustomDIBX*>(&mask), static_cast<TCustomDIBX*>(&lockedMask)})
        Paint(*m, 9, 7, 8, [](int x, int y) { return uint32_t(x * y * 29) & 255; });
    auto draw = [&](TDIBX& D, TCustomDIBX& S, TCustomDIBX& M, TPoint At, bool MirrorX, bool MirrorY, int Op) {
        const TRect part{1, 0, 8, 6};
        if (Op == 0) D.DrawMask(At.X, At.Y, S, part, MirrorX, MirrorY, M);
        if (Op == 1) D.DrawAlphaMask(At.X, At.Y, S, part, MirrorX, MirrorY, M, 150);
        if (Op == 2) D.DrawAlpha(At.X, At.Y, S, part, false, MirrorX, MirrorY, 90);
        if (Op == 3) D.Draw(At.X, At.Y, S, part, false, MirrorX, MirrorY);
    };
    for (const TPoint at : {TPoint{-4, -3}, TPoint{3, 2}, TPoint{8, 6}})
        for (int mirror = 0; mirror < 4; ++mirror)
            for (int op = 0; op < 4; ++op) {
                TDIBX a;
                TLocked b;
                for (TDIBX* d : {&a, static_cast<TDIBX*>(&b)}) {
                    Paint(*d, 12, 10, 32, [](int x, int y) { return Mix(x, y, 6); });
                    d->SetClipRectDirect({1, 1, 11, 9});
                }
                draw(a, src, mask, at, mirror & 1, mirror & 2, op);
                draw(b, lockedSrc, lockedMask, at, mirror & 1, mirror & 2, op);
                for (int y = 0; y < 10; ++y)
                    for (int x = 0; x < 12; ++x)
                        ASSERT_EQ(a.GetPixel(x, y), b.GetPixel(x, y))
                            << "op " << op << " mirror " << mirror << " at " << at.X << "," << at.Y << ": " << x << "," << y;
            }
}

TEST(DIBXDraw, RotateAssignAndMaskEdges) {
    TDIBX src, a, b, mask;
    Paint(src, 6, 5, 32, [](int x, int y) { return Mix(x, y, 4); });
    a.SetSize(12, 12, 32);
    b.SetSize(12, 12, 32);
    a.Fill(0);
    b.Fill(0);
    a.Draw(3, 4, src, src.GetBoundsRect(), false, false, false);
    b.DrawRotate(3, 4, 1, 1, src, src.GetBoundsRect(), 0, 0, 0, false, false, false, 255);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) ASSERT_EQ(a.GetPixel(x, y), b.GetPixel(x, y)) << x << "," << y;
    b.DrawRotate(3, 4, 1, 1, src, src.GetBoundsRect(), 0, 0, 0, false, false, false, 256);
    EXPECT_EQ(b.GetPixel(3, 4), a.GetPixel(3, 4));

    TDIBX c;
    c.SetSize(12, 12, 32);
    c.Assign(a);
    EXPECT_EQ(c.GetPixel(5, 5), a.GetPixel(5, 5));

    // A source rectangle reaching past the mask draws nothing.
    Paint(mask, 4, 4, 8, [](int, int) { return 255u; });
    c.Fill(0);
    c.DrawAlphaMaskKeyed(0, 0, mask, {0, 0, 5, 4}, false, false, 0x123456, 255);
    EXPECT_EQ(c.GetPixel(0, 0), 0u);
    c.DrawAlphaMaskKeyed(0, 0, mask, {0, 0, 4, 4}, false, false, 0x123456, 255);
    EXPECT_EQ(c.GetPixel(0, 0), 0x113355u);  // (c * 255) div 256
}
