#pragma once
// A fresh variable table and dispatcher for each test, argument values made in the test, and
// calls of built-in functions by name into a new temporary of the function's result type.
#include "script/params_funcs.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A fresh variable table and function dispatcher for each test.
class ScriptEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        CreateParamMan();
        CreateSysFuncMan();
    }
    void TearDown() override {
        FreeSysFuncMan();
        FreeParamMan();
    }
};

class FuncsTest : public ScriptEngineTest {
protected:

    // Literal arguments (alive until the test ends), and a reference bound to a new variable.
    TCustomParam* I(int32_t V) { TCustomParam* p = Keep<TParamInt>(); p->SetInt(V); return p; }
    TCustomParam* F(long double V) { TCustomParam* p = Keep<TParamFloat>(); p->SetFloat(V); return p; }
    TCustomParam* S(const std::string& V) { TCustomParam* p = Keep<TParamStr>(); p->SetStr(V); return p; }
    TCustomParam* B(bool V) { TCustomParam* p = Keep<TParamFlag>(); p->SetBool(V); return p; }
    TCustomParam* Var(const std::string& Name, TParamType Type) {
        ParamMan->AddParam(Type).SetName(Name);
        TParamVar* p = Keep<TParamVar>(Name);
        p->Resolve();
        return p;
    }

    TParamCollectionItem& Call(const char* Name, const std::vector<TCustomParam*>& Args) {
        uint8_t index = 0;
        EXPECT_TRUE(FindSysFuncIndex(Name, index)) << Name;
        TParamCollectionItem& dest = ParamMan->AddParam(SysFuncResultTypes[index]);
        SysFuncMan->CallFunction(dest, index, Args);
        return dest;
    }
    // The message of the error the call raises, "" when it raises none.
    std::string ErrorOf(const char* Name, const std::vector<TCustomParam*>& Args) {
        try {
            Call(Name, Args);
        } catch (const EVelaError& e) {
            return e.what();
        }
        return "";
    }

private:
    template <class T, class... A>
    T* Keep(A&&... Args) {
        auto value = std::make_unique<T>(std::forward<A>(Args)...);
        T* raw = value.get();
        owned_.push_back(std::move(value));
        return raw;
    }
    std::vector<std::unique_ptr<TCustomParam>> owned_;
};
