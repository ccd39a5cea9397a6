#include "script/pages.h"

#include "core/diskbudget.h"
#include "core/membudget.h"
#include "core/sysutils.h"
#include "core/vrfiles_manager.h"
#include "script/callman.h"
#include "script/services.h"

#include <algorithm>

// ---- Default masks ----

namespace {

struct TMaskRow {
    uint8_t Opcode;
    const char* Hex;  // the 22 bytes in file order
};
constexpr TMaskRow DefaultMaskRows[] = {
    {8, "7F7F0028FC8B0000800001008800F2004000BF001800"},   // BoxNew
    {9, "9F7800ACFC9F0000800001019880F3005000BF009807"},   // ImgNew
    {10, "7BF87D0EFFCB000000000700A800F20000E0BF012000"},  // MesNew
    {11, "0100000C020000008000000000000000000080000000"},  // Timer
    {12, "9F7800FCFC9B0000800001009880F3005008FF408003"},  // Movie
    {23, "1F700038FC9B0000800001008800F2004008BF400000"},  // Cinema
    {24, "9FF80FAAFC8B2400800001009800F2005000BF008003"},  // Caption
    {25, "1B9FEF0FFC83FEFFFF3F01008A03F200C0E1BF1E0000"},  // Menu
    {30, "9FF80B8A0E8C04008000F9019880F3007000BF009807"},  // Button
    {36, "7F78000CFC930000000001F0C900F2014000BF000000"},  // ParticleNew
    {37, "9B700008FC8300000000010E9800F2005000BF000003"},  // FireNew
    {42, "0500007C001800008000000000000000000880400400"},  // Sound
    {43, "7BE10B08028004000000000004000000000080004000"},  // EditNew
    {44, "7BE10B08028024000000000004000000000080004000"},  // MemoNew
    {48, "1F780008FC870000800309008807F2004000BF000000"},  // MapImgNew
    {49, "7B70000CFC830000000001008818F2004000BF000000"},  // WaveNew
    {50, "FF180008FC8700000000010088E0FF005000BF001803"},  // TileNew
    {51, "1F780008FE830000000001018800F2FE8001BF200004"},  // SliderNew
    {52, "1F780008FE830000000001018800F2FE8101BF200004"},  // ScrollbarNew
    {53, "1F78000CFC830000000001008800F2790002BF200000"},  // GaugeNew
    {54, "1F780408FC832400000001008800F2004E00BF000000"},  // CGCaption
    {56, "1F70000800880000800301000803F2004000BF000000"},  // PrevMenuNew
    {59, "01000000000000000000000000000000000000000000"},  // SaveCabinet
    {60, "01000000000000000000000000000000000000000000"},  // LoadCabinet
};

constexpr uint8_t HexDigit(char C) {
    return static_cast<uint8_t>(C <= '9' ? C - '0' : C - 'A' + 10);
}

constexpr TPropMasks BuildDefaultMasks() {
    TPropMasks masks{};
    for (const TMaskRow& row : DefaultMaskRows)
        for (int i = 0; i < PropMaskSize; ++i)
            masks[row.Opcode][i] = static_cast<uint8_t>(HexDigit(row.Hex[2 * i]) << 4 | HexDigit(row.Hex[2 * i + 1]));
    return masks;
}

// The command traced last, in the whole program; a page forgets it when freeing its commands.
const TCommand* LastTraced = nullptr;

// The smallest command record: the opcode byte and the base fields.
constexpr int64_t MinCommandRecord = 1 + 4 + 1 + 1 + 4;

}  // namespace

constinit const TPropMasks DefaultPropMasks = BuildDefaultMasks();

// ---- The page ----

TPage::TPage() = default;

TPage::~TPage() {
    if (LastTraced && LastTraced->Owner() == &Commands) LastTraced = nullptr;
    Commands.Clear();
    if (!ParamMan) return;
    if (TParamCollectionItem* item = ParamMan->Find(ReservedLayerName + name_)) ParamMan->Delete(item->CachedIndex());
}

void TPage::LoadFromFile(const std::string& Name) {
    Commands.Clear();
    name_ = Name;
    if (!VrFileManager) throw EVelaError("内部エラー");
    TMemoryStream stream;
    VrFileManager->ReadFile(stream, Name);
    try {
        ReadFrom(stream);
    } catch (const EReadError&) {
        Commands.Clear();
        throw EPageError(Name + ":ページファイルが壊れています");
    } catch (...) {
        Commands.Clear();
        throw;
    }
}

void TPage::ReadFrom(TStream& Stream) {
    const int32_t version = ReadStreamInt(Stream);
    Version = version;
    if (version > MaxFileVersion) return;
    if (version < MinPageVersion) {
        ScriptHost().EndWithError(name_ + "\r\nリビルドしてください");
        return;
    }
    ReturnType = ReadStreamByte(Stream);
    const int32_t maskCount = ReadStreamInt(Stream);
    const int32_t maskSize = ReadStreamInt(Stream);
    // Records of no bytes still count one byte each against what is left.
    if (maskSize < 0) throw EReadError();
    CheckStreamCount(Stream, maskCount, maskSize);
    Masks = {};
    const int32_t kept = std::min(maskSize, PropMaskSize);
    for (int32_t i = 0; i < maskCount; ++i) {
        const uint8_t opcode = static_cast<uint8_t>(i);
        if (opcode < CommandCount) {
            Stream.ReadBuffer(Masks[opcode].data(), kept);
            Stream.Seek(maskSize - kept, soCurrent);
        } else {
            Stream.Seek(maskSize, soCurrent);
        }
    }
    const int32_t commandCount = ReadStreamCount(Stream, MinCommandRecord);
    for (int32_t i = 0; i < commandCount; ++i) {
        std::unique_ptr<TCommand> command = CreateCommand(ReadStreamByte(Stream), &Commands);
        command->LoadFromStream(Stream);
        Commands.Add(std::move(command));
    }
}

void TPage::Step(TCallMan& Runner, TPage*& Page, bool& EventPoint, bool& Begun, int32_t& PC) {
    if (PC < 0 || PC >= Commands.Count()) {
        Page = nullptr;
        return;
    }
    TPage* const startPage = Page;
    const int32_t startPC = PC;
    TCommand& command = Commands.GetItem(PC);
    const int line = static_cast<int>(command.LineId());
    if (ScriptHost().TraceEnabled() && &command != LastTraced) {
        ScriptHost().LogWrite(Format("%.8x : %s(%d)", ScriptHost().LoopTime(), name_.c_str(), line));
        LastTraced = &command;
    }
    try {
        const TBudgetRefusal refusing;
        if (!Begun) {
            if (command.IsDisabled()) {
                ++PC;
                return;
            }
            command.Begin(Runner);
            Begun = true;
        }
        Runner.StepOn = command.GetContinueFlag();
        EventPoint = command.IsEventPoint();
        command.Execute(Runner, Page, PC);
        if (Page != startPage || PC != startPC) Begun = false;
        // A refusal of the title's memory or disk that a reader or a function caught and took
        // for something else still ends the player here.
        if (MemoryRefused()) throw EMemoryBudget();
        if (DiskRefused()) throw EDiskBudget();
    } catch (const std::exception& E) {
        // A failing command ends the player, telling where it failed (ErrorText tells a refusal
        // of the title's memory as such, whatever a reader made of it).
        ScriptHost().EndWithError(Format("%s(%d):", name_.c_str(), line) + ErrorText(E));
    }
}

// ---- The default page ----

TPage* DefaultPage = nullptr;

void CreateDefaultPage() {
    if (!DefaultPage) DefaultPage = new TPage;
}

void FreeDefaultPage() {
    delete DefaultPage;
    DefaultPage = nullptr;
}
