#include "script/params_system.h"

#include "core/sysutils.h"
#include "platform/clock.h"
#include "script/params_vars.h"

#include <numbers>

TClockSample HostLocalTime() {
    const platform::DateTime now = platform::LocalNow();
    return {now.year, now.month, now.day, now.weekDay + 1, now.hour, now.minute, now.second};
}

const std::array<TSysVarInfo, SysVarCount> SysVarInfos = {{
    {PT_NONE, -1},  // @Result
    {PT_BOOL, 1},   // @LClick
    {PT_BOOL, 1},   // @RClick
    {PT_BOOL, 1},   // @LPush
    {PT_BOOL, 1},   // @RPush
    {PT_INT, 1},    // @MouseX
    {PT_INT, 1},    // @MouseY
    {PT_INT, 1},    // @TextDelay
    {PT_INT, 1},    // @HistoryCount
    {PT_INT, 1},    // @ParamCount
    {PT_STR, -1},   // @ParamStr
    {PT_STR, 1},    // @Sender
    {PT_INT, 1},    // @ScrWidth
    {PT_INT, 1},    // @ScrHeight
    {PT_INT, 1},    // @TickCount
    {PT_INT, 1},    // @PCTickCount
    {PT_INT, 1},    // @UpdateCount
    {PT_INT, 1},    // @Year
    {PT_INT, 1},    // @Month
    {PT_INT, 1},    // @Day
    {PT_INT, 1},    // @Week
    {PT_INT, 1},    // @Hour
    {PT_INT, 1},    // @Min
    {PT_INT, 1},    // @Sec
    {PT_STR, 1},    // @Fonts
    {PT_STR, 1},    // @FixedFonts
    {PT_BOOL, 1},   // @FullScr
    {PT_STR, 1},    // @Cursor
    {PT_STR, 1},    // @SelStr
    {PT_INT, 1},    // @SelIndex
    {PT_FLOAT, 1},  // @Pi
    {PT_BOOL, 1},   // @CGDither
    {PT_FLOAT, 1},  // @1Hour
    {PT_FLOAT, 1},  // @1Min
    {PT_FLOAT, 1},  // @1Sec
    {PT_BOOL, 258}, // @KeyPush
    {PT_BOOL, 258}, // @KeyClick
    {PT_INT, 1},    // @DisplayModeCount
    {PT_INT, 1},    // @DisplayModeIndex
    {PT_STR, 1},    // @Title
    {PT_BOOL, 1},   // @SoundON
    {PT_STR, 1},    // @ActiveCompo
    {PT_BOOL, 258}, // @KeyRepeat
    {PT_INT, 1},    // @HistoryMaxCount
    {PT_NONE, -1},  // @Temp
    {PT_STR, 1},    // @MidiPort
    {PT_STR, -1},   // @MidiPorts
    {PT_BOOL, 1},   // @WheelDown
    {PT_BOOL, 1},   // @WheelUp
    {PT_BOOL, 1},   // @IsDebug
    {PT_INT, 1},    // @StackCount
}};

namespace {

using TSysValue = std::variant<int32_t, long double, bool, std::string>;

// Reads of a value taken in its own type, converted to the type asked for.
long double ReadAsFloat(const TSysValue& V) {
    switch (V.index()) {
        case 0: return std::get<int32_t>(V);
        case 1: return std::get<long double>(V);
        case 2: return std::get<bool>(V) ? 1 : 0;
        default: return StrToIntDef(std::get<std::string>(V), 0);
    }
}
bool ReadAsBool(const TSysValue& V) {
    switch (V.index()) {
        case 0: return std::get<int32_t>(V) != 0;
        case 1: return std::get<long double>(V) != 0;
        case 2: return std::get<bool>(V);
        default: return !std::get<std::string>(V).empty();
    }
}
std::string ReadAsStr(const TSysValue& V) {
    switch (V.index()) {
        case 0: return IntToStr(std::get<int32_t>(V));
        case 1: return FloatToStr(std::get<long double>(V));
        case 2: return BoolToStr(std::get<bool>(V));
        default: return std::get<std::string>(V);
    }
}

// A written value converted to the type of the variable; none when a string does not parse.
std::optional<int32_t> WrittenInt(const TSysValue& V) {
    switch (V.index()) {
        case 0: return std::get<int32_t>(V);
        case 1: return FloatToInt(std::get<long double>(V));
        case 2: return std::get<bool>(V) ? 1 : 0;
        default: {
            int32_t value;
            if (!TryStrToInt(std::get<std::string>(V), value)) return std::nullopt;
            return value;
        }
    }
}
bool WrittenBool(const TSysValue& V) {
    if (V.index() != 3) return ReadAsBool(V);
    return StrToIntDef(std::get<std::string>(V), 0) != 0;
}

// An int read: a string by the integer parse, 0 when it fails.
int32_t ReadAsInt(const TSysValue& V) { return WrittenInt(V).value_or(0); }

// A time span as the date-time arithmetic gives it: the fraction of a day, held as a double.
long double DayFraction(int32_t Milliseconds) {
    return static_cast<double>(static_cast<long double>(Milliseconds) / 86400000.0L);
}

// Font names one per line, joined by CR LF, without blanks and line breaks at both ends.
std::string FontList(const std::vector<std::string>& Names) {
    std::string text;
    for (size_t i = 0; i < Names.size(); ++i) text += (i ? "\r\n" : "") + Names[i];
    const auto blank = [](char c) { return static_cast<uint8_t>(c) <= ' '; };
    size_t first = 0, last = text.size();
    while (first < last && blank(text[first])) ++first;
    while (last > first && blank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

}  // namespace

// ---- Reading and writing the player's state ----

TCustomParam* TParamSystem::Holder() const {
    if (index_ == 0) return owner_.State().ResultParam();
    if (index_ == 44) {
        TParamCollectionItem* item = owner_.Find(owner_.TempVarName());
        return item ? &item->Value() : nullptr;
    }
    return nullptr;
}

TParamSystem::TSysValue TParamSystem::Read(std::optional<int32_t> Element) const {
    TPlayerState& state = owner_.State();
    const auto keys = [&](TKeyArray Which) {
        const int32_t key = Element.value_or(-1);
        if (key >= 0 && key <= 255) return state.KeyState(Which, key);
        if (key == VkWheelDown || key == VkWheelUp) return state.WheelLatch(key == VkWheelUp);
        return false;
    };
    switch (index_) {
        case 1: return state.ClickLatch(false);
        case 2: return state.ClickLatch(true);
        case 3: return state.ButtonPushed(false);
        case 4: return state.ButtonPushed(true);
        case 5: return state.MouseX();
        case 6: return state.MouseY();
        case 7: return owner_.TextDelay();
        case 8: return state.HistoryCount();
        case 9: return state.ArgCount();
        case 10: {
            const int32_t i = Element.value_or(-1);
            return i >= 0 && i < state.ArgCount() ? state.Arg(i) : std::string();
        }
        case 11: return state.SenderName();
        case 12: return state.ScreenWidth();
        case 13: return state.ScreenHeight();
        case 14: return static_cast<int32_t>(state.LoopTime());
        case 15: return static_cast<int32_t>(platform::ClockMs());
        case 16: return static_cast<int32_t>(state.FrameCounter());
        case 17: return state.LoopNow().Year;
        case 18: return state.LoopNow().Month;
        case 19: return state.LoopNow().Day;
        case 20: return state.LoopNow().Week;
        case 21: return state.LoopNow().Hour;
        case 22: return state.LoopNow().Min;
        case 23: return state.LoopNow().Sec;
        case 24: return FontList(state.FontNames(false));
        case 25: return FontList(state.FontNames(true));
        case 26: return state.FullScreen();
        case 27: return owner_.CursorName();
        case 28: return owner_.SelStr();
        case 29: return owner_.SelIndex();
        case 30: return std::numbers::pi_v<long double>;
        case 31: return state.ImageMode();
        case 32: return DayFraction(3600000);
        case 33: return DayFraction(60000);
        case 34: return DayFraction(1000);
        case 35: return keys(kaDown);
        case 36: return keys(kaPressed);
        case 37: return state.DisplayModeCount();
        case 38: return state.DisplayModeIndex();
        case 39: return state.Title();
        case 40: return state.SoundOn();
        case 41: return state.FocusName();
        case 42: return keys(kaRepeat);
        case 43: return state.HistoryMaxCount();
        case 45: return state.MidiPort();
        case 46: {
            const int32_t i = Element.value_or(0);
            return i >= 0 && i < state.MidiPortCount() ? state.MidiPortName(i) : std::string();
        }
        case 47: return state.WheelLatch(false);
        case 48: return state.WheelLatch(true);
        case 49: return false;
        case 50: return state.StackCount();
        default: throw EParamError("内部エラー");
    }
}

void TParamSystem::Write(const TSysValue& V) {
    TPlayerState& state = owner_.State();
    switch (index_) {
        case 1: state.SetClickLatch(false, WrittenBool(V)); break;
        case 2: state.SetClickLatch(true, WrittenBool(V)); break;
        case 5:
            if (const auto x = WrittenInt(V)) state.SetMouseX(*x);
            break;
        case 6:
            if (const auto y = WrittenInt(V)) state.SetMouseY(*y);
            break;
        case 7:
            if (const auto delay = WrittenInt(V)) owner_.SetTextDelay(*delay);
            break;
        case 26: state.SetFullScreen(WrittenBool(V)); break;
        case 27: owner_.SetCursorName(ReadAsStr(V)); break;
        case 28: owner_.SetSelStr(ReadAsStr(V)); break;
        case 29:
            if (const auto index = WrittenInt(V)) owner_.SetSelIndex(*index);
            break;
        case 31: state.SetImageMode(WrittenBool(V)); break;
        case 38:
            if (const auto mode = WrittenInt(V)) state.SetDisplayModeIndex(*mode);
            break;
        case 40: state.SetSoundOn(WrittenBool(V)); break;
        case 41:
            if (const std::string name = ReadAsStr(V); !name.empty()) state.SetFocusName(name);
            break;
        case 43:
            if (const auto count = WrittenInt(V)) state.SetHistoryMaxCount(*count);
            break;
        case 45: state.SetMidiPort(ReadAsStr(V)); break;
        default: break;  // read only
    }
}

// ---- The value operations ----

int32_t TParamSystem::Count() const {
    if (Forwards()) return ForwardTo(Holder(), 1, [](TCustomParam& h) { return h.Count(); });
    if (index_ == 10) return owner_.State().ArgCount();
    if (index_ == 46) return owner_.State().MidiPortCount();
    return SysVarInfos[index_].Count;
}

void TParamSystem::SetCount(int32_t N) {
    if (Forwards()) ForwardTo(Holder(), [N](TCustomParam& h) { h.SetCount(N); });
}

TParamType TParamSystem::ParamType() const {
    if (index_ >= SysVarCount) throw EParamError("内部エラー");
    if (index_ == 0) {
        const TParamType type = owner_.State().ResultType();
        return type <= PT_STR ? type : PT_NONE;
    }
    if (index_ == 44) return ForwardTo(Holder(), PT_NONE, [](TCustomParam& h) { return h.ParamType(); });
    return SysVarInfos[index_].Type;
}

bool TParamSystem::AsBool() const {
    if (Forwards()) return ForwardTo(Holder(), false, [](TCustomParam& h) { return h.AsBool(); });
    return ReadAsBool(Read(std::nullopt));
}
long double TParamSystem::AsFloat() const {
    if (Forwards()) return ForwardTo(Holder(), 0.0L, [](TCustomParam& h) { return h.AsFloat(); });
    return ReadAsFloat(Read(std::nullopt));
}
int32_t TParamSystem::AsInt() const {
    if (Forwards()) return ForwardTo(Holder(), 0, [](TCustomParam& h) { return h.AsInt(); });
    return ReadAsInt(Read(std::nullopt));
}
std::string TParamSystem::AsStr() const {
    if (Forwards()) return ForwardTo(Holder(), std::string(), [](TCustomParam& h) { return h.AsStr(); });
    return ReadAsStr(Read(std::nullopt));
}

void TParamSystem::SetBool(bool Value) {
    if (Forwards()) return ForwardTo(Holder(), [Value](TCustomParam& h) { h.SetBool(Value); });
    Write(Value);
}
void TParamSystem::SetFloat(long double Value) {
    if (Forwards()) return ForwardTo(Holder(), [Value](TCustomParam& h) { h.SetFloat(Value); });
    Write(Value);
}
void TParamSystem::SetInt(int32_t Value) {
    if (Forwards()) return ForwardTo(Holder(), [Value](TCustomParam& h) { h.SetInt(Value); });
    Write(Value);
}
void TParamSystem::SetStr(const std::string& Value) {
    if (Forwards()) return ForwardTo(Holder(), [&](TCustomParam& h) { h.SetStr(Value); });
    Write(Value);
}

int32_t TParamSystem::GetIntAt(int32_t I) const {
    if (Forwards()) return ForwardTo(Holder(), 0, [I](TCustomParam& h) { return h.GetIntAt(I); });
    return ReadAsInt(Read(I));
}
void TParamSystem::SetIntAt(int32_t I, int32_t Value) {
    if (Forwards()) return ForwardTo(Holder(), [=](TCustomParam& h) { h.SetIntAt(I, Value); });
    Write(Value);
}
long double TParamSystem::GetFloatAt(int32_t I) const {
    if (Forwards()) return ForwardTo(Holder(), 0.0L, [I](TCustomParam& h) { return h.GetFloatAt(I); });
    return ReadAsFloat(Read(I));
}
void TParamSystem::SetFloatAt(int32_t I, long double Value) {
    if (Forwards()) return ForwardTo(Holder(), [=](TCustomParam& h) { h.SetFloatAt(I, Value); });
    Write(Value);
}
bool TParamSystem::GetBoolAt(int32_t I) const {
    if (Forwards()) return ForwardTo(Holder(), false, [I](TCustomParam& h) { return h.GetBoolAt(I); });
    return ReadAsBool(Read(I));
}
void TParamSystem::SetBoolAt(int32_t I, bool Value) {
    if (Forwards()) return ForwardTo(Holder(), [=](TCustomParam& h) { h.SetBoolAt(I, Value); });
    Write(Value);
}
std::string TParamSystem::GetStrAt(int32_t I) const {
    if (Forwards()) return ForwardTo(Holder(), std::string(), [I](TCustomParam& h) { return h.GetStrAt(I); });
    return ReadAsStr(Read(I));
}
void TParamSystem::SetStrAt(int32_t I, const std::string& Value) {
    if (Forwards()) return ForwardTo(Holder(), [&](TCustomParam& h) { h.SetStrAt(I, Value); });
    Write(Value);
}

int32_t TParamSystem::DimCount() const {
    if (Forwards() && Holder()) return ForwardTo(Holder(), 1, [](TCustomParam& h) { return h.DimCount(); });
    return TCustomParam::DimCount();
}
int32_t TParamSystem::Dim(int32_t I) const {
    if (Forwards() && Holder()) return ForwardTo(Holder(), 1, [I](TCustomParam& h) { return h.Dim(I); });
    return I == 0 ? Count() : 1;
}

void TParamSystem::CopyFrom(const TCustomParam& Source) {
    if (Forwards()) return ForwardTo(Holder(), [&](TCustomParam& h) { h.CopyFrom(Source); });
    TCustomParam::CopyFrom(Source);
}
void TParamSystem::SetDims(const std::vector<int32_t>& Sizes) {
    if (Forwards()) return ForwardTo(Holder(), [&](TCustomParam& h) { h.SetDims(Sizes); });
    TCustomParam::SetDims(Sizes);
}
void TParamSystem::FillInt(int32_t Value) {
    if (Forwards()) ForwardTo(Holder(), [Value](TCustomParam& h) { h.FillInt(Value); });
}
void TParamSystem::FillFloat(long double Value) {
    if (Forwards()) ForwardTo(Holder(), [Value](TCustomParam& h) { h.FillFloat(Value); });
}
void TParamSystem::FillBool(bool Value) {
    if (Forwards()) ForwardTo(Holder(), [Value](TCustomParam& h) { h.FillBool(Value); });
}
void TParamSystem::FillStr(const std::string& Value) {
    if (Forwards()) ForwardTo(Holder(), [&](TCustomParam& h) { h.FillStr(Value); });
}
void TParamSystem::Assign(const TCustomParam& Source) {
    if (Forwards()) return ForwardTo(Holder(), [&](TCustomParam& h) { h.Assign(Source); });
    TCustomParam::Assign(Source);
}
void TParamSystem::ClearDims() {
    if (Forwards()) ForwardTo(Holder(), [](TCustomParam& h) { h.ClearDims(); });
}

void TParamSystem::SaveToStream(TStream& Stream) const {
    const TCustomParam* source = Forwards() ? Holder() : this;
    const std::unique_ptr<TCustomParam> plain = CreateParam(ParamType());
    if (source) plain->CopyFrom(*source);
    plain->SaveToStream(Stream);
}

void TParamSystem::LoadFromStream(TStream& Stream) {
    const std::unique_ptr<TCustomParam> plain = CreateParam(ParamType());
    plain->LoadFromStream(Stream);
    ConvertParam(*this, *plain);
}
