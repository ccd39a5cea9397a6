#pragma once
// The script runner: the page cache, the current page and position, the call stack, the
// arguments of the running page and the state of event handling. Once per tick Run steps
// commands until one ends the tick, starts queued events of the object root as calls of their
// handler pages, and returns from finished pages through the call stack.
#include "core/header.h"
#include "script/pages.h"
#include "script/params_system.h"
#include "script/services.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>

// Pages kept in the cache beside the current page and the pages of live call frames.
inline constexpr int PageCacheSize = 30;

// The deepest calls nest: one more is refused with a script error.
inline constexpr int MaxCallDepth = 10000;

// One call frame: where to return to and what to restore there.
//
// Record: PageName string; PC u32; Begun u8; ContinueFlag u8; ResultVarName string; Args; the
// sender's name ("" without a live sender); u32 state size and the state bytes; u8 result type
// (0 without a Result) and, when not 0, the Result's stream form.
class TStack {
public:
    std::string PageName;
    int32_t PC = 0;
    bool Begun = false;         // the command at PC had begun
    std::string ResultVarName;  // receives the called page's return value; "" for none
    TArrayString Args;          // the caller's arguments
    TObjectRef Sender;          // the caller's event sender
    bool ContinueFlag = false;  // the runner's step-on flag at the push
    std::unique_ptr<TMemoryStream> State;  // progress of the interrupted command, or none
    std::unique_ptr<TCustomParam> Result;  // return-value holder of the called page, or none

    void SaveToStream(TStream& Stream) const;
    // The sender is looked up again by name in the object root. EReadError on short or absurd
    // input.
    void LoadFromStream(TStream& Stream);
};

// The call stack (owning its frames), and the holder of the frame popped last. After each push,
// pop and clear, the current scope of ParamMan is the frame count, so local variables belong to
// the call depth that made them. Removing a frame moves the frames on its shorter side only:
// the bottom frame goes without moving the others.
//
// Record: the holder's frame record, u32 frame count, each frame from the bottom up.
class TStackList {
public:
    TStackList() = default;
    TStackList(const TStackList&) = delete;
    TStackList& operator=(const TStackList&) = delete;
    ~TStackList() { FreeFrames(); }

    int Count() const { return static_cast<int>(frames_.size()); }
    // The frame at Index, 0 the bottom (EListError outside the stack).
    TStack* Items(int Index) const { return frames_[At(Index)].get(); }
    // Appends Frame (a new empty frame when nullptr), charged to the title's memory, and returns
    // it. A frame beyond MaxCallDepth raises EVelaError, one that does not fit EMemoryBudget; the
    // stack then stays as it was.
    TStack& Push(std::unique_ptr<TStack> Frame = nullptr);
    // Takes the top frame off into the holder and returns the holder (valid until the next
    // pop). EVelaError "スタックエラー" on an empty stack.
    TStack& Pop();
    // Frees the frame at Index (EListError outside the stack); it is out of the stack before it
    // is freed. The current scope stays.
    void Delete(int Index);
    // The frame at the top; nullptr on an empty stack.
    TStack* Top() const { return Count() ? frames_.back().get() : nullptr; }
    // Frees every frame, the bottom one first; the stack is empty before the first is freed.
    void Clear();

    void SaveToStream(TStream& Stream) const;
    // Replaces the stack; EReadError on short or absurd input.
    void LoadFromStream(TStream& Stream);

private:
    // Index as a place in frames_; EListError outside the stack.
    size_t At(int Index) const;
    void SyncScope() const;
    void FreeFrames();

    std::deque<std::unique_ptr<TStack>> frames_;
    std::unique_ptr<TStack> holder_ = std::make_unique<TStack>();
};

// Record inside a game save: the current page name ("" for none); PC u32; StepOn u8; Begun u8;
// State u32; the sender's name ("" without a live sender); Args; Stack; Level u32 (from save
// version 116); then, when Begun and PC lies within the current page, the current command's
// state.
class TCallMan {
public:
    TCallMan() = default;
    TCallMan(const TCallMan&) = delete;
    TCallMan& operator=(const TCallMan&) = delete;

    // Commands drive the runner through these fields.
    TPage* CurrentPage = nullptr;  // held by the cache; nullptr when no page runs
    int32_t PC = 0;
    bool StepOn = false;  // set after each step from the command's continue flag
    TStackList Stack;
    bool Begun = false;  // the command at PC has begun
    TArrayString Args;   // arguments of the running page
    // 0 ordinary code; 1 the outermost event handler runs; 2 a handler stopped at an event
    // point, events of Level may start; 3 a nested handler runs.
    int32_t State = 0;
    TObjectRef Sender;  // whose event handler runs
    int32_t Level = 0;  // event level; 2 after Start

    // The page cache, most recently used first.
    int PageCount() const { return pages_.Count(); }
    TPage& GetItem(int Index) const { return *pages_.Items(Index); }
    // The cached page of exactly that name, else the page loaded (errors of the load pass on).
    // MoveToFront puts it first and, for a new page, frees the least recently used pages beyond
    // PageCacheSize except those in use (the current page, the page being stepped and the
    // pages of the call frames); without it a new page is appended.
    TPage* GetPage(const std::string& Name, bool MoveToFront);

    // Restarts at the first command of page Name: no arguments, no sender, an empty stack,
    // State 0, every taken event removed, Level 2. StepOn stays.
    TPage* Start(const std::string& Name);
    // One tick of script work. The tick's work ends early when a round (starting an event or
    // one step) left the page, PC, State and call depth as they were; the script goes on from
    // there at the next tick. Errors of the runner's own work (loading a page to return to or a handler
    // page) pass on. Always true.
    bool Run();
    // Starts the first pending event as a call of its handler page, taking it at EventLevel:
    // 1 when started, 0 when none is (events held off, none pending, or its page missing: the
    // event then stays queued). When its page is there but cannot be loaded, the event is
    // dropped and the error passes on; later events of that page are dropped without reading
    // it again (0) until the archives or the page cache change.
    int EventRun(int32_t EventLevel);
    // The current command has begun and holds queued events off.
    bool CanInterrupt() const;

    int32_t GetArgCount() const { return Args.Count(); }
    // "" outside 0..count-1.
    std::string GetArg(int32_t Index) const;
    // "" when no handler runs (State 0) or the sender is gone.
    std::string GetSenderName() const;
    // The return-value holder of the top frame; nullptr when there is none.
    TCustomParam* GetResultParam() const;
    int32_t StackCount() const { return Stack.Count(); }

    void SaveToStream(TStream& Stream) const;
    // Version: the save version (Level is read from 116 on, else 2). EReadError on short or
    // absurd input.
    void LoadFromStream(TStream& Stream, int32_t Version);

    // True the first time a jump or call finds no page of the name: it is reported once.
    bool FirstMissing(const std::string& PageName) { return missingPages_.insert(PageName).second; }

private:
    // The command at PC of the current page; nullptr outside its commands.
    TCommand* CurrentCommand() const;
    // One step of the current page: 0, 1 (returned into code that is no event handler), 2 (an
    // event point) or -1 (returned into an event handler).
    int OneStep();
    void ReturnFromPage();
    void StoreResult(const TStack& Frame) const;
    // Whether the handler page Name was refused since the archives and the page cache last
    // changed.
    bool Refused(const std::string& Name);
    // Takes Event at EventLevel and clears it at once (nothing else is taken at the level an
    // event starts at).
    static void DropEvent(TTimerData& Event, int32_t EventLevel);

    TObjList<TPage> pages_;
    TPage* stepping_ = nullptr;
    std::set<std::string> refused_;
    uint32_t refusedChanges_ = 0;  // the file manager's change count refused_ belongs to
    std::set<std::string> missingPages_;
};

// What the system variables read of the call stack, answered from a runner (none: the base's
// answers), and the loop clock of the script host.
class TScriptPlayerState : public TPlayerState {
public:
    explicit TScriptPlayerState(TCallMan* Runner = nullptr) : runner_(Runner) {}
    void SetRunner(TCallMan* Runner) { runner_ = Runner; }

    TCustomParam* ResultParam() override;
    // The running page's return type while a call's holder exists, else PT_NONE.
    TParamType ResultType() override;
    int32_t ArgCount() override;
    std::string Arg(int32_t Index) override;
    std::string SenderName() override;
    int32_t StackCount() override;
    TStackList* CallStack() override { return runner_ ? &runner_->Stack : nullptr; }
    uint32_t LoopTime() override { return ScriptHost().LoopTime(); }

private:
    TCallMan* runner_;
};
