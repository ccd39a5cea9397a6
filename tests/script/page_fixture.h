#pragma once
// Pages for the runner's tests: a writer of the page file format, a small family of test
// commands registered in place of real ones, a fake object root and host, and a fixture that
// makes the globals of a run and puts pages into the file manager.
#include "script/callman.h"
#include "script/dbs.h"

#include "core/vrfiles_manager.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace pagetest {

// What the test commands did, in order ("begin:x", "exec:x", "wait:3").
inline std::vector<std::string> Log;

inline std::string U32(uint32_t V) { return std::string(reinterpret_cast<const char*>(&V), 4); }
inline std::string Str(const std::string& S) { return U32(static_cast<uint32_t>(S.size())) + S; }

// The opcodes the test family takes over.
enum : uint8_t { opNote = 3, opCall = 5, opWait = 7, opCalc = 14 };

// Field: string text. Logs its visits and moves on; a label of its text. The text "stay" never
// moves on, "fail" raises.
class TTestNote : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opNote; }
    const std::string* LabelName() const override { return &text_; }
    void LoadFromStream(TStream& S) override {
        TCommand::LoadFromStream(S);
        text_ = ReadString(S);
    }
    void Begin(TCallMan&) override { Log.push_back("begin:" + text_); }
    void Execute(TCallMan&, TPage*&, int32_t& PC) override {
        if (text_ == "fail") throw EVelaError("boom");
        Log.push_back("exec:" + text_);
        if (text_ != "stay") ++PC;
    }

private:
    std::string text_;
};

// Fields: u32 ticks, u8 hold events. Waits its ticks after the one it begins on; an event point.
class TTestWait : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opWait; }
    bool CanInterrupt() const override { return hold_; }
    bool IsEventPoint() const override { return true; }
    void LoadFromStream(TStream& S) override {
        TCommand::LoadFromStream(S);
        ticks_ = static_cast<int32_t>(ReadUInt(S));
        hold_ = ReadStreamByte(S) != 0;
    }
    void Begin(TCallMan&) override { left_ = ticks_; }
    void Execute(TCallMan& R, TPage*&, int32_t& PC) override {
        Log.push_back("wait:" + std::to_string(left_));
        if (left_-- > 0) R.StepOn = false;
        else ++PC;
    }
    void SaveState(TStream& S) const override {
        WriteStateHeader(S);
        WriteStreamInt(S, left_);
    }
    void LoadState(TStream& S) override {
        EXPECT_EQ(ReadStateHeader(S), CommandStateVersion);
        left_ = ReadStreamInt(S);
    }

private:
    int32_t ticks_ = 0, left_ = 0;
    bool hold_ = false;
};

// Fields: string page, string result variable, u32 count and the argument strings. Calls the
// page as the call command does.
class TTestCall : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opCall; }
    void LoadFromStream(TStream& S) override {
        TCommand::LoadFromStream(S);
        page_ = ReadString(S);
        result_ = ReadString(S);
        for (uint32_t n = ReadUInt(S); n; --n) args_.Add(ReadString(S));
    }
    void Execute(TCallMan& R, TPage*& P, int32_t& PC) override {
        TStack& frame = R.Stack.Push();
        frame.PageName = P->GetName();
        frame.PC = PC + 1;
        frame.ResultVarName = result_;
        frame.ContinueFlag = R.StepOn;
        frame.Sender = R.Sender;
        frame.Args.Assign(R.Args);
        R.Args.Assign(args_);
        P = R.GetPage(page_, true);
        PC = 0;
        frame.Result = CreateParam(P->ReturnType);
    }

private:
    std::string page_, result_;
    TArrayString args_;
};

// Field: expression. Runs it and moves on.
class TTestCalc : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return opCalc; }
    void LoadFromStream(TStream& S) override {
        TCommand::LoadFromStream(S);
        ReadExpression(S, expr_);
    }
    void Execute(TCallMan&, TPage*&, int32_t& PC) override {
        expr_.Execute();
        ++PC;
    }

private:
    TVelaParser expr_;
};

inline constexpr TCommandEntry TestCommands[] = {
    {opNote, NewCommand<TTestNote>}, {opCall, NewCommand<TTestCall>},
    {opWait, NewCommand<TTestWait>}, {opCalc, NewCommand<TTestCalc>},
};

// A page file: the header, then commands appended one by one (line ids count from 1).
struct TPageWriter {
    int32_t Version = MaxFileVersion;
    uint8_t ReturnType = PT_INT;
    int32_t MaskCount = 0, MaskSize = PropMaskSize;
    std::string MaskBytes;
    std::string Records;
    int32_t Count = 0;

    // One command: the opcode, the base record (indent 0) and the own fields.
    TPageWriter& Add(uint8_t Opcode, const std::string& Fields, bool Continue = true, bool Disabled = false) {
        Records += std::string(1, static_cast<char>(Opcode)) + U32(0) + char(Disabled) + char(Continue) +
                   U32(static_cast<uint32_t>(++Count)) + Fields;
        return *this;
    }
    TPageWriter& Note(const std::string& Text, bool Continue = true) { return Add(opNote, Str(Text), Continue); }
    TPageWriter& Wait(uint32_t Ticks, bool Hold = false) { return Add(opWait, U32(Ticks) + char(Hold), false); }
    TPageWriter& Calc(const std::string& Text) {
        TBuildVelaParser compiler;
        compiler.Build(Text);
        TMemoryStream stream;
        compiler.SaveToStream(stream);
        return Add(opCalc, std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size())));
    }
    TPageWriter& Call(const std::string& Page, const std::string& Result, const std::vector<std::string>& Args = {}) {
        std::string fields = Str(Page) + Str(Result) + U32(static_cast<uint32_t>(Args.size()));
        for (const std::string& a : Args) fields += Str(a);
        return Add(opCall, fields);
    }

    std::string Bytes() const {
        return std::string(reinterpret_cast<const char*>(&Version), 4) + char(ReturnType) + U32(MaskCount) +
               U32(MaskSize) + MaskBytes + U32(Count) + Records;
    }
};

// The file tools/vpage.py writes with Command ("page", "project") from a JSON description.
inline std::string VPageFile(const std::string& Command, const std::string& Description,
                             const std::vector<std::string>& Options = {}) {
    const std::string folder = FreshHostFolder();
    WriteHostFile(folder + "in.json", Description);
    std::vector<std::string> args{Command, folder + "in.json", folder + "out"};
    args.insert(args.end(), Options.begin(), Options.end());
    PythonOutput(VELA_VPAGE, args);
    return FileText(folder + "out");
}

// A page file written by tools/vpage.py from its JSON description.
inline std::string VPage(const std::string& Description) { return VPageFile("page", Description, {"--vexpr", VELA_VEXPR}); }

// The queue and the objects (by serial; a freed object's entry is erased) of a fake root. The
// operations on objects are logged ("SetPlayState:bgm:3"); Delete frees at once.
class TFakeObjects : public TScriptObjects {
public:
    std::vector<TTimerData> Queue;
    std::map<uint32_t, std::string> Objects;
    std::map<std::string, std::string> Sources;   // by object name
    std::map<std::string, int32_t> PlayStates;    // by object name; 2 when absent
    std::vector<int32_t> Cleared;  // the levels cleared, in order

    TObjectRef Add(const std::string& Name) {
        const uint32_t serial = ++serial_;
        return {reinterpret_cast<TVelaObject*>(&(Objects[serial] = Name)), serial};
    }
    TTimerData& Post(const std::string& Handler, TObjectRef Sender = {}) { return Queue.emplace_back(Handler, Sender); }

    TTimerData* FirstPending() override {
        auto it = std::find_if(Queue.begin(), Queue.end(), [](const TTimerData& e) { return e.Level == 0; });
        return it == Queue.end() ? nullptr : &*it;
    }
    void ClearLevel(int32_t Level) override {
        Cleared.push_back(Level);
        std::erase_if(Queue, [Level](const TTimerData& e) { return e.Level == Level; });
    }
    void ClearTaken() override {
        std::erase_if(Queue, [](const TTimerData& e) { return e.Level != 0; });
    }
    void ClearEvents() override { Queue.clear(); }
    TObjectRef FindObject(const std::string& Name) override {
        for (auto& [serial, name] : Objects)
            if (name == Name) return {reinterpret_cast<TVelaObject*>(&name), serial};
        return {};
    }
    bool IsLive(const TObjectRef& Ref) override {
        auto it = Objects.find(Ref.Serial);
        return it != Objects.end() && reinterpret_cast<TVelaObject*>(&it->second) == Ref.Object;
    }
    std::string ObjectName(const TObjectRef& Ref) override { return IsLive(Ref) ? Objects[Ref.Serial] : ""; }

    std::string GetSource(const TObjectRef& Ref) override { return Sources[ObjectName(Ref)]; }
    int32_t GetPlayState(const TObjectRef& Ref) override {
        auto it = PlayStates.find(ObjectName(Ref));
        return it == PlayStates.end() ? 2 : it->second;
    }
    void SetPlayState(const TObjectRef& Ref, int32_t State) override { Did("SetPlayState", Ref, State); }
    void SetDelay(const TObjectRef& Ref, int32_t Delay) override { Did("SetDelay", Ref, Delay); }
    void Play(const TObjectRef& Ref) override { Did("Play", Ref); }
    void Delete(const TObjectRef& Ref) override {
        Did("Delete", Ref);
        Objects.erase(Ref.Serial);
    }
    void Clear() override {
        Log.push_back("Clear");
        Objects.clear();
    }

private:
    void Did(const std::string& What, const TObjectRef& Ref, int32_t Value = -1) {
        Log.push_back(What + ":" + ObjectName(Ref) + (Value >= 0 ? ":" + std::to_string(Value) : ""));
    }

    uint32_t serial_ = 0;
};

class TFakeHost : public TScriptHost {
public:
    uint32_t Time = 0, Frame = 16;
    bool Trace = false;
    std::vector<std::string> Lines, Warnings;
    int Closes = 0;

    uint32_t LoopTime() override { return Time; }
    uint32_t FrameTime() override { return Frame; }
    bool TraceEnabled() override { return Trace; }
    void LogWrite(const std::string& Text) override { Lines.push_back(Text); }
    void ShowWarning(const std::string& Text) override { Warnings.push_back(Text); }
    void RequestClose() override { ++Closes; }
    void ClearGameTables() override { Log.push_back("ClearGameTables"); }
    void ClearHistoryFormats() override { Log.push_back("ClearHistoryFormats"); }
};

class PageTest : public ::testing::Test {
protected:
    void SetUp() override {
        Log.clear();
        CreateVrFileSystem();
        VrFileManager->Add("");
        CreateScriptServices();
        SetScriptObjects(std::unique_ptr<TScriptObjects>(objects = new TFakeObjects));
        SetScriptHost(std::unique_ptr<TScriptHost>(host = new TFakeHost));
        CreateParamMan();
        CreateDBManager();
        CreateSysFuncMan();
        CreateCommandFactory();
        CommandFactory->Register(TestCommands);
        CreateDefaultPage();
        ParamMan->SetState(&state);
    }
    void TearDown() override {
        ParamMan->SetState(nullptr);
        FreeDefaultPage();
        FreeCommandFactory();
        FreeSysFuncMan();
        FreeDBManager();
        FreeParamMan();
        FreeScriptServices();
        FreeVrFileSystem();
    }

    void AddFile(const std::string& Name, const std::string& Bytes) {
        VrFileManager->GetCollection(0).AddStream(Name).DataSource->WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    }
    void AddPage(const std::string& Name, const TPageWriter& Page) { AddFile(Name, Page.Bytes()); }
    // A page of the real commands written by vpage.py from the JSON list of its commands.
    void AddPage(const std::string& Name, const std::string& Commands, const std::string& Return = "int") {
        AddFile(Name, VPage(R"({"return": ")" + Return + R"(", "commands": )" + Commands + "}"));
    }
    // A new global variable.
    TParamCollectionItem& Var(const std::string& Name, TParamType Type) {
        TParamCollectionItem& item = ParamMan->AddParam(Type);
        item.SetName(Name);
        return item;
    }

    TFakeObjects* objects = nullptr;
    TFakeHost* host = nullptr;
    TScriptPlayerState state;
};

// Runs pages of the real commands under a runner; "t" is a string variable for the pages to
// write into.
class CommandTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        FreeCommandFactory();
        CreateCommandFactory();
        state.SetRunner(&runner);
        Var("t", PT_STR);
    }
    void Ticks(int Count) {
        while (Count-- > 0) runner.Run();
    }
    std::string Value(const std::string& Name) { return ParamMan->Find(Name)->GetAsStr(); }

    TCallMan runner;
};

}  // namespace pagetest
