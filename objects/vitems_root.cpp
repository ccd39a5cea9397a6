// The layers and the object root: look-ups by name, creation by type code, the per-tick step,
// drawing into the dirty rectangles, and the scene's stored form.
#include "objects/vitems.h"
#include "objects/vitems_kinds.h"
#include "objects/vitemex_button.h"
#include "objects/vitemex_cglabel.h"
#include "objects/vitemex_cinema.h"
#include "objects/vitemex_edit.h"
#include "objects/vitemex_fire.h"
#include "objects/vitemex_gauge.h"
#include "objects/vitemex_http.h"
#include "objects/vitemex_images.h"
#include "objects/vitemex_label.h"
#include "objects/vitemex_mapimage.h"
#include "objects/vitemex_menu.h"
#include "objects/vitemex_mes.h"
#include "objects/vitemex_mira.h"
#include "objects/vitemex_particle.h"
#include "objects/vitemex_prevmenu.h"
#include "objects/vitemex_read.h"
#include "objects/vitemex_slider.h"
#include "objects/vitemex_sound.h"
#include "objects/vitemex_tile.h"
#include "objects/vitemex_video.h"
#include "objects/vitemex_wave.h"

#include "core/sysutils.h"
#include "media/mediaman.h"
#include "media/screenman.h"
#include "text/frms.h"
#include "text/histories.h"
#include "text/wipes.h"

#include <algorithm>

TVelaBaseList* Bases = nullptr;
TClipManager* ClipMan = nullptr;
TDIBX* SelRectDIB = nullptr;
TDIBX* TransBGDIB = nullptr;

namespace {

const std::string LayerNames[2] = {std::string{SystemNameMark} + "BASE0", std::string{SystemNameMark} + "BASE1"};
const std::string OtherLayerName{SystemNameMark};

// The constructors of the creatable kinds, by type code modulo 128.
std::array<TObjectFactory, 128> ObjectKinds{};

}  // namespace

void RegisterObjectKind(uint8_t Code, TObjectFactory Factory) { ObjectKinds[Code & 127] = Factory; }

bool ObjectKindExists(uint8_t Code) { return ObjectKinds[Code & 127] != nullptr; }

void RegisterPlayerKinds() {
    // A type code whose kind is not built yet creates nothing.
    ObjectKinds.fill(nullptr);
    RegisterObjectKind(LT_BOX, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaBox(&Owner); });
    RegisterObjectKind(LT_TIMER, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaTimer(&Owner); });
    RegisterObjectKind(LT_CABINET, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaCabinet(&Owner); });
    RegisterObjectKind(LT_PROPMOTION, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaPropMotion(&Owner); });
    RegisterObjectKind(LT_SOUND, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaSound(&Owner); });
    RegisterObjectKind(LT_BUTTON, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaButton(&Owner); });
    RegisterObjectKind(LT_IMAGES, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaImages(&Owner); });
    RegisterObjectKind(LT_TILE, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaTile(&Owner); });
    RegisterObjectKind(LT_LABEL, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaLabel(&Owner); });
    RegisterObjectKind(LT_CGLABEL, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaCGLabel(&Owner); });
    RegisterObjectKind(LT_MES, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaMes(&Owner); });
    RegisterObjectKind(LT_FIRE, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaFire(&Owner); });
    RegisterObjectKind(LT_WAVE, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaWave(&Owner); });
    RegisterObjectKind(LT_CINEMA, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaCinema(&Owner); });
    RegisterObjectKind(LT_PARTICLE, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaParticle(&Owner); });
    RegisterObjectKind(LT_HTTP, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaHttp(&Owner); });
    RegisterObjectKind(LT_MAPIMG, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaMapImage(&Owner); });
    RegisterObjectKind(LT_PREVMENU, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaPrevMenu(&Owner); });
    RegisterObjectKind(LT_MENU, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaMenu(&Owner); });
    RegisterObjectKind(LT_SLIDER, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaSlider(&Owner); });
    RegisterObjectKind(LT_SCROLLBAR, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaScrollbar(&Owner); });
    RegisterObjectKind(LT_GAUGE, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaGauge(&Owner); });
    RegisterObjectKind(LT_VIDEO, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaVideo(&Owner); });
    RegisterObjectKind(LT_EDIT, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaEdit(&Owner); });
    RegisterObjectKind(LT_MEMO, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaMemo(&Owner); });
}

namespace {

// A 32-bit picture of Size filled with Color, with Color2 in the squares Squares.
TDIBX* MakePattern(int32_t Size, int32_t Color, int32_t Color2, std::initializer_list<TRect> Squares) {
    auto dib = std::make_unique<TDIBX>();
    dib->SetSize(Size, Size, 32);
    dib->FillRect(dib->GetBoundsRect(), dib->ColorToPixel(Color));
    for (const TRect& square : Squares) dib->FillRect(square, dib->ColorToPixel(Color2));
    return dib.release();
}

// Frees Global after its label went to Trace.
template <class T>
void FreeGlobal(T*& Global, const char* Label, const std::function<void(const char*)>& Trace) {
    if (Trace) Trace(Label);
    delete Global;
    Global = nullptr;
}

}  // namespace

void VelaInitialize() {
    RegisterPlayerKinds();
    SetFilmFactory(&NewMotionFilm);
    Bases = new TVelaBaseList();
    TextHistoryFormats = new TVelaHistoryFormatManager();
    TextRead = new TVelaReadList();
    MiraMan = new TMiraCollection();
    ClipMan = new TClipManager();
    SelRectDIB = MakePattern(2, 0x000000, 0xFFFFFF, {{0, 0, 1, 1}, {1, 1, 2, 2}});
    TransBGDIB = MakePattern(32, 0x808080, 0xC0C0C0, {{0, 0, 16, 16}, {16, 16, 32, 32}});
}

void VelaFinalize(const std::function<void(const char*)>& Trace) {
    FreeGlobal(TextRead, "TextRead.Free", Trace);
    FreeGlobal(TextHistoryFormats, "TextHistoryFormats.Free", Trace);
    FreeGlobal(Bases, "Bases.Free", Trace);
    FreeGlobal(SelRectDIB, "SelRectDIB.Free", Trace);
    FreeGlobal(TransBGDIB, "TransBGDIB.Free", Trace);
    FreeGlobal(MiraMan, "MiraMan.Free", Trace);
    FreeGlobal(ClipMan, "ClipMan.Free", Trace);
    ObjectKinds.fill(nullptr);
    SetFilmFactory(nullptr);
}

std::array<uint32_t, 256> GreyRamp16{}, GreyRamp32{};
std::array<uint16_t, 256> FireRamp16 = FireColors16;

void VelaInitColor() {
    const bool bits15 = ScreenBitCount() == 15;
    for (uint32_t i = 0; i < 256; ++i) {
        GreyRamp16[i] = bits15 ? (i >> 3) << 10 | (i >> 3) << 5 | i >> 3 : (i >> 3) << 11 | (i >> 2) << 5 | i >> 3;
        GreyRamp32[i] = i << 16 | i << 8 | i;
        const uint16_t c = FireColors16[i];
        FireRamp16[i] = bits15 ? uint16_t((c >> 1 & 0x7FE0) | (c & 0x1F)) : c;
    }
}

// ---- Layers ----

TVelaBase::TVelaBase(TVelaBaseList& AOwner) : TVelaControl(&AOwner, false) {}

// Its controls are freed by the control's own destructor, when it is a layer no more.
TVelaBase::~TVelaBase() { ForgetLayer(); }

TCustomDIBX* TVelaBase::GetSurface() {
    if (Owner->GetBase(Owner->GetCurrentLayer()) != this || Owner->GetWipeType() != 0) return &Surface;
    return Owner->GetSurface();
}

void TVelaBase::SizeSurfaces() {
    if (GetWidth() <= 0 || GetHeight() <= 0) return;
    Surface.SetSize(GetWidth(), GetHeight(), ScreenBitCount());
    Surface2.SetSize(GetWidth(), GetHeight(), ScreenBitCount());
}

void TVelaBase::SetWidth(int32_t V) {
    TVelaControl::SetWidth(V);
    SizeSurfaces();
}

void TVelaBase::SetHeight(int32_t V) {
    TVelaControl::SetHeight(V);
    SizeSurfaces();
}

void TVelaBase::AddDirtyRect(const TRect& R) {
    const TRect r = IntersectRects(R, {0, 0, GetWidth(), GetHeight()});
    if (!RectIsEmpty(r)) ClipList.AddRect(r);
}

void TVelaBase::SetMousePos(TPoint P) {
    if (P == MousePos) return;
    MousePos = P;
    Moved = true;
}

void TVelaBase::Prepare() {
    TCustomDIBX* surface = GetSurface();
    if (!GetVisible() || !surface || surface->GetEmpty()) return;
    for (int i = 0; i < ClipList.Count(); ++i) {
        surface->ClearClipRect();
        surface->UnionClipRect(ClipList.GetRect(i));
        if (GetColor() >= 0) {
            TRect fill = GetBoundsRect(), clip;
            if (GetClipArea(clip)) fill = IntersectRects(fill, clip);
            surface->FillRect(fill, surface->ColorToPixel(GetColor()));
        }
        TVelaControl::Prepare();
        for (const auto& [serial, native] : Owner->NativeControls)
            if (native->GetBase() == this) {
                surface->ClearClipRect();
                surface->UnionClipRect(ClipList.GetRect(i));
                native->DrawNative();
            }
    }
    surface->ClearClipRect();
}

// ---- The right-click selection list ----

void TVelaList::AddOnce(TVelaObject* Obj) {
    if (Places.contains(Obj)) return;
    if (List.Sparse()) CloseHoles();
    const size_t place = List.Push(Obj);
    try {
        Places.emplace(Obj, place);
    } catch (...) {
        List.Take(place);
        throw;
    }
}

void TVelaList::Remove(const TVelaObject* Obj) {
    const auto place = Places.find(Obj);
    if (place == Places.end()) return;
    List.Take(place->second);
    Places.erase(place);
}

TVelaObject* TVelaList::Items(int Index) const {
    CloseHoles();
    return List[size_t(Index)];
}

void TVelaList::CloseHoles() const {
    if (!List.Closed()) List.Close([&](TVelaObject* Obj, size_t, size_t To) { Places[Obj] = To; });
}

// ---- The root ----

TVelaBaseList::TVelaBaseList() : TVelaComponent(nullptr, false) { MakeLayers(); }

TVelaBaseList::~TVelaBaseList() {
    Transition.reset();
    Events.Clear();  // the objects then free without looking for records of theirs
    Layers[0].reset();
    Layers[1].reset();
    FreeObjects();
}

void TVelaBaseList::MakeLayers() {
    for (int i = 0; i < 2; ++i) {
        Layers[i] = std::make_unique<TVelaBase>(*this);
        RemoveObject(Layers[i].get());  // reached through GetBase and the layer names only
        Layers[i]->Name = LayerNames[i];
    }
}

void TVelaBaseList::FreeObjects() {
    while (!Objects.Empty()) delete Objects.Back();  // each takes itself (and its children) off
    Deleted.clear();
    ScriptDeleted.clear();
    NameNumbers.clear();
    NameStems.clear();
}

void TVelaBaseList::SizeRootBitmap() {
    if (Width > 0 && Height > 0) RootBitmap.SetSize(Width, Height, ScreenBitCount());
}

void TVelaBaseList::SetWidth(int32_t V) {
    Width = V;
    SizeRootBitmap();
    for (auto& layer : Layers) layer->SetWidth(V);
}

void TVelaBaseList::SetHeight(int32_t V) {
    Height = V;
    SizeRootBitmap();
    for (auto& layer : Layers) layer->SetHeight(V);
}

void TVelaBaseList::FreePrivateDIBs() {
    Transition.reset();
    for (auto& layer : Layers) layer->FreePrivateDIBs();
    for (size_t i = Objects.Begin(); i < Objects.End(); ++i)
        if (Objects[i]) Objects[i]->FreePrivateDIBs();
    if (this == Bases && MiraMan) MiraMan->FreeSurfaces();
}

void TVelaBaseList::MakePrivateDIBs() {
    SizeRootBitmap();
    if (this == Bases && MiraMan) MiraMan->Reload(true);
    for (auto& layer : Layers) layer->MakePrivateDIBs();
    for (size_t i = Objects.Begin(); i < Objects.End(); ++i)
        if (Objects[i]) Objects[i]->MakePrivateDIBs();
    for (auto& layer : Layers) layer->InvalidateAll();
}

bool TVelaBaseList::GetImageMode() const { return MiraMan && MiraMan->ImageMode != 0; }

void TVelaBaseList::SetImageMode(bool Value) {
    if (!MiraMan || Value == GetImageMode()) return;
    MiraMan->SetMode(Value);
    for (auto& layer : Layers) layer->InvalidateAll();
}

TCustomDIBX* TVelaBaseList::GetSurface() {
    if (this == Bases && ScreenMan && ScreenMan->GetSurface()) return ScreenMan->GetSurface();
    return &RootBitmap;
}

bool TVelaBaseList::FitsSurface(int32_t Width, int32_t Height) {
    const TCustomDIBX* surface = GetSurface();
    return Width <= surface->GetWidth() && Height <= surface->GetHeight();
}

void TVelaBaseList::SetColor(int32_t V) {
    for (auto& layer : Layers) layer->SetColor(V);
}

// Objects are listed in the order of their serials, so the smallest serial is the first.
template <class TAccept>
TVelaObject* TVelaBaseList::FirstNamed(const std::string& AName, TAccept Accept) const {
    TVelaObject* first = nullptr;
    Names.ForEachNamed(AName, [&](TVelaObject* Obj) {
        if ((!first || Obj->GetSerial() < first->GetSerial()) && Accept(Obj)) first = Obj;
    });
    return first;
}

void TVelaBaseList::IndexName(TVelaObject& Obj) {
    if (Obj.Listed && !Obj.GetName().empty() && !Obj.Marked) Names.Add(&Obj);
}

// A name of a stem no prefix has is not looked for again: its number goes back to none.
void TVelaBaseList::UnindexName(TVelaObject& Obj) {
    const std::string& name = Obj.GetName();
    if (Names.Remove(&Obj) && !NameNumbers.empty() && NameStems.contains(NameStem(name)) && !Names.Contains(name))
        NameFreed(name);
}

std::string TVelaBaseList::NameStem(const std::string& S) {
    size_t end = S.size();
    while (end > 0 && S[end - 1] >= '0' && S[end - 1] <= '9') --end;
    return S.substr(0, end);
}

// S is Prefix<n> for every split of its trailing digits whose number is written as to_string
// writes it (no leading zero) and fits 32 bits; every such Prefix has the stem of S.
void TVelaBaseList::NameFreed(const std::string& S) {
    constexpr size_t MaxDigits = 10;
    int64_t n = 0, scale = 1;
    for (size_t at = S.size(), digits = 1; at > 0 && digits <= MaxDigits; --at, ++digits, scale *= 10) {
        const char c = S[at - 1];
        if (c < '0' || c > '9') return;
        n += (c - '0') * scale;
        if ((c == '0' && digits > 1) || n > INT32_MAX) continue;
        const auto numbers = NameNumbers.find(S.substr(0, at - 1));
        if (numbers != NameNumbers.end() && n < numbers->second.Next)
            numbers->second.Freed.insert(static_cast<int32_t>(n));
    }
}

TVelaObject* TVelaBaseList::ObjectNamed(const std::string& AName) const {
    return FirstNamed(AName, [](const TVelaObject*) { return true; });
}

int TVelaBaseList::IndexOfName(const std::string& AName) const {
    const TVelaObject* obj = ObjectNamed(AName);
    if (!obj) return -1;
    CloseHoles();
    return static_cast<int>(obj->ListedAt);
}

TVelaObject* TVelaBaseList::FindObject(const std::string& AName) const {
    if (AName.empty() || AName == LayerNames[0]) return GetBase(CurrentLayer);
    if (AName == OtherLayerName || AName == LayerNames[1]) return GetBase(CurrentLayer ^ 1);
    return FirstNamed(AName, [](const TVelaObject* Obj) { return Obj->IsComponent(); });
}

std::string TVelaBaseList::ReferenceName(const TVelaObject& Obj) const {
    if (&Obj == GetBase(CurrentLayer)) return LayerNames[0];
    if (&Obj == GetBase(CurrentLayer ^ 1)) return OtherLayerName;
    return Obj.GetName();
}

TVelaControl* TVelaBaseList::FindControl(const std::string& AName) const {
    if (AName.empty()) return GetBase(CurrentLayer);
    if (AName == OtherLayerName) return GetBase(CurrentLayer ^ 1);
    if (AName == LayerNames[0]) return GetBase(0);
    if (AName == LayerNames[1]) return GetBase(1);
    return static_cast<TVelaControl*>(
        FirstNamed(AName, [](const TVelaObject* Obj) { return dynamic_cast<const TVelaControl*>(Obj); }));
}

int TVelaBaseList::IndexOfObject(const TVelaObject* Obj) const {
    if (!Obj) return -1;
    CloseHoles();
    const auto it = std::find(Objects.begin(), Objects.end(), Obj);
    return it == Objects.end() ? -1 : static_cast<int>(it - Objects.begin());
}

bool TVelaBaseList::IsLive(const TObjectRef& Ref) const {
    if (!Ref.Object) return false;
    // The layers are not in the flat list, yet they raise events of their own.
    if (Ref.Object == GetBase(0) || Ref.Object == GetBase(1)) return Ref.Object->GetSerial() == Ref.Serial;
    return IsListed(Ref);
}

// Each object is listed as it is made, so the list is in the order of the serials; only listed
// objects are read (Ref.Object may be gone, its place a hole).
bool TVelaBaseList::IsListed(const TObjectRef& Ref) const {
    if (!Ref.Object) return false;
    const auto it = std::lower_bound(ListedSerials.begin(), ListedSerials.end(), Ref.Serial);
    return it != ListedSerials.end() && *it == Ref.Serial && Objects[size_t(it - ListedSerials.begin())] == Ref.Object;
}

TVelaObject* TVelaBaseList::GetObject(int Index) const {
    if (Index < 0 || Index >= GetObjectCount()) return nullptr;
    CloseHoles();
    return Objects[size_t(Index)];
}

// The step goes on after the object it is at, or after the hole that object left: from the new
// place of the last object at or before it (none wraps to just before the first).
void TVelaBaseList::CloseHoles() const {
    if (Objects.Closed()) return;
    const bool stepping = StepIndex < Objects.End();
    size_t step = SIZE_MAX;
    Objects.Close([&](TVelaObject* Obj, size_t From, size_t To) {
        ListedSerials[To] = ListedSerials[From];
        Obj->ListedAt = To;
        if (From <= StepIndex) step = To;
    });
    StepIndex = stepping ? step : Objects.End();
    ListedSerials.resize(Objects.End());
}

TVelaObject* TVelaBaseList::CreateObject(uint8_t Code) {
    const TObjectFactory factory = ObjectKinds[Code & 127];
    return factory ? factory(*this) : nullptr;
}

int TVelaBaseList::GetObjectNames(TStringList& List, const TVelaObject* Parent, uint8_t Code, bool Recurse) const {
    if (!Parent) return 0;
    // With Recurse a name goes in once, counting those the list had.
    TAnsiTextSet listed;
    if (Recurse)
        for (int i = 0; i < List.Count(); ++i) listed.insert(List.Strings(i));
    int added = 0;
    auto take = [&](const TVelaObject& Obj) {
        if ((Code != 0 && Obj.GetCompoType() != Code) || (Recurse && !listed.insert(Obj.GetName()).second)) return;
        List.Add(Obj.GetName());
        ++added;
    };
    if (Parent == this || !Recurse) {
        for (const TVelaObject* obj : Objects)
            if (obj && !obj->Marked && (Parent == this || obj->GetParent() == Parent)) take(*obj);
        return added;
    }
    // Each object comes before its children, the children of one parent in the order of the flat
    // list; a marked object is left out with everything below it.
    std::unordered_map<const TVelaObject*, std::vector<const TVelaObject*>> children;
    for (const TVelaObject* obj : Objects)
        if (obj && !obj->Marked)
            if (const TVelaObject* parent = obj->GetParent()) children[parent].push_back(obj);
    std::vector<std::pair<const std::vector<const TVelaObject*>*, size_t>> pending;
    auto descend = [&](const TVelaObject* Obj) {
        if (const auto below = children.find(Obj); below != children.end()) pending.emplace_back(&below->second, 0);
    };
    descend(Parent);
    while (!pending.empty()) {
        auto& [siblings, next] = pending.back();
        if (next == siblings->size()) {
            pending.pop_back();
            continue;
        }
        const TVelaObject* obj = (*siblings)[next++];
        take(*obj);
        descend(obj);
    }
    return added;
}

// Each object is listed once, as it is made, with a serial above every listed one.
// An allocation refused on the way leaves the lists as they were: the object is then not made.
void TVelaBaseList::AddObject(TVelaObject* Obj) {
    if (Objects.Sparse()) CloseHoles();
    ListedSerials.push_back(Obj->GetSerial());
    try {
        Obj->ListedAt = Objects.Push(Obj);
    } catch (...) {
        ListedSerials.pop_back();
        throw;
    }
    Obj->Listed = true;
    try {
        IndexName(*Obj);
    } catch (...) {
        Obj->Listed = false;
        Objects.Take(Obj->ListedAt);
        ListedSerials.resize(Objects.End());
        throw;
    }
}

void TVelaBaseList::RemoveObject(TVelaObject* Obj) {
    if (!Obj->Listed) return;
    UnindexName(*Obj);
    Obj->Listed = false;
    Objects.Take(Obj->ListedAt);
    ListedSerials.resize(Objects.End());
}

void TVelaBaseList::MarkDeleted(TVelaObject* Obj) {
    if (Obj->Marked) return;
    Deleted.push_back(Obj);
    Obj->Marked = true;
    Obj->DeletedAt = uint32_t(Deleted.size() - 1);
    if (Obj->Listed && Obj->GetSerial() > SeenSerial) ScriptDeleted.push_back({Obj->Ref(), Obj->DeletedAt});
}

void TVelaBaseList::RemoveFromDeleted(TVelaObject* Obj) {
    if (!Obj->Marked) return;
    Deleted[Obj->DeletedAt] = nullptr;
    Obj->Marked = false;
    // An object freed as soon as it was marked (the script's own, at every turn of a loop that
    // never waits) leaves no hole behind until the step.
    while (!Deleted.empty() && !Deleted.back()) Deleted.pop_back();
}

void TVelaBaseList::MarkSeen() {
    if (!ListedSerials.empty()) SeenSerial = ListedSerials.back();
}

// An object the steps never saw is referred to by none of the holders that look at a deleted
// object until it is freed (a ghost its source, a film track its object, the pointer its target):
// they all take theirs during a step. The script reaches a deleted object only through checked
// references, which find it gone either way, and through the names of what lies under it
// (deleting clears only the object's own name): those stay until the step, and an object the
// script makes under one of them goes with them then. A queued event of it, though, may still
// start before the tick ends.
// The tree below Obj is walked without recursion; its depth is bounded anyway.
bool TVelaBaseList::SeenOnlyByScript(TVelaObject& Obj) const {
    std::vector<TVelaObject*> pending{&Obj};
    while (!pending.empty()) {
        const TVelaObject& obj = *pending.back();
        pending.pop_back();
        if (obj.GetSerial() <= SeenSerial || Events.HasPending(obj)) return false;
        if (&obj != &Obj && !obj.GetName().empty()) return false;
        for (int i = 0; i < obj.GetControlCount(); ++i) pending.push_back(obj.GetControl(i));
    }
    return true;
}

void TVelaBaseList::FreeDeleted() {
    while (!ScriptDeleted.empty()) {
        const auto [ref, at] = ScriptDeleted.back();
        ScriptDeleted.pop_back();
        // Still in its place, so still alive (and listed): no look-up among the listed objects.
        const bool marked = at < Deleted.size() && Deleted[at] == ref.Object && ref.Object->GetSerial() == ref.Serial;
        // Takes itself and what it holds off every list.
        if (marked && SeenOnlyByScript(*ref.Object)) delete ref.Object;
    }
}

bool TVelaBaseList::Step() {
    for (auto& layer : Layers) layer->Step();
    // A freed object leaves a hole; an object made during the step is stepped too.
    for (StepIndex = Objects.Begin(); StepIndex < Objects.End(); ++StepIndex) {
        TVelaObject* obj = Objects[StepIndex];
        PrefetchListed(Objects.AllSlots(), StepIndex + WalkAhead);
        if (!obj) continue;
        const std::string idle = obj->GetOnidle();
        if (!idle.empty() && !obj->InCabinet() && !obj->IsSelecting() && !Events.IsQueued(obj, PR_ONIDLE))
            Events.Add(obj, idle, nullptr, PR_ONIDLE);
        if (!obj->GetPaused() && !obj->Marked && !obj->InCabinet() && obj->Step()) {
            obj->Invalidate();
            delete obj;  // takes itself off the list
        }
    }
    // Freeing one may free others (its children) or mark more.
    for (size_t i = 0; i < Deleted.size(); ++i) {
        TVelaObject* obj = Deleted[i];
        if (!obj) continue;
        if (obj->Listed) {
            delete obj;  // takes itself off the deletion list
        } else {
            obj->Marked = false;
            Deleted[i] = nullptr;
        }
    }
    Deleted.clear();
    ScriptDeleted.clear();
    MarkSeen();
    return false;
}

void TVelaBaseList::SetSoundEnabled(bool Value) {
    if (Value == SoundEnabled) return;
    SoundEnabled = Value;
    for (TSoundManager* manager : SoundManagers()) manager->SetEnabled(Value);
}

void TVelaBaseList::Prepare() {
    TransRect = {0, 0, 0, 0};
    for (auto& layer : Layers) layer->Prepare();
    if (Transition) {
        TransRect = Transition->UpdateRect;
        Transition->Step();
    }
}

TCustomWipe* TVelaBaseList::BeginTransition(int32_t Layer, uint8_t AWipeType, bool Reverse, bool Forced,
                                            int32_t Elapsed, int32_t Length) {
    CurrentLayer = Layer & 1;
    TCustomWipe* made = nullptr;
    if (Forced || (AWipeType != 0 && !Transition)) {
        Transition.reset();
        for (auto& layer : Layers) layer->InvalidateAll();
        if (AWipeType != 0) {
            // The layer made current shows what is on the screen now: its own surface takes a
            // copy when it drew straight into the screen.
            TVelaBase& shown = *GetBase(CurrentLayer);
            TVelaBase& next = *GetBase(CurrentLayer ^ 1);
            if (TCustomDIBX* drawn = shown.GetSurface(); drawn != &shown.Surface) shown.Surface.Assign(*drawn);
            Transition = CreateWipe(AWipeType, *GetSurface(), shown.Surface, next.Surface);
            if (Transition) {
                Transition->Length = Length;
                Transition->SetReverse(Reverse);
                made = Transition.get();
            }
        }
        if (!Focused || Focused->GetBase() == GetBase(CurrentLayer ^ 1)) {
            SetFocus(nullptr);
            RequestFocusUpdate();
        }
    }
    WipeType = AWipeType;
    if (Transition) Transition->Elapsed = Elapsed;
    return made;
}

int32_t TVelaBaseList::GetTransitionLength() const { return Transition ? Transition->Length : 0; }

void TVelaBaseList::SetTransitionElapsed(int32_t T) {
    if (Transition) Transition->Elapsed = T;
}

void TVelaBaseList::Clear() {
    const int32_t width = Width, height = Height;
    const TPoint mouse = Layers[0]->MousePos;
    // A flip cut short leaves no wipe type behind: the new current layer draws into the screen.
    Transition.reset();
    WipeType = 0;
    Layers[0].reset();
    Layers[1].reset();
    Events.Clear();
    FreeObjects();
    MakeLayers();
    SetWidth(8);
    SetHeight(8);
    SetWidth(width);
    SetHeight(height);
    for (auto& layer : Layers) layer->SetMousePos(mouse);
}

void TVelaBaseList::SaveToStream(TStream& Stream) {
    WriteStreamInt(Stream, Width);
    WriteStreamInt(Stream, Height);
    WriteStreamInt(Stream, CurrentLayer);
    for (auto& layer : Layers) layer->SaveToStream(Stream);
    std::vector<TVelaObject*> saved;
    for (TVelaObject* obj : Objects)
        if (obj && !dynamic_cast<TVelaControl*>(obj) && !obj->Marked && obj->GetCompoType() != LT_NONE &&
            !IsSystemName(obj->GetName()))
            saved.push_back(obj);
    WriteStreamInt(Stream, static_cast<int32_t>(saved.size()));
    for (TVelaObject* obj : saved) {
        WriteStreamByte(Stream, obj->GetCompoType());
        obj->SaveToStream(Stream);
    }
    Events.SaveToStream(Stream);
    WriteStreamString(Stream, Focused ? Focused->GetName() : std::string());
}

void TVelaBaseList::LoadFromStream(TStream& Stream, int32_t Version) {
    // A size the root's picture does not hold is refused before the layers are sized.
    const int32_t width = ReadStreamInt(Stream), height = ReadStreamInt(Stream);
    if (width < 0 || height < 0 || !FitsSurface(width, height)) throw EReadError();
    Clear();
    SetWidth(8);
    SetHeight(8);
    SetWidth(width);
    SetHeight(height);
    const int32_t current = ReadStreamInt(Stream);
    if (current != 0 && current != 1) throw EReadError();
    CurrentLayer = current;
    for (auto& layer : Layers) layer->LoadFromStream(Stream, Version);
    for (auto& layer : Layers) layer->InvalidateAll();
    const int32_t count = ReadStreamCount(Stream, 1);
    for (int32_t i = 0; i < count; ++i) {
        TVelaObject* obj = CreateObject(ReadStreamByte(Stream));
        if (!obj) throw EReadError();  // records carry no length: nothing after this can be read
        obj->LoadFromStream(Stream, Version);
        if (IsSystemName(obj->GetName())) throw EReadError();  // never stored, as in a control's children
    }
    Events.LoadFromStream(Stream, Version);
    if (Version >= 119) {
        const std::string focus = ReadStreamString(Stream);
        if (TVelaControl* control = focus.empty() ? nullptr : FindControl(focus)) {
            Focused = control;
            control->FocusNativeControl();
            FocusUpdate = false;
        }
    }
}
