#include "script/callman.h"

#include "core/sysutils.h"
#include "core/vrfiles_manager.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

namespace {

// Rounds of the runner between two questions whether the player is to end.
constexpr uint32_t EndCheckRounds = 16;

// The smallest frame record: four empty strings, an empty list, PC, state size and three bytes.
constexpr int64_t MinFrameRecord = 4 + 4 + 1 + 1 + 4 + 4 + 4 + 4 + 1;

void WriteSenderName(TStream& Stream, const TObjectRef& Sender) {
    WriteStreamString(Stream, Sender ? ScriptObjects().ObjectName(Sender) : std::string());
}

TObjectRef ReadSender(TStream& Stream) {
    const std::string name = ReadStreamString(Stream);
    return name.empty() ? TObjectRef{} : ScriptObjects().FindObject(name);
}

}  // namespace

// ---- TStack ----

void TStack::SaveToStream(TStream& Stream) const {
    WriteStreamString(Stream, PageName);
    WriteStreamInt(Stream, PC);
    WriteStreamByte(Stream, Begun);
    WriteStreamByte(Stream, ContinueFlag);
    WriteStreamString(Stream, ResultVarName);
    Args.SaveToStream(Stream);
    WriteSenderName(Stream, Sender);
    const int64_t stateSize = State ? State->Size() : 0;
    WriteStreamInt(Stream, static_cast<int32_t>(stateSize));
    if (stateSize) Stream.WriteBuffer(State->Memory(), stateSize);
    const uint8_t resultType = Result ? StoredTypeCode(*Result) : 0;
    WriteStreamByte(Stream, resultType);
    if (resultType) Result->SaveToStream(Stream);
}

void TStack::LoadFromStream(TStream& Stream) {
    PageName = ReadStreamString(Stream);
    PC = ReadStreamInt(Stream);
    Begun = ReadStreamByte(Stream) != 0;
    ContinueFlag = ReadStreamByte(Stream) != 0;
    ResultVarName = ReadStreamString(Stream);
    Args.LoadFromStream(Stream);
    Sender = ReadSender(Stream);
    const int32_t stateSize = ReadStreamCount(Stream, 1);
    State.reset();
    if (stateSize) {
        State = std::make_unique<TMemoryStream>();
        State->SetSize(stateSize);
        Stream.ReadBuffer(State->Memory(), stateSize);
    }
    Result.reset();
    if (const uint8_t resultType = ReadStreamByte(Stream)) {
        Result = CreateParam(resultType);
        if (!Result) throw EReadError();
        Result->LoadFromStream(Stream);
    }
}

// ---- TStackList ----

void TStackList::SyncScope() const {
    if (ParamMan) ParamMan->SetCurrentScope(Count());
}

size_t TStackList::At(int Index) const {
    if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
    return static_cast<size_t>(Index);
}

TStack& TStackList::Push(std::unique_ptr<TStack> Frame) {
    if (Count() >= MaxCallDepth) throw EVelaError(Format("呼び出しの入れ子が深すぎます（%d段まで）", MaxCallDepth));
    if (!Frame) Frame = std::make_unique<TStack>();
    frames_.push_back(std::move(Frame));
    SyncScope();
    return *frames_.back();
}

TStack& TStackList::Pop() {
    if (Count() == 0) throw EVelaError("スタックエラー");
    holder_ = std::move(frames_.back());
    frames_.pop_back();
    SyncScope();
    return *holder_;
}

void TStackList::Delete(int Index) {
    std::unique_ptr<TStack> gone = std::move(frames_[At(Index)]);
    frames_.erase(frames_.begin() + Index);
}

void TStackList::FreeFrames() {
    std::deque<std::unique_ptr<TStack>> frames;
    frames.swap(frames_);
    for (auto& frame : frames) frame.reset();
}

void TStackList::Clear() {
    FreeFrames();
    SyncScope();
}

void TStackList::SaveToStream(TStream& Stream) const {
    holder_->SaveToStream(Stream);
    WriteStreamInt(Stream, Count());
    for (int i = 0; i < Count(); ++i) Items(i)->SaveToStream(Stream);
}

void TStackList::LoadFromStream(TStream& Stream) {
    Clear();
    auto holder = std::make_unique<TStack>();
    holder->LoadFromStream(Stream);
    holder_ = std::move(holder);
    const int32_t count = ReadStreamCount(Stream, MinFrameRecord);
    if (count > MaxCallDepth) throw EReadError();
    for (int32_t i = 0; i < count; ++i) {
        auto frame = std::make_unique<TStack>();
        frame->LoadFromStream(Stream);
        Push(std::move(frame));
    }
}

// ---- TCallMan ----

TCommand* TCallMan::CurrentCommand() const {
    if (!CurrentPage || PC < 0 || PC >= CurrentPage->Commands.Count()) return nullptr;
    return &CurrentPage->Commands.GetItem(PC);
}

TPage* TCallMan::GetPage(const std::string& Name, bool MoveToFront) {
    for (int i = 0; i < pages_.Count(); ++i) {
        if (pages_.Items(i)->GetName() != Name) continue;
        if (!MoveToFront || i == 0) return pages_.Items(i);
        pages_.Insert(0, pages_.Extract(i));
        return pages_.Items(0);
    }
    auto loaded = std::make_unique<TPage>();
    loaded->LoadFromFile(Name);
    refused_.clear();
    TPage* page = loaded.get();
    if (!MoveToFront) {
        pages_.Add(std::move(loaded));
        return page;
    }
    pages_.Insert(0, std::move(loaded));
    if (pages_.Count() > PageCacheSize) {
        // The names of the frames' pages are gathered once for all the pages looked at.
        std::unordered_set<std::string_view> framePages;
        for (int i = 0; i < Stack.Count(); ++i) framePages.insert(Stack.Items(i)->PageName);
        const auto inUse = [&](const TPage& Page) {
            return &Page == CurrentPage || &Page == stepping_ || framePages.count(Page.GetName()) > 0;
        };
        for (int i = pages_.Count() - 1; i >= PageCacheSize; --i)
            if (!inUse(*pages_.Items(i))) pages_.Delete(i);
    }
    return page;
}

TPage* TCallMan::Start(const std::string& Name) {
    TPage* page = GetPage(Name, true);
    CurrentPage = page;
    PC = 0;
    Begun = false;
    Args.Clear();
    State = 0;
    Stack.Clear();
    Sender = {};
    // One pass over the taken events, whatever the level: those taken at levels 1..Level and
    // any a save left at another level, which no handler would ever end.
    ScriptObjects().ClearTaken();
    Level = 2;
    return page;
}

bool TCallMan::CanInterrupt() const {
    const TCommand* command = CurrentCommand();
    return Begun && command && command->CanInterrupt();
}

std::string TCallMan::GetArg(int32_t Index) const {
    return Index >= 0 && Index < Args.Count() ? Args.Strings(Index) : std::string();
}

std::string TCallMan::GetSenderName() const {
    return State == 0 || !Sender ? std::string() : ScriptObjects().ObjectName(Sender);
}

TCustomParam* TCallMan::GetResultParam() const {
    const TStack* top = Stack.Top();
    return top ? top->Result.get() : nullptr;
}

int TCallMan::EventRun(int32_t EventLevel) {
    if (CanInterrupt()) return 0;
    TTimerData* event = ScriptObjects().FirstPending();
    if (!event) return 0;
    std::string pageName = event->Handler;
    const std::string label = CutColonSuffix(pageName);
    pageName = pageName.substr(0, pageName.size() >= 3 ? pageName.size() - 3 : 0) + "vsb";
    if (!ScriptHost().FileExists(pageName)) return 0;
    if (Refused(pageName)) {
        DropEvent(*event, EventLevel);
        return 0;
    }

    auto frame = std::make_unique<TStack>();
    frame->PageName = CurrentPage ? CurrentPage->GetName() : std::string();
    frame->PC = PC;
    frame->Begun = Begun;
    frame->Args.Assign(Args);
    frame->Sender = Sender;
    frame->ContinueFlag = StepOn;
    if (TCommand* command = Begun ? CurrentCommand() : nullptr) {
        frame->State = std::make_unique<TMemoryStream>();
        command->SaveState(*frame->State);
        if (frame->State->Size() == 0) frame->State.reset();
    }
    TPage* page = nullptr;
    try {
        page = GetPage(pageName, true);
    } catch (...) {
        // A handler page that is there but cannot be read would fail again at every tick: the
        // event is dropped and the error passes on to be shown once; the page is not read for
        // the events that follow.
        refused_.insert(pageName);
        DropEvent(*event, EventLevel);
        throw;
    }
    Stack.Push(std::move(frame));
    CurrentPage = page;
    PC = label.empty() ? 0 : std::max(page->Commands.FindLabel(label), 0);
    if (ScriptHost().TraceEnabled())
        if (const TCommand* command = CurrentCommand())
            ScriptHost().LogWrite(Format("%.8x : <Event>%s(%d)", ScriptHost().LoopTime(), pageName.c_str(),
                                         static_cast<int>(command->LineId())));
    Begun = false;
    event->Level = EventLevel;
    Args.Assign(event->Args);
    Sender = event->Sender;
    State = 1;
    return 1;
}

bool TCallMan::Refused(const std::string& Name) {
    const uint32_t changes = VrFileManager ? VrFileManager->Changes() : 0;
    if (changes != refusedChanges_) {
        refused_.clear();
        refusedChanges_ = changes;
    }
    return refused_.count(Name) > 0;
}

void TCallMan::DropEvent(TTimerData& Event, int32_t EventLevel) {
    Event.Level = EventLevel;
    ScriptObjects().ClearLevel(EventLevel);
}

void TCallMan::StoreResult(const TStack& Frame) const {
    if (Frame.ResultVarName.empty() || !Frame.Result || !ParamMan) return;
    try {
        if (TParamCollectionItem* variable = ParamMan->Find(Frame.ResultVarName)) {
            variable->ConvertFrom(*Frame.Result);
            return;
        }
        // A new string variable holding the value's text as it is.
        TParamCollectionItem& variable = ParamMan->AddParam(PT_STR);
        try {
            variable.SetName(Frame.ResultVarName);
        } catch (...) {
            ParamMan->Delete(variable.CachedIndex());
            throw;
        }
        variable.SetAsStr(Frame.Result->AsStr());
    } catch (const EVelaError&) {
        // A result that cannot be stored is dropped, as a failing assignment is.
    }
}

void TCallMan::ReturnFromPage() {
    if (ParamMan) ParamMan->DeleteScope(Stack.Count());
    TStack& frame = Stack.Pop();
    StoreResult(frame);
    CurrentPage = frame.PageName.empty() ? nullptr : GetPage(frame.PageName, true);
    PC = frame.PC;
    Begun = frame.Begun;
    StepOn = frame.ContinueFlag;
    Args.Assign(frame.Args);
    Sender = frame.Sender;
    if (TCommand* command = frame.State ? CurrentCommand() : nullptr) {
        frame.State->SetPosition(0);
        command->LoadState(*frame.State);
    }
}

int TCallMan::OneStep() {
    if (!CurrentPage || Terminating()) return 0;
    TPage* page = CurrentPage;
    bool eventPoint = false;
    {
        // The stepped page stays cached even when a command starts another page.
        struct TPin {
            TPage*& Slot;
            ~TPin() { Slot = nullptr; }
        } pin{stepping_ = CurrentPage};
        CurrentPage->Step(*this, page, eventPoint, Begun, PC);
    }
    ScriptObjects().FreeDeleted();
    if (Terminating()) return 0;
    int result = eventPoint ? 2 : 0;
    if (page) {
        CurrentPage = page;
        return result;
    }
    if (Stack.Count() == 0) {
        StepOn = false;
        return result;
    }
    ReturnFromPage();
    if (!Sender) return 1;
    return result == 0 ? -1 : result;
}

bool TCallMan::Run() {
    uint32_t rounds = 0;
    while (!Terminating()) {
        // A round that moved neither page, PC, State nor the call depth would only repeat
        // itself: the command goes on at the next tick. (A page calling itself from its first
        // command comes back to the same page and PC one frame deeper.)
        const TPage* const page = CurrentPage;
        const int32_t pc = PC, state = State, depth = Stack.Count();
        switch (State) {
            case 0:
                if (!EventRun(1)) OneStep();
                break;
            case 1: {
                const int result = OneStep();
                if (result == 1) {
                    ScriptObjects().ClearLevel(1);
                    State = 0;
                    StepOn = true;
                } else if (result == 2) {
                    Level = 2;
                    State = 2;
                    return true;
                } else if (State != 1) {
                    StepOn = true;
                }
                break;
            }
            case 2:
                if (EventRun(Level)) {
                    ++Level;
                    State = 3;
                } else {
                    State = Level <= 2 ? 1 : 3;
                }
                break;
            case 3: {
                const int result = OneStep();
                if (result == 1 || result == -1) {
                    --Level;
                    ScriptObjects().ClearLevel(Level);
                    if (Level <= 2) State = 2;
                } else if (result == 2) {
                    State = 2;
                    return true;
                }
                break;
            }
        }
        if ((!StepOn && State == 0) || (CurrentPage == page && PC == pc && State == state && Stack.Count() == depth))
            break;
        // A script that never waits still lets the player end.
        if (++rounds % EndCheckRounds == 0 && ScriptHost().EndRequested()) break;
    }
    return true;
}

void TCallMan::SaveToStream(TStream& Stream) const {
    WriteStreamString(Stream, CurrentPage ? CurrentPage->GetName() : std::string());
    WriteStreamInt(Stream, PC);
    WriteStreamByte(Stream, StepOn);
    WriteStreamByte(Stream, Begun);
    WriteStreamInt(Stream, State);
    WriteSenderName(Stream, Sender);
    Args.SaveToStream(Stream);
    Stack.SaveToStream(Stream);
    WriteStreamInt(Stream, Level);
    if (const TCommand* command = Begun ? CurrentCommand() : nullptr) command->SaveState(Stream);
}

void TCallMan::LoadFromStream(TStream& Stream, int32_t Version) {
    const std::string pageName = ReadStreamString(Stream);
    CurrentPage = pageName.empty() ? nullptr : GetPage(pageName, true);
    PC = ReadStreamInt(Stream);
    StepOn = ReadStreamByte(Stream) != 0;
    Begun = ReadStreamByte(Stream) != 0;
    State = ReadStreamInt(Stream);
    if (State < 0 || State > 3) throw EReadError();
    Sender = ReadSender(Stream);
    Args.LoadFromStream(Stream);
    Stack.LoadFromStream(Stream);
    Level = Version >= 116 ? ReadStreamInt(Stream) : 2;
    // Each level above 2 belongs to a handler that has a frame of its own.
    if (Level < 0 || Level > Stack.Count() + 2) throw EReadError();
    if (TCommand* command = Begun ? CurrentCommand() : nullptr) command->LoadState(Stream);
}

// ---- TScriptPlayerState ----

TCustomParam* TScriptPlayerState::ResultParam() {
    return runner_ ? runner_->GetResultParam() : nullptr;
}

TParamType TScriptPlayerState::ResultType() {
    if (!runner_ || !runner_->CurrentPage || !runner_->GetResultParam()) return PT_NONE;
    return static_cast<TParamType>(runner_->CurrentPage->ReturnType);
}

int32_t TScriptPlayerState::ArgCount() { return runner_ ? runner_->GetArgCount() : 0; }

std::string TScriptPlayerState::Arg(int32_t Index) { return runner_ ? runner_->GetArg(Index) : std::string(); }

std::string TScriptPlayerState::SenderName() { return runner_ ? runner_->GetSenderName() : std::string(); }

int32_t TScriptPlayerState::StackCount() { return runner_ ? runner_->StackCount() : 0; }
