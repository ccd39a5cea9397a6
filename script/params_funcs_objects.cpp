// The scene-object functions: objects reached by name (properties, existence, entries of lists
// and menus, coordinates, creation and deletion), the display modes, a save slot's caption,
// the message histories' lengths and the input-method state of text-entry controls.
//
// A name is looked up as an object (FindObject: the empty name is the current layer) by every
// function except those that ask for a control (FindControl: layers by their absolute number).
// A lookup that finds nothing never raises: each function says what it then stores.
#include "core/sysutils.h"
#include "media/screenman.h"
#include "objects/vitems.h"
#include "script/commands_objects.h"
#include "script/params_funcs_families.h"
#include "script/params_props.h"
#include "script/project.h"
#include "text/histories.h"

namespace {

TVelaObject* ObjectArg(const TCustomParam& Name) { return Bases ? Bases->FindObject(Name.AsStr()) : nullptr; }
TVelaControl* ControlArg(const TCustomParam& Name) { return Bases ? Bases->FindControl(Name.AsStr()) : nullptr; }

void StoreResult(TParamCollectionItem& Dest, bool V) { Dest.SetAsBool(V); }
void StoreResult(TParamCollectionItem& Dest, int32_t V) { Dest.SetAsInt(V); }

// ---- Properties and existence ----

// GetProp(Name, Id): property Id (one byte) into the destination, which has the property's type.
void FnGetProp(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    if (TVelaObject* obj = ObjectArg(*Args[0])) GetObjectProp(Dest.Value(), *obj, uint8_t(Args[1]->AsInt()));
}

void FnSetProp(TParamCollectionItem& /*Dest*/, TSysFuncArgs Args) {
    if (TVelaObject* obj = ObjectArg(*Args[0])) SetObjectProp(*obj, uint8_t(Args[1]->AsInt()), *Args[2]);
}

// Exists(Name): the empty name, which stands for the current layer elsewhere, is false here.
void FnExists(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsBool(!Args[0]->AsStr().empty() && ObjectArg(*Args[0]));
}

// InPrimary(Name): a control on the current layer, outside every cabinet.
void FnInPrimary(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TVelaControl* control = Args[0]->AsStr().empty() ? nullptr : ControlArg(*Args[0]);
    Dest.SetAsBool(control && control->GetBase() == Bases->GetBase(Bases->GetCurrentLayer()) && !control->InCabinet());
}

void FnInCabinet(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TVelaControl* control = Args[0]->AsStr().empty() ? nullptr : ControlArg(*Args[0]);
    Dest.SetAsBool(control && control->InCabinet());
}

// ---- Entries of lists and menus ----

// The entry an argument names: by its number, except that a preview menu given a text that is
// not a number takes the entry of that text (-1 when none has it).
int32_t EntryNumber(const TVelaObject& Obj, const TCustomParam& Entry) {
    if (Entry.ParamType() != PT_STR || Obj.GetCompoType() != LT_PREVMENU) return Entry.AsInt();
    const std::string text = Entry.AsStr();
    int32_t number = 0;
    return TryStrToInt(text, number) ? number : Obj.IndexOfItemText(text);
}

int32_t EntryIndex(const TVelaObject&, const TCustomParam& Entry) { return Entry.AsInt(); }

using TEntryOf = int32_t (*)(const TVelaObject&, const TCustomParam&);

// Get(Object, Entry): the object's answer for the entry; nothing stored for a missing object.
template <class T, T (TVelaObject::*Get)(int32_t) const, TEntryOf Entry>
void FnGetEntry(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    if (TVelaObject* obj = ObjectArg(*Args[0])) StoreResult(Dest, (obj->*Get)(Entry(*obj, *Args[1])));
}

// Set(Object, Entry, Value): stores no result.
template <void (TVelaObject::*Set)(int32_t, bool), TEntryOf Entry>
void FnSetEntry(TParamCollectionItem& /*Dest*/, TSysFuncArgs Args) {
    if (TVelaObject* obj = ObjectArg(*Args[0])) (obj->*Set)(Entry(*obj, *Args[1]), Args[2]->AsBool());
}

// GetItem(Object, Index): the entry's text; empty for a missing control.
void FnGetItem(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TVelaControl* control = ControlArg(*Args[0]);
    Dest.SetAsStr(control ? control->GetItemText(Args[1]->AsInt()) : std::string());
}

// IndexOfMenu(Name, Text): the first line of the object's trimmed text equal to Text ignoring
// case; -1 when none or no object.
void FnIndexOfMenu(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    int32_t found = -1;
    if (const TVelaObject* obj = ObjectArg(*Args[0])) {
        const std::string text = obj->GetText(), wanted = Args[1]->AsStr();
        const std::vector<std::string_view> lines = SplitLines(TrimBlanks(text));
        for (size_t i = 0; i < lines.size() && found < 0; ++i)
            if (AnsiSameText(lines[i], wanted)) found = static_cast<int32_t>(i);
    }
    Dest.SetAsInt(found);
}

// ListCompo(var A[, Type[, Parent[, Recursive]]]): the names of the matching objects into A.
void FnListCompo(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    uint8_t code = uint8_t(OptionalInt(Args, 1, 0));
    if (code >= ObjectTypeCount) code = 0;
    const TVelaObject* parent = Bases;
    if (Args.size() > 2 && Args[2]->AsStr() != "ALL") parent = ObjectArg(*Args[2]);
    TStringList names;
    if (Bases) Bases->GetObjectNames(names, parent, code, OptionalBool(Args, 3, false));
    SetList(*Args[0], names.Count(), [&](int32_t i) { Args[0]->SetStrAt(i, names.Strings(i)); });
    Dest.SetAsInt(names.Count());
}

// ---- Coordinates ----

// The object's mapping of the point (V, 0) or (0, V), one coordinate of it; V for no object.
template <TPoint (TVelaObject::*Map)(TPoint) const, bool Vertical>
void FnMapPoint(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const int32_t v = Args[1]->AsInt();
    const TVelaObject* obj = ObjectArg(*Args[0]);
    if (!obj) {
        Dest.SetAsInt(v);
        return;
    }
    const TPoint p = (obj->*Map)(Vertical ? TPoint{0, v} : TPoint{v, 0});
    Dest.SetAsInt(Vertical ? p.Y : p.X);
}

// ---- Creation and deletion ----

// CreateObject(TypeCode, Name[, Parent]): an object of the kind, named as the creation commands
// name theirs, under the control named Parent (the current layer when there is none); false
// when the code makes nothing.
void FnCreateObject(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TVelaObject* obj = Bases ? Bases->CreateObject(uint8_t(Args[0]->AsInt())) : nullptr;
    if (!obj) {
        Dest.SetAsBool(false);
        return;
    }
    NameNewObject(*obj, Args[1]->AsStr());
    TVelaControl* parent = Args.size() > 2 ? ControlArg(*Args[2]) : nullptr;
    obj->SetParent(parent ? parent : Bases->GetBase(Bases->GetCurrentLayer()));
    Dest.SetAsBool(true);
}

// DeleteObject(Name): the control goes (its name at once); a layer or no control is false.
void FnDeleteObject(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TVelaControl* control = ControlArg(*Args[0]);
    const bool found = control && control != Bases->GetBase(0) && control != Bases->GetBase(1);
    if (found) control->Delete();
    Dest.SetAsBool(found);
}

// ---- Screen and save slots ----

// GetDisplayMode(Index, var Width, var Height, var BitCount, var Rate): false, storing nothing,
// for an index outside the full-screen modes.
void FnGetDisplayMode(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const int32_t index = Args[0]->AsInt();
    const bool found = ScreenMan && index >= 0 && index < ScreenMan->GetModeCount();
    if (found) {
        const TDisplayMode mode = ScreenMan->GetMode(index);
        Args[1]->SetInt(int32_t(mode.Width));
        Args[2]->SetInt(int32_t(mode.Height));
        Args[3]->SetInt(int32_t(mode.BitCount));
        Args[4]->SetInt(int32_t(mode.RefreshRate));
    }
    Dest.SetAsBool(found);
}

void FnGetSaveCaption(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsStr(Project ? Project->GetSaveCaption(Args[0]->AsInt()) : std::string());
}

// ---- Histories ----

TVelaHistoryFormat* FormatArg(const TCustomParam& Name) {
    return TextHistoryFormats ? TextHistoryFormats->FindFormat(Name.AsStr()) : nullptr;
}

// GetHistoryCount(Format): the history's count (pixels of a laid-out history, else entries).
void FnGetHistoryCount(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TVelaHistoryFormat* format = FormatArg(*Args[0]);
    Dest.SetAsInt(format ? format->History().GetCount() : -1);
}

void FnGetHistoryMaxCount(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TVelaHistoryFormat* format = FormatArg(*Args[0]);
    Dest.SetAsInt(format ? format->History().Capacity : -1);
}

// SetHistoryMaxCount(Format, Count): any count is taken as it is.
void FnSetHistoryMaxCount(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TVelaHistoryFormat* format = FormatArg(*Args[0]);
    if (format) format->History().Capacity = Args[1]->AsInt();
    Dest.SetAsBool(format != nullptr);
}

// ---- Input method ----

void FnGetImeOpened(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TVelaControl* control = ControlArg(*Args[0]);
    Dest.SetAsBool(control && control->GetEditValue());
}

// SetImeOpened(Object, Open): whether the control's state now is Open.
void FnSetImeOpened(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TVelaControl* control = ControlArg(*Args[0]);
    const bool open = Args[1]->AsBool();
    if (control) control->SetEditValue(open);
    Dest.SetAsBool(control && control->GetEditValue() == open);
}

using O = TVelaObject;

constexpr TSysFuncEntry kFuncs[] = {
    {"GetProp", FnGetProp},
    {"SetProp", FnSetProp},
    {"Exists", FnExists},
    {"GetCheck", FnGetEntry<bool, &O::GetListValue, EntryIndex>},
    {"SetCheck", FnSetEntry<&O::SetListValue, EntryIndex>},
    {"GetSaveCaption", FnGetSaveCaption},
    {"ListCompo", FnListCompo},
    {"ToClientX", FnMapPoint<&O::ScreenToClient, false>},
    {"ToClientY", FnMapPoint<&O::ScreenToClient, true>},
    {"ToScreenX", FnMapPoint<&O::ClientToScreen, false>},
    {"ToScreenY", FnMapPoint<&O::ClientToScreen, true>},
    {"IndexOfMenu", FnIndexOfMenu},
    {"GetDisplayMode", FnGetDisplayMode},
    {"InPrimary", FnInPrimary},
    {"GetEnabled", FnGetEntry<bool, &O::GetPrevFlag1, EntryNumber>},
    {"SetEnabled", FnSetEntry<&O::SetPrevFlag1, EntryNumber>},
    {"GetVisible", FnGetEntry<bool, &O::GetPrevFlag2, EntryNumber>},
    {"SetVisible", FnSetEntry<&O::SetPrevFlag2, EntryNumber>},
    {"GetGroupIndex", FnGetEntry<int32_t, &O::GetPrevValue2, EntryNumber>},
    {"GetSelected", FnGetEntry<bool, &O::GetPrevValue1, EntryNumber>},
    {"SetSelected", FnSetEntry<&O::SetPrevValue1, EntryNumber>},
    {"CreateObject", FnCreateObject},
    {"DeleteObject", FnDeleteObject},
    {"GetItem", FnGetItem},
    {"InCabinet", FnInCabinet},
    {"GetHistoryCount", FnGetHistoryCount},
    {"GetHistoryMaxCount", FnGetHistoryMaxCount},
    {"SetHistoryMaxCount", FnSetHistoryMaxCount},
    {"GetImeOpened", FnGetImeOpened},
    {"SetImeOpened", FnSetImeOpened},
};

}  // namespace

std::span<const TSysFuncEntry> ObjectSysFuncs() { return kFuncs; }
