// The scene-object functions: creating an object by its type code.
#include "objects/vitems.h"
#include "script/params_funcs_families.h"

namespace {

// CreateObject(TypeCode, Name[, Parent]): an object of the kind, named, under the control named
// Parent (the current layer when there is none); false when the code makes nothing.
void FnCreateObject(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TVelaObject* obj = Bases ? Bases->CreateObject(uint8_t(Args[0]->AsInt())) : nullptr;
    if (!obj) {
        Dest.SetAsBool(false);
        return;
    }
    obj->SetName(Args[1]->AsStr());
    TVelaControl* parent = Args.size() > 2 ? Bases->FindControl(Args[2]->AsStr()) : nullptr;
    obj->SetParent(parent ? parent : Bases->GetBase(Bases->GetCurrentLayer()));
    Dest.SetAsBool(true);
}

constexpr TSysFuncEntry kFuncs[] = {
    {"CreateObject", FnCreateObject},
};

}  // namespace

std::span<const TSysFuncEntry> ObjectSysFuncs() { return kFuncs; }
