// The companion library's videos in the test host (companion_host.h): files ffmpeg made from its
// test pattern and a tone, compared with what ffprobe and ffmpeg say of them.
#include "tests/companion/companion_host.h"

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace companion_host;

namespace {

const std::string Clips = VELA_VIDEO_FIXTURES "/";

// Waits (at most 5 s) for Done to hold.
template <class F>
bool Eventually(F Done) {
    for (int i = 0; i < 5000; ++i) {
        if (Done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return Done();
}

// The picture ffmpeg decodes as picture N of a clip, as 32-bit BGRA.
std::string ReferencePicture(const std::string& Path, int N) {
    return CommandOutput("ffmpeg -v error -i " + Path + " -vf 'select=eq(n\\," + std::to_string(N) +
                         ")' -frames:v 1 -pix_fmt bgra -f rawvideo -");
}

// How far apart, channel by channel, the frame on show lies from Reference (256: not the same size).
int Distance(const VelaFrame& Frame, const std::string& Reference) {
    if (size_t(Frame.width) * Frame.height * 4 != Reference.size()) return 256;
    int most = 0;
    for (int32_t y = 0; y < Frame.height; ++y) {
        const auto* row = static_cast<const uint8_t*>(Frame.pixels) + size_t(y) * Frame.pitch;
        for (int32_t i = 0; i < Frame.width * 4; ++i)
            most = std::max(most, std::abs(int(row[i]) - int(uint8_t(Reference[size_t(y) * Frame.width * 4 + i]))));
    }
    return most;
}

class Video : public Companion {
protected:
    VelaHandle Add(const std::string& Name) {
        Streams.push_back(std::make_unique<TMemoryStream>(StreamOf(FileBytes(Clips + Name))));
        return VelaLib.VidmanAdd(Name.c_str(), Streams.back().get(), -1);
    }
    // Plays the device on until the video's clock reads Ms (the sound is the clock).
    void PlayTo(VelaHandle Video, int32_t Ms) {
        ASSERT_TRUE(Eventually([&] {
            const int32_t left = Ms - VelaLib.Video.GetPosition(Video);
            if (left > 0) Device->render(platform::Frames(std::max(1, left * 441 / 10)));
            return left <= 0;
        }));
    }
};

}  // namespace

TEST_F(Video, SizesLengthsAndTheFirstPictureAreFfmpegs) {
    for (const char* name : {"clip.mpg", "clip.wmv", "clip.avi"}) {
        SCOPED_TRACE(name);
        const std::string path = Clips + name;
        const std::vector<std::string> probe = Lines(CommandOutput(
            "ffprobe -v error -select_streams v:0 -show_entries stream=width,height:format=duration -of "
            "default=nw=1:nk=1 " + path));
        ASSERT_EQ(probe.size(), 3u);
        const VelaHandle video = Add(name);
        ASSERT_NE(video, 0u);
        EXPECT_EQ(VelaLib.VideoGetSourceWidth(video), std::stoi(probe[0]));
        EXPECT_EQ(VelaLib.VideoGetSourceHeight(video), std::stoi(probe[1]));
        EXPECT_NEAR(VelaLib.Video.GetLen(video), std::stod(probe[2]) * 1000, 1);
        // The first picture is on show before the video plays.
        ASSERT_TRUE(Eventually([&] { return VelaLib.VideoNeedPaint(video) != 0; }));
        const VelaFrame* frame = VelaLib.VideoGetDC(video);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->pitch, frame->width * 4);
        EXPECT_LE(Distance(*frame, ReferencePicture(path, 0)), 1);
        EXPECT_FALSE(VelaLib.Video.IsPlaying(video));
        VelaLib.VidmanDel(video);
    }
}

TEST_F(Video, EachPictureComesOnShowOnceAtItsTimeOnTheSoundClock) {
    const VelaHandle video = Add("clip.mpg");
    ASSERT_TRUE(Eventually([&] { return VelaLib.VideoNeedPaint(video) != 0; }));
    std::atomic<int> grabbed{0};
    std::atomic<bool> onMainThread{false};
    const std::thread::id main = std::this_thread::get_id();
    struct Grab {
        std::atomic<int>* count;
        std::atomic<bool>* onMain;
        std::thread::id main;
        std::string pixels;  // the last picture grabbed
    } grab{&grabbed, &onMainThread, main, {}};
    VelaLib.VideoSetFrameCallback(
        video,
        [](void* Owner, const VelaFrame* Frame) {
            auto& g = *static_cast<Grab*>(Owner);
            if (std::this_thread::get_id() == g.main || !Frame->pixels) *g.onMain = true;
            g.pixels.assign(static_cast<const char*>(Frame->pixels), size_t(Frame->pitch) * Frame->height);
            ++*g.count;
        },
        &grab);
    VelaLib.Video.Play(video);
    EXPECT_TRUE(VelaLib.Video.IsPlaying(video));
    for (int n = 1; n <= 10; ++n) {
        SCOPED_TRACE(n);
        PlayTo(video, n * 40);
        ASSERT_TRUE(Eventually([&] { return VelaLib.VideoNeedPaint(video) != 0; }));
        EXPECT_FALSE(VelaLib.VideoNeedPaint(video));
        EXPECT_EQ(grabbed, n);
        if (n % 5 == 0) {
            // The grabber was handed the picture on show, already converted.
            const VelaFrame& shown = *VelaLib.VideoGetDC(video);
            EXPECT_LE(Distance(shown, ReferencePicture(Clips + "clip.mpg", n)), 1);
            const auto* pixels = static_cast<const char*>(shown.pixels);
            EXPECT_EQ(grab.pixels, std::string(pixels, size_t(shown.pitch) * shown.height));
        }
    }
    EXPECT_FALSE(onMainThread);
    // Paused, the clock stands and no picture comes.
    VelaLib.Video.Pause(video);
    EXPECT_TRUE(VelaLib.Video.IsPaused(video));
    const int32_t at = VelaLib.Video.GetPosition(video);
    Device->render(platform::Frames(44100 / 5));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(VelaLib.Video.GetPosition(video), at);
    EXPECT_FALSE(VelaLib.VideoNeedPaint(video));
    // Once the callback is taken away it is not called again.
    VelaLib.VideoSetFrameCallback(video, nullptr, nullptr);
    VelaLib.Video.Play(video);
    PlayTo(video, 600);
    ASSERT_TRUE(Eventually([&] { return VelaLib.VideoNeedPaint(video) != 0; }));
    EXPECT_EQ(grabbed, 10);
    // The sound heard is the film's tone.
    const std::vector<int16_t>& heard = Device->voices.begin()->second;
    EXPECT_GT(*std::max_element(heard.begin(), heard.end()), 2000);
    VelaLib.VidmanDel(video);
}

TEST_F(Video, SeeksDecodeForwardFromTheKeyFrameBefore) {
    for (const char* name : {"clip.mpg", "clip.wmv", "clip.avi"}) {
        SCOPED_TRACE(name);
        const VelaHandle video = Add(name);
        ASSERT_TRUE(Eventually([&] { return VelaLib.VideoNeedPaint(video) != 0; }));
        // Picture 29 lies five past a key frame (one in eight).
        VelaLib.Video.SetPosition(video, 29 * 40 + 10);
        EXPECT_EQ(VelaLib.Video.GetPosition(video), 29 * 40 + 10);
        ASSERT_TRUE(Eventually([&] { return VelaLib.VideoNeedPaint(video) != 0; }));
        EXPECT_LE(Distance(*VelaLib.VideoGetDC(video), ReferencePicture(Clips + name, 29)), 1);
        VelaLib.VidmanDel(video);
    }
}

TEST_F(Video, EndsRepeatsAndPausesWithTheLibrary) {
    // Without sound the clock is the system's.
    const VelaHandle video = Add("clip.avi");
    VelaLib.Video.SetPosition(video, 1850);
    VelaLib.Video.Play(video);
    ASSERT_TRUE(Eventually([&] { return VelaLib.Video.IsEnd(video) != 0; }));
    EXPECT_FALSE(VelaLib.Video.IsPlaying(video));
    EXPECT_EQ(VelaLib.Video.GetPosition(video), VelaLib.Video.GetLen(video));
    // Played again it starts over; repeating, it never ends.
    VelaLib.Video.SetAutoRepeat(video, -1);
    VelaLib.Video.Play(video);
    EXPECT_FALSE(VelaLib.Video.IsEnd(video));
    EXPECT_LT(VelaLib.Video.GetPosition(video), 1000);
    VelaLib.Video.SetPosition(video, 1900);
    ASSERT_TRUE(Eventually([&] { return VelaLib.Video.GetPosition(video) < 1000; }));
    EXPECT_FALSE(VelaLib.Video.IsEnd(video));
    // The library's suspension stops the clock without pausing the video.
    VelaLib.VidmanSuspend();
    const int32_t at = VelaLib.Video.GetPosition(video);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(VelaLib.Video.GetPosition(video), at);
    EXPECT_FALSE(VelaLib.Video.IsPaused(video));
    VelaLib.VidmanResume();
    ASSERT_TRUE(Eventually([&] { return VelaLib.Video.GetPosition(video) > at; }));
    VelaLib.VidmanDel(video);
}

TEST_F(Video, DamagedDataGivesNoHandle) {
    const std::string wmv = FileBytes(Clips + "clip.wmv");
    for (const std::string& bytes : {std::string(), std::string("no video in here"), wmv.substr(0, 600),
                                     std::string(4096, '\xFF')}) {
        TMemoryStream stream = StreamOf(bytes);
        EXPECT_EQ(VelaLib.VidmanAdd("bad.wmv", &stream, 0), 0u);
    }
    EXPECT_EQ(VelaLib.VidmanAdd("none.mpg", nullptr, 0), 0u);
    // A handle the library did not make answers nothing.
    EXPECT_EQ(VelaLib.VideoGetDC(12345), nullptr);
    EXPECT_FALSE(VelaLib.VideoNeedPaint(12345));
}
