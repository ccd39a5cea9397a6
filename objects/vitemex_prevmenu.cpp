// The preview menu: loading a menu file into entries, the pictures held for them, the entry
// flags with the group rules, hover, previews, selection and settle animations, pointer and
// keys, and the record.
#include "objects/vitemex_prevmenu.h"

#include "core/sysutils.h"
#include "core/vrfiles_manager.h"
#include "objects/contsels.h"
#include "objects/vitems_kinds.h"
#include "script/params_vars.h"
#include "script/services.h"

#include <algorithm>
#include <utility>

namespace {

constexpr uint32_t AnyPointerMask = 29;  // the hit-test mask of a pointer move
constexpr int32_t KeyEnter = 13, KeySpace = 32, KeyLeft = 37, KeyUp = 38, KeyRight = 39, KeyDown = 40;

void SetSelection(const std::string& Name, int32_t Index) {
    if (!ParamMan) return;
    ParamMan->SetSelStr(Name);
    ParamMan->SetSelIndex(Index);
}

void WriteFlags(TStream& Stream, const std::vector<uint8_t>& Flags) {
    WriteStreamInt(Stream, static_cast<int32_t>(Flags.size()));
    if (!Flags.empty()) Stream.WriteBuffer(Flags.data(), static_cast<int64_t>(Flags.size()));
}

std::vector<uint8_t> ReadFlags(TStream& Stream) {
    std::vector<uint8_t> flags(static_cast<size_t>(ReadStreamCount(Stream, 1)));
    if (!flags.empty()) Stream.ReadBuffer(flags.data(), static_cast<int64_t>(flags.size()));
    return flags;
}

}  // namespace

// ---- Entry and preview pictures ----

TVelaPrevImages::TVelaPrevImages(TVelaBaseList* AOwner, TVelaPrevMenu& AMenu)
    : TVelaImages(AOwner, false), Menu(AMenu) {}

void TVelaPrevImages::SetSource(const std::string& S) {
    if (S != GetSource()) {
        SetAlpha(255);
        SetFloatangle(0);
        SetFloatzoomx(1);
        SetFloatzoomy(1);
        SetFliph(false);
        SetFlipv(false);
        SetClipwidth(0);
        SetClipheight(0);
        Fresh = true;
        ShownAt = SceneClock();
    }
    TVelaImages::SetSource(S);
}

TVelaPrevImages::~TVelaPrevImages() { Menu.ForgetPicture(*this); }

bool TVelaPrevImages::AnimationEnded() const {
    if (GetRepeat()) return false;
    if (const TVelaMotion* motion = GetMotion()) return motion->GetFinished();
    const TVelaImageList* list = CurrentImageList();
    return list && list->Count() > 0 && FrameIndex == list->Count() - 1 && GetRemaining() <= 0;
}

bool TVelaPrevImages::Step() {
    // The step of the tick that put the source up has only the picture's own work: the frame
    // player would take the whole tick, time before the frame was shown, off the first frame.
    if (std::exchange(Fresh, false) && ShownAt == SceneClock()) return TVelaCustomImage::Step();
    if (TVelaImages::Step()) return true;
    return !IsDeleted() && AnimationEnded() && Menu.AnimationEnded(*this);
}

// ---- The entry list ----

void TPrevMenuList::Clear() {
    std::vector<TVelaPrevImages*> objects = std::exchange(Entries, {});
    for (TVelaPrevImages* preview : std::exchange(Previews, {})) objects.push_back(preview);
    for (TVelaPrevImages* obj : objects) delete obj;
    for (TMiraItem* item : std::exchange(Images, {})) item->Release(this);
    Names.clear();
    Data.clear();
    Preloaded.clear();
}

bool TPrevMenuList::Holds(const TVelaPrevImages& Obj, bool Preview) const {
    const std::vector<TVelaPrevImages*>& held = Preview ? Previews : Entries;
    return Obj.Preview == Preview && Obj.Place >= 0 && size_t(Obj.Place) < held.size() && held[Obj.Place] == &Obj;
}

void TPrevMenuList::Forget(const TVelaPrevImages* Obj) {
    if (Holds(*Obj, Obj->Preview)) (Obj->Preview ? Previews : Entries)[Obj->Place] = nullptr;
}

// Each film is opened once, so that films naming themselves or each other end.
void TPrevMenuList::Preload(const std::string& File) {
    if (File.empty()) return;
    const std::string name = AnsiUpperCase(File);
    if (Preloaded.contains(name)) return;
    if (ExtractFileExt(name) != ".VMT") {
        Names.push_back(name);
        Images.push_back(&MiraMan->Acquire(this, name, false, false));
        Preloaded.insert(name);
        return;
    }
    Preloaded.insert(name);
    std::vector<std::string> pictures;
    try {
        pictures = MakeFilm()->ImageTrackFiles(File);
    } catch (const EVelaError&) {
        return;  // a film that does not read shows nothing, as on the entry itself
    }
    for (const std::string& picture : pictures) Preload(picture);
}

// ---- The menu ----

TVelaPrevMenu::TVelaPrevMenu(TVelaBaseList* AOwner, bool UniqueName) : TVelaControl(AOwner, UniqueName) {
    if (Owner) Owner->GetVelaList().AddOnce(this);
}

TVelaPrevMenu::~TVelaPrevMenu() {
    if (Owner) Owner->GetVelaList().Remove(this);
    Invalidate();
    List.Clear();
}

TVelaPrevImages* TVelaPrevMenu::GetEntry(int32_t Index) const { return InRange(Index) ? List.Entries[Index] : nullptr; }

TVelaPrevImages* TVelaPrevMenu::GetPreview(int32_t Index) const {
    return InRange(Index) ? List.Previews[Index] : nullptr;
}

void TVelaPrevMenu::SetSource(const std::string& S) {
    if (S == Source) return;
    Source = S;
    List.Clear();
    Hover = Pressed = -1;
    Pending = 0;
    Enabled.clear();
    Visible.clear();
    Down.clear();
    Groups.clear();
    if (!Owner || !ScriptHost().FileExists(S)) {
        SetBounds(GetLeft(), GetTop(), 0, 0);
        return;
    }
    TContSelList buttons;
    {
        TMemoryStream stream;
        VrFileManager->ReadFile(stream, S);
        LoadPreviewMenu(stream, buttons, TVrFileManager::ExtractFolder(S));
    }
    SetBounds(GetLeft(), GetTop(), buttons.Width, buttons.Height);
    const std::string prefix = std::string(1, SystemNameMark) + GetName() + SystemNameMark;
    for (int i = 0; i < buttons.ButtonCount(); ++i) {
        const TContSelButton& b = buttons.GetButton(i);
        auto* entry = new TVelaPrevImages(Owner, *this);
        List.Entries.push_back(entry);
        entry->Place = i;
        List.Previews.push_back(nullptr);
        Enabled.push_back(1);
        Visible.push_back(1);
        Down.push_back(0);
        entry->SetName(MakeUniqueName(*Owner, prefix));
        entry->SetParent(this);
        entry->SetLeft(b.Left);
        entry->SetTop(b.Top);
        entry->SetSubPriority(i);
        List.Data.push_back({b.Path, b.InImagePath, b.OutImagePath, b.SettleImagePath, b.DisImagePath,
                             b.DisInImagePath, b.DisOutImagePath, b.InPrevPath, b.OutPrevPath, b.SettlePrevPath,
                             b.DisInPrevPath, b.DisOutPrevPath, b.DownImagePath, b.DownInImagePath,
                             b.DownOutImagePath, b.DownOnPrevPath, b.DownOnPrevRepeat, b.DownOffPrevPath,
                             b.DownOffPrevRepeat, b.DownInPrevPath, b.DownOutPrevPath, b.PrevLeft, b.PrevTop, 0,
                             b.Name, i, b.Group});
        if (b.Group != 0) {
            TGroupState& group = Groups[b.Group];
            group.Members.push_back(i);
            group.Shown.insert(i);
        }
        entry->SetSource(b.Path);
        entry->SetRepeat(true);
        entry->SetCapturemask(b.CapMask);
        entry->SetCapmasklevel(b.CapMaskLevel);
        entry->SetCursor(b.CursorPath);
        for (const std::string* path :
             {&b.Path, &b.InImagePath, &b.OutImagePath, &b.SettleImagePath, &b.DisImagePath, &b.InPrevPath,
              &b.OutPrevPath, &b.SettlePrevPath, &b.DisInPrevPath, &b.DisOutPrevPath, &b.DownImagePath,
              &b.DownInImagePath, &b.DownOutImagePath, &b.DownInPrevPath, &b.DownOutPrevPath, &b.DownOnPrevPath,
              &b.DownOffPrevPath})
            List.Preload(*path);
    }
    // The first member of each positive group starts down.
    for (int32_t i = 0; i < List.Count(); ++i)
        if (const TGroupState* group = GroupOf(i)) SetPrevValue1(i, Data(i).Group > 0 && group->Members.front() == i);
}

std::string TVelaPrevMenu::GetText() const {
    std::string text;
    for (int32_t i = 0; i < List.Count(); ++i) text += (i ? "\r\n" : "") + Data(i).Name;
    return text;
}

// ---- Entry state ----

std::string TVelaPrevMenu::GetItemText(int32_t Index) const { return InRange(Index) ? Data(Index).Name : ""; }

int32_t TVelaPrevMenu::IndexOfItemText(const std::string& S) const {
    for (int32_t i = 0; i < List.Count(); ++i)
        if (Data(i).Name == S) return i;
    return -1;
}

bool TVelaPrevMenu::GetPrevFlag1(int32_t Index) const { return InRange(Index) && Enabled[Index]; }

void TVelaPrevMenu::SetPrevFlag1(int32_t Index, bool V) {
    if (!InRange(Index) || bool(Enabled[Index]) == V) return;
    Enabled[Index] = V;
    ShowImage(Index, V ? Data(Index).Path : Data(Index).DisImagePath, true);
}

bool TVelaPrevMenu::GetPrevFlag2(int32_t Index) const { return InRange(Index) && Visible[Index]; }

void TVelaPrevMenu::SetPrevFlag2(int32_t Index, bool V) {
    if (!InRange(Index) || bool(Visible[Index]) == V) return;
    SetShown(Index, V);
    if (TVelaPrevImages* entry = List.Entries[Index]) entry->SetVisible(V);
    ShowImage(Index, !V ? "" : Enabled[Index] ? Data(Index).Path : Data(Index).DisImagePath, true);
    if (const TGroupState* group = GroupOf(Index))
        for (const int32_t i : group->Members)
            if (i != Index && Visible[i]) ShowImage(i, RestingImage(i), true);
}

// Down, an entry reads as down when shown and no member before it is down (shown or not); up,
// when its group is positive, no shown member is down and it is the first shown member.
bool TVelaPrevMenu::GetPrevValue1(int32_t Index) const {
    if (!InRange(Index) || !Visible[Index]) return false;
    const TGroupState* group = GroupOf(Index);
    if (!group) return false;
    if (Down[Index]) return *group->Down.begin() == Index;
    return Data(Index).Group > 0 && group->ShownDown == 0 && *group->Shown.begin() == Index;
}

const TVelaPrevMenu::TGroupState* TVelaPrevMenu::GroupOf(int32_t I) const {
    const auto state = Groups.find(Data(I).Group);
    return state == Groups.end() ? nullptr : &state->second;
}

void TVelaPrevMenu::SetDown(int32_t I, bool V) {
    if (bool(Down[I]) == V) return;
    if (const auto group = Groups.find(Data(I).Group); group != Groups.end()) {
        TGroupState& state = group->second;
        if (V)
            state.Down.insert(I);
        else
            state.Down.erase(I);
        if (Visible[I]) state.ShownDown += V ? 1 : -1;
    }
    Down[I] = V;
}

void TVelaPrevMenu::SetShown(int32_t I, bool V) {
    if (bool(Visible[I]) == V) return;
    if (const auto group = Groups.find(Data(I).Group); group != Groups.end()) {
        TGroupState& state = group->second;
        if (V)
            state.Shown.insert(I);
        else
            state.Shown.erase(I);
        if (Down[I]) state.ShownDown += V ? 1 : -1;
    }
    Visible[I] = V;
}

void TVelaPrevMenu::SetPrevValue1(int32_t Index, bool V) {
    if (!InRange(Index) || Data(Index).Group == 0) return;
    const TVelaPrevMenuData& d = Data(Index);
    if (V) {
        const int32_t other = DownMember(d.Group);
        if (other >= 0 && other != Index) {
            const TVelaPrevMenuData& o = Data(other);
            SetDown(other, false);
            ShowImageOf(other, {{o.DisImagePath, true, !Enabled[other]}, {o.Path}});
            ShowPreviewOf(other, 0, {{o.DownOffPrevPath, true, o.DownOffPrevRepeat}});
        }
    }
    SetDown(Index, V);
    ShowImageOf(Index, {{d.DownImagePath, true, V}, {d.DisImagePath, true, !Enabled[Index]}, {d.Path}});
    ShowPreviewOf(Index, 1, {{d.DownOnPrevPath, true, V && d.DownOnPrevRepeat},
                             {d.DownOffPrevPath, true, !V && d.DownOffPrevRepeat}});
}

int32_t TVelaPrevMenu::GetPrevValue2(int32_t Index) const { return InRange(Index) ? Data(Index).Group : 0; }

// Only the first down member can read as down, and it does when shown; else only the first shown
// member of a positive group, when no shown member is down.
int32_t TVelaPrevMenu::DownMember(int32_t Group) const {
    const auto state = Groups.find(Group);
    if (state == Groups.end()) return -1;
    const TGroupState& group = state->second;
    if (!group.Down.empty() && Visible[*group.Down.begin()]) return *group.Down.begin();
    if (Group > 0 && group.ShownDown == 0 && !group.Shown.empty()) return *group.Shown.begin();
    return -1;
}

std::string TVelaPrevMenu::RestingImage(int32_t I) const {
    const TVelaPrevMenuData& d = Data(I);
    if (GetPrevValue1(I) && !d.DownImagePath.empty()) return d.DownImagePath;
    return Enabled[I] ? d.Path : d.DisImagePath;
}

// ---- Pictures ----

const TVelaPrevMenu::TPick* TVelaPrevMenu::FirstPick(std::initializer_list<TPick> Picks) {
    for (const TPick& pick : Picks)
        if (pick.When && !pick.File.empty()) return &pick;
    return nullptr;
}

void TVelaPrevMenu::ShowImageOf(int32_t I, std::initializer_list<TPick> Picks, bool Restart) {
    const TPick* pick = FirstPick(Picks);
    if (!pick) pick = std::prev(Picks.end());
    ShowImage(I, pick->File, pick->Repeat, Restart);
}

void TVelaPrevMenu::ShowPreviewOf(int32_t I, int32_t Priority, std::initializer_list<TPick> Picks) {
    if (const TPick* pick = FirstPick(Picks))
        ShowPreview(I, pick->File, Priority, pick->Repeat);
    else
        RemovePreview(I);
}

void TVelaPrevMenu::ShowImage(int32_t I, const std::string& File, bool Repeat, bool Restart) {
    TVelaPrevImages* entry = List.Entries[I];
    if (!entry) return;
    if (Restart) entry->SetSource("");
    entry->SetSource(File);
    entry->SetRepeat(Repeat);
}

void TVelaPrevMenu::ShowPreview(int32_t I, const std::string& File, int32_t Priority, bool Repeat) {
    if (File.empty()) {
        RemovePreview(I);
        return;
    }
    TVelaPrevImages*& preview = List.Previews[I];
    if (!preview) {
        preview = new TVelaPrevImages(Owner, *this);
        preview->SetName(MakeUniqueName(*Owner, std::string(1, SystemNameMark) + GetName() + SystemNameMark));
        preview->SetParent(this);
        preview->SetLeft(Data(I).PrevLeft);
        preview->SetTop(Data(I).PrevTop);
        preview->SetSubPriority(I);
        preview->Place = I;
        preview->Preview = true;
    }
    preview->SetPriority(Priority);
    preview->SetSource(File);
    preview->SetRepeat(Repeat);
}

void TVelaPrevMenu::RemovePreview(int32_t I) { delete std::exchange(List.Previews[I], nullptr); }

bool TVelaPrevMenu::AnimationEnded(TVelaPrevImages& Obj) {
    const bool preview = Obj.Preview;
    if (!List.Holds(Obj, preview)) return false;
    const int32_t index = Obj.Place;
    if (preview) {
        List.Previews[index] = nullptr;  // the caller frees it
    } else if (Visible[index]) {
        const TVelaPrevMenuData& d = Data(index);
        const bool enabled = Enabled[index], down = GetPrevValue1(index), hovered = index == Hover;
        ShowImageOf(index, {{d.DownInImagePath, true, enabled && down && hovered},
                            {d.DownImagePath, true, enabled && down},
                            {d.InImagePath, true, enabled && hovered},
                            {d.DisImagePath, true, !enabled},
                            {d.Path}});
    } else {
        ShowImage(index, "", Obj.GetRepeat());
    }
    if (Pending >= 1 && index == Hover && Data(index).Group == 0 && --Pending == 0) {
        EndSelection();
        const TVelaBase* layer = PointerLayer();
        if (layer && !PointInRect(GetBoundsRect(), layer->MousePos.X, layer->MousePos.Y)) SetHover(-1);
    }
    return preview;
}

// ---- Hover and selection ----

void TVelaPrevMenu::RaiseEntryEvent(const std::string& Handler, uint8_t Kind, int32_t I) {
    if (Handler.empty() || !Owner) return;
    TArrayString args;
    args.Add(Data(I).Name);
    args.Add(IntToStr(Data(I).Index));
    Owner->GetEvents().Add(this, Handler, &args, Kind);
}

void TVelaPrevMenu::SetHover(int32_t N) {
    if (N == Hover || Pending > 0) return;
    if (const int32_t o = Hover; o >= 0) {
        const TVelaPrevMenuData& d = Data(o);
        const bool enabled = Enabled[o];
        if (GetPrevValue1(o)) {
            ShowImageOf(o, {{d.DownOutImagePath, false}, {d.DownImagePath}, {d.DisOutImagePath, false, !enabled},
                            {d.Path}});
            ShowPreviewOf(o, 0, {{d.DownOutPrevPath, false}, {d.OutPrevPath, false},
                                 {d.DownOnPrevPath, true, d.DownOnPrevRepeat}});
        } else if (d.Group == 0 || !enabled) {
            if (enabled) {
                ShowImageOf(o, {{d.OutImagePath, false}, {d.Path}});
                ShowPreviewOf(o, 0, {{d.OutPrevPath, false}});
            } else {
                ShowImageOf(o, {{d.DisOutImagePath, false}, {d.DisImagePath}});
                ShowPreviewOf(o, 0, {{d.DisOutPrevPath, false}});
            }
        } else {
            ShowImageOf(o, {{d.OutImagePath, false}, {d.Path}});
            ShowPreviewOf(o, 0, {{d.OutPrevPath, false}, {d.DownOffPrevPath, true, d.DownOffPrevRepeat}});
        }
        RaiseEntryEvent(OnMapOut, PR_ONMAPOUT, o);
    }
    Hover = N;
    if (N < 0) return;
    const TVelaPrevMenuData& d = Data(N);
    const bool enabled = Enabled[N];
    if (GetPrevValue1(N)) {
        ShowImageOf(N, {{d.DownInImagePath}, {d.DownImagePath}, {d.DisInImagePath, true, !enabled}, {d.Path}});
        ShowPreviewOf(N, 1, {{d.DownInPrevPath}, {d.InPrevPath}, {d.DownOnPrevPath, true, d.DownOnPrevRepeat}});
    } else if (d.Group == 0 || !enabled) {
        if (enabled) {
            ShowImageOf(N, {{d.InImagePath}, {d.Path}});
            ShowPreviewOf(N, 1, {{d.InPrevPath}});
        } else {
            ShowImageOf(N, {{d.DisInImagePath}, {d.DisImagePath}});
            ShowPreviewOf(N, 1, {{d.DisInPrevPath}});
        }
    } else {
        ShowImageOf(N, {{d.InImagePath}, {d.Path}});
        ShowPreviewOf(N, 1, {{d.InPrevPath}, {d.DownOffPrevPath, true, d.DownOffPrevRepeat}});
    }
    RaiseEntryEvent(OnMapIn, PR_ONMAPIN, N);
}

void TVelaPrevMenu::Select(int32_t H) {
    const TVelaPrevMenuData& d = Data(H);
    if (d.Group == 0) {
        if (!d.SettleImagePath.empty()) {
            ShowImage(H, d.SettleImagePath, false, true);
            ++Pending;
        }
        if (!d.SettlePrevPath.empty()) {
            ShowPreview(H, d.SettlePrevPath, 1, false);
            ++Pending;
        } else {
            RemovePreview(H);
        }
    } else {
        if (!GetPrevValue1(H)) {
            const int32_t other = DownMember(d.Group);
            SetDown(H, true);
            if (other >= 0 && other != H) {
                const TVelaPrevMenuData& o = Data(other);
                SetDown(other, false);
                ShowImageOf(other, {{o.DisImagePath, true, !Enabled[other]}, {o.Path}});
                ShowPreviewOf(other, 0, {{o.DownOutPrevPath, false}, {o.OutPrevPath, false},
                                         {o.DownOffPrevPath, o.DownOffPrevRepeat}});
            }
        } else if (d.Group > 0) {
            return;  // the down member of a radio group stays down
        } else {
            SetDown(H, false);
        }
        const bool down = GetPrevValue1(H);
        ShowImageOf(H, {{d.DownImagePath, false, down}, {d.DisImagePath, false, !Enabled[H]}, {d.Path, false}}, true);
        ShowPreviewOf(H, 1,
                      {{d.DownOnPrevPath, d.DownOnPrevRepeat, down}, {d.DownOffPrevPath, d.DownOffPrevRepeat, !down}});
    }
    SetSelection(d.Name, d.Index);
    if (!OnSelect.empty() && Owner && !Owner->GetEvents().IsQueued(this, PR_ONSELECT))
        RaiseEntryEvent(OnSelect, PR_ONSELECT, H);
    if (Pending == 0) EndSelection();
}

void TVelaPrevMenu::EndSelection() {
    if (AutoScrap)
        Delete();
    else if (Hover >= 0)
        RaiseEntryEvent(OnPlayEnd, PR_ONPLAYEND, Hover);
}

// ---- Pointer and keys ----

std::string TVelaPrevMenu::GetCurrentCursor() const {
    return Hover >= 0 && List.Entries[Hover] ? List.Entries[Hover]->GetCursor() : TVelaControl::GetCurrentCursor();
}

TVelaObject* TVelaPrevMenu::HitTest(TPoint P, uint32_t Mask) {
    if (!GetVisible() || !PointInRect(GetBoundsRect(), P.X, P.Y)) return nullptr;
    const int32_t im = GetIgnoremouse();
    if (im < 32 && (Mask >> im & 1))
        for (size_t i = List.Entries.size(); i-- > 0;)
            if (List.Entries[i] && List.Entries[i]->HitTest(P, Mask)) return this;
    for (int i = GetControlCount(); i-- > 0;) {
        TVelaControl* child = GetControl(i);
        if (const auto* picture = dynamic_cast<const TVelaPrevImages*>(child); picture && List.Holds(*picture, false))
            continue;
        if (TVelaObject* hit = child->HitTest(P, Mask)) return hit;
    }
    return nullptr;
}

void TVelaPrevMenu::AddPressTargets(const TPressTargetSink& Add) {
    if (!TakesLeftPress()) return;
    for (size_t i = 0; i < List.Entries.size(); ++i)
        if (List.Entries[i] && List.Entries[i]->GetVisible() && Visible[i] && Enabled[i])
            AddTargetArea(Add, List.Entries[i]->GetBoundsRect());
}

int32_t TVelaPrevMenu::EntryAtPointer() {
    const TVelaBase* layer = PointerLayer();
    if (!layer) return -1;
    for (int32_t i = 0; i < List.Count(); ++i)
        if (List.Entries[i] && List.Entries[i]->HitTest(layer->MousePos, AnyPointerMask)) return i;
    return -1;
}

void TVelaPrevMenu::DoMouseMove() {
    SetHover(EntryAtPointer());
    TVelaControl::DoMouseMove();
}

void TVelaPrevMenu::DoMouseOut() {
    SetHover(-1);
    TVelaControl::DoMouseOut();
}

void TVelaPrevMenu::DoLBtnDown() {
    if (Pending > 0 && !AutoScrap) {
        const int32_t under = EntryAtPointer();
        if (under >= 0 && Enabled[under]) {
            Pending = 0;
            EndSelection();
            SetHover(under);
        }
    }
    Pressed = Hover;
    TVelaControl::DoLBtnDown();
}

void TVelaPrevMenu::DoLBtnUp() {
    if (Pressed >= 0 && Pressed == Hover && Enabled[Hover] && Pending == 0) Select(Hover);
    TVelaControl::DoLBtnUp();
}

void TVelaPrevMenu::DoRBtnDown() {
    if (RClickScrap) Delete();
    TVelaControl::DoRBtnDown();
}

bool TVelaPrevMenu::BeginSelect() {
    const int32_t im = GetIgnoremouse();
    if (im != IM_NONE && im != IM_LCLICK) return false;
    SetSelection("", -1);
    Delete();
    return true;
}

void TVelaPrevMenu::DoKeyPress() {
    std::vector<int32_t> ring;
    for (int32_t i = 0; i < List.Count(); ++i)
        if (Visible[i]) ring.push_back(i);
    if (ring.empty() || !Owner) return;
    for (int32_t key : Owner->Keys.RepeatKeys) {
        auto at = std::lower_bound(ring.begin(), ring.end(), Hover);
        if (at != ring.end() && *at != Hover) at = ring.end();
        if (key == KeyLeft || key == KeyUp) {
            SetHover(at == ring.end() || at == ring.begin() ? ring.back() : *(at - 1));
        } else if (key == KeyRight || key == KeyDown) {
            SetHover(at == ring.end() || at + 1 == ring.end() ? ring.front() : *(at + 1));
        } else if ((key == KeySpace || key == KeyEnter) && Hover >= 0 && Enabled[Hover]) {
            Select(Hover);
        }
    }
    TVelaControl::DoKeyPress();
}

// ---- The record ----

void TVelaPrevMenu::SaveToStream(TStream& Stream) {
    TVelaControl::SaveToStream(Stream);
    WriteStreamString(Stream, Source);
    for (bool b : {AutoScrap, RClickScrap, Paused}) WriteStreamByte(Stream, b);
    for (const std::string* s : {&OnMapIn, &OnMapOut, &OnIdle, &OnSelect, &OnPlayEnd}) WriteStreamString(Stream, *s);
    for (const std::vector<uint8_t>* flags : {&Enabled, &Visible, &Down}) WriteFlags(Stream, *flags);
}

void TVelaPrevMenu::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaControl::LoadFromStream(Stream, Version);
    SetSource(ReadStreamString(Stream));
    for (bool* b : {&AutoScrap, &RClickScrap, &Paused}) *b = ReadStreamByte(Stream) != 0;
    for (std::string* s : {&OnMapIn, &OnMapOut, &OnIdle, &OnSelect, &OnPlayEnd}) *s = ReadStreamString(Stream);
    using TSetter = void (TVelaPrevMenu::*)(int32_t, bool);
    for (const auto& [gate, setter] : {std::pair<int32_t, TSetter>{127, &TVelaPrevMenu::SetPrevFlag1},
                                       {132, &TVelaPrevMenu::SetPrevFlag2},
                                       {136, &TVelaPrevMenu::SetPrevValue1}}) {
        if (Version < gate) continue;
        const std::vector<uint8_t> flags = ReadFlags(Stream);
        for (int32_t i = 0; i < std::min<int32_t>(static_cast<int32_t>(flags.size()), List.Count()); ++i)
            (this->*setter)(i, flags[i] != 0);
    }
}
