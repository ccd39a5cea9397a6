#pragma once
// The companion library loaded by a test host: the player's binding, stream callbacks over
// memory streams and a sound device that records what each voice plays.
#include "core/bigstreams.h"
#include "media/velabind.h"
#include "media/velasound.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace companion_host {

inline std::string FileBytes(const std::string& Path) {
    std::ifstream file(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

inline std::string CommandOutput(const std::string& Command) {
    std::string out;
    FILE* pipe = popen(Command.c_str(), "r");
    char buffer[65536];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    EXPECT_TRUE(pipe && pclose(pipe) == 0) << Command;
    return out;
}

inline const std::string Data = VELA_TEST_DATA "/";

class Companion : public ::testing::Test {
protected:
    void SetUp() override {
        BindVelaLibrary(platform::fs::ToProgramPath(VELA_COMPANION_FOLDER) + "\\");
        Device = std::make_shared<platform::HeadlessSound>();
        Device->recordVoices = true;
        Start(Device);
    }
    void TearDown() override {
        VelaLib.Final();
        UnbindVelaLibrary();
    }
    void Start(std::shared_ptr<platform::SoundDevice> Sound) {
        SoundInterface = std::make_unique<TVelaSoundDevice>(std::move(Sound));
        Cell = SoundInterface->Cell();
        VelaLib.Init(&Window, &Panel, nullptr, &Cell, VelaStreamGetSize, VelaStreamRead, VelaStreamGetPos,
                     VelaStreamSetPos, SaveFPUControlWord, RestoreFPUControlWord, 0);
    }
    TMemoryStream& Stream(const std::string& Name) {
        Streams.push_back(std::make_unique<TMemoryStream>(StreamOf(FileBytes(Data + Name))));
        return *Streams.back();
    }
    // An item of the family the name's kind plays in: the Windows Media family for ".wma".
    VelaHandle AddSound(const std::string& Name) {
        if (!Name.ends_with(".wma")) return VelaLib.OggmanAdd(&Stream(Name), Name.ends_with(".ogg") ? -1 : 0);
        const std::string bytes = FileBytes(Data + Name);
        return VelaLib.WmpmanAdd(bytes.data(), int32_t(bytes.size()));
    }
    // The one voice's recorded samples.
    const std::vector<int16_t>& Voice() {
        EXPECT_EQ(Device->voices.size(), 1u);
        return Device->voices.begin()->second;
    }

    std::shared_ptr<platform::HeadlessSound> Device;
    std::unique_ptr<TVelaSoundDevice> SoundInterface;
    void* Cell = nullptr;
    uintptr_t Window = 0, Panel = 0;
    std::vector<std::unique_ptr<TMemoryStream>> Streams;
};

}  // namespace companion_host
