#pragma once
// The 51 system variables "@Result".."@StackCount": values that store nothing but their index
// and compute every read from the state of the player; a write changes that state or is
// ignored. What belongs to other parts of the player (the call stack, the object root and its
// layers, the screen, the project, the loop clock, the histories, the fonts and MIDI) is
// reached through TPlayerState, which those parts fill in.
#include "core/header.h"
#include "script/params_values.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

class TParamCollection;
class TStackList;

// A local date and time.
struct TClockSample {
    int32_t Year = 0, Month = 0, Day = 0;
    int32_t Week = 0;  // 1 Sunday .. 7 Saturday
    int32_t Hour = 0, Min = 0, Sec = 0;
};
// The host's local date and time now.
TClockSample HostLocalTime();

// The three key arrays of the object root.
enum TKeyArray : uint8_t { kaDown, kaPressed, kaRepeat };

// What the system variables read from and write to the rest of the player. Each operation of
// this base reads 0, false or "" and ignores writes; the player's own state derives from it.
class TPlayerState {
public:
    virtual ~TPlayerState() = default;

    // The call stack: the return-value holder of the top frame and the return type of the
    // running page (none without a call), the arguments and sender of the running call, the
    // number of frames.
    virtual TCustomParam* ResultParam() { return nullptr; }
    virtual TParamType ResultType() { return PT_NONE; }
    virtual int32_t ArgCount() { return 0; }
    virtual std::string Arg(int32_t) { return {}; }
    virtual std::string SenderName() { return {}; }
    virtual int32_t StackCount() { return 0; }
    // The running call stack itself, for the functions that remove frames; nullptr without one.
    virtual TStackList* CallStack() { return nullptr; }

    // The active layer: click latches (writable), buttons held, cursor position (writing it
    // moves the mouse cursor) and the wheel latches.
    virtual bool ClickLatch(bool /*Right*/) { return false; }
    virtual void SetClickLatch(bool /*Right*/, bool) {}
    virtual bool ButtonPushed(bool /*Right*/) { return false; }
    virtual int32_t MouseX() { return 0; }
    virtual int32_t MouseY() { return 0; }
    virtual void SetMouseX(int32_t) {}
    virtual void SetMouseY(int32_t) {}
    virtual bool WheelLatch(bool /*Up*/) { return false; }

    // The object root: key state (Key 0..255), the name of the object holding the keyboard
    // focus and the focus move to a control by name, the sound switch, the image mode.
    virtual bool KeyState(TKeyArray, int32_t /*Key*/) { return false; }
    virtual std::string FocusName() { return {}; }
    virtual void SetFocusName(const std::string&) {}
    virtual bool SoundOn() { return false; }
    virtual void SetSoundOn(bool) {}
    virtual bool ImageMode() { return false; }
    virtual void SetImageMode(bool) {}

    // The screen: full screen and the display modes.
    virtual bool FullScreen() { return false; }
    virtual void SetFullScreen(bool) {}
    virtual int32_t DisplayModeCount() { return 0; }
    virtual int32_t DisplayModeIndex() { return 0; }
    virtual void SetDisplayModeIndex(int32_t) {}

    // The project.
    virtual int32_t ScreenWidth() { return 0; }
    virtual int32_t ScreenHeight() { return 0; }
    virtual std::string Title() { return {}; }

    // The loop clock: the accumulated milliseconds of all ticks, the ticks run, and the local
    // date and time of the current tick (this base reads the host clock at every call; the
    // loop samples it once per tick).
    virtual uint32_t LoopTime() { return 0; }
    virtual uint32_t FrameCounter() { return 0; }
    virtual TClockSample LoopNow() { return HostLocalTime(); }

    // The history of the unnamed history format: message count, maximum count, and the six
    // settings older game saves (versions 113 to 134) carry with the variables.
    virtual int32_t HistoryCount() { return 0; }
    virtual int32_t HistoryMaxCount() { return 0; }
    virtual void SetHistoryMaxCount(int32_t) {}
    virtual void LoadHistorySettings(const std::array<int32_t, 6>&) {}

    // The face names of the usable fonts (fixed-pitch faces only when FixedOnly).
    virtual std::vector<std::string> FontNames(bool /*FixedOnly*/) { return {}; }

    // MIDI: the current device name (writable) and the device names.
    virtual std::string MidiPort() { return {}; }
    virtual void SetMidiPort(const std::string&) {}
    virtual int32_t MidiPortCount() { return 0; }
    virtual std::string MidiPortName(int32_t) { return {}; }
};

// The type of each system variable (PT_NONE for "@Result" and "@Temp", which take the type of
// what they stand for) and its element count (-1 where it is computed).
struct TSysVarInfo {
    TParamType Type;
    int32_t Count;
};
extern const std::array<TSysVarInfo, SysVarCount> SysVarInfos;

// The value of system variable Index (0..50) of a table.
//
// Conversions: every access is taken in the variable's own type and converted. Read: int as
// float exactly, float as int truncated, flag as 0 or 1, string as int or float by the integer
// parse (0 when it fails), int and float as flag value <> 0, string as flag non-empty, any as
// string its text. Written: to an int a float truncated, a flag 1 or 0, a string parsed as an
// integer (nothing written when it does not parse); to a flag value <> 0, a string's integer
// parse <> 0 (so "TRUE" writes false); to a string the text. (No float variable is writable.)
//
// "@Result" and "@Temp" pass every operation to the holder of the top call frame and to the
// variable named by TempVarName; without one they read as empty, have Count 1 and ignore
// writes. Others ignore an element index except "@ParamStr", the key arrays and "@MidiPorts";
// SetDims, Assign and CopyFrom only record a dimension list, SetCount, the fills and ClearDims
// do nothing.
//
// Stream form: that of a plain value of its type holding its elements.
class TParamSystem : public TCustomParam {
public:
    TParamSystem(TParamCollection& Owner, uint8_t Index) : owner_(Owner), index_(Index) {}
    uint8_t Index() const { return index_; }

    int32_t Count() const override;
    void SetCount(int32_t N) override;
    // EParamError "内部エラー" for an index above 50.
    TParamType ParamType() const override;
    bool AsBool() const override;
    long double AsFloat() const override;
    int32_t AsInt() const override;
    std::string AsStr() const override;
    void SetBool(bool Value) override;
    void SetFloat(long double Value) override;
    void SetInt(int32_t Value) override;
    void SetStr(const std::string& Value) override;
    int32_t GetIntAt(int32_t I) const override;
    void SetIntAt(int32_t I, int32_t Value) override;
    long double GetFloatAt(int32_t I) const override;
    void SetFloatAt(int32_t I, long double Value) override;
    bool GetBoolAt(int32_t I) const override;
    void SetBoolAt(int32_t I, bool Value) override;
    std::string GetStrAt(int32_t I) const override;
    void SetStrAt(int32_t I, const std::string& Value) override;
    int32_t DimCount() const override;
    // For I = 0 the Count, else 1.
    int32_t Dim(int32_t I) const override;
    void CopyFrom(const TCustomParam& Source) override;
    void SetDims(const std::vector<int32_t>& Sizes) override;
    void FillInt(int32_t Value) override;
    void FillFloat(long double Value) override;
    void FillBool(bool Value) override;
    void FillStr(const std::string& Value) override;
    void Assign(const TCustomParam& Source) override;
    void SaveToStream(TStream& Stream) const override;
    void LoadFromStream(TStream& Stream) override;
    void ClearDims() override;

private:
    // A value in one of the four types, in the order of their type codes.
    using TSysValue = std::variant<int32_t, long double, bool, std::string>;

    bool Forwards() const { return index_ == 0 || index_ == 44; }
    // What "@Result" or "@Temp" stands for; nullptr for the others and without a holder.
    TCustomParam* Holder() const;
    // The variable's value in its own type: the plain read, or element Element.
    TSysValue Read(std::optional<int32_t> Element) const;
    // Stores V, converted to the own type, when the variable is writable.
    void Write(const TSysValue& V);

    TParamCollection& owner_;
    uint8_t index_;
};
