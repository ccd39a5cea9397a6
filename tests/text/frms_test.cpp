// Film tracks: headers written by tools/vfilm.py at versions before and from 107, parent chains,
// eased values against tests/tools/frms_ref.py, frames at a time, and relative media paths.
#include "text/frms.h"

#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

// A track of positions and zooms, as the kinds store their own groups.
class TMovingTrack : public TCustomFrameList {
public:
    using TCustomFrameList::TCustomFrameList;
    TPoint GetPoint(TTrackProp Prop, bool End) const override {
        return Prop == TTrackProp::Position ? Position[End] : TCustomFrameList::GetPoint(Prop, End);
    }
    double GetFloat(TTrackProp Prop, bool End) const override {
        return Prop == TTrackProp::ZoomX ? Zoom[End] : TCustomFrameList::GetFloat(Prop, End);
    }
    void SetPoint(TTrackProp Prop, bool End, TPoint Value) override {
        if (Prop == TTrackProp::Position) Position[End] = Value;
    }
    TPoint Position[2] = {{0, 0}, {0, 0}};
    double Zoom[2] = {0, 0};
};

class TTimedFrame : public TCustomFrame {
public:
    TTimedFrame(TCustomFrameList& Owner, int32_t Duration) : TCustomFrame(Owner), Duration(Duration) {}
    int32_t GetDuration() const override { return Duration; }
    int32_t Duration;
};

// The track records vfilm.py writes for Tracks (JSON; each track gives its own "fields", so that
// headers alone are written).
std::string TrackRecords(const std::string& Tracks) {
    const std::string json = FreshHostFolder() + "film.json";
    std::ofstream(json) << "{\"tracks\": " << Tracks << "}";
    const std::string hex = PythonOutput(VELA_VFILM, {"tracks", json, "-", "--hex"});
    return FromHex(hex.substr(0, hex.size() - 1));
}

// Those records read back at Version into Film.
void LoadTracks(TFilmManager& Film, const std::string& Tracks, int32_t Version) {
    TMemoryStream stream;
    const std::string bytes = TrackRecords(Tracks);
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream.SetPosition(0);
    while (stream.Position() < stream.Size()) {
        ReadStreamByte(stream);
        Film.Add(std::make_unique<TCustomFrameList>(Film)).LoadFromStream(stream, "", Version);
    }
    Film.LinkParents();
}

TEST(FilmTrackTest, HeaderTimesDoubleBeforeVersion107AndWriteBackWhole) {
    const std::string tracks =
        R"([{"fields": "", "length": 45, "reserved": -7, "start": 30, "loop_length": 5, "sub_priority": 9,
             "flip_h": 1, "other_layer": 1}, {"fields": "", "parent": 0, "length": 10, "flip_v": 1}])";
    TFilmManager old, current;
    LoadTracks(old, tracks, 106);
    LoadTracks(current, tracks, 107);
    const TCustomFrameList& halved = *old.GetTrack(0);
    EXPECT_EQ(halved.Start, 60);
    EXPECT_EQ(halved.Length, 90);
    EXPECT_EQ(halved.LoopLength, 10);
    EXPECT_EQ(old.GetTrack(1)->StartTime(), 150);
    const TCustomFrameList& track = *current.GetTrack(0);
    EXPECT_EQ(track.Start, 30);
    EXPECT_EQ(track.Length, 45);
    EXPECT_EQ(track.Reserved, -7);
    EXPECT_EQ(track.SubPriority, 9);
    EXPECT_EQ(track.FlipH + 2 * track.FlipV + 4 * track.OtherLayer, 5);
    EXPECT_EQ(current.GetTrack(1)->Parent, &track);
    EXPECT_EQ(current.GetTrack(1)->FlipV, 1);

    // Written back at the current scale, the records are the ones read (less their kind bytes).
    TMemoryStream written;
    for (int32_t i = 0; i < current.Count(); ++i) {
        WriteStreamByte(written, 0);
        current.GetTrack(i)->SaveToStream(written, "");
    }
    EXPECT_EQ(ToHex(std::string(reinterpret_cast<const char*>(written.Memory()), static_cast<size_t>(written.Size()))),
              ToHex(TrackRecords(tracks)));
}

TEST(FilmTrackTest, CutHeaderRaisesReadError) {
    TFilmManager film;
    TMemoryStream stream;
    for (int i = 0; i < 6; ++i) WriteStreamInt(stream, i);
    WriteStreamByte(stream, 1);
    stream.SetPosition(0);
    EXPECT_THROW(film.Add(std::make_unique<TCustomFrameList>(film)).LoadFromStream(stream, "", 111), EReadError);
}

TEST(FilmTrackTest, ParentsOutsideTheListOrClosingALoopAreLeftOut) {
    TFilmManager film;
    LoadTracks(film,
               R"([{"fields": "", "parent": 2, "length": 5}, {"fields": "", "parent": 0, "length": 6},
                   {"fields": "", "parent": 1, "length": 7, "start": 4},
                   {"fields": "", "parent": 4, "length": 1, "start": 3},
                   {"fields": "", "parent": 3, "length": 2}, {"fields": "", "parent": 9}])",
               111);
    // 0 -> 2 -> 1 -> 0 loops: the walk from track 0 leaves out 1's link back to it.
    EXPECT_EQ(film.GetTrack(0)->Parent, film.GetTrack(2));
    EXPECT_EQ(film.GetTrack(2)->Parent, film.GetTrack(1));
    EXPECT_EQ(film.GetTrack(1)->Parent, nullptr);
    EXPECT_EQ(film.GetTrack(0)->StartTime(), 13);
    EXPECT_EQ(film.GetTrack(3)->Parent, film.GetTrack(4));
    EXPECT_EQ(film.GetTrack(4)->Parent, nullptr);
    EXPECT_EQ(film.GetTrack(5)->Parent, nullptr);
    EXPECT_EQ(film.GetTrack(1)->FindChildTrack(), film.GetTrack(2));
    EXPECT_EQ(film.GetTrack(0)->FindChildTrack(), nullptr);
}

TEST(FilmTrackTest, ChainedBeginValuesAreTheParentsEndValues) {
    TFilmManager film;
    auto& first = static_cast<TMovingTrack&>(film.Add(std::make_unique<TMovingTrack>(film)));
    auto& second = static_cast<TMovingTrack&>(film.Add(std::make_unique<TMovingTrack>(film)));
    TCustomFrameList& plain = film.Add(std::make_unique<TCustomFrameList>(film));
    first.Position[0] = {1, 2};
    first.Position[1] = {30, 40};
    first.Zoom[1] = 2.5;
    second.Position[0] = {-9, -9};
    second.Position[1] = {70, 80};
    second.Zoom[0] = 0.25;
    second.Parent = &first;
    EXPECT_EQ(second.GetBeginPoint(TTrackProp::Position), (TPoint{30, 40}));
    EXPECT_EQ(second.GetEndPoint(TTrackProp::Position), (TPoint{70, 80}));
    EXPECT_EQ(second.GetBeginFloat(TTrackProp::ZoomX), 2.5);
    // A parent of another kind answers the defaults of the groups it does not own.
    second.Parent = &plain;
    EXPECT_EQ(second.GetBeginFloat(TTrackProp::ZoomX), 1.0);
    EXPECT_EQ(second.GetBeginPoint(TTrackProp::Position), (TPoint{0, 0}));
    plain.Parent = &second;
    EXPECT_EQ(plain.GetBeginPoint(TTrackProp::Position), (TPoint{70, 80}));
    EXPECT_EQ(plain.GetBeginInt(TTrackProp::Color), 0xFFFFFF);
    EXPECT_EQ(plain.GetEndInt(TTrackProp::LineSpace), 12);
}

TEST(FilmTrackTest, RelativeMotionPositionsMoveToTheCurrentOrigin) {
    TFilmManager film;
    auto& track = static_cast<TMovingTrack&>(film.Add(std::make_unique<TMovingTrack>(film)));
    track.Position[0] = {10, 20};
    track.Position[1] = {110, 220};
    film.StoredOriginX = 10;
    film.StoredOriginY = 20;
    film.OriginX = 300;
    film.OriginY = -5;
    film.FollowPosition = true;
    TPoint begin, end;
    track.GetPositionRange(begin, end);
    EXPECT_EQ(end, (TPoint{110, 220}));  // a cinema film stays where it was made
    film.Kind = 1;
    track.GetPositionRange(begin, end);
    EXPECT_EQ(begin, (TPoint{300, -5}));
    EXPECT_EQ(end, (TPoint{400, 195}));
}

TEST(FilmTrackTest, EasedValuesMatchTheReference) {
    TFilmManager film;
    TCustomFrameList& track = film.Add(std::make_unique<TCustomFrameList>(film));
    TCustomFrameList& child = film.Add(std::make_unique<TCustomFrameList>(film));
    for (const std::string& line : Lines(PythonOutput("frms_ref.py"))) {
        std::istringstream in(line);
        int mode, from, n, i, to, continued, value;
        double real;
        in >> mode >> from >> n >> i >> to >> continued >> value >> real;
        child.Parent = continued ? &track : nullptr;
        track.Length = n;
        film.PlaceTracks();
        EXPECT_EQ(track.InterpolateInt(uint8_t(mode), from, track.EasedTicks(), i, to), value) << line;
        EXPECT_NEAR(track.InterpolateFloat(uint8_t(mode), from, track.EasedTicks(), i, to), real, 1e-9) << line;
    }
    // Linear over 11 ticks reaches its end; continued, it stops one step short.
    child.Parent = nullptr;
    film.PlaceTracks();
    auto eased = [&](uint8_t Mode, int32_t Length, int32_t I) {
        track.Length = Length;
        return track.InterpolateInt(Mode, 10, track.EasedTicks(), I, 20);
    };
    EXPECT_EQ(eased(MT_NORMAL, 11, 10), 20);
    EXPECT_EQ(eased(MT_INC, 1, 0), 10);
    EXPECT_EQ(eased(MT_NORMAL, 1, 5), 10);  // a tick past a 1-tick track
    EXPECT_EQ(eased(MT_NORMAL, INT32_MAX, INT32_MAX - 1), 20);
    child.Parent = &track;
    film.PlaceTracks();
    EXPECT_EQ(eased(MT_NORMAL, 11, 10), 19);
    EXPECT_EQ(eased(MT_DEC, 1, 0), 10);
}

TEST(FilmTrackTest, FrameAtATimeLoopsOverTheDurations) {
    TFilmManager film;
    TCustomFrameList& track = film.Add(std::make_unique<TCustomFrameList>(film));
    EXPECT_EQ(track.FrameIndexAt(5), -1);
    for (int32_t duration : {3, 2, 4}) track.Frames.push_back(std::make_unique<TTimedFrame>(track, duration));
    track.LoopLength = 7;
    EXPECT_EQ(track.FrameIndexAt(2), 0);
    EXPECT_EQ(track.FrameIndexAt(3), 1);
    EXPECT_EQ(track.FrameIndexAt(6), 2);
    EXPECT_EQ(track.FrameIndexAt(8), 0);
    track.LoopLength = 20;
    EXPECT_EQ(track.FrameIndexAt(15), 2);  // past the durations: the last frame
    track.LoopLength = 0;
    EXPECT_EQ(track.FrameIndexAt(15), 0);
}

TEST(FilmTrackTest, MediaPathsRelativeToTheFilmFolder) {
    const std::string base = "C:\\GAME\\FILMS\\OPENING\\";
    EXPECT_EQ(ResolveRelativePath("..\\..\\PICS\\A.PNG", base), "C:\\GAME\\PICS\\A.PNG");
    EXPECT_EQ(ResolveRelativePath("SND\\B.WAV", base), base + "SND\\B.WAV");
    EXPECT_EQ(ResolveRelativePath("D:\\X.PNG", base), "D:\\X.PNG");
    EXPECT_EQ(ResolveRelativePath("\\X.PNG", base), "\\X.PNG");
    EXPECT_EQ(MakeRelativePath("C:\\GAME\\PICS\\A.PNG", base), "..\\..\\PICS\\A.PNG");
    EXPECT_EQ(MakeRelativePath("C:\\GAME\\FILMS\\OPENING\\SND\\B.WAV", base), "SND\\B.WAV");
    EXPECT_EQ(MakeRelativePath("D:\\GAME\\A.PNG", base), "D:\\GAME\\A.PNG");
    for (const std::string path : {"C:\\A.PNG", "C:\\GAME\\FILMS\\X\\Y\\B.WAV"})
        EXPECT_EQ(ResolveRelativePath(MakeRelativePath(path, base), base), path);
    // A stored path that climbs to or above the drive's root is written back as it was read.
    for (const std::string stored : {"..\\..\\..\\..\\aCinem", "..\\..\\..\\..\\..\\b.wav", "..\\..\\..\\..\\"})
        EXPECT_EQ(MakeRelativePath(ResolveRelativePath(stored, base), base), stored);
}

}  // namespace
