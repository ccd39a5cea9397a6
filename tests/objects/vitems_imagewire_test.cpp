// The object layer around the image kinds: its globals and their shut-down order, the selection
// frame, the image mode and the display switch reaching the image cache.
#include "graphics/miras.h"
#include "objects/vitemex_mira.h"
#include "objects/vitemex_read.h"
#include "objects/vitems.h"
#include "text/histories.h"

#include <gtest/gtest.h>

namespace {

// Serves one opaque 4 x 4 picture for every name and counts the decodes.
class TCountingSource : public TMiraSource {
public:
    explicit TCountingSource(int& Decodes) : decodes_(Decodes) {}
    bool FileExists(const std::string&, bool) override { return true; }
    void Load(TMiraFrameList& List, const std::string&) override {
        ++decodes_;
        TMiraFrame* frame = List.AddFrame();
        frame->SetupImage(4, 4, 32, nullptr, 0);
    }

private:
    int& decodes_;
};

// A control that answers the video kind's type code.
class TVideoStandIn : public TVelaControl {
public:
    using TVelaControl::TVelaControl;
    uint8_t GetCompoType() const override { return LT_VIDEO; }
};

class ImageWiring : public ::testing::Test {
protected:
    void SetUp() override {
        VelaInitialize();
        MiraMan->SetSource(std::make_unique<TCountingSource>(decodes));
        Bases->SetWidth(64);
        Bases->SetHeight(48);
    }
    void TearDown() override {
        if (Bases) VelaFinalize();
    }
    TCustomDIBX& Screen() { return *Bases->GetSurface(); }
    uint32_t Pixel(int32_t Color) { return static_cast<uint32_t>(Screen().ColorToPixel(Color)); }

    int decodes = 0;
};

TEST_F(ImageWiring, GlobalsHoldTheirPatternsAndGoInOrder) {
    ASSERT_NE(SelRectDIB, nullptr);
    ASSERT_NE(TransBGDIB, nullptr);
    EXPECT_EQ(ClipMan->Count(), 0);
    const TDIBX& sel = *SelRectDIB;
    EXPECT_EQ(std::vector<uint32_t>({sel.GetPixel(0, 0), sel.GetPixel(1, 0), sel.GetPixel(0, 1), sel.GetPixel(1, 1)}),
              std::vector<uint32_t>({0xFFFFFF, 0, 0, 0xFFFFFF}));
    const TDIBX& board = *TransBGDIB;
    EXPECT_EQ(board.GetBitCount(), 32);
    EXPECT_EQ(std::vector<uint32_t>({board.GetPixel(0, 0), board.GetPixel(15, 15), board.GetPixel(16, 0),
                                     board.GetPixel(0, 16), board.GetPixel(16, 16), board.GetPixel(31, 31)}),
              std::vector<uint32_t>({0xC0C0C0, 0xC0C0C0, 0x808080, 0x808080, 0xC0C0C0, 0xC0C0C0}));

    std::vector<std::string> labels;
    VelaFinalize([&](const char* Label) { labels.push_back(Label); });
    EXPECT_EQ(labels, (std::vector<std::string>{"TextRead.Free", "TextHistoryFormats.Free", "Bases.Free",
                                                "SelRectDIB.Free", "TransBGDIB.Free", "MiraMan.Free", "ClipMan.Free"}));
    EXPECT_EQ(TextRead, nullptr);
    EXPECT_EQ(TextHistoryFormats, nullptr);
    EXPECT_EQ(Bases, nullptr);
    EXPECT_EQ(MiraMan, nullptr);
    EXPECT_EQ(ClipMan, nullptr);
    EXPECT_EQ(SelRectDIB, nullptr);
    EXPECT_EQ(TransBGDIB, nullptr);
}

TEST_F(ImageWiring, TheSelectionFrameIsTwoPixelsOfThePatternExceptOnVideo) {
    TVelaBase& layer = *Bases->GetBase(0);
    layer.SetColor(0x0000FF);
    auto* framed = new TVelaControl(Bases);
    framed->SetParent(&layer);
    framed->SetBounds(10, 10, 20, 12);
    framed->SetControlFlag(true);
    auto* video = new TVideoStandIn(Bases);
    video->SetParent(&layer);
    video->SetBounds(40, 10, 20, 12);
    video->SetControlFlag(true);
    layer.InvalidateAll();
    Bases->Prepare();
    // The pattern's pixel (x mod 2, y mod 2) from the frame's corner, on both strips of each edge.
    const uint32_t white = Pixel(0xFFFFFF), black = Pixel(0), red = Pixel(0x0000FF);
    EXPECT_EQ(Screen().GetPixel(10, 10), white);
    EXPECT_EQ(Screen().GetPixel(11, 10), black);
    EXPECT_EQ(Screen().GetPixel(11, 11), white);
    EXPECT_EQ(Screen().GetPixel(29, 21), white);
    EXPECT_EQ(Screen().GetPixel(28, 21), black);
    EXPECT_EQ(Screen().GetPixel(12, 12), red);  // inside the frame
    EXPECT_EQ(Screen().GetPixel(9, 9), red);
    EXPECT_EQ(Screen().GetPixel(40, 10), red);  // the video object has none
}

TEST_F(ImageWiring, ImageModeAndTheDisplaySwitchReachTheCache) {
    int user = 0;
    MiraMan->Acquire(&user, "a.mra", false, false);
    ASSERT_EQ(decodes, 1);
    Bases->GetBase(0)->ClipList.Clear();
    Bases->SetImageMode(true);
    EXPECT_TRUE(Bases->GetImageMode());
    EXPECT_EQ(MiraMan->ImageMode, 1);
    EXPECT_EQ(decodes, 2);  // the entry was decoded again
    EXPECT_EQ(Bases->GetBase(0)->ClipList.Count(), 1);  // and the layers are redrawn whole
    Bases->SetImageMode(true);
    EXPECT_EQ(decodes, 2);

    Bases->FreePrivateDIBs();
    Bases->MakePrivateDIBs();
    EXPECT_EQ(decodes, 3);
}

}  // namespace
