#include "graphics/dxdibx.h"

#include "fake_display.h"
#include "media/screenman.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <array>

namespace {

uint32_t Mix(int x, int y, uint32_t Seed) {
    uint32_t v = uint32_t(x * 73856093) ^ uint32_t(y * 19349663) ^ Seed;
    v ^= v >> 13, v *= 0x5bd1e995u, v ^= v >> 15;
    return v;
}

// A screen manager over a fake display whose desktop has Bits bits, as ScreenMan.
class DisplaySurface : public ::testing::Test {
protected:
    void Start(int Bits) {
        display.desktop.bitCount = uint32_t(Bits);
        ScreenMan = new TScreenManager(&display, &panel, 64, 48, 0, 0);
    }
    void TearDown() override {
        delete ScreenMan;
        ScreenMan = nullptr;
    }
    FakeDisplay display;
    TBasePanel panel;
};

// The same fills and draws, in the order given, on any surface.
void DrawScene(TCustomDIBX& D, TDIBX& Source) {
    D.FillRect(D.GetBoundsRect(), D.ColorToPixel(0x204060));
    D.FillRectAlpha({3, 2, 40, 30}, D.ColorToPixel(0xF0E0D0), 100);
    D.FillRectAdd({10, 10, 50, 40}, D.ColorToPixel(0x303030));
    D.FillRectSub({0, 20, 20, 48}, D.ColorToPixel(0x101010));
    D.FrameRect({5, 5, 60, 45}, 2, D.ColorToPixel(0x00FFFF));
    D.Draw(-4, 7, Source, Source.GetBoundsRect(), true, false, true);
    D.DrawAlpha(30, 20, Source, {2, 2, 18, 12}, false, true, false, 77);
    D.DrawAdd(20, 30, Source, Source.GetBoundsRect(), false, false, false, 200);
    // The surface onto itself: the locks of source and destination nest.
    D.Draw(40, 0, D, {0, 0, 20, 20}, false, false, false);
}

class DxDIBXFormats : public DisplaySurface, public ::testing::WithParamInterface<int> {};

}  // namespace

// The fills and draws of the drawing surface run on display pixels exactly as on memory pixels.
TEST_P(DxDIBXFormats, DrawsLikeTheMemorySurface) {
    const int bits = GetParam();
    Start(bits);
    TDIBX source;
    source.SetSize(20, 14, bits);
    for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 20; ++x) source.SetPixel(x, y, Mix(x, y, 7) & (bits == 16 ? 0xFFFF : 0xFFFFFFFF));
    source.TransparentColor = int32_t(source.GetPixel(3, 3));

    TDIBX memory;
    memory.SetSize(64, 48, bits);
    TDxDIBX dx(ScreenMan->Form, ScreenMan->DisplayBitCount);
    EXPECT_TRUE(dx.GetEmpty());
    dx.SetSize(64, 48, bits);
    ASSERT_FALSE(dx.GetEmpty());
    ASSERT_EQ(dx.GetBitCount(), bits);
    ASSERT_EQ(dx.GetWidth(), 64);
    for (const int32_t color : {0, 0xFFFFFF, 0x0000FF, 0x123456, 0x808080, 0xFEDCBA, -1})
        EXPECT_EQ(dx.ColorToPixel(color), memory.ColorToPixel(color)) << color;

    DrawScene(memory, source);
    DrawScene(dx, source);
    // And the display surface as the source of a draw.
    TDIBX fromMemory, fromDx;
    fromMemory.SetSize(64, 48, bits);
    fromDx.SetSize(64, 48, bits);
    fromMemory.DrawAlpha(3, 1, memory, memory.GetBoundsRect(), false, false, false, 180);
    fromDx.DrawAlpha(3, 1, dx, dx.GetBoundsRect(), false, false, false, 180);

    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            ASSERT_EQ(dx.GetPixel(x, y), memory.GetPixel(x, y)) << x << "," << y;
            ASSERT_EQ(fromDx.GetPixel(x, y), fromMemory.GetPixel(x, y)) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Bits, DxDIBXFormats, ::testing::Values(16, 32));

TEST_F(DisplaySurface, SurfacesFollowTheDisplaysDepth) {
    Start(32);
    TDxDIBX dx(ScreenMan->Form, ScreenMan->DisplayBitCount);
    dx.SetSize(8, 8, 16);  // the display's format, whatever is asked
    EXPECT_EQ(dx.GetBitCount(), 32);
    EXPECT_EQ(dx.ColorToPixel(0xFFFFFF), 0x00FFFFFF);
    EXPECT_EQ(dx.ColorToPixel(0x0000FF), 0x00FF0000);
    EXPECT_EQ((std::array{dx.GetBShift(), dx.GetGShift(), dx.GetRShift()}), (std::array{0, 8, 16}));

    display.desktop.bitCount = 16;
    ScreenMan->FreeDX();
    ScreenMan->SetModeIndex(-1);
    TDxDIBX after(ScreenMan->Form, ScreenMan->DisplayBitCount);
    after.SetSize(8, 8, 32);
    EXPECT_EQ(after.GetBitCount(), 16);
    EXPECT_EQ(after.ColorToPixel(0xFFFFFF), 0xFFFF);
    EXPECT_EQ(after.ColorToPixel(0x0000FF), 0xF800);
    EXPECT_EQ((std::array{after.GetBShift(), after.GetGShift(), after.GetRShift()}), (std::array{0, 5, 11}));
}

TEST_F(DisplaySurface, ASurfaceTheDisplayCannotMakeRaises) {
    Start(32);
    TDxDIBX dx(ScreenMan->Form, ScreenMan->DisplayBitCount);
    dx.SetSize(8, 8, 32);
    display.makesSurfaces = false;
    const std::string failed = "\"CreateSurface\" Failed";
    EXPECT_EQ(ErrorOf([&] { dx.SetSize(8, 8, 32); }), failed);
    EXPECT_TRUE(dx.GetEmpty());
    EXPECT_EQ(ErrorOf([&] { dx.SetSize(8, 8, 8); }), failed);
    EXPECT_TRUE(dx.GetEmpty());
    EXPECT_EQ(dx.GetPixel(0, 0), 0u);
    EXPECT_EQ(dx.Lock(0, 0), nullptr);
}

TEST(DxDIBX, OverASurfaceOfSomeoneElse) {
    TestSurface frame(10, 6, 32);
    {
        std::unique_ptr<TDxDIBX> dx = TDxDIBX::CreateFromSurface(frame);
        EXPECT_EQ(dx->GetWidth(), 10);
        EXPECT_EQ(dx->GetNextLine(), frame.describe().pitch);
        dx->FillRect({2, 1, 5, 3}, dx->ColorToPixel(0x336699));
        dx->SetPixel(9, 5, 0x00ABCDEF);
        dx->SetPixel(10, 5, 1);  // outside: nothing
        dx->FreeSurface();       // not its own: stays
        EXPECT_EQ(dx->GetPixel(9, 5), 0x00ABCDEFu);
    }
    EXPECT_EQ(frame.Pixel32(4, 2), 0x00996633u);
    EXPECT_EQ(frame.Pixel32(5, 2), 0u);
    EXPECT_EQ(frame.Pixel32(9, 5), 0x00ABCDEFu);
    EXPECT_EQ(frame.locks, frame.unlocks);
}

// ---- The scaled copy into the window's pixels ----

namespace {

void Row(TDIBX& S, int Bits, const std::vector<uint32_t>& Pixels) {
    S.SetSize(int32_t(Pixels.size()), 1, Bits);
    for (size_t i = 0; i < Pixels.size(); ++i) S.SetPixel(int32_t(i), 0, Pixels[i]);
}

std::vector<uint32_t> FrameRow(const TestSurface& F, int32_t Y, int32_t From, int32_t To) {
    std::vector<uint32_t> out;
    for (int32_t x = From; x < To; ++x) out.push_back(F.Pixel32(x, Y));
    return out;
}

}  // namespace

TEST(StretchBltTo, ConvertsEachFormatToRGB) {
    struct Case {
        int bits;
        std::vector<uint32_t> in, out;
    };
    const Case cases[] = {
        {16, {0xF800, 0x07E0, 0x001F, 0x8410, 0xFFFF}, {0xFF0000, 0x00FF00, 0x0000FF, 0x848284, 0xFFFFFF}},
        {15, {0x7C00, 0x03E0, 0x001F, 0x4210, 0x7FFF}, {0xFF0000, 0x00FF00, 0x0000FF, 0x848484, 0xFFFFFF}},
        {24, {0x123456, 0xFF0000}, {0x123456, 0xFF0000}},
        {32, {0xAB123456, 0x00FFFFFF}, {0x123456, 0xFFFFFF}},
    };
    for (const Case& c : cases) {
        TDIBX s;
        Row(s, c.bits, c.in);
        TestSurface frame(12, 3, 32);
        const int32_t n = int32_t(c.in.size());
        StretchBltTo(s, {0, 0, n, 1}, frame, {2, 1, 2 + n, 2});
        EXPECT_EQ(FrameRow(frame, 1, 2, 2 + n), c.out) << c.bits;
        EXPECT_EQ(frame.Pixel32(1, 1), 0u);
        EXPECT_EQ(frame.Pixel32(2 + n, 1), 0u);
        EXPECT_EQ(frame.Pixel32(2, 0), 0u);
    }
}

TEST(StretchBltTo, SamplesTheNearestPixelAndStaysInsideBoth) {
    TDIBX s;
    Row(s, 32, {1, 2, 3, 4});
    TestSurface frame(6, 2, 32);
    // Doubled, starting two destination pixels left of the frame: the first sample shown is 2.
    StretchBltTo(s, {0, 0, 4, 1}, frame, {-2, 0, 6, 1});
    EXPECT_EQ(FrameRow(frame, 0, 0, 6), (std::vector<uint32_t>{2, 2, 3, 3, 4, 4}));
    // A source rectangle reaching past the source: only samples inside it are copied.
    StretchBltTo(s, {2, 0, 6, 1}, frame, {0, 1, 4, 2});
    EXPECT_EQ(FrameRow(frame, 1, 0, 6), (std::vector<uint32_t>{3, 4, 0, 0, 0, 0}));
    // Shrunk to half: every second source pixel.
    TestSurface small(2, 1, 32);
    StretchBltTo(s, {0, 0, 4, 1}, small, {0, 0, 2, 1});
    EXPECT_EQ(FrameRow(small, 0, 0, 2), (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(frame.locks, frame.unlocks);
}

// A window's pixels in whatever format its masks give: each colour lands in its fields, at 1:1
// and doubled. Drawing colours follow the masks too.
TEST(StretchBltTo, WritesEachWindowFormatByItsMasks) {
    struct Case {
        const char* name;
        int bits;
        uint32_t r, g, b;
        std::vector<uint32_t> out;
    };
    // Red, green, blue, 0x8040C0 and white.
    const Case cases[] = {
        {"5-6-5", 16, 0xF800, 0x07E0, 0x001F, {0xF800, 0x07E0, 0x001F, 0x8218, 0xFFFF}},
        {"5-5-5", 16, 0x7C00, 0x03E0, 0x001F, {0x7C00, 0x03E0, 0x001F, 0x4118, 0x7FFF}},
        {"RGB 24", 24, 0xFF0000, 0x00FF00, 0x0000FF, {0xFF0000, 0x00FF00, 0x0000FF, 0x8040C0, 0xFFFFFF}},
        {"BGR 24", 24, 0x0000FF, 0x00FF00, 0xFF0000, {0x0000FF, 0x00FF00, 0xFF0000, 0xC04080, 0xFFFFFF}},
        {"BGR 32", 32, 0x0000FF, 0x00FF00, 0xFF0000, {0x0000FF, 0x00FF00, 0xFF0000, 0xC04080, 0xFFFFFF}},
    };
    TDIBX s;
    Row(s, 32, {0xFF0000, 0x00FF00, 0x0000FF, 0x8040C0, 0xFFFFFF});
    for (const Case& c : cases) {
        TestSurface frame(12, 2, c.bits);
        frame.SetMasks(c.r, c.g, c.b);
        StretchBltTo(s, {0, 0, 5, 1}, frame, {1, 0, 6, 1});
        StretchBltTo(s, {0, 0, 5, 1}, frame, {1, 1, 11, 2});
        for (int32_t i = 0; i < 5; ++i) {
            EXPECT_EQ(frame.Raw(1 + i, 0), c.out[size_t(i)]) << c.name << " " << i;
            EXPECT_EQ(frame.Raw(1 + 2 * i, 1), c.out[size_t(i)]) << c.name << " " << i;
            EXPECT_EQ(frame.Raw(2 + 2 * i, 1), c.out[size_t(i)]) << c.name << " " << i;
        }
        EXPECT_EQ(frame.Raw(0, 0), 0u) << c.name;
        EXPECT_EQ(frame.Raw(6, 0), 0u) << c.name;
        EXPECT_EQ(frame.Raw(11, 1), 0u) << c.name;
        EXPECT_EQ(TDxDIBX::CreateFromSurface(frame)->ColorToPixel(0xC04080), int32_t(c.out[3])) << c.name;
    }
}

// ---- Palettes and device contexts ----

TEST(DxDIBXPalette, IndexedSurfacesKeepTheirOwnTable) {
    platform::HeadlessDisplay display;
    TDxDIBX dx(&display, 32);
    std::array<TRGBQuad, 256> table;
    table.fill(0x123456);
    dx.SetSize(4, 2, 8);
    dx.GetColorTable(table.data());
    EXPECT_EQ(table, (std::array<TRGBQuad, 256>{}));  // 256 entries of zeroes

    std::array<TRGBQuad, 256> ramp;
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = TRGBQuad(i * 0x010101);
    for (int bits : {1, 4, 8}) {
        dx.SetSize(4, 2, bits);
        dx.SetColorTable(ramp.data());
        const int entries = 1 << bits;
        table.fill(0xABCDEF);
        dx.GetColorTable(table.data());
        EXPECT_TRUE(std::equal(table.begin(), table.begin() + entries, ramp.begin())) << bits;
        EXPECT_EQ(table[size_t(entries) % 256], bits == 8 ? 0u : 0xABCDEFu) << bits;
    }

    const std::string refused = "FPalette.SetEntries Failed";
    EXPECT_EQ(ErrorOf([&] { dx.SetColorTableEntries(ramp.data(), 250, 7); }), refused);
    EXPECT_EQ(ErrorOf([&] { dx.SetColorTableEntries(ramp.data(), 255, 1); }), "");
    const TRGBQuad red = 0xFF0000, grey = 0x808080;
    dx.SetColorTableEntries(&red, 3, 1);
    dx.GetColorTableEntries(table.data(), 2, 2);
    EXPECT_EQ((std::array{table[0], table[1]}), (std::array<TRGBQuad, 2>{0x020202, red}));

    // Colours become the nearest entry; a colour converted lately is remembered.
    EXPECT_EQ(dx.ColorToPixel(0x0000F0), 3);  // red: 0x00BBGGRR
    EXPECT_EQ(dx.ColorToPixel(0x808080), 0x80);
    dx.SetColorTableEntries(&grey, 0, 1);
    EXPECT_EQ(dx.ColorToPixel(0x808080), 0x80);
    for (int32_t c = 1; c <= 16; ++c) dx.ColorToPixel(c * 0x010101);
    EXPECT_EQ(dx.ColorToPixel(0x808080), 0);  // converted again: entry 0 is that grey now

    // A direct-colour surface or one of someone else has no palette: nothing happens.
    dx.SetSize(4, 2, 32);
    table.fill(1);
    dx.GetColorTable(table.data());
    dx.SetColorTableEntries(ramp.data(), 250, 7);
    EXPECT_EQ(table[0], 1u);
}

TEST(DxDIBXDC, HoldsOneLockUntilReleased) {
    TestSurface frame(6, 4, 32);
    {
        std::unique_ptr<TDxDIBX> dx = TDxDIBX::CreateFromSurface(frame);
        const TFrameRecord dc = dx->GetDC();
        ASSERT_NE(dc.Pixels, nullptr);
        EXPECT_EQ((std::array{dc.Width, dc.Height, dc.Pitch, dc.BitCount}), (std::array{6, 4, 6 * 4 + 8, 32}));
        EXPECT_EQ(dx->GetDC().Pixels, dc.Pixels);
        dx->SetPixel(1, 1, 0x00FF00);  // drawing nests inside the held lock
        EXPECT_EQ((std::array{frame.locks, frame.unlocks}), (std::array{1, 0}));
        dx->ReleaseDC();
        dx->ReleaseDC();
        EXPECT_EQ((std::array{frame.locks, frame.unlocks}), (std::array{1, 1}));
        dx->GetDC();  // held when the surface goes: let go by its destructor
    }
    EXPECT_EQ((std::array{frame.locks, frame.unlocks}), (std::array{2, 2}));
    TDxDIBX empty(nullptr, 32);
    EXPECT_EQ(empty.GetDC().Pixels, nullptr);
}

// A frame of 32-bit pixels (the film's, with its fourth byte set) lands in surfaces of every
// depth converted by the colour rules, cut to the smaller of the two.
TEST(CopyFrame, ConvertsIntoEveryDepth) {
    const std::vector<uint32_t> colors{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF123456, 0xFFFFFFFF, 0xFF808080};
    std::vector<uint32_t> pixels;
    for (int y = 0; y < 2; ++y) pixels.insert(pixels.end(), colors.begin(), colors.end());
    const TFrameRecord frame{reinterpret_cast<uint8_t*>(pixels.data()), 6, 2, 24};
    struct Case {
        int bits;
        uint32_t red, green, blue, mixed, white, grey;
    } cases[] = {{15, 0x7C00, 0x03E0, 0x001F, 0x08CA, 0x7FFF, 0x4210},
                 {16, 0xF800, 0x07E0, 0x001F, 0x11AA, 0xFFFF, 0x8410},
                 {32, 0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF, 0x808080}};
    for (const Case& c : cases) {
        TDIBX dest;
        dest.SetSize(5, 3, c.bits);
        dest.Fill(1);
        CopyFrame(frame, dest);
        const std::vector<uint32_t> want{c.red, c.green, c.blue, c.mixed, c.white};
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 5; ++x)
                EXPECT_EQ(dest.GetPixel(x, y), y < 2 ? want[size_t(x)] : 1u) << c.bits << " " << x << "," << y;
    }

    // Through a surface's own device context (bottom-up rows) into an indexed one.
    TDIBX source;
    source.SetSize(6, 2, 32);
    CopyFrame(frame, source);
    platform::HeadlessDisplay display;
    TDxDIBX indexed(&display, 32);
    indexed.SetSize(6, 2, 8);
    const std::array<TRGBQuad, 4> table{0x000000, 0xFF0000, 0x0000FF, 0x7F7F7F};
    indexed.SetColorTableEntries(table.data(), 0, 4);
    CopyFrame(source.GetDC(), indexed);
    for (int32_t y = 0; y < 2; ++y)
        EXPECT_EQ((std::array{indexed.GetPixel(0, y), indexed.GetPixel(2, y), indexed.GetPixel(5, y)}),
                  (std::array{1u, 2u, 3u}));
}
