#include "script/commands.h"

#include "core/sysutils.h"
#include "script/pages.h"

#include <cstring>

// ---- TCommand ----

TPage& TCommand::OwnerPage() const {
    if (owner_ && owner_->Page()) return *owner_->Page();
    if (!DefaultPage) throw EVelaError("内部エラー");
    return *DefaultPage;
}

void TCommand::LoadFromStream(TStream& Stream) {
    indent_ = ReadUInt(Stream);
    disabled_ = ReadStreamByte(Stream) != 0;
    continueFlag_ = ReadStreamByte(Stream) != 0;
    lineId_ = ReadUInt(Stream);
}

void TCommand::Execute(TCallMan& /*Runner*/, TPage*& /*Page*/, int32_t& PC) { ++PC; }

void TCommand::ReadExpressionList(TStream& Stream, std::vector<std::unique_ptr<TVelaParser>>& List) {
    // Each stored expression takes at least its operation count.
    const int32_t count = ReadStreamCount(Stream, 4);
    List.clear();
    for (int32_t i = 0; i < count; ++i) ReadExpression(Stream, *List.emplace_back(std::make_unique<TVelaParser>()));
}

bool TCommand::RunBool(TVelaParser& Expression, bool Default) {
    Expression.Execute();
    return Expression.Result() ? Expression.Result()->AsBool() : Default;
}

int32_t TCommand::RunInt(TVelaParser& Expression, int32_t Default) {
    Expression.Execute();
    return Expression.Result() ? Expression.Result()->AsInt() : Default;
}

std::string TCommand::RunStr(TVelaParser& Expression) {
    Expression.Execute();
    return Expression.Result() ? Expression.Result()->AsStr() : std::string();
}

void TComList::Index() const {
    if (blockEnds_.size() == static_cast<size_t>(Count())) return;
    blockEnds_.assign(static_cast<size_t>(Count()), Count());
    labels_.clear();
    // The heads whose blocks are still open, their indents rising from the bottom.
    std::vector<int32_t> open;
    for (int32_t i = 0; i < Count(); ++i) {
        const TCommand& command = *Items(i);
        while (!open.empty() && Items(open.back())->Indent() >= command.Indent()) {
            blockEnds_[static_cast<size_t>(open.back())] = i;
            open.pop_back();
        }
        open.push_back(i);
        if (const std::string* label = command.LabelName()) labels_.try_emplace(*label, i);
    }
}

int TComList::FindLabel(const std::string& Name) const {
    Index();
    const auto found = labels_.find(Name);
    return found == labels_.end() ? -1 : found->second;
}

int TComList::BlockEnd(int Index) const {
    this->Index();
    return blockEnds_.at(static_cast<size_t>(Index));
}

void TComList::Clear() {
    blockEnds_.clear();
    labels_.clear();
    TObjList<TCommand>::Clear();
}

// ---- The factory ----

namespace {

using TCommandFamily = std::span<const TCommandEntry> (*)();
// Every family of commands; a new family adds the function that lists its classes.
constexpr std::array<TCommandFamily, 7> CommandFamilies = {FlowCommands, WaitCommands, SaveCommands, ObjectCommands,
                                                          VarCommands,  TextCommands, FlipCommands};

}  // namespace

TCommandFactory* CommandFactory = nullptr;

void CreateCommandFactory() {
    if (!CommandFactory) CommandFactory = new TCommandFactory;
}

void FreeCommandFactory() {
    delete CommandFactory;
    CommandFactory = nullptr;
}

TCommandFactory::TCommandFactory() {
    for (TCommandFamily family : CommandFamilies)
        for (const TCommandEntry& entry : family()) {
            if (entry.Opcode >= CommandCount || creators_[entry.Opcode])
                throw EVelaError("内部エラー: " + std::to_string(entry.Opcode));
            creators_[entry.Opcode] = entry.Create;
        }
}

void TCommandFactory::Register(std::span<const TCommandEntry> Family) {
    for (const TCommandEntry& entry : Family) {
        if (entry.Opcode >= CommandCount) throw EVelaError("内部エラー: " + std::to_string(entry.Opcode));
        creators_[entry.Opcode] = entry.Create;
    }
}

std::unique_ptr<TCommand> TCommandFactory::Create(uint8_t Opcode, TComList* Owner) const {
    const uint8_t code = Opcode & 0x7F;
    if (code >= CommandCount) throw EVelaError("不正なコマンド");
    if (!creators_[code]) throw UnsupportedCommand(code);
    return creators_[code](Owner);
}

EVelaError UnsupportedCommand(uint8_t Opcode) {
    return EVelaError(std::string(CommandNames[Opcode]) + ":未対応のコマンドです");
}

std::unique_ptr<TCommand> CreateCommand(uint8_t Opcode, TComList* Owner) {
    if (!CommandFactory) throw EVelaError("内部エラー");
    return CommandFactory->Create(Opcode, Owner);
}

// ---- Command state ----

namespace {
constexpr char StateTag[] = "vela";
constexpr size_t StateTagLength = sizeof(StateTag) - 1;
constexpr size_t StateHeaderLength = StateTagLength + 3;
}  // namespace

void WriteStateHeader(TStream& Stream) {
    static const std::string header = StateTag + std::to_string(CommandStateVersion);  // written at every event
    Stream.WriteBuffer(header.data(), static_cast<int64_t>(header.size()));
}

int ReadStateHeader(TStream& Stream) {
    const int64_t start = Stream.Position();
    char header[StateHeaderLength];
    const int64_t got = Stream.Read(header, StateHeaderLength);
    if (got < static_cast<int64_t>(StateTagLength) || std::memcmp(header, StateTag, StateTagLength) != 0) {
        Stream.SetPosition(start);
        return 0;
    }
    return StrToIntDef(std::string_view(header + StateTagLength, static_cast<size_t>(got) - StateTagLength), 0);
}
