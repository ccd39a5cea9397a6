// Image and tile tracks: their fields at each version written by tools/vfilm.py, objects moved,
// faded and animated over ticks in a headless root, names, motion targets and eased tile edges.
#include "objects/vitemex_image.h"
#include "objects/vitemex_tile.h"
#include "tests/text/frms_tracks_fixture.h"

namespace {

constexpr const char* ImageAndTile = R"([
    {"kind": 0, "length": 20, "start": 4, "loop_length": 6,
     "anchor": [3, 4], "begin_pos": [5, 6], "end_pos": [7, 8], "mode_x": 1, "mode_y": 2, "angles": [30, -45],
     "begin_zoom_x": 1.5, "end_zoom_x": 3.0, "zoom_x_mode": 1, "begin_alpha": 10, "end_alpha": 200,
     "angle_mode": 2, "begin_clip_pos": [1, 2], "begin_clip_size": [3, 4], "end_clip_pos": [5, 6],
     "end_clip_size": [7, 8], "clip_mode_x": 1, "clip_mode_y": 2, "begin_zoom_y": 0.5, "end_zoom_y": 2.0,
     "zoom_y_mode": 2, "begin_blur_span": 11, "begin_blur_delay": 12, "end_blur_span": 13, "end_blur_delay": 14,
     "file": "PICS\\A.PNG"},
    {"kind": 5, "length": 3, "begin_pos": [7, 8], "begin_size": [10, 11], "end_size": [12, 13],
     "begin_scroll": [-1, -2], "end_scroll": [3, 4], "scroll_mode_x": 2, "scroll_mode_y": 1, "distance": [9, 8],
     "file": "..\\T.PNG"}])";

TEST_F(FilmTracks, ImageAndTileFieldsAtEachVersionGate) {
    for (int32_t version : {100, 101, 104, 105, 108, 109, 110, 111}) {
        SCOPED_TRACE(version);
        auto film = Read(FilmBytes(ImageAndTile, version));
        ASSERT_EQ(film->Count(), 2);
        const TCustomFrameList& image = *film->GetTrack(0);
        const TCustomFrameList& tile = *film->GetTrack(1);
        EXPECT_EQ(image.Start, version < 107 ? 8 : 4);
        EXPECT_EQ(static_cast<const TImageFrameList&>(image).Anchor, (TPoint{3, 4}));
        EXPECT_EQ(image.GetBeginPoint(TTrackProp::Position), (TPoint{5, 6}));
        EXPECT_EQ(image.GetMode(TTrackProp::Position, 1), 2);
        EXPECT_EQ(image.GetBeginFloat(TTrackProp::Angle), 30.0);
        EXPECT_EQ(image.GetEndFloat(TTrackProp::Angle), -45.0);
        EXPECT_EQ(image.GetMode(TTrackProp::Angle), 2);
        EXPECT_EQ(image.GetEndInt(TTrackProp::Alpha), 200);
        // Before 105 the y zoom copies the x zoom and its mode.
        const bool zoomY = version >= 105;
        EXPECT_EQ(image.GetBeginFloat(TTrackProp::ZoomY), zoomY ? 0.5 : 1.5);
        EXPECT_EQ(image.GetEndFloat(TTrackProp::ZoomY), zoomY ? 2.0 : 3.0);
        EXPECT_EQ(image.GetMode(TTrackProp::ZoomY), zoomY ? 2 : 1);
        const bool clip = version >= 101, blur = version >= 109;
        EXPECT_EQ(image.GetEndPoint(TTrackProp::ClipSize), (clip ? TPoint{7, 8} : TPoint{0, 0}));
        EXPECT_EQ(image.GetMode(TTrackProp::ClipPos, 1), clip ? 2 : 0);
        EXPECT_EQ(image.GetEndInt(TTrackProp::BlurDelay), blur ? 14 : 0);
        EXPECT_EQ(image.GetFileName(), "C:\\FILMS\\PICS\\A.PNG");
        // The tile's own fields follow the shared ones.
        EXPECT_EQ(tile.GetBeginPoint(TTrackProp::Position), (TPoint{7, 8}));
        EXPECT_EQ(tile.GetBeginPoint(TTrackProp::Size), (TPoint{10, 11}));
        EXPECT_EQ(tile.GetEndPoint(TTrackProp::Size), (TPoint{12, 13}));
        EXPECT_EQ(tile.GetEndPoint(TTrackProp::Scroll), (TPoint{3, 4}));
        EXPECT_EQ(tile.GetMode(TTrackProp::Scroll, 0), 2);
        EXPECT_EQ(static_cast<const TTileFrameList&>(tile).Distance, (TPoint{9, 8}));
        EXPECT_EQ(tile.GetFileName(), "C:\\T.PNG");

        // Written in the newest layout, read and written again: the same bytes; at the newest
        // version, the writer's own.
        const std::string written = Written(*film);
        EXPECT_EQ(ToHex(Written(*Read(written))), ToHex(written));
        if (version == 111) {
            EXPECT_EQ(ToHex(written), ToHex(FilmBytes(ImageAndTile, 111)));
        }
    }
}

TEST_F(FilmTracks, CutImageFieldsRaiseTheReadError) {
    const std::string bytes = FilmBytes(ImageAndTile, 111);
    for (size_t cut : {size_t(80), bytes.size() / 2, bytes.size() - 1})
        EXPECT_THROW(Read(bytes.substr(0, cut)), EReadError) << cut;
}

class ImageTracks : public FilmTracks {
protected:
    void SetUp() override {
        FilmTracks::SetUp();
        // Two frames of 8 x 6 shown 50 ms (3 ticks) each.
        Cache->Source->Files["pic.png"] = {{8, 6, 50, false}, {8, 6, 50, false}};
    }
    TImageFrameList& Image(int32_t Length, TPoint From, TPoint To) {
        auto& track = Add<TImageFrameList>();
        track.Length = Length;
        track.SetFileName("pic.png");
        track.SetPoint(TTrackProp::Position, false, From);
        track.SetPoint(TTrackProp::Position, true, To);
        return track;
    }
    static TCustomDIBX* Shown(const TCustomFrameList& Track, int32_t Frame) {
        return static_cast<TImageFrame&>(Track.GetFrame(Frame)).Picture.Surface.get();
    }
    uint32_t Pixel(int32_t X, int32_t Y) {
        Bases->GetBase(0)->InvalidateAll();
        Bases->Prepare();
        return Bases->GetSurface()->GetPixel(X, Y) & 0xFFFFFF;
    }
};

TEST_F(ImageTracks, ObjectsMoveFadeAndAnimateOverTheTicks) {
    TImageFrameList& track = Image(11, {0, 0}, {40, 20});
    EXPECT_EQ(track.LoopLength, 6);
    EXPECT_EQ(track.Length, 11);
    track.Anchor = {2, 1};
    track.SetInt(TTrackProp::Alpha, true, 128);
    track.SubPriority = 7;

    EXPECT_TRUE(track.ApplyAt(0));
    auto* image = dynamic_cast<TVelaImage*>(track.GetObject());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetName(), "\x01"
                                "0");
    EXPECT_EQ(image->GetParent(), Bases->GetBase(0));
    EXPECT_EQ((std::array{image->GetLeft(), image->GetTop(), image->GetOffsetx(), image->GetOffsety()}),
              (std::array{0, 0, 2, 1}));
    EXPECT_EQ(image->GetAlpha(), 255);
    EXPECT_EQ(image->GetPriority(), 7);
    EXPECT_EQ(Pixel(0, 0), PixelOf(0, 2, 1));  // the anchor's pixel lies on the position
    EXPECT_EQ(Pixel(5, 4), PixelOf(0, 7, 5));

    track.ApplyAt(5);  // halfway, in the second frame
    EXPECT_EQ((TPoint{image->GetLeft(), image->GetTop()}), (TPoint{20, 10}));
    EXPECT_EQ(image->GetAlpha(), 192);  // 255 - 127 x 5 / 10, truncated
    EXPECT_EQ(image->GetIndex(), 1);
    EXPECT_EQ(image->GetSurface(), Shown(track, 1));
    track.ApplyAt(6);  // the loop starts over
    EXPECT_EQ(image->GetIndex(), 0);
    track.ApplyAt(10);
    EXPECT_EQ((std::array{image->GetLeft(), image->GetTop(), image->GetAlpha()}), (std::array{40, 20, 128}));

    // Past its end the track lets go: the object goes with the root's step.
    EXPECT_FALSE(track.ApplyAt(11));
    EXPECT_EQ(track.GetObject(), nullptr);
    EXPECT_TRUE(image->IsDeleted());
    EXPECT_NE(image->GetSurface(), Shown(track, 0));
    Bases->Step();
    EXPECT_EQ(Bases->ObjectNamed("\x01"
                                 "0"),
              nullptr);
    // Coming back into the interval makes a new object.
    EXPECT_TRUE(track.ApplyAt(3));
    EXPECT_NE(track.GetObject(), nullptr);
}

TEST_F(ImageTracks, LoadedFilmsTakeTheirPicturesAndPlay) {
    Cache->Source->Files["c:\\films\\pic.png"] = Cache->Source->Files["pic.png"];
    auto film = std::make_unique<TFilmManager>();
    TMemoryStream stream = StreamOf(FilmBytes(
        R"([{"kind": 0, "start": 2, "length": 6, "loop_length": 1, "end_pos": [20, 30], "file": "PIC.PNG"},
            {"kind": 0, "length": 0, "file": "PIC.PNG"}, {"kind": 2, "parent": 1, "length": 10}])", 106));
    film->LoadFromStream(stream, FilmName);
    film->SetTarget(Bases);
    const TCustomFrameList& track = *film->GetTrack(0);
    EXPECT_EQ(track.FrameCount(), 2);
    EXPECT_EQ(track.Length, 12);      // as read (doubled at 106), not the picture's 6 ticks
    EXPECT_EQ(track.LoopLength, 6);   // the picture's frames
    // A track without a length takes its picture's, and the track continuing it starts later.
    EXPECT_EQ(film->GetTrack(1)->Length, 6);
    EXPECT_EQ(film->GetTrack(2)->StartTime(), 6);
    EXPECT_EQ(film->GetLength(), 26);
    film->SetTime(4);
    ASSERT_NE(track.GetObject(), nullptr);
    EXPECT_EQ((TPoint{track.GetObject()->GetLeft(), track.GetObject()->GetTop()}), (TPoint{0, 0}));
    film->SetTime(15);
    EXPECT_EQ((TPoint{track.GetObject()->GetLeft(), track.GetObject()->GetTop()}), (TPoint{20, 30}));
    EXPECT_EQ(track.GetObject()->GetIndex(), 1);
    film->SetTime(16);
    EXPECT_EQ(track.GetObject(), nullptr);
}

TEST_F(ImageTracks, ObjectsTheRootFreedAreMadeAgain) {
    TImageFrameList& track = Image(5, {0, 0}, {0, 0});
    track.ApplyAt(0);
    Bases->Clear();
    EXPECT_EQ(track.GetObject(), nullptr);
    track.ApplyAt(1);
    EXPECT_NE(track.GetObject(), nullptr);
}

TEST_F(ImageTracks, ClipAngleAndAlphaEnds) {
    TImageFrameList& track = Image(5, {0, 0}, {0, 0});
    track.SetPoint(TTrackProp::ClipPos, false, {1, 2});
    track.SetPoint(TTrackProp::ClipPos, true, {5, 6});
    track.SetPoint(TTrackProp::ClipSize, false, {0, 5});
    track.SetPoint(TTrackProp::ClipSize, true, {8, 9});
    track.SetFloat(TTrackProp::Angle, true, 90);
    track.SetInt(TTrackProp::Alpha, false, -20);
    track.ApplyAt(0);
    auto* image = static_cast<TVelaImage*>(track.GetObject());
    // A clip width below 1 turns clipping off; alpha -20 is passed as 276 (added).
    EXPECT_EQ((std::array{image->GetClipleft(), image->GetClipwidth(), image->GetClipheight()}),
              (std::array{0, 0, 0}));
    EXPECT_EQ(image->GetAlpha(), 276);
    EXPECT_EQ(image->GetFloatangle(), 0.0L);
    track.ApplyAt(2);
    EXPECT_EQ((std::array{image->GetClipleft(), image->GetCliptop(), image->GetClipwidth(), image->GetClipheight()}),
              (std::array{3, 4, 4, 7}));
    EXPECT_NEAR(static_cast<double>(image->GetFloatangle()), 3.14159265358979 / 5, 1e-12);
}

TEST_F(ImageTracks, NamesAreUniqueInTheRootAndCarryTheOwner) {
    auto* stray = new TVelaImage(Bases, false);  // a name the film's first object would take
    stray->SetName("\x01"
                   "0");
    TImageFrameList& first = Image(5, {0, 0}, {0, 0});
    TImageFrameList& second = Image(5, {0, 0}, {0, 0});
    ApplyAt(0);
    EXPECT_EQ(first.GetObject()->GetName(), "\x01"
                                            "1");
    EXPECT_EQ(second.GetObject()->GetName(), "\x01"
                                             "2");
    EXPECT_EQ(Bases->ObjectNamed("\x01"
                                 "0"),
              stray);

    // A film with an owner names its objects after it and puts them under it.
    auto* stage = new TVelaBox(Bases, false);
    stage->SetName("stage");
    stage->SetParent(Bases->GetBase(0));
    TFilmManager owned;
    owned.SetTarget(Bases);
    owned.Owner = stage;
    auto& track = static_cast<TImageFrameList&>(owned.Add(std::make_unique<TImageFrameList>(owned)));
    track.Length = 1;
    track.SetFileName("pic.png");
    track.ApplyAt(0);
    EXPECT_EQ(track.GetObject()->GetName(), "\x01stage\x01"
                                            "0");
    EXPECT_EQ(track.GetObject()->GetParent(), stage);
}

TEST_F(ImageTracks, OtherLayerTracksWaitOnTheHiddenLayer) {
    TImageFrameList& shown = Image(5, {0, 0}, {0, 0});
    TImageFrameList& hidden = Image(5, {0, 0}, {0, 0});
    hidden.OtherLayer = 1;
    ApplyAt(0);
    EXPECT_EQ(shown.GetObject()->GetParent(), Bases->GetBase(0));
    EXPECT_EQ(hidden.GetObject()->GetParent(), Bases->GetBase(1));
}

TEST_F(ImageTracks, MotionFilmsDriveTheirTargetAndMakeNothing) {
    auto* target = new TVelaImage(Bases, false);
    target->SetParent(Bases->GetBase(0));
    Film->MotionMode = true;
    Film->MotionTarget = target;
    Film->BasePriority = 40;
    TImageFrameList& track = Image(4, {10, 20}, {40, 50});
    track.SetFloat(TTrackProp::ZoomX, false, 1.5);
    track.SetFloat(TTrackProp::ZoomX, true, 1.5);
    track.SubPriority = 3;
    const int objects = Bases->GetObjectCount();
    EXPECT_TRUE(track.ApplyAt(1));
    EXPECT_EQ(Bases->GetObjectCount(), objects);
    EXPECT_EQ((TPoint{target->GetControlValue(), target->GetControlValue2()}), (TPoint{20, 30}));
    TCustomDIBX* frame = Shown(track, 0);
    EXPECT_EQ(target->GetSurface(), frame);
    EXPECT_EQ((TPoint{target->GetWidth(), target->GetHeight()}), (TPoint{12, 6}));
    EXPECT_EQ(target->GetSubPriority(), 3);
    EXPECT_TRUE(target->GetCapturemask());
    // Outside its interval the target stays as it was; a freed track takes its frames back.
    EXPECT_FALSE(track.ApplyAt(9));
    EXPECT_EQ(target->GetControlValue(), 20);
    Film.reset();
    EXPECT_NE(target->GetSurface(), frame);
}

TEST_F(ImageTracks, TileEdgesScrollAndFirstPictureSize) {
    auto& track = Add<TTileFrameList>();
    track.SetFileName("pic.png");
    EXPECT_EQ(track.GetEndPoint(TTrackProp::Size), (TPoint{8, 6}));  // sizes still 0 take the picture's
    track.Length = 3;
    track.SetPoint(TTrackProp::Position, true, {10, 0});
    track.SetPoint(TTrackProp::Size, false, {10, 10});
    track.SetPoint(TTrackProp::Size, true, {30, 20});
    track.SetPoint(TTrackProp::Scroll, true, {10, -4});
    track.Distance = {16, 12};
    track.ApplyAt(1);
    auto* tile = dynamic_cast<TVelaTile*>(track.GetObject());
    ASSERT_NE(tile, nullptr);
    // Left 0..10, right 9..39, bottom 9..19, each eased on its own.
    EXPECT_EQ((std::array{tile->GetLeft(), tile->GetTop(), tile->GetWidth(), tile->GetHeight()}),
              (std::array{5, 0, 20, 15}));
    EXPECT_EQ((std::array{tile->GetScrollx(), tile->GetScrolly(), tile->GetDistancex(), tile->GetDistancey()}),
              (std::array{5, -2, 16, 12}));
}

}  // namespace
