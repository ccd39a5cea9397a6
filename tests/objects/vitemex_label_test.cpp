// The text label on the fake font service (at height h a glyph is a full block of h/2 x (h - 2)
// one pixel in from its cell's left and top, advancing h/2 + 2; a space advances h/2 and has no
// pixels): lines and layout, the refused sizes, the three ways of drawing on 15-, 16- and 32-bit
// layers against the draws they stand for, the turned hit test, and the record against
// tests/tools/label_records.py.
#include "objects/vitemex_label.h"

#include "core/streams.h"
#include "graphics/graphic.h"
#include "objects/vitems_kinds.h"
#include "tests/common/fixture.h"
#include "text/fontpixels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <sstream>

namespace {

class LabelObjects : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        VelaInitialize();
        Bases->SetWidth(64);
        Bases->SetHeight(64);
        FontPixelManager = new TFontPixelManager(platform::CreateFakeFontService);
    }
    void TearDown() override {
        delete FontPixelManager;
        FontPixelManager = nullptr;
        VelaFinalize();
        FreeScriptServices();
    }
    // A white label of Text on layer 0 at (X, Y).
    TVelaLabel* Label(const std::string& Text, int32_t X = 5, int32_t Y = 6) {
        auto* label = new TVelaLabel(Bases, false);
        label->SetName("caption");
        label->SetParent(Bases->GetBase(0));
        label->SetLeft(X);
        label->SetTop(Y);
        label->SetFontcolor(0xFFFFFF);
        label->SetText(Text);
        return label;
    }
    // The layer drawn afresh at Bits per pixel over the background.
    TCustomDIBX& Drawn(int Bits = 32) {
        TCustomDIBX& screen = *Bases->GetSurface();
        screen.SetSize(64, 64, Bits);
        screen.Fill(screen.ColorToPixel(Background));
        Bases->GetBase(0)->SetColor(-1);
        Bases->GetBase(0)->InvalidateAll();
        Bases->Prepare();
        return screen;
    }
    // A background surface of Bits per pixel that the reference draws go to.
    static std::unique_ptr<TDIBX> Reference(int Bits) {
        auto r = std::make_unique<TDIBX>();
        r->SetSize(64, 64, Bits);
        r->Fill(r->ColorToPixel(Background));
        return r;
    }
    static int Differences(const TCustomDIBX& A, const TCustomDIBX& B) {
        int n = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) n += A.GetPixel(x, y) != B.GetPixel(x, y);
        return n;
    }
    static constexpr int32_t Background = 0x402010;
};

TEST_F(LabelObjects, LinesFollowTheTextAndAlignmentTruncates) {
    TVelaLabel* label = Label("A\r\n");
    EXPECT_EQ(label->GetText(), "A");
    EXPECT_EQ(label->GetNaturalWidth(), 8);
    EXPECT_EQ(label->GetNaturalHeight(), 12);
    label->SetText("A\r\n\r\n");  // the second line is empty and stays
    EXPECT_EQ(label->GetText(), "A\r\n");
    EXPECT_EQ(label->GetNaturalHeight(), 24);
    EXPECT_EQ(label->GetLineRects().size(), 1u);
    label->SetLinespace(3);
    label->SetText("A\rB\nC");
    EXPECT_EQ(label->GetNaturalHeight(), 45);
    EXPECT_EQ(label->GetLineRects()[2].Top, 30 + 1);

    // 37 and 36 pixels wide at height 14 (advances 9, spaces 7): the odd difference halves to 0.
    label->SetLinespace(0);
    label->SetFontheight(14);
    label->SetText("A    \r\nAAAA");
    EXPECT_EQ(label->GetNaturalWidth(), 37);
    EXPECT_EQ(label->GetLineRects()[1].Left, 1);
    label->SetHalign(1);
    EXPECT_EQ(label->GetLineRects()[1].Left, 1);
    label->SetHalign(2);
    EXPECT_EQ(label->GetLineRects()[1].Left, 2);

    label->SetText("");
    EXPECT_EQ(label->GetNaturalWidth(), 0);
    EXPECT_EQ(label->GetNaturalHeight(), 0);
    EXPECT_EQ(label->GetWidth(), 1);
    EXPECT_EQ(label->GetHeight(), 1);
    EXPECT_EQ(Differences(Drawn(), *Reference(32)), 0);
}

TEST_F(LabelObjects, AngleUnitsAndTheSilentWholeTurn) {
    TVelaLabel* label = Label("AB");
    TClipList& dirty = Bases->GetBase(0)->ClipList;
    dirty.Clear();
    label->SetAngle(255);
    EXPECT_EQ(label->GetAngle(), 255);
    EXPECT_FALSE(label->IsRotated());
    label->SetAngle(64);
    EXPECT_TRUE(label->IsRotated());
    EXPECT_EQ(dirty.Count(), 0);
    label->SetFloatangle(1);
    EXPECT_GT(dirty.Count(), 0);
    label->SetZoomx(384);
    EXPECT_EQ(label->GetFloatzoomx(), 1.5L);
    EXPECT_EQ(label->GetZoomx(), 384);
}

TEST_F(LabelObjects, TooLargeTextOrFontIsRefusedAndChangesNothing) {
    TVelaLabel* label = Label("AB");
    const TRect before = label->GetBoundsRect();
    const uint32_t glyph = label->GetTextMask().GetPixel(2, 2);
    EXPECT_THROW(label->SetText(std::string(5000, 'A')), EInvalidGraphic);
    EXPECT_EQ(label->GetText(), "AB");
    EXPECT_EQ(label->GetBoundsRect(), before);
    EXPECT_EQ(label->GetTextMask().GetWidth(), 16);
    EXPECT_EQ(label->GetTextMask().GetPixel(2, 2), glyph);
    EXPECT_EQ(glyph, 255u);
}

TEST_F(LabelObjects, ZoomedSizesSaturateAndAZoomNotAboveZeroDrawsNothing) {
    TVelaLabel* label = Label("AB");
    label->SetFloatzoomx(1e30L);
    EXPECT_EQ(label->GetWidth(), std::numeric_limits<int32_t>::max());
    label->SetFloatzoomx(std::numeric_limits<long double>::quiet_NaN());
    EXPECT_EQ(label->GetWidth(), 1);
    for (long double zoom : {0.0L, -2.0L}) {
        label->SetFloatzoomx(zoom);
        EXPECT_EQ(Differences(Drawn(), *Reference(32)), 0) << double(zoom);
        label->SetFloatangle(0.5L);
        EXPECT_EQ(Differences(Drawn(), *Reference(32)), 0) << double(zoom);
        label->SetFloatangle(0);
    }
}

// Each depth: the unscaled text lies inside its line rectangles (mirrored with the label) and
// stays opaque above alpha 255; the zoomed and turned labels equal the scaled draws of the same
// text image and mask.
TEST_F(LabelObjects, DrawsOnEveryLayerDepthAsTheScaledDrawsDo) {
    for (int bits : {15, 16, 32}) {
        SCOPED_TRACE(bits);
        TVelaLabel* label = Label("AB\r\nC", 5, 6);
        label->SetFontstyle(4);  // underlined: a line the mask alone carries
        label->SetAlpha(300);
        TCustomDIBX& screen = Drawn(bits);
        EXPECT_EQ(label->GetTextImage().GetBitCount(), bits);
        const int32_t white = screen.ColorToPixel(0xFFFFFF);
        int text = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                if (screen.GetPixel(x, y) == uint32_t(screen.ColorToPixel(Background))) continue;
                bool inside = false;
                for (const TRect& r : label->GetLineRects()) inside |= PointInRect(r, x - 5, y - 6);
                EXPECT_TRUE(inside) << x << "," << y;
                ++text;
            }
        EXPECT_GT(text, 100);

        // Mirrored: the picture of the plain draw turned around.
        label->SetFliph(true);
        auto mirrored = Reference(bits);
        mirrored->DrawAlphaMaskKeyed(label->GetOriginX(), label->GetOriginY(), const_cast<TDIBX&>(label->GetTextMask()),
                                     label->GetTextMask().GetBoundsRect(), true, false, white, 255);
        EXPECT_EQ(Differences(Drawn(bits), *mirrored), 0);

        TDIBX& image = const_cast<TDIBX&>(label->GetTextImage());
        TDIBX& mask = const_cast<TDIBX&>(label->GetTextMask());
        label->SetFloatzoomx(1.5L);
        label->SetFloatzoomy(2);
        auto stretched = Reference(bits);
        EXPECT_EQ(label->GetWidth(), 24);
        EXPECT_EQ(label->GetHeight(), 48);
        stretched->StretchDrawAddMask(label->GetBoundsRect(), image, image.GetBoundsRect(), true, false, mask, 44);
        EXPECT_EQ(Differences(Drawn(bits), *stretched), 0);

        label->SetAlpha(200);
        label->SetOffsetx(3);
        label->SetOffsety(4);
        label->SetFloatangle(0.5L);
        auto turned = Reference(bits);
        turned->DrawRotateMask(5, 6, 1.5, 2, image, image.GetBoundsRect(), 16 - 1 - 3, 4, 0.5, true, false, mask, 200);
        EXPECT_EQ(Differences(Drawn(bits), *turned), 0);
        delete label;
    }
}

TEST_F(LabelObjects, TurnedLabelIsHitWhereItIsDrawn) {
    TVelaLabel* label = Label("ABCD", 30, 20);  // 32 x 12
    label->SetFloatangle(std::numbers::pi_v<long double> / 2);  // a quarter turn about its left top
    const uint32_t all = 0xFF;
    EXPECT_EQ(label->HitTest({25, 40}, all), label);
    EXPECT_EQ(label->HitTest({50, 25}, all), nullptr);  // inside the unturned rectangle only
    EXPECT_EQ(label->HitTest({35, 40}, all), nullptr);
    label->SetIgnoremouse(3);
    EXPECT_EQ(label->HitTest({25, 40}, all & ~(1u << 3)), nullptr);
    const TCustomDIBX& screen = Drawn();
    EXPECT_NE(screen.GetPixel(25, 40), uint32_t(screen.ColorToPixel(Background)));
    EXPECT_EQ(screen.GetPixel(50, 25), uint32_t(screen.ColorToPixel(Background)));
}

std::string SavedLabel(TVelaObject& Obj) {
    TMemoryStream s;
    Obj.SaveToStream(s);
    return Bytes(s);
}

// Every side of every gate, then save -> load -> save at the newest version.
TEST_F(LabelObjects, FontHeightAndLineSpaceAreBoundedAndARecordBeyondIsDamaged) {
    TVelaLabel* label = Label("AB");
    label->SetLinespace(31000);
    label->SetFontheight(-40000);
    EXPECT_EQ(label->GetLinespace(), MaxStoredFontSize);
    EXPECT_EQ(label->GetFontheight(), -MaxStoredFontSize);
    label->SetFontname("bound");
    std::string record = SavedLabel(*label);
    const int32_t beyond = 31000;
    record.replace(record.find("bound") + 5 + 4, 4, reinterpret_cast<const char*>(&beyond), 4);  // the line space
    TMemoryStream s = StreamOf(record);
    TVelaLabel read(Bases, false);
    EXPECT_THROW(read.LoadFromStream(s, GameSaveVersion), EReadError);
}

TEST_F(LabelObjects, RecordsOfEverySaveVersion) {
    TVelaLabel built(Bases, false);
    built.SetName("caption");
    built.SetPriority(2);
    built.SetLeft(10);
    built.SetTop(20);
    built.SetOffsetx(3);
    built.SetOffsety(4);
    built.SetIgnoremouse(1);
    built.SetFontname("ＭＳ 明朝");
    built.SetLinespace(2);
    built.SetFontstyle(5);
    built.SetAlpha(300);
    built.SetFontcolor(0x3366CC);
    built.SetHalign(1);
    built.SetAntialias(true);
    built.SetFliph(true);
    built.SetAngle(255);
    built.SetZoomx(384);
    built.SetZoomy(192);
    built.SetText("AB\r\nC\r\n");
    built.SetOnidle("idle");
    built.SetSource("move.vmt");
    built.SetRepeat(true);
    built.SetOnplayend("ended");
    built.SetPaused(true);
    const std::string newest = SavedLabel(built);
    int versions = 0;
    for (const std::string& line : Lines(PythonOutput("label_records.py"))) {
        std::istringstream fields(line);
        int32_t version = 0;
        std::string stored, asRead;
        fields >> version >> stored >> asRead;
        SCOPED_TRACE(version);
        if (version >= 143) {
            EXPECT_EQ(ToHex(newest), ToHex(FromHex(stored)));
        }
        TMemoryStream s = StreamOf(FromHex(stored));
        TVelaLabel read(Bases, false);
        read.LoadFromStream(s, version);
        EXPECT_EQ(s.Remaining(), 0);
        EXPECT_EQ(ToHex(SavedLabel(read)), ToHex(FromHex(asRead)));
        ++versions;
    }
    EXPECT_EQ(versions, 5);

    TMemoryStream s = StreamOf(newest);
    TVelaLabel again(Bases, false);
    again.LoadFromStream(s, GameSaveVersion);
    EXPECT_EQ(ToHex(SavedLabel(again)), ToHex(newest));
    EXPECT_EQ(again.GetLineRects(), built.GetLineRects());
}

}  // namespace
