#include "script/params_funcs.h"

TSysFuncMan* SysFuncMan = nullptr;

void CreateSysFuncMan() {
    if (!SysFuncMan) SysFuncMan = new TSysFuncMan;
}

void FreeSysFuncMan() {
    delete SysFuncMan;
    SysFuncMan = nullptr;
}

void TSysFuncMan::CallFunction(TParamCollectionItem&, uint8_t Index, TSysFuncArgs Args) {
    if (Index >= SysFuncCount) return;
    const int32_t n = static_cast<int32_t>(Args.size());
    if ((SysFuncMinArgs[Index] >= 0 && n < SysFuncMinArgs[Index]) || (SysFuncMaxArgs[Index] >= 0 && n > SysFuncMaxArgs[Index]))
        throw EParamError(std::string(SysFuncNames[Index]) + " 引数の数が不正です");
}
