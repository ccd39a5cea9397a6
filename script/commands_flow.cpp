// Control-flow commands: conditional blocks, loops, labels, jumps, page calls and returns.
//
// A block has no end marker: it is the run of commands after its head whose indent is greater
// than the head's. A condition holds when its expression gives a result that is true; an
// expression without a result never holds.
#include "core/sysutils.h"
#include "platform/display.h"
#include "script/callman.h"
#include "script/commands.h"
#include "script/pages.h"
#include "script/services.h"

#include <memory>
#include <vector>

namespace {

// The commands of the page that holds Command.
const TComList& PageCommands(const TCommand& Command) { return Command.OwnerPage().Commands; }

// Moves PC past every command after Head's position (PC) whose indent is greater than Head's.
void SkipBlock(const TCommand& Head, int32_t& PC) { PC = PageCommands(Head).BlockEnd(PC); }

// Record: condition. Enters its block when the condition holds, else goes to the first Elseif
// of its indent whose condition holds or to its Else, past the block otherwise.
class TComIf : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmIf; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, cond_);
    }
    void Execute(TCallMan& Runner, TPage*& Page, int32_t& PC) override;

protected:
    bool Holds() { return RunBool(cond_); }

private:
    TVelaParser cond_;
};

// Record: condition. Reached by falling out of the block before it: skips its own block.
class TComElseif : public TComIf {
public:
    using TComIf::TComIf;
    uint8_t GetOpcode() const override { return cmElseif; }
    void Execute(TCallMan&, TPage*&, int32_t& PC) override { SkipBlock(*this, PC); }
};

// No fields. Reached by falling out of the block before it: skips its own block.
class TComElse : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmElse; }
    bool GetContinueFlag() const override { return true; }
    void Execute(TCallMan&, TPage*&, int32_t& PC) override { SkipBlock(*this, PC); }
};

void TComIf::Execute(TCallMan& /*Runner*/, TPage*& /*Page*/, int32_t& PC) {
    const int32_t head = PC++;
    if (Holds()) return;
    // From block end to block end: each branch after the first is passed over whole.
    const TComList& list = PageCommands(*this);
    for (PC = list.BlockEnd(head); PC < list.Count(); PC = list.BlockEnd(PC)) {
        TCommand& command = list.GetItem(PC);
        if (command.Indent() < Indent()) return;
        if (auto* branch = dynamic_cast<TComElseif*>(&command)) {
            if (!branch->Holds()) continue;
        } else if (!dynamic_cast<TComElse*>(&command)) {
            return;
        }
        ++PC;
        return;
    }
}

// Record: string label name. A jump target; moves on.
class TComLabel : public TCommand {
public:
    explicit TComLabel(TComList* Owner) : TCommand(Owner) { SetContinueFlag(true); }
    uint8_t GetOpcode() const override { return cmLabel; }
    const std::string* LabelName() const override { return &name_; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        name_ = ReadString(Stream);
    }

private:
    std::string name_;
};

// Record: string text (read as a label's name). Never runs.
class TComComment : public TComLabel {
public:
    using TComLabel::TComLabel;
    uint8_t GetOpcode() const override { return cmComment; }
    bool GetContinueFlag() const override { return false; }
    bool IsDisabled() const override { return true; }
};

// A page and a command index in it; the position a jump or call goes to.
struct TTarget {
    std::string PageName;
    int32_t PC = 0;

    void Read(TStream& Stream) {
        PageName = ReadStreamString(Stream);
        PC = ReadStreamInt(Stream);
    }
};

// Whether the page a jump or call goes to exists. A missing one is passed over, the script going
// on with the next command; so that a misspelt name can be found, the first time a name is
// missing one line on standard error says which command of which page asked for it.
bool TargetExists(TCallMan& Runner, const TCommand& Command, const char* Kind, const std::string& PageName) {
    if (ScriptHost().FileExists(PageName)) return true;
    if (Runner.FirstMissing(PageName))
        platform::PrintMessage("velaplay", Format("%s line %u: %s of the page \"%s\", which does not exist; the "
                                                  "script goes on with the next command",
                                                  Command.OwnerPage().GetName().c_str(), Command.LineId(), Kind,
                                                  PageName.c_str()));
    return false;
}

// Record: string page, u32 index, condition. When the condition holds and the page exists,
// goes there; else moves on.
class TComJump : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmJump; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        target_.Read(Stream);
        ReadExpression(Stream, cond_);
    }
    void Execute(TCallMan& Runner, TPage*& Page, int32_t& PC) override {
        ++PC;
        if (!RunBool(cond_) || !TargetExists(Runner, *this, "Jump", target_.PageName)) return;
        Page = Runner.GetPage(target_.PageName, true);
        PC = target_.PC;
    }

private:
    TTarget target_;
    TVelaParser cond_;
};

// Record: string page, u32 index, string result variable, condition, u32 argument count and the
// argument expressions. When the condition holds and the page exists, calls it: the arguments'
// texts become the arguments of the called page (one without a result is left out), and the
// runner returns after the call when the called page ends.
class TComCall : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmCall; }
    void LoadFromStream(TStream& Stream) override;
    void Execute(TCallMan& Runner, TPage*& Page, int32_t& PC) override;

private:
    TTarget target_;
    std::string resultVarName_;
    TVelaParser cond_;
    std::vector<std::unique_ptr<TVelaParser>> args_;
};

void TComCall::LoadFromStream(TStream& Stream) {
    TCommand::LoadFromStream(Stream);
    target_.Read(Stream);
    resultVarName_ = ReadString(Stream);
    ReadExpression(Stream, cond_);
    // Each stored expression takes at least its operation count.
    const int32_t count = ReadStreamCount(Stream, 4);
    args_.clear();
    for (int32_t i = 0; i < count; ++i) ReadExpression(Stream, *args_.emplace_back(std::make_unique<TVelaParser>()));
}

void TComCall::Execute(TCallMan& Runner, TPage*& Page, int32_t& PC) {
    ++PC;
    if (!RunBool(cond_) || !TargetExists(Runner, *this, "Call", target_.PageName)) return;
    TArrayString args;
    for (const auto& arg : args_) {
        arg->Execute();
        if (arg->Result()) args.Add(arg->Result()->AsStr());
    }
    // The page is loaded before the frame is pushed, so a page that cannot be read leaves the
    // stack as it was.
    TPage* called = Runner.GetPage(target_.PageName, true);
    auto frame = std::make_unique<TStack>();
    frame->PageName = Page->GetName();
    frame->PC = PC;
    frame->ResultVarName = resultVarName_;
    frame->ContinueFlag = Runner.StepOn;
    frame->Sender = Runner.Sender;
    frame->Args.Assign(Runner.Args);
    frame->Result = CreateParam(called->ReturnType);
    Runner.Stack.Push(std::move(frame));  // filled first, so that what it holds is charged
    Runner.Args.Assign(args);
    Page = called;
    PC = target_.PC;
}

// Record: condition. Ends the page when it holds (the runner returns through the call stack).
class TComExit : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmExit; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, cond_);
    }
    void Execute(TCallMan&, TPage*& Page, int32_t& PC) override {
        if (Holds()) Page = nullptr;
        else ++PC;
    }

protected:
    bool Holds() { return RunBool(cond_); }

private:
    TVelaParser cond_;
};

// Record: condition, i32 index. When the condition holds goes to the index (out of the loop),
// or ends the page for a negative one; else moves on.
class TComBreak : public TComExit {
public:
    using TComExit::TComExit;
    uint8_t GetOpcode() const override { return cmBreak; }
    void LoadFromStream(TStream& Stream) override {
        TComExit::LoadFromStream(Stream);
        target_ = ReadStreamInt(Stream);
    }
    void Execute(TCallMan&, TPage*& Page, int32_t& PC) override {
        if (Holds()) GoToTarget(Page, PC);
        else ++PC;
    }

protected:
    void GoToTarget(TPage*& Page, int32_t& PC) const {
        if (target_ < 0) Page = nullptr;
        else PC = target_;
    }

private:
    int32_t target_ = 0;
};

// As Break, going to the loop's step, except that it moves PC on first: a page it ends is left
// past the command.
class TComContinue : public TComBreak {
public:
    using TComBreak::TComBreak;
    uint8_t GetOpcode() const override { return cmContinue; }
    void Execute(TCallMan&, TPage*& Page, int32_t& PC) override {
        ++PC;
        if (Holds()) GoToTarget(Page, PC);
    }
};

// Record: condition, u32 exit index. Enters the loop body while the condition holds, else goes
// to the exit index.
class TComWhile : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmWhile; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, cond_);
        exit_ = ReadStreamInt(Stream);
    }
    void Execute(TCallMan&, TPage*&, int32_t& PC) override {
        ++PC;
        if (!RunBool(cond_)) PC = exit_;
    }

private:
    TVelaParser cond_;
    int32_t exit_ = 0;
};

// Record: statement. Runs it (a loop's initialisation) and moves on.
class TComWhileInit : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmWhileInit; }
    bool GetContinueFlag() const override { return true; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, statement_);
    }
    void Execute(TCallMan&, TPage*&, int32_t& PC) override {
        ++PC;
        statement_.Execute();
    }

protected:
    TVelaParser statement_;
};

// Record: statement, u32 loop-head index. Goes back to the loop's head, running the statement
// (the loop's step).
class TComWhileLoop : public TComWhileInit {
public:
    using TComWhileInit::TComWhileInit;
    uint8_t GetOpcode() const override { return cmWhileLoop; }
    void LoadFromStream(TStream& Stream) override {
        TComWhileInit::LoadFromStream(Stream);
        head_ = ReadStreamInt(Stream);
    }
    void Execute(TCallMan&, TPage*&, int32_t& PC) override {
        PC = head_;
        statement_.Execute();
    }

private:
    int32_t head_ = 0;
};

constexpr TCommandEntry FlowFamily[] = {
    {cmIf, NewCommand<TComIf>},        {cmElseif, NewCommand<TComElseif>},     {cmElse, NewCommand<TComElse>},
    {cmLabel, NewCommand<TComLabel>},     {cmJump, NewCommand<TComJump>},       {cmCall, NewCommand<TComCall>},
    {cmExit, NewCommand<TComExit>},      {cmComment, NewCommand<TComComment>},   {cmWhile, NewCommand<TComWhile>},
    {cmWhileInit, NewCommand<TComWhileInit>}, {cmWhileLoop, NewCommand<TComWhileLoop>}, {cmBreak, NewCommand<TComBreak>},
    {cmContinue, NewCommand<TComContinue>},
};

}  // namespace

std::span<const TCommandEntry> FlowCommands() { return FlowFamily; }
