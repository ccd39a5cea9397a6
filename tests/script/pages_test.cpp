#include "script/pages.h"

#include "tests/common/fixture.h"
#include "tests/script/page_fixture.h"

using namespace pagetest;

namespace {

class Pages : public PageTest {
protected:
    // Page "p.vsb" read from Bytes; the message of the error of the load, "" when none.
    std::string Load(const std::string& Bytes) {
        VrFileManager->GetCollection(0).DeleteFile("p.vsb");
        AddFile("p.vsb", Bytes);
        try {
            page.LoadFromFile("p.vsb");
        } catch (const EVelaError& e) {
            return e.what();
        }
        return "";
    }
    std::string Mask(int Opcode) const { return ToHex(std::string(page.Masks[Opcode].begin(), page.Masks[Opcode].end())); }
    // Steps the command at PC.
    void Step(int32_t& PC, bool& Begun, bool& EventPoint) {
        TPage* current = &page;
        page.Step(runner, current, EventPoint, Begun, PC);
    }

    TPage page;
    TCallMan runner;
};

TEST_F(Pages, VersionsAndMasks) {
    EXPECT_EQ(page.Version, MemoryPageVersion);
    EXPECT_EQ(Mask(25), "1B9FEF0FFC83FEFFFF3F01008A03F200C0E1BF1E0000");
    EXPECT_EQ(Mask(60), "01" + std::string(42, '0'));

    TPageWriter w;
    w.Note("a");
    w.Version = 118;  // too new: read no further
    EXPECT_EQ(Load(w.Bytes()), "");
    EXPECT_EQ(page.Commands.Count(), 0);
    EXPECT_EQ(Mask(8), "7F7F0028FC8B0000800001008800F2004000BF001800");
    w.Version = 103;  // no masks in the file: all zero
    w.ReturnType = PT_STR;
    EXPECT_EQ(Load(w.Bytes()), "");
    EXPECT_EQ(page.Commands.Count(), 1);
    EXPECT_EQ(page.ReturnType, PT_STR);
    EXPECT_EQ(Mask(8), std::string(44, '0'));

    std::string records;  // record i filled with i + 1; 61..63 are skipped
    for (int i = 0; i < 64; ++i) records += std::string(44, static_cast<char>(i + 1));
    w.MaskCount = 64, w.MaskSize = 44, w.MaskBytes = records;
    EXPECT_EQ(Load(w.Bytes()), "");
    EXPECT_EQ(Mask(60), ToHex(std::string(22, 61)));
    EXPECT_EQ(page.Commands.Count(), 1);
    w.MaskCount = 61, w.MaskSize = 10, w.MaskBytes = std::string(610, '\xFF');
    EXPECT_EQ(Load(w.Bytes()), "");
    EXPECT_EQ(Mask(8), std::string(20, 'F') + std::string(24, '0'));

    w.Version = 102;  // too old: refused
    EXPECT_EQ(Load(w.Bytes()), "");
    EXPECT_EQ(page.Commands.Count(), 0);
    EXPECT_EQ(host->Warnings, std::vector<std::string>{"p.vsb\r\nリビルドしてください"});
    EXPECT_EQ(host->Closes, 1);
    EXPECT_TRUE(Terminating());
}

TEST_F(Pages, CorruptPagesGiveClearErrors) {
    const std::string broken = "p.vsb:ページファイルが壊れています";
    auto header = [](int32_t MaskCount, int32_t MaskSize) {
        return U32(117) + '\x01' + U32(static_cast<uint32_t>(MaskCount)) + U32(static_cast<uint32_t>(MaskSize));
    };
    const std::string note = TPageWriter().Note("x").Records.substr(1);  // a record without its opcode
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", broken},
        {header(-1, 22) + U32(0), broken},
        {header(2, 0x40000000) + U32(0), broken},
        {header(0x7FFFFFFF, 0) + U32(0), broken},  // records of no bytes count all the same
        {header(0, 22) + U32(0x7FFFFFFF) + '\x03' + note, broken},
        {header(0, 22) + U32(1) + '\x03' + note.substr(1), broken},
        {header(0, 22) + U32(1) + '\x3D' + note, "不正なコマンド"},
        {header(0, 22) + U32(1) + '\xFF' + note, "不正なコマンド"},
        {header(0, 22) + U32(1) + '\x39' + note, "PropMotion:未対応のコマンドです"},
    };
    // An opcode without a creator.
    static constexpr TCommandEntry noCreator[] = {{cmPropMotion, nullptr}};
    CommandFactory->Register(noCreator);
    for (const auto& [bytes, message] : cases) {
        EXPECT_EQ(Load(bytes), message) << ToHex(bytes);
        EXPECT_EQ(page.Commands.Count(), 0);
    }
    EXPECT_EQ(Load(header(0, 22) + U32(1) + '\x83' + note), "");  // the top bit is ignored
    EXPECT_EQ(page.Commands.GetItem(0).GetOpcode(), opNote);
    EXPECT_THROW(page.Commands.GetItem(1), EListError);
    EXPECT_THROW(page.LoadFromFile("none.vsb"), EVelaError);
}

TEST_F(Pages, StepBeginsOncePerVisitAndSkipsDisabledCommands) {
    TPageWriter w;
    w.Add(opNote, Str("off"), true, true).Note("stay").Note("on").Note("fail");
    Load(w.Bytes());
    bool eventPoint = true, begun = false;
    int32_t pc = 0;
    runner.StepOn = true;
    Step(pc, begun, eventPoint);  // disabled: only PC moves
    EXPECT_EQ(pc, 1);
    EXPECT_TRUE(eventPoint && runner.StepOn && !begun);
    Step(pc, begun, eventPoint);  // stays: begun, executed again without Begin
    Step(pc, begun, eventPoint);
    EXPECT_TRUE(begun);
    EXPECT_FALSE(eventPoint);
    Step(pc = 2, begun = false, eventPoint);  // moves on: begun again at the next visit
    EXPECT_FALSE(begun);
    EXPECT_EQ(Log, (std::vector<std::string>{"begin:stay", "exec:stay", "exec:stay", "begin:on", "exec:on"}));
    Step(pc, begun, eventPoint);  // an error stops the script
    EXPECT_TRUE(Terminating());
    EXPECT_EQ(pc, 3);
}

TEST_F(Pages, TraceOncePerCommandVisit) {
    host->Trace = true;
    host->Time = 0x1234;
    Load(TPageWriter().Note("stay").Note("n").Bytes());
    bool eventPoint = false, begun = false;
    for (int32_t pc : {0, 0, 0, 1, 0}) Step(pc, begun, eventPoint);
    EXPECT_EQ(host->Lines, (std::vector<std::string>{"00001234 : p.vsb(1)", "00001234 : p.vsb(2)", "00001234 : p.vsb(1)"}));
}

TEST_F(Pages, StateHeader) {
    TMemoryStream stream;
    WriteStateHeader(stream);
    stream.WriteBuffer("velaxyzvel", 10);
    stream.SetPosition(0);
    EXPECT_EQ(ReadStateHeader(stream), 100);
    EXPECT_EQ(ReadStateHeader(stream), 0);  // "vela" with no number
    EXPECT_EQ(ReadStateHeader(stream), 0);  // too short: no header, the position kept
    EXPECT_EQ(stream.Position(), 14);
}

}  // namespace

// A text-insertion record keeps its compiled text byte for byte and reads the hold-events
// expression only from pages that store one; the command after it reads from the right place.
TEST_F(Pages, TextInsertionRecordKeepsItsCompiledText) {
    const std::string text = std::string("NxWord102") + '\0' + "\x82\xA0\x5C" + U32(7);
    const std::string noOps = U32(0);  // an expression of no operations
    auto record = [&](const std::string& Text, int Expressions) {
        std::string fields = U32(static_cast<uint32_t>(Text.size())) + Text;
        for (int i = 0; i < Expressions; ++i) fields += noOps;
        return fields;
    };
    for (const auto& [version, expressions] : {std::pair{107, 4}, std::pair{106, 3}}) {
        TPageWriter w;
        w.Version = version;
        w.Add(cmTextIns, record(text, expressions)).Add(cmTextIns, record("", expressions)).Note("after");
        ASSERT_EQ(Load(w.Bytes()), "") << version;
        TCommand& command = page.Commands.GetItem(0);
        EXPECT_EQ(command.GetOpcode(), cmTextIns);
        TMemoryStream* stored = command.CompiledText();
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(stored->Position(), 0);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(stored->Memory()), stored->Size()), text);
        EXPECT_EQ(page.Commands.GetItem(1).CompiledText()->Size(), 0);
        EXPECT_EQ(page.Commands.GetItem(2).CompiledText(), nullptr);  // other commands carry none
        EXPECT_TRUE(page.Commands.GetItem(2).IsLabel("after"));
    }
    // A byte count beyond the file, or an expression cut off, is a broken page.
    TPageWriter w;
    w.Add(cmTextIns, U32(1000) + text);
    EXPECT_EQ(Load(w.Bytes()), "p.vsb:ページファイルが壊れています");
    w = TPageWriter();
    w.Add(cmTextIns, record(text, 3));
    EXPECT_EQ(Load(w.Bytes()), "p.vsb:ページファイルが壊れています");
}
