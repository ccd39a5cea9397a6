// Game saves and loads. The commands only record a request on the project, which performs it at
// the end of the tick, after the page stopped stepping (TProject::ProcessPending).
#include "script/commands.h"
#include "script/pages.h"
#include "script/project.h"

namespace {


// Fields: slot expression; the page to continue at after loading ("" for none); u32 the PC to
// continue at (from page version 105); caption expression.
class TComGameSave : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmGameSave; }
    bool GetContinueFlag() const override { return false; }

    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, slot_);
        page_ = ReadString(Stream);
        pc_ = OwnerPage().Version >= 105 ? static_cast<int32_t>(ReadUInt(Stream)) : 0;
        ReadExpression(Stream, caption_);
    }

    void Execute(TCallMan& /*Runner*/, TPage*& /*Page*/, int32_t& PC) override {
        ++PC;
        const int32_t slot = RunInt(slot_);
        const std::string caption = RunStr(caption_);
        if (!Project) return;
        Project->PendingSave = slot;
        Project->SavePage = page_;
        Project->SavePC = pc_;
        Project->SaveCaption = caption;
    }

private:
    TVelaParser slot_, caption_;
    std::string page_;
    int32_t pc_ = 0;
};

// Field: slot expression.
class TComGameLoad : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmGameLoad; }
    bool GetContinueFlag() const override { return false; }

    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, slot_);
    }

    void Execute(TCallMan& /*Runner*/, TPage*& /*Page*/, int32_t& PC) override {
        ++PC;
        const int32_t slot = RunInt(slot_);
        if (Project) Project->PendingLoad = slot;
    }

private:
    TVelaParser slot_;
};

constexpr TCommandEntry Entries[] = {
    {cmGameSave, NewCommand<TComGameSave>},
    {cmGameLoad, NewCommand<TComGameLoad>},
};

}  // namespace

std::span<const TCommandEntry> SaveCommands() { return Entries; }
