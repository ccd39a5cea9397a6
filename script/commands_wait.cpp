// Waiting, event and run-control commands: waits that hold the page across ticks, stopping and
// playing media, closing menus, letting queued events run, restarting and ending the script.
#include "script/callman.h"
#include "script/commands.h"
#include "script/pages.h"
#include "script/services.h"

#include "core/vrfiles_manager.h"

#include <algorithm>
#include <limits>

namespace {

// Play states passed to objects.
constexpr int32_t PlayStopped = 0, PlayPlaying = 1, PlayRemoved = 2, PlayClosing = 3;
bool IsPlayingOrStopped(int32_t State) { return State == PlayStopped || State == PlayPlaying; }

// Reads the hold-events expression of pages that store one; older pages leave it empty, which
// gives no result.
void ReadHoldEvents(const TCommand& Command, TStream& Stream, TVelaParser& Expression) {
    if (Command.OwnerPage().Version >= HoldEventsVersion) Expression.LoadFromStream(Stream);
}

// The object of that name; an empty reference for the empty name or when none is found.
TObjectRef NamedObject(const std::string& Name) {
    return Name.empty() ? TObjectRef{} : ScriptObjects().FindObject(Name);
}

// Record: condition, time (ms), hold events (from 107). Holds the page while the condition
// holds (or gives no result), until the time has run out when there is one; the tick it begins
// on does not count. Each tick it waits it ends the runner's stepping.
class TComWait : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmWait; }
    bool CanInterrupt() const override { return hold_; }
    bool IsEventPoint() const override { return true; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, cond_);
        ReadExpression(Stream, time_);
        ReadHoldEvents(*this, Stream, holdExpr_);
    }
    void Begin(TCallMan&) override {
        remaining_ = RunInt(time_);
        skip_ = 1;
        hold_ = RunBool(holdExpr_);
    }
    void Execute(TCallMan& Runner, TPage*& Page, int32_t& PC) override;
    // "vela100", i32 remaining ms, i32 ticks to skip, u8 hold events.
    void SaveState(TStream& Stream) const override {
        WriteStateHeader(Stream);
        WriteStreamInt(Stream, remaining_);
        WriteStreamInt(Stream, skip_);
        WriteStreamByte(Stream, hold_);
    }
    // A state without a header holds no hold-events flag: events are not held.
    void LoadState(TStream& Stream) override {
        const int version = ReadStateHeader(Stream);
        remaining_ = ReadStreamInt(Stream);
        skip_ = ReadStreamInt(Stream);
        hold_ = version >= CommandStateVersion && ReadStreamByte(Stream) != 0;
    }

private:
    TVelaParser cond_, time_, holdExpr_;
    int32_t remaining_ = 0;  // ms
    int32_t skip_ = 0;       // ticks not counted yet
    bool hold_ = false;
};

void TComWait::Execute(TCallMan& Runner, TPage*& /*Page*/, int32_t& PC) {
    if (!RunBool(cond_, true)) {
        ++PC;
        return;
    }
    // Without a time the wait lasts while the condition holds.
    if (remaining_ != 0) {
        if (skip_ > 0) {
            --skip_;
        } else {
            // The time left never wraps round into a long wait.
            const int64_t left = int64_t{remaining_} - ScriptHost().FrameTime();
            remaining_ = static_cast<int32_t>(std::max<int64_t>(left, std::numeric_limits<int32_t>::min()));
            if (remaining_ <= 0) {
                ++PC;
                return;
            }
        }
    }
    Runner.StepOn = false;
}

// Record: object name, fade time (ms), wait, hold events (from 107). Stops the named media
// object at once (fade time 0 or less: it is deleted) or fades it out over the fade time; with
// a fade and a true wait expression the page then holds until the object is gone.
class TComMovieStop : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmMovieStop; }
    bool CanInterrupt() const override { return hold_; }
    bool IsEventPoint() const override { return eventPoint_; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, name_);
        ReadExpression(Stream, fade_);
        ReadExpression(Stream, wait_);
        ReadHoldEvents(*this, Stream, holdExpr_);
    }
    void Begin(TCallMan&) override;
    // Stays while the faded object lives. A stay ends the runner's stepping for the tick, as
    // every wait does, whatever the record's continue flag says.
    void Execute(TCallMan& Runner, TPage*&, int32_t& PC) override {
        if (watched_ && eventPoint_ && ScriptObjects().IsLive(watched_)) Runner.StepOn = false;
        else ++PC;
    }
    // "vela100", the watched object's name ("" for none or one gone), u8 event point, u8 hold
    // events.
    void SaveState(TStream& Stream) const override {
        WriteStateHeader(Stream);
        WriteStreamString(Stream, watched_ ? ScriptObjects().ObjectName(watched_) : std::string());
        WriteStreamByte(Stream, eventPoint_);
        WriteStreamByte(Stream, hold_);
    }
    void LoadState(TStream& Stream) override {
        const int version = ReadStateHeader(Stream);
        watched_ = NamedObject(ReadStreamString(Stream));
        eventPoint_ = ReadStreamByte(Stream) != 0;
        hold_ = version >= CommandStateVersion && ReadStreamByte(Stream) != 0;
    }

private:
    TVelaParser name_, fade_, wait_, holdExpr_;
    TObjectRef watched_;
    bool eventPoint_ = false;
    bool hold_ = false;
};

void TComMovieStop::Begin(TCallMan&) {
    hold_ = RunBool(holdExpr_);
    eventPoint_ = false;
    watched_ = NamedObject(RunStr(name_));
    if (!watched_) return;
    TScriptObjects& objects = ScriptObjects();
    if (const int32_t fade = RunInt(fade_); fade > 0) {
        const std::string source = objects.GetSource(watched_);
        const bool playable = source.starts_with("CD_") || (VrFileManager && VrFileManager->FileExists(source));
        if (playable && IsPlayingOrStopped(objects.GetPlayState(watched_))) {
            objects.SetDelay(watched_, fade);
            objects.SetPlayState(watched_, PlayClosing);
        } else {
            watched_ = {};
        }
    } else {
        objects.SetPlayState(watched_, PlayRemoved);
        objects.Delete(watched_);
        watched_ = {};
    }
    eventPoint_ = RunBool(wait_);
}

// No fields. Ends the page's stepping for the tick; inside an event handler an event point.
class TComDoEvent : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmDoEvent; }
    bool GetContinueFlag() const override { return false; }
    bool IsEventPoint() const override { return true; }
};

// Record: object name. Applies its action to the object of that name, when there is one, and
// moves on.
class TComObjectAction : public TCommand {
public:
    using TCommand::TCommand;
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, name_);
    }
    void Execute(TCallMan&, TPage*&, int32_t& PC) override {
        ++PC;
        if (const TObjectRef object = NamedObject(RunStr(name_))) Apply(object);
    }

protected:
    virtual void Apply(const TObjectRef& Object) = 0;

private:
    TVelaParser name_;
};

// Closes the named menu.
class TComMenuClose : public TComObjectAction {
public:
    using TComObjectAction::TComObjectAction;
    uint8_t GetOpcode() const override { return cmMenuClose; }

protected:
    void Apply(const TObjectRef& Object) override { ScriptObjects().SetPlayState(Object, PlayClosing); }
};

// Starts playback of the named media object.
class TComMediaPlay : public TComObjectAction {
public:
    using TComObjectAction::TComObjectAction;
    uint8_t GetOpcode() const override { return cmMediaPlay; }

protected:
    void Apply(const TObjectRef& Object) override { ScriptObjects().Play(Object); }
};

// Record: string page, u32 index, u8 reset all. Leaves the running code for the page and index.
// Reset all: every call frame and event goes and the runner starts there afresh. Otherwise only
// the code above the lowest call frame that returns into an event handler stays: the frame
// below it that returns into ordinary code is sent to the target instead (the running handler
// goes on and returns there), or, with no such frame, the page goes to the target at once.
class TComPCReset : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmPCReset; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        pageName_ = ReadString(Stream);
        pc_ = ReadStreamInt(Stream);
        resetAll_ = ReadStreamByte(Stream) != 0;
    }
    void Execute(TCallMan& Runner, TPage*& Page, int32_t& PC) override;

protected:
    // Restarts the runner at the target.
    void Restart(TCallMan& Runner, TPage*& Page, int32_t& PC) const {
        Page = Runner.Start(pageName_);
        PC = pc_;
    }

private:
    void ResetAll(TCallMan& Runner, TPage*& Page, int32_t& PC) const;
    void ResetAboveEvents(TCallMan& Runner, TPage*& Page, int32_t& PC) const;

    std::string pageName_;
    int32_t pc_ = 0;
    bool resetAll_ = false;
};

// A frame pushed while an event handler ran: it returns into the handler.
bool IsEventFrame(const TStack& Frame) { return static_cast<bool>(Frame.Sender); }

void DeleteScope(int32_t Level) {
    if (ParamMan) ParamMan->DeleteScope(Level);
}

void TComPCReset::Execute(TCallMan& Runner, TPage*& Page, int32_t& PC) {
    DeleteScope(Runner.StackCount());
    if (resetAll_) ResetAll(Runner, Page, PC);
    else ResetAboveEvents(Runner, Page, PC);
}

void TComPCReset::ResetAll(TCallMan& Runner, TPage*& Page, int32_t& PC) const {
    for (int32_t i = Runner.StackCount() - 1; i >= 0; --i) {
        DeleteScope(i);
        const TStack& frame = *Runner.Stack.Items(i);
        if (!frame.Begun || IsEventFrame(frame)) continue;
        const TComList& commands = Runner.GetPage(frame.PageName, false)->Commands;
        if (frame.PC >= 0 && frame.PC < commands.Count()) commands.GetItem(frame.PC).Abort();
    }
    Restart(Runner, Page, PC);
    ScriptObjects().ClearEvents();
}

void TComPCReset::ResetAboveEvents(TCallMan& Runner, TPage*& Page, int32_t& PC) const {
    TStackList& stack = Runner.Stack;
    int32_t lowest = 0;
    while (lowest < stack.Count() && !IsEventFrame(*stack.Items(lowest))) ++lowest;
    // The frame below the lowest event frame (or the top frame, when a handler runs and no frame
    // returns into one) returns into the ordinary code that the handlers interrupted. A handler
    // runs whatever became of its sender.
    const bool inHandler = lowest < stack.Count() || Runner.State != 0;
    if (inHandler && lowest > 0) {
        DeleteScope(lowest - 1);
        TStack& frame = *stack.Items(lowest - 1);
        frame.PageName = pageName_;
        frame.PC = pc_;
        frame.Begun = false;
        frame.ResultVarName.clear();
        frame.Args.Clear();
        frame.State.reset();
        ++PC;
    } else {
        Page = Runner.GetPage(pageName_, true);
        PC = pc_;
    }
    ScriptObjects().ClearTaken();
}

// As PCReset, first clearing the game: every object, the game variables, the game-data tables
// and the message history formats; the runner then starts afresh at the target.
class TComReset : public TComPCReset {
public:
    using TComPCReset::TComPCReset;
    uint8_t GetOpcode() const override { return cmReset; }
    void Execute(TCallMan& Runner, TPage*& Page, int32_t& PC) override {
        ScriptObjects().Clear();
        if (ParamMan) ParamMan->Clear();
        ScriptHost().ClearGameTables();
        ScriptHost().ClearHistoryFormats();
        Restart(Runner, Page, PC);
    }
};

// No fields. Ends the script: sets the terminating flag and asks the main window to close.
class TComTerminate : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmTerminate; }
    void Execute(TCallMan&, TPage*&, int32_t&) override {
        SetTerminating(true);
        ScriptHost().RequestClose();
    }
};

constexpr TCommandEntry WaitFamily[] = {
    {cmWait, NewCommand<TComWait>},       {cmMovieStop, NewCommand<TComMovieStop>}, {cmMenuClose, NewCommand<TComMenuClose>},
    {cmPCReset, NewCommand<TComPCReset>},   {cmReset, NewCommand<TComReset>},     {cmTerminate, NewCommand<TComTerminate>},
    {cmDoEvent, NewCommand<TComDoEvent>},   {cmMediaPlay, NewCommand<TComMediaPlay>},
};

}  // namespace

std::span<const TCommandEntry> WaitCommands() { return WaitFamily; }
