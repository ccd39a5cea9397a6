#pragma once
// Built-in functions called from expressions as pages hold them: the text compiled, stored,
// read back and run, over a file manager whose base folder is a fresh folder on disk.
#include "core/vrfiles_manager.h"
#include "platform/fs.h"
#include "script/params_parser.h"
#include "script/services.h"
#include "tests/common/fixture.h"
#include "tests/script/params_funcs_fixture.h"

#include <filesystem>
#include <fstream>

class EvalFuncsTest : public FuncsTest {
protected:
    void SetUp() override {
        FuncsTest::SetUp();
        CreateScriptServices();
        CreateVrFileSystem();
        VrFileManager->SetCdRoots({});
        VrFileManager->Add("");
        hostBase = FreshHostFolder();
        base = platform::fs::ToProgramPath(hostBase);
        VrFileManager->SetBaseFolder(base);
    }
    void TearDown() override {
        FreeVrFileSystem();
        FreeScriptServices();
        FuncsTest::TearDown();
    }

    // The value of expression Text as text ("TRUE"/"FALSE" for flags); "none" without one.
    static std::string Eval(const std::string& Text) {
        TVelaParser expression;
        CompileExpression(Text, expression);
        expression.Execute();
        return expression.Result() ? expression.Result()->AsStr() : "none";
    }
    // A string variable holding Value.
    static void SetStr(const std::string& Name, const std::string& Value) {
        TParamCollectionItem* item = ParamMan->Find(Name);
        if (!item) (item = &ParamMan->AddParam(PT_STR))->SetName(Name);
        item->SetAsStr(Value);
    }

    std::string hostBase, base;  // the base folder, host and program path
};
