#include "media/audiomixer.h"

#include "core/sysutils.h"

using namespace platform;

namespace {

constexpr uint16_t MicrosoftId = 1;

bool IsMultiple(const MixerControl& C) { return (C.flags & MixerMultiple) != 0; }
bool IsDisabled(const MixerControl& C) { return (C.flags & MixerDisabled) != 0; }

// The first control of a type that is not one of several items.
const MixerControl* FirstOf(const MixerLine& L, uint32_t Type) {
    for (const MixerControl& c : L.controls)
        if (!IsMultiple(c) && c.type == Type) return &c;
    return nullptr;
}

// The entries of a several-item control that stand for the item of a line, on every channel.
std::vector<size_t> EntriesOf(const MixerControl& C, uint32_t LineId) {
    std::vector<size_t> entries;
    const size_t items = C.itemLines.size();
    for (size_t i = 0; i < items; ++i)
        if (C.itemLines[i] == LineId)
            for (size_t k = i; k < C.values.size(); k += items) entries.push_back(k);
    return entries;
}

}  // namespace

TAudioMixer::TAudioMixer()
    : Window(MainQueue().AddTarget([this](const QueuedMessage& M) {
          if (M.message == MixerLineChange && OnLineChange) OnLineChange(MixerHandle(M.wParam), uint32_t(M.lParam));
          if (M.message == MixerControlChange && OnControlChange)
              OnControlChange(MixerHandle(M.wParam), uint32_t(M.lParam));
      })) {
    if (DeviceCount() > 0) SetMixerId(0);
}

TAudioMixer::~TAudioMixer() {
    CloseMixer();
    MainQueue().RemoveTarget(Window);
}

int32_t TAudioMixer::DeviceCount() const { return SystemMixerService().DeviceCount(); }

void TAudioMixer::CloseMixer() {
    if (FHandle) SystemMixerService().Close(FHandle);
    FHandle = 0;
    FMixerId = -1;
}

void TAudioMixer::SetMixerId(int32_t Value) {
    if (Value < 0 || Value >= DeviceCount()) return;
    CloseMixer();
    SystemMixer& mixer = SystemMixerService();
    for (TargetId notify : {Window, Window, TargetId(0)})
        if ((FHandle = mixer.Open(Value, notify)) != 0) break;
    NumberOfLine = 0;
    const MixerDevice* device = mixer.Device(FHandle);
    if (!device) return;
    FMixerId = Value;
    Manufacturer =
        device->manufacturerId == MicrosoftId ? "Microsoft" : IntToStr(device->manufacturerId) + " = Unknown";
    DriverVersion = device->driverVersion;
    ProductId = device->productId;
    ProductName = device->productName;
    NumberOfLine = int32_t(device->destinations.size());
}

const std::vector<MixerDestination>& TAudioMixer::Destinations() const {
    static const std::vector<MixerDestination> none;
    const MixerDevice* device = SystemMixerService().Device(FHandle);
    return device ? device->destinations : none;
}

const MixerLine* TAudioMixer::Line(int32_t Destination, int32_t Connection) const {
    const auto& destinations = Destinations();
    if (Destination < 0 || Destination >= int32_t(destinations.size())) return nullptr;
    const MixerDestination& d = destinations[size_t(Destination)];
    if (Connection == -1) return &d.line;
    if (Connection < 0 || Connection >= int32_t(d.connections.size())) return nullptr;
    return &d.connections[size_t(Connection)];
}

bool TAudioMixer::GetVolume(int32_t Destination, int32_t Connection, int32_t& Left, int32_t& Right, int32_t& Mute,
                            bool& Stereo, bool& VolumeDisabled, bool& MuteDisabled, bool& IsSelect) const {
    const MixerLine* line = Line(Destination, Connection);
    if (!line) return false;
    Left = Right = Mute = -1;
    Stereo = IsSelect = false;
    VolumeDisabled = MuteDisabled = true;
    if (const MixerControl* volume = FirstOf(*line, MixerControlVolume); volume && !volume->values.empty()) {
        Left = volume->values[0];
        Stereo = (volume->flags & MixerUniform) == 0 && line->channels >= 2 && volume->values.size() >= 2;
        Right = Stereo ? volume->values[1] : Left;
        VolumeDisabled = IsDisabled(*volume);
    }
    if (const MixerControl* mute = FirstOf(*line, MixerControlMute); mute && !mute->values.empty()) {
        Mute = mute->values[0] != 0 ? 1 : 0;
        MuteDisabled = IsDisabled(*mute);
    }
    if (Mute != -1 || Connection == -1) return true;
    for (const MixerControl& c : Line(Destination, -1)->controls) {
        if ((c.type & MixerClassMask) != MixerClassList) continue;
        const std::vector<size_t> entries = EntriesOf(c, line->id);
        if (entries.empty()) continue;
        Mute = c.values[entries[0]] != 0 ? 1 : 0;
        MuteDisabled = IsDisabled(c);
        IsSelect = true;
        break;
    }
    return true;
}

bool TAudioMixer::SetVolume(int32_t Destination, int32_t Connection, int32_t Left, int32_t Right, int32_t Mute) {
    const MixerLine* line = Line(Destination, Connection);
    if (!line) return false;
    SystemMixer& mixer = SystemMixerService();
    if (const MixerControl* volume = FirstOf(*line, MixerControlVolume); volume && Left != -1) {
        std::vector<int32_t> values = volume->values;
        for (size_t k = 0; k < values.size(); ++k) values[k] = k == 1 && Right != -1 ? Right : Left;
        mixer.SetValues(FHandle, volume->id, values);
    }
    if (Mute == -1) return true;
    if (const MixerControl* mute = FirstOf(*line, MixerControlMute)) {
        mixer.SetValues(FHandle, mute->id, std::vector<int32_t>(mute->values.size(), Mute));
        return true;
    }
    if (Connection == -1) return true;
    for (const MixerControl& c : Line(Destination, -1)->controls) {
        if (c.type != MixerControlMixer && c.type != MixerControlMux) continue;
        std::vector<int32_t> values = c.values;
        if (c.type == MixerControlMux) std::fill(values.begin(), values.end(), 0);
        for (size_t k : EntriesOf(c, line->id)) values[k] = Mute;
        mixer.SetValues(FHandle, c.id, values);
        break;
    }
    return true;
}
