// Box and label tracks: their fields at each version written by tools/vfilm.py, eased bounds and
// colours on a box, labels measured through the font service, and parent chains across kinds.
#include "objects/vitemex_label.h"
#include "objects/vitems_kinds.h"
#include "tests/text/frms_tracks_fixture.h"
#include "text/fontpixels.h"

namespace {

constexpr const char* BoxAndLabel = R"([
    {"kind": 2, "length": 9,
     "begin_pos": [1, 2], "end_pos": [3, 4], "mode_x": 1, "mode_y": 2, "begin_alpha": 5, "end_alpha": 6,
     "begin_size": [7, 8], "end_size": [9, 10], "colors": [255, 65280], "border_widths": [1, 3],
     "border_colors": [16, 32], "begin_clip_pos": [1, 1], "begin_clip_size": [2, 2], "end_clip_pos": [3, 3],
     "end_clip_size": [4, 4], "clip_mode_x": 2, "clip_mode_y": 1, "begin_blur_span": 11, "begin_blur_delay": 12,
     "end_blur_span": 13, "end_blur_delay": 14},
    {"kind": 1, "length": 5,
     "begin_pos": [20, 30], "text": "\u65e5\u672c\r\nAB", "antialias": 1, "font_name": "\uff2d\uff33 \u660e\u671d",
     "font_height": 20, "line_space": 4, "font_style": 3, "font_color": 1193046, "h_align": 2}])";

TEST_F(FilmTracks, BoxAndLabelFieldsAtEachVersionGate) {
    for (int32_t version : {100, 101, 102, 103, 108, 109, 111}) {
        SCOPED_TRACE(version);
        auto film = Read(FilmBytes(BoxAndLabel, version));
        ASSERT_EQ(film->Count(), 2);
        const TCustomFrameList& box = *film->GetTrack(0);
        const auto& label = static_cast<const TLabelFrameList&>(*film->GetTrack(1));
        EXPECT_EQ(box.GetEndPoint(TTrackProp::Position), (TPoint{3, 4}));
        EXPECT_EQ(box.GetMode(TTrackProp::Size, 1), 2);
        EXPECT_EQ(box.GetEndPoint(TTrackProp::Size), (TPoint{9, 10}));
        EXPECT_EQ(box.GetEndInt(TTrackProp::Color), 0xFF00);
        EXPECT_EQ(box.GetEndInt(TTrackProp::BorderWidth), 3);
        EXPECT_EQ(box.GetBeginInt(TTrackProp::BorderColor), 16);
        EXPECT_EQ(box.GetEndPoint(TTrackProp::ClipPos), (version >= 101 ? TPoint{3, 3} : TPoint{0, 0}));
        EXPECT_EQ(box.GetBeginInt(TTrackProp::BlurDelay), version >= 109 ? 12 : 0);
        EXPECT_EQ(label.GetText(), "日本\r\nAB");
        EXPECT_EQ(label.GetInt(TTrackProp::FontHeight, false), 20);
        EXPECT_EQ(label.GetInt(TTrackProp::Color, false), 0x123456);
        // Before 103 the line space is stored but not taken, and there is no alignment byte.
        EXPECT_EQ(label.GetInt(TTrackProp::LineSpace, false), version >= 103 ? 4 : 0);
        EXPECT_EQ(label.HAlign, version >= 103 ? 2 : 0);

        const std::string written = Written(*film);
        EXPECT_EQ(ToHex(Written(*Read(written))), ToHex(written));
        if (version == 111) {
            EXPECT_EQ(ToHex(written), ToHex(FilmBytes(BoxAndLabel, 111)));
        }
    }
}

TEST_F(FilmTracks, BoxEasesBoundsColoursAndBorder) {
    auto& track = Add<TBoxFrameList>();
    EXPECT_EQ(track.Length, 1);
    track.Length = 3;
    track.SetPoint(TTrackProp::Size, true, {200, 100});
    track.SetInt(TTrackProp::Color, false, 0x0000FF);
    track.SetInt(TTrackProp::Color, true, 0xFF0000);
    track.SetInt(TTrackProp::BorderColor, false, 0x123456);
    track.SetInt(TTrackProp::BorderColor, true, 0x123456);
    track.SetInt(TTrackProp::BorderWidth, false, 2);
    track.SetInt(TTrackProp::BorderWidth, true, 6);
    track.SetInt(TTrackProp::Alpha, true, 55);
    track.SubPriority = 4;
    EXPECT_TRUE(track.ApplyAt(0));
    auto* box = dynamic_cast<TVelaBox*>(track.GetObject());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetParent(), Bases->GetBase(0));
    EXPECT_EQ((std::array{box->GetLeft(), box->GetTop(), box->GetWidth(), box->GetHeight(), box->GetPriority()}),
              (std::array{0, 0, 100, 100, 4}));
    EXPECT_EQ((std::array{box->GetColor(), box->GetBorderwidth(), box->GetAlpha()}), (std::array{0x0000FF, 2, 255}));
    track.ApplyAt(1);
    // Red 255 -> 0 passes 128 (the division truncates toward zero), blue 0 -> 255 passes 127.
    EXPECT_EQ((std::array{box->GetWidth(), box->GetColor(), box->GetBordercolor(), box->GetBorderwidth()}),
              (std::array{150, 0x7F0080, 0x123456, 4}));
    EXPECT_EQ(box->GetAlpha(), 155);
    track.ApplyAt(2);
    EXPECT_EQ(box->GetColor(), 0xFF0000);
    EXPECT_FALSE(track.ApplyAt(3));
    EXPECT_TRUE(box->IsDeleted());
}

class LabelTracks : public FilmTracks {
protected:
    void SetUp() override {
        FilmTracks::SetUp();
        FontPixelManager = new TFontPixelManager(platform::CreateFakeFontService);
    }
    void TearDown() override {
        FilmTracks::TearDown();
        delete std::exchange(FontPixelManager, nullptr);
    }
};

TEST_F(LabelTracks, LabelsMeasureTheirTextAtTheQuality) {
    auto& track = Add<TLabelFrameList>();
    EXPECT_EQ(track.Length, 5);
    track.SetInt(TTrackProp::FontHeight, false, 20);
    track.SetInt(TTrackProp::LineSpace, false, 4);
    track.SetText("AB\r\nC");
    // The fake face advances h / 2 + 2 a character at height h: 12 at 20.
    EXPECT_EQ((TPoint{track.GetWidth(), track.GetHeight()}), (TPoint{24, 44}));
    EXPECT_EQ((TPoint{track.GetFrame(0).GetWidth(), track.GetFrame(0).GetHeight()}), (TPoint{24, 44}));
    // Smoothed, opaque, unzoomed and unturned: measured at height 80 (42 a character), then / 4.
    track.SetInt(TTrackProp::Alpha, false, 255);
    track.SetInt(TTrackProp::Alpha, true, 255);
    track.SetAntialias(true);
    EXPECT_EQ(track.GetWidth(), 21);
    track.SetFloat(TTrackProp::ZoomY, true, 2.0);
    track.SetFontStyle(0);
    EXPECT_EQ(track.GetWidth(), 24);
    // A text without lines is 0 high.
    track.SetText("");
    EXPECT_EQ((TPoint{track.GetWidth(), track.GetHeight()}), (TPoint{0, 0}));
}

TEST_F(LabelTracks, FontHeightAndLineSpaceAreBoundedAsTheLabelsAre) {
    auto& track = Add<TLabelFrameList>();
    track.SetInt(TTrackProp::LineSpace, false, 31000);
    track.SetInt(TTrackProp::FontHeight, false, -5000);
    EXPECT_EQ(track.GetInt(TTrackProp::LineSpace, false), MaxStoredFontSize);
    EXPECT_EQ(track.GetInt(TTrackProp::FontHeight, false), -MaxStoredFontSize);
    for (const char* fields : {R"("font_height": 1024, "line_space": 31000)", R"("font_height": -1025)"}) {
        SCOPED_TRACE(fields);
        const std::string film = FilmBytes(std::string(R"([{"kind": 1, "text": "ABCDEFGH", )") + fields + "}]", 111);
        EXPECT_THROW(Read(film), EReadError);
    }
}

TEST_F(LabelTracks, LabelsSetTheirTextFontAndPlace) {
    auto& track = Add<TLabelFrameList>();
    track.SetText("Hi");
    track.SetFontName("ＭＳ 明朝");
    track.SetInt(TTrackProp::FontHeight, false, 16);
    track.FontColor = 0x00FF00;
    track.SetPoint(TTrackProp::Position, false, {4, 6});
    track.SetPoint(TTrackProp::Position, true, {4, 6});
    track.Anchor = {1, 2};
    track.OtherLayer = 1;
    track.SubPriority = 2;
    EXPECT_TRUE(track.ApplyAt(0));
    auto* label = dynamic_cast<TVelaLabel*>(track.GetObject());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->GetParent(), Bases->GetBase(1));
    EXPECT_EQ(label->GetText(), "Hi");
    EXPECT_EQ(label->GetFontname(), "ＭＳ 明朝");
    EXPECT_EQ((std::array{label->GetFontheight(), label->GetFontcolor(), label->GetPriority()}),
              (std::array{16, 0x00FF00, 2}));
    EXPECT_EQ((std::array{label->GetLeft(), label->GetTop(), label->GetOffsetx(), label->GetOffsety()}),
              (std::array{4, 6, 1, 2}));
    EXPECT_FALSE(track.ApplyAt(5));
    EXPECT_TRUE(label->IsDeleted());
}

TEST_F(LabelTracks, ParentChainsAcrossKinds) {
    auto& box = Add<TBoxFrameList>();
    auto& image = Add<TImageFrameList>();
    auto& label = Add<TLabelFrameList>();
    auto& tile = Add<TTileFrameList>();
    box.Length = 10;
    box.SetPoint(TTrackProp::Position, true, {30, 40});
    box.SetInt(TTrackProp::Alpha, true, 99);
    image.Parent = &box;
    image.SetPoint(TTrackProp::Position, false, {-1, -1});
    image.SetFloat(TTrackProp::ZoomX, false, 3.0);
    image.SetPoint(TTrackProp::Position, true, {50, 60});
    image.Length = 4;
    label.Parent = &image;
    label.SetInt(TTrackProp::FontHeight, false, 20);
    label.SetText("AB");
    tile.Parent = &label;
    tile.SetPoint(TTrackProp::Size, false, {1, 1});  // a continued track keeps its parent's
    Film->PlaceTracks();
    // Each begins where its parent ends; a parent without the property answers its default.
    EXPECT_EQ(image.GetBeginPoint(TTrackProp::Position), (TPoint{30, 40}));
    EXPECT_EQ(image.GetBeginInt(TTrackProp::Alpha), 99);
    EXPECT_EQ(image.GetBeginFloat(TTrackProp::ZoomX), 1.0);
    EXPECT_EQ(label.GetBeginPoint(TTrackProp::Position), (TPoint{50, 60}));
    EXPECT_EQ(tile.GetBeginPoint(TTrackProp::Size), (TPoint{24, 20}));
    EXPECT_EQ(label.StartTime(), 14);

    // Played through, the box's last tick stops one step short of its end (the image takes
    // over there), and the image starts from the box's end.
    box.ApplyAt(9);
    EXPECT_EQ(box.GetObject()->GetLeft(), 27);
    label.ApplyAt(14);
    EXPECT_EQ(label.GetObject()->GetLeft(), 50);
}

}  // namespace
