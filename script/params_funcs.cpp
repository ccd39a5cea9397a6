#include "script/params_funcs.h"

#include "script/params_funcs_families.h"

TSysFuncMan* SysFuncMan = nullptr;

void CreateSysFuncMan() {
    if (!SysFuncMan) SysFuncMan = new TSysFuncMan;
}

void FreeSysFuncMan() {
    delete SysFuncMan;
    SysFuncMan = nullptr;
}

TSysFuncMan::TSysFuncMan() {
    using TFamily = std::span<const TSysFuncEntry> (*)();
    for (TFamily family : {StrSysFuncs, NumSysFuncs, DateSysFuncs, ObjectSysFuncs, FileSysFuncs, SystemSysFuncs,
                           VarSysFuncs, DBSysFuncs}) {
        for (const TSysFuncEntry& entry : family()) {
            uint8_t index;
            // A name missing from the table, or given twice, is a fault of the build itself.
            if (!FindSysFuncIndex(entry.Name, index) || funcs_[index])
                throw EVelaError(std::string("内部エラー: ") + entry.Name);
            funcs_[index] = entry.Func;
        }
    }
}

void TSysFuncMan::CallFunction(TParamCollectionItem& Dest, uint8_t Index, TSysFuncArgs Args) {
    if (Index >= SysFuncCount) return;
    const int32_t n = static_cast<int32_t>(Args.size());
    if ((SysFuncMinArgs[Index] >= 0 && n < SysFuncMinArgs[Index]) || (SysFuncMaxArgs[Index] >= 0 && n > SysFuncMaxArgs[Index]))
        throw EParamError(std::string(SysFuncNames[Index]) + " 引数の数が不正です");
    if (funcs_[Index]) funcs_[Index](Dest, Args);
}
