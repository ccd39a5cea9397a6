// Message text and history commands: putting a page's text into a message window and waiting
// on it, clearing a window, showing a stored history in a window, setting up and clearing the
// history formats, and forgetting the read marks.
#include "script/callman.h"
#include "script/commands.h"
#include "script/pages.h"

#include "objects/vitemex_mes.h"
#include "objects/vitemex_read.h"
#include "objects/vitems.h"
#include "text/histories.h"
#include "text/nxwords_textout.h"

#include <algorithm>

namespace {

// History format names are stored from this page version on; older pages use the unnamed one.
constexpr int32_t HistoryFormatVersion = 111;

// The message window of that name (as a control, layers by their absolute names); nullptr for
// the empty name, an unknown one or another kind of control.
TVelaMes* FindMessageWindow(const std::string& Name) {
    if (Name.empty() || !Bases) return nullptr;
    return dynamic_cast<TVelaMes*>(Bases->FindControl(Name));
}

// Reads an expression that pages from Version on store; older pages leave it empty, which gives
// no result.
void ReadSince(const TCommand& Command, TStream& Stream, int32_t Version, TVelaParser& Expression) {
    if (Command.OwnerPage().Version >= Version) Expression.LoadFromStream(Stream);
}

}  // namespace

// ---- Text insertion ----

// Record: u32 byte count and that many bytes of compiled message text, kept whole; the
// window-name, mark-read and wait expressions; the hold-events expression (from 107). Lays the
// text out into a message window and, with the wait flag, stays until the window has no pages.
class TComTextIns : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmTextIns; }
    void LoadFromStream(TStream& Stream) override;
    TMemoryStream* CompiledText() override { return &text_; }
    void Begin(TCallMan& Runner) override;
    // A stay ends the runner's stepping for the tick, as every wait does.
    void Execute(TCallMan& Runner, TPage*& Page, int32_t& PC) override;
    bool CanInterrupt() const override { return hold_; }
    bool IsEventPoint() const override { return eventPoint_; }
    // "vela100", the window's name ("" for none or one gone), u8 event point, u8 hold events.
    void SaveState(TStream& Stream) const override;
    // The window is looked up again by name; a state without a header holds no hold-events flag.
    void LoadState(TStream& Stream) override;

private:
    // The window the command wrote into while it is still in the scene.
    TVelaMes* Target() const;

    TMemoryStream text_;
    TVelaParser window_, markRead_, wait_, holdEvents_;
    TObjectRef target_;
    bool eventPoint_ = false;
    bool hold_ = false;
};

void TComTextIns::LoadFromStream(TStream& Stream) {
    TCommand::LoadFromStream(Stream);
    const uint32_t size = ReadUInt(Stream);
    if (size > static_cast<uint64_t>(Stream.Remaining())) throw EReadError();
    text_.Clear();
    if (size > 0 && CopyStreamData(text_, Stream, size) != size) throw EReadError();
    text_.SetPosition(0);
    ReadExpression(Stream, window_);
    ReadExpression(Stream, markRead_);
    ReadExpression(Stream, wait_);
    ReadSince(*this, Stream, HoldEventsVersion, holdEvents_);
}

TVelaMes* TComTextIns::Target() const {
    return target_ && Bases && Bases->IsLive(target_) ? static_cast<TVelaMes*>(target_.Object) : nullptr;
}

void TComTextIns::Begin(TCallMan&) {
    target_ = {};
    eventPoint_ = false;
    hold_ = RunBool(holdEvents_);
    if (text_.Size() == 0) return;
    TVelaMes* window = FindMessageWindow(RunStr(window_));
    if (!window) return;
    target_ = window->Ref();
    window->SourceMode = TVelaMes::smDirect;
    window->BuildPosition = 0;
    const std::string& pageName = OwnerPage().GetName();
    const int32_t index = Owner() ? Owner()->IndexOf(this) : -1;
    if (RunBool(markRead_)) {
        window->SourceMode = TVelaMes::smRecorded;
        window->PageFile = pageName;
        window->CommandIndex = index;
    }
    // The window rebuilds the text from this command through the page.
    window->MesData.Data.Clear();
    window->MesData.Data.Add(pageName, index, 0, -1, 0, {});
    window->BuildFlag = 0;
    window->BuildPages(false, 0);
    if (window->GetCount() > 0) {
        window->SetIndex(0);
        // The reader's tools get the message whole as it starts to show, however it is revealed.
        platform::SendTextOut(MessageOfWord(window->GetWord(), window->GetName()));
    }
    eventPoint_ = RunBool(wait_);
}

void TComTextIns::Execute(TCallMan& Runner, TPage*&, int32_t& PC) {
    const TVelaMes* window = Target();
    if (window && eventPoint_ && window->GetCount() != 0)
        Runner.StepOn = false;
    else
        ++PC;
}

void TComTextIns::SaveState(TStream& Stream) const {
    const TVelaMes* window = Target();
    WriteStateHeader(Stream);
    WriteStreamString(Stream, window ? window->GetName() : std::string());
    WriteStreamByte(Stream, eventPoint_);
    WriteStreamByte(Stream, hold_);
}

void TComTextIns::LoadState(TStream& Stream) {
    const int version = ReadStateHeader(Stream);
    TVelaMes* window = FindMessageWindow(ReadStreamString(Stream));
    target_ = window ? window->Ref() : TObjectRef{};
    eventPoint_ = ReadStreamByte(Stream) != 0;
    hold_ = version >= CommandStateVersion && ReadStreamByte(Stream) != 0;
}

namespace {

// Record: window name. Empties the window's text; it keeps no read marks.
class TComTextClr : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmTextClr; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, window_);
    }
    void Execute(TCallMan&, TPage*&, int32_t& PC) override {
        ++PC;
        if (TVelaMes* window = FindMessageWindow(RunStr(window_))) {
            window->SourceMode = TVelaMes::smDirect;
            window->SetText({});
        }
    }

private:
    TVelaParser window_;
};

// Record: window name, first message, message count, history flag, format name (from 111).
// Shows that many messages of the format's history from the first one on, as many as it holds.
class TComCallHist : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmCallHist; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, window_);
        ReadExpression(Stream, first_);
        ReadExpression(Stream, count_);
        ReadExpression(Stream, flag_);
        ReadSince(*this, Stream, HistoryFormatVersion, format_);
    }
    void Execute(TCallMan&, TPage*&, int32_t& PC) override;

private:
    TVelaParser window_, first_, count_, flag_, format_;
};

void TComCallHist::Execute(TCallMan&, TPage*&, int32_t& PC) {
    ++PC;
    TVelaMes* window = FindMessageWindow(RunStr(window_));
    if (!window) return;
    first_.Execute();
    if (!first_.Result()) return;
    int32_t first = first_.Result()->AsInt();
    int32_t count = RunInt(count_, 1);
    TVelaHistoryFormat* format = TextHistoryFormats ? TextHistoryFormats->FindFormat(RunStr(format_)) : nullptr;
    if (!format) return;
    const bool flag = RunBool(flag_);
    first = std::max(first, 0);
    TVelaNewHistory& history = format->History();
    const int64_t held = history.GetCount();
    if (held < int64_t{first} + count) count = static_cast<int32_t>(held - first);
    if (count <= 0) return;
    window->BuildFlag = flag;
    history.ShowInMessage(first, count, *window);
}

// No fields. Empties every format's history.
class TComClrHist : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmClrHist; }
    void Execute(TCallMan&, TPage*&, int32_t& PC) override {
        ++PC;
        if (TextHistoryFormats) TextHistoryFormats->ClearHistories();
    }
};

// Record: object name, format name (from 111). Finds or makes the format and takes its
// settings from the object's text properties, or clears them without an object.
class TComEntryHist : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmFormatHist; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, object_);
        ReadSince(*this, Stream, HistoryFormatVersion, format_);
    }
    void Execute(TCallMan&, TPage*&, int32_t& PC) override;

private:
    TVelaParser object_, format_;
};

void TComEntryHist::Execute(TCallMan&, TPage*&, int32_t& PC) {
    ++PC;
    const std::string name = RunStr(object_);
    const TVelaObject* obj = name.empty() || !Bases ? nullptr : Bases->FindObject(name);
    if (!TextHistoryFormats) return;
    TVelaHistoryFormat& format = TextHistoryFormats->FindOrAddFormat(RunStr(format_));
    if (obj)
        format.Settings = {obj->GetFontheight(), obj->GetFontborder(), obj->GetFontshadow(),
                           obj->GetWidth(),      obj->GetHeight(),     obj->GetLinespace()};
    else
        format.ResetSettings();
}

// No fields. Forgets every read mark.
class TComClrRead : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmClrRead; }
    void Execute(TCallMan&, TPage*&, int32_t& PC) override {
        ++PC;
        if (TextRead) TextRead->Clear();
    }
};

constexpr TCommandEntry TextFamily[] = {
    {cmTextIns, NewCommand<TComTextIns>},     {cmTextClr, NewCommand<TComTextClr>},
    {cmCallHist, NewCommand<TComCallHist>},   {cmClrHist, NewCommand<TComClrHist>},
    {cmFormatHist, NewCommand<TComEntryHist>}, {cmClrRead, NewCommand<TComClrRead>},
};

}  // namespace

std::span<const TCommandEntry> TextCommands() { return TextFamily; }
