#pragma once
// Script commands: the base every command class derives from, the command list of a page, the
// factory that makes a command from its opcode byte, and the small state stream in which a
// waiting command keeps its progress.
//
// Command record in a page file, after the opcode byte: u32 indent, u8 disabled, u8 continue,
// u32 line id, then the fields of the class. A string field is a u32 byte count and the bytes;
// an expression field is a compiled expression in its stream form.
#include "core/header.h"
#include "script/params_parser.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

class TCallMan;
class TComList;
class TPage;

class TCommand {
public:
    TCommand(const TCommand&) = delete;
    TCommand& operator=(const TCommand&) = delete;
    virtual ~TCommand() = default;

    // The class's opcode (0..60).
    virtual uint8_t GetOpcode() const { return 8; }
    // True: the runner goes straight on to the next step in the same tick after this one.
    virtual bool GetContinueFlag() const { return continueFlag_; }
    // A disabled command is passed over by the page stepper.
    virtual bool IsDisabled() const { return disabled_; }
    virtual void SetDisabled(bool Value) { disabled_ = Value; }
    // True while this command, begun as the current command, holds queued events off.
    virtual bool CanInterrupt() const { return false; }
    // A new command of the list Owner (nullptr for none), its flags cleared.
    explicit TCommand(TComList* Owner) : owner_(Owner) {}
    // The name of a label command; nullptr for every other command.
    virtual const std::string* LabelName() const { return nullptr; }
    // Whether this is a label of exactly that name (case-sensitive).
    bool IsLabel(const std::string& Name) const {
        const std::string* label = LabelName();
        return label && *label == Name;
    }
    // Reads the record after the opcode byte; EReadError on short or absurd input.
    virtual void LoadFromStream(TStream& Stream);
    // First-tick set-up, once per visit before the first Execute.
    virtual void Begin(TCallMan& /*Runner*/) {}
    // Does the command's work: moves on by setting PC (and Page; nullptr ends the page), or
    // stays by leaving both, to be executed again without Begin at the runner's next step.
    virtual void Execute(TCallMan& Runner, TPage*& Page, int32_t& PC);
    // Writes the progress of a waiting command at the stream's position (nothing by default);
    // LoadState reads it back.
    virtual void SaveState(TStream& /*Stream*/) const {}
    virtual void LoadState(TStream& /*Stream*/) {}
    // Called for the begun command of a call frame that a reset discards.
    virtual void Abort() {}
    // The compiled message text a text-insertion command carries; nullptr for every other
    // command. Readers rewind it before loading.
    virtual TMemoryStream* CompiledText() { return nullptr; }
    // Inside an event handler the runner ends the tick after an event point, and while the
    // handler stays on it further queued events may start.
    virtual bool IsEventPoint() const { return false; }

    TComList* Owner() const { return owner_; }
    uint32_t Indent() const { return indent_; }
    uint32_t LineId() const { return lineId_; }
    // The page of the owner list; the default page when there is none.
    TPage& OwnerPage() const;

protected:
    // Field readers of command records.
    static std::string ReadString(TStream& Stream) { return ReadStreamString(Stream); }
    static uint32_t ReadUInt(TStream& Stream) { return static_cast<uint32_t>(ReadStreamInt(Stream)); }
    static void ReadExpression(TStream& Stream, TVelaParser& Expression) { Expression.LoadFromStream(Stream); }
    // A u32 count and that many expressions, replacing List's.
    static void ReadExpressionList(TStream& Stream, std::vector<std::unique_ptr<TVelaParser>>& List);
    // Runs an expression and gives its result as a flag, an integer or a text; Default when the
    // run gives no result.
    static bool RunBool(TVelaParser& Expression, bool Default = false);
    static int32_t RunInt(TVelaParser& Expression, int32_t Default = 0);
    static std::string RunStr(TVelaParser& Expression);
    // Runs an expression and hands its result to Use when it gives one.
    template <class TUse>
    static void WithResult(TVelaParser& Expression, TUse Use) {
        Expression.Execute();
        if (const TCustomParam* result = Expression.Result()) Use(*result);
    }

    void SetContinueFlag(bool Value) { continueFlag_ = Value; }

private:
    TComList* owner_;
    bool continueFlag_ = false;
    bool disabled_ = false;
    uint32_t lineId_ = 0;
    uint32_t indent_ = 0;
};

// The commands of one page, in file order (owned). Commands are only appended after Clear; the
// block ends and label places are found once for the list as it then is.
class TComList : public TObjList<TCommand> {
public:
    explicit TComList(TPage* Page) : page_(Page) {}
    TPage* Page() const { return page_; }
    // EListError for an index outside the list.
    TCommand& GetItem(int Index) const { return *Items(Index); }
    // The index of the first command that is a label of that name, -1 when none is.
    int FindLabel(const std::string& Name) const;
    // The end of the block headed by the command at Index (within the list): the index of the
    // first command after it whose indent is not greater than its own, Count() when none is.
    int BlockEnd(int Index) const;
    void Clear() override;

private:
    // Finds the block ends and label places when the list has changed since.
    void Index() const;

    TPage* page_;
    mutable std::vector<int32_t> blockEnds_;
    mutable std::unordered_map<std::string, int32_t> labels_;  // the first label of each name
};

// ---- The factory ----

using TCommandCreator = std::unique_ptr<TCommand> (*)(TComList* Owner);
template <class T>
std::unique_ptr<TCommand> NewCommand(TComList* Owner) {
    return std::make_unique<T>(Owner);
}

struct TCommandEntry {
    uint8_t Opcode;  // 0..60
    TCommandCreator Create;
};

// The creators of the command classes by opcode. Each family of commands lists its classes
// in a file of its own (a function returning its entries) and is named once in the factory's
// list of families.
class TCommandFactory {
public:
    // Gathers the creators of every family; an opcode given twice is a fault of the build
    // (EVelaError).
    TCommandFactory();

    // Sets the creator of each entry's opcode, replacing an earlier one; a null creator
    // removes it.
    void Register(std::span<const TCommandEntry> Family);
    // A new command of opcode AND 0x7F: "不正なコマンド" above 60, UnsupportedCommand for an
    // opcode without a creator.
    std::unique_ptr<TCommand> Create(uint8_t Opcode, TComList* Owner) const;

private:
    std::array<TCommandCreator, CommandCount> creators_{};
};

// The families of the factory.
// Control flow: conditional blocks, loops, labels, jumps, calls and returns.
std::span<const TCommandEntry> FlowCommands();
// Waits, events and run control: waiting, stopping media, closing menus, playing media,
// restarting and ending the script.
std::span<const TCommandEntry> WaitCommands();
// Game saves and loads: requests that the project performs at the end of the tick.
std::span<const TCommandEntry> SaveCommands();
// Object creation: one object of a kind with the properties its record carries.
std::span<const TCommandEntry> ObjectCommands();
// Variables, properties, object deletion and cabinets.
std::span<const TCommandEntry> VarCommands();
// Message text and histories: text insertion and clearing, showing, formatting and clearing the
// histories, forgetting the read marks.
std::span<const TCommandEntry> TextCommands();
// The page flip.
std::span<const TCommandEntry> FlipCommands();

// Hold-events expressions are stored from this page version on.
inline constexpr int32_t HoldEventsVersion = 107;

// The error of a command (opcode 0..60) the player cannot run yet:
// "<keyword>:未対応のコマンドです". A page holding one is refused when it loads.
EVelaError UnsupportedCommand(uint8_t Opcode);

// The one factory, made before any page loads and freed after the last one.
extern TCommandFactory* CommandFactory;
void CreateCommandFactory();
void FreeCommandFactory();

// CommandFactory->Create; EVelaError "内部エラー" when there is no factory.
std::unique_ptr<TCommand> CreateCommand(uint8_t Opcode, TComList* Owner);

// ---- Command state ----
// A state begins with the header "vela" and a three-digit version ("vela100").

inline constexpr int32_t CommandStateVersion = 100;
void WriteStateHeader(TStream& Stream);
// The version of the header at the stream's position, which then lies after it; 0 when no
// header is there, the position then unchanged.
int ReadStateHeader(TStream& Stream);
