#include "media/velabind.h"

#include "core/streams.h"
#include "media/mediaman.h"
#include "media/screenman.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// The program path of a host folder, ending in "\".
std::string ProgramFolder(const std::string& HostFolder) { return platform::fs::ToProgramPath(HostFolder) + "\\"; }

class Binding : public ::testing::Test {
protected:
    void TearDown() override { UnbindVelaLibrary(); }
};

}  // namespace

TEST_F(Binding, TheCompanionLibraryBindsAndUnbinds) {
    BindVelaLibrary(ProgramFolder(VELA_COMPANION_FOLDER));
    ASSERT_TRUE(VelaLibraryBound());
    EXPECT_EQ(VelaLib.Version(), 109);
    for (const void* entry :
         {(void*)VelaLib.Init, (void*)VelaLib.Final, (void*)VelaLib.OggmanSetUseThread,
          (void*)VelaLib.WmpmanProcessEvent, (void*)VelaLib.VidmanProcessEvent, (void*)VelaLib.VidmanSuspend,
          (void*)VelaLib.VidmanResume, (void*)VelaLib.WmpmanRestore, (void*)VelaLib.OggmanRestore})
        EXPECT_NE(entry, nullptr);
    EXPECT_FALSE(VelaLogEnabled());  // no trace library beside it
    VelaLogWrite("trace");
    UnbindVelaLibrary();
    EXPECT_FALSE(VelaLibraryBound());
    EXPECT_EQ(VelaLib.Init, nullptr);
}

TEST_F(Binding, AMissingOrWrongLibraryIsRefusedWithItsMessage) {
    EXPECT_EQ(ErrorOf([] { BindVelaLibrary(ProgramFolder(FreshHostFolder())); }), "libvela.so\r\nファイルがありません");
    EXPECT_FALSE(VelaLibraryBound());
    EXPECT_EQ(ErrorOf([] { BindVelaLibrary(ProgramFolder(VELA_WRONG_VERSION_FOLDER)); }),
              "libvela.soのバージョンがあいません");
    EXPECT_FALSE(VelaLibraryBound());
    EXPECT_EQ(VelaLib.Version, nullptr);
}

TEST(StreamCallbacks, ReadTheStreamAndIgnoreANullOne) {
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(VelaStreamGetSize(nullptr), 0);
    EXPECT_EQ(VelaStreamRead(nullptr, buffer, 4), 0);
    EXPECT_EQ(VelaStreamGetPos(nullptr), 0);
    EXPECT_EQ(VelaStreamSetPos(nullptr, 3), 0);
    EXPECT_EQ(std::string(buffer, 8), "########");

    TMemoryStream s = StreamOf("abcdefg");
    EXPECT_EQ(VelaStreamGetSize(&s), 7);
    EXPECT_EQ(VelaStreamSetPos(&s, 2), 2);
    EXPECT_EQ(VelaStreamRead(&s, buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "cde");
    EXPECT_EQ(VelaStreamGetPos(&s), 5);
    EXPECT_EQ(VelaStreamRead(&s, buffer, 8), 2);
    EXPECT_EQ(std::string(buffer, 2), "fg");
    EXPECT_EQ(VelaStreamRead(&s, buffer, -1), 0);
}

TEST(FpuControlWord, SavedAndRestored) {
    const uint16_t saved = SaveFPUControlWord();
    const uint16_t other = saved ^ 0x0C00;  // another rounding mode
    asm volatile("fldcw %0" : : "m"(other));
    RestoreFPUControlWord();
    uint16_t now;
    asm volatile("fnstcw %0" : "=m"(now));
    EXPECT_EQ(now, saved);
}

// ---- Start and end of the media layer ----

namespace {

// What the library saw.
struct TLibraryCalls {
    std::vector<std::string> calls;
    uintptr_t window = 0, panel = 0;
    VelaStreamReadProc read = nullptr;
    VelaSaveFpuProc saveFpu = nullptr;
    int32_t flag = -5, useThread = 0;
    bool managersGoneAtFinal = false;
};
TLibraryCalls Seen;

class MediaLayer : public Binding {
protected:
    void SetUp() override {
        BindVelaLibrary(ProgramFolder(VELA_COMPANION_FOLDER));
        Seen = {};
        VelaLib.Init = [](uintptr_t* window, uintptr_t* panel, void*, void**, VelaStreamGetSizeProc,
                          VelaStreamReadProc read, VelaStreamGetPosProc, VelaStreamSetPosProc, VelaSaveFpuProc saveFpu,
                          VelaRestoreFpuProc, int32_t flag) {
            Seen.calls.push_back("Init");
            Seen.window = *window, Seen.panel = *panel, Seen.read = read, Seen.saveFpu = saveFpu, Seen.flag = flag;
        };
        VelaLib.OggmanSetUseThread = [](int32_t v) {
            Seen.calls.push_back("SetUseThread");
            Seen.useThread = v;
        };
        VelaLib.Final = [] {
            Seen.calls.push_back("Final");
            Seen.managersGoneAtFinal =
                !ScreenMan && !VideoMan && !WmpMan && !OggMan && !CddaMan && !MidiMan;
        };
        VelaLib.VidmanSuspend = [] { Seen.calls.push_back("VidmanSuspend"); };
        VelaLib.VidmanResume = [] { Seen.calls.push_back("VidmanResume"); };
    }
};

}  // namespace

TEST_F(MediaLayer, WithoutAScreenSizeEveryManagerButTheScreenIsMade) {
    TBasePanel panel;
    MediaInit(nullptr, &panel, 0, 480, 800, 600);
    EXPECT_EQ(Seen.calls, (std::vector<std::string>{"Init", "SetUseThread"}));
    EXPECT_EQ(Seen.panel, reinterpret_cast<uintptr_t>(&panel));
    EXPECT_EQ(Seen.read, &VelaStreamRead);
    EXPECT_EQ(Seen.saveFpu, &SaveFPUControlWord);
    EXPECT_EQ(Seen.flag, 0);
    EXPECT_EQ(Seen.useThread, -1);
    EXPECT_EQ(ScreenMan, nullptr);
    EXPECT_TRUE(VideoMan && WmpMan && OggMan && CddaMan && MidiMan);

    MediaSuspend();
    VideoMan->UseWMP = true;  // films of the Windows Media kind: the library is left alone
    MediaResume();
    MediaFinal();
    EXPECT_EQ(Seen.calls, (std::vector<std::string>{"Init", "SetUseThread", "VidmanSuspend", "Final"}));
    EXPECT_TRUE(Seen.managersGoneAtFinal);
    MediaSuspend();  // no managers: nothing
    EXPECT_EQ(Seen.calls.size(), 4u);
}

TEST_F(MediaLayer, WithAScreenSizeTheScreenManagerStartsWindowed) {
    TBasePanel panel;
    MediaInit(nullptr, &panel, 64, 48, 0, 0);
    ASSERT_NE(ScreenMan, nullptr);
    EXPECT_EQ(ScreenMan->ModeIndex, -1);
    EXPECT_EQ(ScreenMan->GetSurface()->GetWidth(), 64);
    MediaFinal();
    EXPECT_EQ(ScreenMan, nullptr);
}

TEST(MediaLayerUnbound, RefusesToStart) {
    EXPECT_THROW(MediaInit(nullptr, nullptr, 64, 48, 0, 0), EVelaBindError);
    EXPECT_EQ(VideoMan, nullptr);
}
