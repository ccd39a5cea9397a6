#include "graphics/miras.h"

#include "graphics/dxdibx.h"
#include "graphics/pngpics.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

constexpr int32_t kMiraRed = 0x0000FF, kMiraBlue = 0xFF0000;  // $00BBGGRR

// A 4 x 3 frame of List at Bits bits, background BGColor; layers are added by the test.
TMiraFrame& NewFrame(TMiraFrameList& List, int32_t Bits, int32_t TransPixel = -1) {
    TMiraFrame& f = *List.AddFrame();
    f.TransPixel = TransPixel;
    const TRGBQuad colors[3] = {0x000000, 0xFF0000, 0x0000FF};  // black, red, blue
    f.SetupImage(4, 3, Bits, colors, 3);
    return f;
}

// A layer whose pixels are all Value, but Other at (1, 1).
TMiraLayer& Layer(TMiraFrame& F, uint32_t Value, uint32_t Other) {
    TMiraLayer& l = *F.AddLayer();
    l.Image.FillRectRaw({0, 0, 4, 3}, Value);
    l.Image.SetPixel(1, 1, Other);
    return l;
}

void ComposeAll(TMiraFrame& F) {
    bool first = true;
    for (int32_t i = 0; i < F.Count(); ++i) F.ComposeLayer(i, first);
}

}  // namespace

TEST(MiraFrame, SetupFillsTheBackgroundAndGivesTheKeyItsColour) {
    TMiraFrameList list(0);
    list.BGColor = kMiraBlue;
    TMiraFrame& indexed = NewFrame(list, 8, 1);
    EXPECT_EQ(indexed.TransColor, kMiraRed);
    EXPECT_EQ(indexed.Image.GetPixel(0, 0), 2u);  // the nearest entry of the background colour
    TMiraFrame& words = NewFrame(list, 15, 0x7C00);
    EXPECT_EQ(words.TransColor, kMiraRed);
    EXPECT_EQ(words.Image.GetPixel(3, 2), 0x1Fu);
    EXPECT_EQ(NewFrame(list, 24).TransColor, -1);
    EXPECT_EQ(ErrorOf([&] { list.GetFrame(3); }), "Error:TMiraFrameList.GetFrame");
    EXPECT_EQ(ErrorOf([&] { list.GetFrame(-1); }), "Error:TMiraFrameList.GetFrame");
    EXPECT_THROW(NewFrame(list, 2), EInvalidGraphic);
}

TEST(MiraFrame, CompositionBranches) {
    TMiraFrameList list(0);
    list.BGColor = kMiraBlue;
    // Only an invisible layer: the background stays and no alpha appears.
    TMiraFrame& hidden = NewFrame(list, 24);
    Layer(hidden, 0x00FF00, 0).Visible = false;
    ComposeAll(hidden);
    EXPECT_EQ(hidden.Image.GetPixel(1, 1), 0x0000FFu);
    EXPECT_FALSE(hidden.HasAlpha());

    // A keyed first layer: drawn over the background, or copied with NotFillBG.
    for (bool notFill : {false, true}) {
        list.NotFillBG = notFill;
        TMiraFrame& f = NewFrame(list, 24);
        Layer(f, 0x00FF00, 0x123456).TransColor = 0x123456;
        ComposeAll(f);
        EXPECT_EQ(f.Image.GetPixel(1, 1), notFill ? 0x123456u : 0x0000FFu);
        EXPECT_EQ(f.Image.GetPixel(0, 0), 0x00FF00u);
    }
    list.NotFillBG = true;
    // Opacity below 255 blends even as the first layer.
    TMiraFrame& faint = NewFrame(list, 24);
    Layer(faint, 0xFF0000, 0xFF0000).Alpha = 128;
    ComposeAll(faint);
    const uint32_t p = faint.Image.GetPixel(0, 0);
    EXPECT_GT(p >> 16 & 0xFF, 0x60u);
    EXPECT_GT(p & 0xFF, 0x60u);

    // The first alpha layer gives the frame its alpha; a later one blends without changing it.
    TMiraFrame& alpha = NewFrame(list, 24);
    TMiraLayer& base = Layer(alpha, 0x00FF00, 0x00FF00);
    base.Image.NeedAlpha();
    base.Image.Alpha->FillRectRaw({0, 0, 4, 3}, 200);
    base.AlphaOn = true;
    TMiraLayer& over = Layer(alpha, 0xFF0000, 0xFF0000);
    over.Image.NeedAlpha();
    over.Image.Alpha->FillRectRaw({0, 0, 4, 3}, 0);
    over.Image.Alpha->SetPixel(1, 1, 255);
    over.AlphaOn = true;
    ComposeAll(alpha);
    EXPECT_EQ(alpha.Image.Alpha->GetPixel(1, 1), 200u);
    EXPECT_EQ(alpha.Image.GetPixel(1, 1), 0xFF0000u);
    EXPECT_EQ(alpha.Image.GetPixel(0, 0), 0x00FF00u);
    list.EndLoad(false);
    EXPECT_EQ(alpha.Count(), 0);
}

TEST(MiraFrame, DisplayPreparation) {
    TMiraFrameList list(0);
    // An indexed frame becomes 24 bits; its key follows the colour of the first keyed pixel.
    TMiraFrame& keyed = NewFrame(list, 8, 1);
    Layer(keyed, 0, 1);
    ComposeAll(keyed);
    keyed.PrepareForDisplay(true);
    EXPECT_EQ(keyed.Image.BitCount(), 24);
    EXPECT_EQ(keyed.GetLayer(0)->Image.BitCount(), 24);
    EXPECT_EQ(keyed.TransPixel, 0xFF0000);
    EXPECT_EQ(keyed.Image.Alpha->GetPixel(1, 1), 0u);
    EXPECT_EQ(keyed.Image.Alpha->GetPixel(0, 0), 255u);
    // A key that no pixel holds stays as it was.
    TMiraFrame& absent = NewFrame(list, 8, 2);
    absent.PrepareForDisplay(false);
    EXPECT_EQ(absent.Image.BitCount(), 24);
    EXPECT_EQ(absent.TransPixel, 2);
    // ReduceBits takes the frame and the kept layers to that depth.
    list.ReduceBits = 16;
    TMiraFrame& reduced = NewFrame(list, 24);
    Layer(reduced, 0x123456, 0);
    reduced.PrepareForDisplay(true);
    EXPECT_EQ(reduced.Image.BitCount(), 16);
    EXPECT_EQ(reduced.GetLayer(0)->Image.BitCount(), 16);
}

TEST(MiraFrame, CropToContent) {
    TMiraFrameList list(0);
    TRect r;
    // No key and no alpha, or nothing opaque: nothing to crop.
    TMiraFrame& plain = NewFrame(list, 24);
    TMiraFrame& clear = NewFrame(list, 24);
    clear.Image.NeedAlpha();
    clear.Image.Alpha->FillRectRaw({0, 0, 4, 3}, 0);
    for (TMiraFrame* f : {&plain, &clear}) {
        f->CropToContent(r);
        EXPECT_EQ(r, (TRect{0, 0, 4, 3}));
        EXPECT_EQ(f->Image.Width(), 4);
    }

    TMiraFrame& alpha = NewFrame(list, 24);
    alpha.Image.SetPixel(2, 1, 0xABCDEF);
    alpha.Image.NeedAlpha();
    alpha.Image.Alpha->FillRectRaw({0, 0, 4, 3}, 0);
    alpha.Image.Alpha->FillRectRaw({1, 1, 3, 2}, 9);
    alpha.Rects1 = {{0, 0, 2, 2}, {3, 0, 4, 1}};
    alpha.Rects2 = {{2, 1, 9, 9}};
    alpha.CropToContent(r);
    EXPECT_EQ(r, (TRect{1, 1, 3, 2}));
    EXPECT_EQ(alpha.Image.Width(), 2);
    EXPECT_EQ(alpha.Image.GetPixel(1, 0), 0xABCDEFu);
    EXPECT_EQ(alpha.Image.Alpha->GetPixel(1, 0), 9u);
    EXPECT_EQ(alpha.Rects1, (std::vector<TRect>{{0, 0, 1, 1}}));
    EXPECT_EQ(alpha.Rects2, (std::vector<TRect>{{1, 0, 2, 1}}));
    TDIBX surface;
    TDIB dib;
    alpha.AlphaToDIBX(surface);
    alpha.AlphaToDIB(dib);
    EXPECT_EQ(surface.GetBitCount(), 8);
    EXPECT_EQ(surface.GetPixel(1, 0), 9u);
    EXPECT_EQ(dib.GetPixel(1, 0), 9u);

    TMiraFrame& keyed = NewFrame(list, 8, 0);
    keyed.Image.SetPixel(3, 2, 1);
    keyed.CropToContent(r);
    EXPECT_EQ(r, (TRect{3, 2, 4, 3}));
}

TEST(MiraFrame, DrawToDIBXKeepsTheSurfaceDepthAndTheKey) {
    TMiraFrameList list(0);
    platform::HeadlessDisplay display;
    // The red key of each depth, and a colour whose low bits the narrower fields drop.
    const std::vector<std::pair<int32_t, uint32_t>> frames = {{8, 1}, {15, 0x7C00}, {24, 0xFF0000}, {32, 0xFF0000}};
    for (auto [frameBits, key] : frames) {
        TMiraFrame& f = NewFrame(list, frameBits, int32_t(key));
        f.Image.SetPixel(1, 1, key);
        f.Image.SetPixel(2, 1, frameBits == 8 ? 2 : frameBits == 15 ? 0x1234 : 0xAB123456);
        f.Rects1 = {{0, 0, 1, 1}};
        TDIBX d15, d16, d32;
        TDxDIBX dx(&display, 16);
        const std::vector<std::pair<TCustomDIBX*, int>> dests = {{&d15, 15}, {&d16, 16}, {&d32, 32}, {&dx, 16}};
        for (auto [dest, bits] : dests) {
            SCOPED_TRACE(testing::Message() << frameBits << " bits into " << bits);
            dest->SetSize(1, 1, bits);
            f.DrawToDIBX(*dest);
            ASSERT_EQ(dest->GetWidth(), 4);
            EXPECT_EQ(dest->GetBitCount(), bits);
            EXPECT_EQ(dest->Rects1, f.Rects1);
            EXPECT_EQ(dest->GetPixel(1, 1), uint32_t(dest->ColorToPixel(f.TransColor)));
            for (int32_t x = 0; x < 4; ++x) {
                const TRGBQuad c = f.Image.ValueColor(f.Image.GetPixel(x, 1));
                const int32_t colour = QuadBlue(c) << 16 | QuadGreen(c) << 8 | QuadRed(c);
                EXPECT_EQ(dest->GetPixel(x, 1), uint32_t(dest->ColorToPixel(colour)));
            }
        }
    }
    // Indexed surfaces take the nearest entry of their own table.
    TMiraFrame& f = NewFrame(list, 24);
    f.Image.SetPixel(0, 0, 0x1010F0);
    f.Image.SetPixel(1, 0, 0xF0F0F0);
    TDIBX indexed;
    indexed.SetSize(1, 1, 8);
    const TRGBQuad table[256] = {0xFFFFFF, 0x0000FF, 0xFF0000};
    indexed.SetColorTable(table);
    f.DrawToDIBX(indexed);
    EXPECT_EQ(indexed.GetPixel(0, 0), 1u);
    EXPECT_EQ(indexed.GetPixel(1, 0), 0u);
}

namespace {

TMemoryStream PngOf(const TDIB& Image, int32_t TransparentColour, const TDIB* InverseAlpha) {
    TPngPicture picture;
    picture.Assign(Image);
    if (InverseAlpha) {
        picture.AlphaBitmap().Assign(InverseAlpha);
        picture.HasAlpha = true;
    }
    picture.SetTransparentColour(TransparentColour);
    TMemoryStream out;
    picture.SaveToStream(out);
    out.SetPosition(0);
    return out;
}

}  // namespace

TEST(MiraFrameList, OneFramePNG) {
    TDIB image;
    image.ColorTable[3] = RGBQuad(0x10, 0x20, 0x30);
    image.SetSize(2, 2, 8);
    image.SetPixel(1, 0, 3);
    TMiraFrameList list(0);
    TMemoryStream paletted = PngOf(image, png::kPaletteIndexColor | 3, nullptr);
    list.LoadPNGFromStream(paletted);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.GetFrame(0)->TransColor, 0x302010);
    EXPECT_EQ(list.GetFrame(0)->TransPixel, 3);
    EXPECT_FALSE(list.GetFrame(0)->HasAlpha());

    image.SetBitCount(24);
    TDIB inverse;
    inverse.SetSize(2, 2, 8);
    inverse.SetPixel(1, 1, 200);
    TMemoryStream alpha = PngOf(image, -1, &inverse);
    list.LoadPNGFromStream(alpha);
    ASSERT_EQ(list.Count(), 1);
    const TMiraFrame& f = *list.GetFrame(0);
    EXPECT_EQ(f.TransColor, -1);
    ASSERT_TRUE(f.HasAlpha());
    EXPECT_EQ(f.Image.Alpha->GetPixel(1, 1), 55u);
    EXPECT_EQ(f.Image.Alpha->GetPixel(0, 0), 255u);
    EXPECT_EQ(f.Image.GetPixel(1, 0), 0x102030u);

    // A colour key masks and crops by its own pixels, not by black ones.
    TMemoryStream keyed = PngOf(image, 0x302010, nullptr);
    list.LoadPNGFromStream(keyed);
    TMiraFrame& k = *list.GetFrame(0);
    EXPECT_EQ(k.TransColor, 0x302010);
    EXPECT_EQ(k.TransPixel, 0x102030);
    TRect r;
    k.CropToContent(r);
    EXPECT_EQ(r, (TRect{0, 0, 2, 2}));
    list.AlphaFromTransColor(false);
    EXPECT_EQ(k.Image.Alpha->GetPixel(1, 0), 0u);
    EXPECT_EQ(k.Image.Alpha->GetPixel(0, 0), 255u);

    TMemoryStream broken = StreamOf("\x89PNX\r\n\x1a\n");
    EXPECT_THROW(list.LoadPNGFromStream(broken), EPngError);
    EXPECT_EQ(list.Count(), 0);
}

TEST(MiraFrameList, OneFrameBMPAndLoadByExtension) {
    TDIB image;
    image.SetSize(3, 1, 32);
    image.SetPixel(0, 0, 0x80123456);
    image.SetPixel(2, 0, 0xFF654321);
    const std::string folder = FreshHostFolder();
    TMemoryStream out;
    image.SaveToStream(out);
    std::ofstream(folder + "deep.Dib", std::ios::binary) << Bytes(out);
    std::ofstream(folder + "deep.txt", std::ios::binary) << Bytes(out);
    const std::string programFolder = platform::fs::ToProgramPath(folder);
    TMiraFrameList list(0);
    list.LoadFromFile(programFolder + "deep.Dib", false, false, false);
    ASSERT_EQ(list.Count(), 1);
    const TMiraFrame& deep = *list.GetFrame(0);
    EXPECT_EQ(deep.Image.BitCount(), 24);
    ASSERT_TRUE(deep.HasAlpha());
    EXPECT_EQ(deep.Image.Alpha->GetPixel(0, 0), 0x80u);
    EXPECT_EQ(deep.Image.Alpha->GetPixel(1, 0), 0u);
    EXPECT_EQ(deep.Image.GetPixel(2, 0), 0x654321u);

    list.LoadFromFile(programFolder + "deep.txt", false, false, false);
    EXPECT_EQ(list.Count(), 1);  // another extension loads nothing
    TMiraFrameList mira(0);
    mira.AddFrame()->Image.SetSize(2, 1, 24);
    mira.GetFrame(0)->Image.SetPixel(1, 0, 0x123456);
    mira.AddFrame()->Image.SetSize(2, 1, 24);
    mira.SaveToFile({platform::fs::HeldFolder::Open(programFolder), {"pic.Mra"}});
    list.LoadFromFile(programFolder + "pic.Mra", false, false, false);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetFrame(0)->Image.GetPixel(1, 0), 0x123456u);

    image.SetBitCount(8);
    TMemoryStream eight;
    image.SaveToStream(eight);
    eight.SetPosition(0);
    list.LoadBMPFromStream(eight);
    EXPECT_FALSE(list.GetFrame(0)->HasAlpha());
    eight.SetSize(eight.Size() - 2);
    eight.SetPosition(0);
    EXPECT_THROW(list.LoadBMPFromStream(eight), EVelaError);
    EXPECT_EQ(list.Count(), 0);
}
