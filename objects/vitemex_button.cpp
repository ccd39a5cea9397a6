// The image button: its looks and their sources, the pointer and key handling, the click with
// the radio groups, the per-tick step of the looks, the caption and the record.
#include "objects/vitemex_button.h"

#include "core/sysutils.h"
#include "objects/vitems_kinds.h"
#include "text/fontpixels.h"

#include <algorithm>
#include <vector>

namespace {

// The hit-test mask of a left press: what the button tests the pointer against.
constexpr uint32_t LeftPressMask = 1u << IM_NONE | 1u << IM_RCLICK;
constexpr int KeyEnter = 13, KeySpace = 32;

}  // namespace

// The image object made the normal look's list; the state looks' lists come with their sources.
TVelaButton::TVelaButton(TVelaBaseList* AOwner)
    : TVelaImages(AOwner), AllowAllUpStamp(TVelaControl::NextGroupStamp()) {}

// The look films go while the button is whole; the image object then lets go of the pictures.
TVelaButton::~TVelaButton() {
    Looks.reset();
    if (ListedIn) ListedIn->ListSelected(this, ListedGroup, false);
}

// ---- Looks ----

bool TVelaButton::CanShow(int32_t Look) const {
    if (Look < LookHover) return true;
    if (Look >= StateCount()) return false;
    const TVelaImageList* list = StateList(Look);
    return LookFilm(Look) || (list && list->Count() > 0);
}

void TVelaButton::SetState(int32_t V) {
    if (State == LookClicked) {
        ReturnState = V;
        return;
    }
    if (V == State || !CanShow(V)) return;
    ShowLook(V);
}

void TVelaButton::ShowLook(int32_t V) {
    Invalidate();
    ShowFrame(-1);
    DropPictures();
    State = V;
    if (V == LookClicked) ReturnState = LookNormal;
    ShowFrame(0);
    if (TVelaMotion* film = LookFilm(V))
        film->Start();
    else if (V == LookNormal && GetMotion())
        StartFilm();
    Invalidate();
}

void TVelaButton::TakeReturnState() { ShowLook(CanShow(ReturnState) ? ReturnState : LookNormal); }

// The first source set makes the looks' sources, films and lists.
void TVelaButton::SetLookSource(int32_t Look, const std::string& S) {
    if (S == LookSource(Look)) return;
    if (!Looks) {
        Looks = std::make_unique<TLooks>();
        while (static_cast<int32_t>(ImageLists.size()) < StateCount())
            ImageLists.push_back(std::make_unique<TVelaImageList>());
    }
    Looks->Sources[Look - 1] = S;
    if (State == Look) {
        ShowFrame(-1);
        DropPictures();
    }
    TVelaImageList& list = *ImageLists[Look];
    std::unique_ptr<TVelaMotion>& film = Looks->Films[Look - 1];
    list.Clear();
    film.reset();
    const std::string kind = AnsiLowerCase(ExtractFileExt(S));
    if (kind == ".mra") {
        list.LoadImage(S, false);
    } else if (kind == ".vmt") {
        film = std::make_unique<TVelaMotion>(*this);
        film->LoadFromFile(S);
    }
    if (State == Look && list.Count() > 0) ShowFrame(0);
}

void TVelaButton::SetPaused(bool V) {
    const bool was = GetPaused();
    TVelaImages::SetPaused(V);
    if (was && !V) SetState(LookNormal);
}

// ---- Caption ----

const TNxLabelList& TVelaButton::CaptionSettings() const {
    static const TNxLabelList Unset;
    return Caption ? *Caption : Unset;
}

TNxLabelList& TVelaButton::KeptCaption() {
    if (!Caption) {
        Caption = std::make_unique<TNxLabelList>();
        Caption->AddLabel();
    }
    return *Caption;
}

std::string TVelaButton::GetText() const { return Caption ? Caption->GetLabel(0)->Text : std::string(); }

void TVelaButton::SetText(const std::string& S) {
    if (S == GetText()) return;
    Invalidate();
    KeptCaption().GetLabel(0)->SetText(S);
    Invalidate();
}

template <class T>
void TVelaButton::ChangeCaption(T TNxLabelList::*Setting, T Value) {
    if (Value == CaptionSettings().*Setting) return;
    const bool shown = !GetText().empty();
    if (shown) Invalidate();
    KeptCaption().*Setting = Value;
    if (!shown) return;
    Caption->InvalidateAll();
    Invalidate();
}

void TVelaButton::SetFontname(const std::string& S) { ChangeCaption(&TNxLabelList::FaceName, S); }
void TVelaButton::SetFontheight(int32_t V) { ChangeCaption(&TNxLabelList::FontSize, V); }
void TVelaButton::SetFontstyle(int32_t V) { ChangeCaption(&TNxLabelList::Style, static_cast<uint8_t>(V)); }
void TVelaButton::SetFontcolor(int32_t V) { ChangeCaption(&TNxLabelList::Color, V); }
void TVelaButton::SetAntialias(bool V) { ChangeCaption(&TNxLabelList::AntialiasLevel, V ? 3 : 0); }

TRect TVelaButton::CaptionBounds() {
    TNxLabelDIB* label = Caption ? Caption->GetLabel(0) : nullptr;
    if (!label || label->Text.empty() || !FontPixelManager) return {};
    if (label->Dirty) Caption->MeasureLabels();
    const int32_t shift = State >= LookPressed ? 1 : 0;
    const int32_t x = GetOriginX() + (GetWidth() - label->Width) / 2 + shift;
    const int32_t y = GetOriginY() + (GetHeight() - label->Height) / 2 + shift;
    return {x, y, x + label->Width, y + label->Height};
}

void TVelaButton::Invalidate() {
    TVelaImages::Invalidate();
    if (PictureShown()) InvalidateArea(CaptionBounds());
}

void TVelaButton::AfterDrawImage() {
    if (!Caption) return;
    Caption->Dest = GetLayerSurface();
    const TRect caption = CaptionBounds();
    if (Caption->Dest && !RectIsEmpty(caption)) Caption->GetLabel(0)->Draw(caption.Left, caption.Top);
}

// ---- Groups ----

void TVelaButton::SetGroupindex(int32_t V) {
    SettleAllowAllUp();
    GroupIndex = V;
    ListSelection();
    if (TVelaControl* parent = GetParent()) parent->UpdateGroup(this, V);
}

void TVelaButton::SetParent(TVelaControl* P) {
    SettleAllowAllUp();
    TVelaImages::SetParent(P);
    ListSelection();
}

void TVelaButton::SetSelected(bool V) {
    if (V && GroupIndex == 0) return;
    SetSelectedQuiet(V);
    if (TVelaControl* parent = GetParent()) parent->UpdateGroup(this, GroupIndex);
}

void TVelaButton::SetSelectedQuiet(bool V) {
    Selected = V;
    ListSelection();
    SetState(V ? LookPressed : LookNormal);
}

bool TVelaButton::GetAllowallup() const {
    const TVelaControl* parent = GetParent();
    const std::optional<bool> group =
        parent && GroupIndex != 0 ? parent->GroupAllowAllUp(GroupIndex, AllowAllUpStamp) : std::nullopt;
    return group.value_or(AllowAllUp);
}

void TVelaButton::SetAllowallup(bool V) {
    AllowAllUp = V;
    AllowAllUpStamp = TVelaControl::NextGroupStamp();
    if (TVelaControl* parent = GetParent(); parent && GroupIndex != 0) {
        parent->SetGroupAllowAllUp(GroupIndex, V);
        parent->UpdateGroup(this, GroupIndex);
    }
}

void TVelaButton::SettleAllowAllUp() {
    AllowAllUp = GetAllowallup();
    AllowAllUpStamp = TVelaControl::NextGroupStamp();
}

void TVelaButton::ListSelection() {
    TVelaControl* parent = Selected && GroupIndex != 0 ? GetParent() : nullptr;
    if (parent == ListedIn && (!parent || GroupIndex == ListedGroup)) return;
    if (ListedIn) ListedIn->ListSelected(this, ListedGroup, false);
    ListedIn = nullptr;
    if (parent) parent->ListSelected(this, GroupIndex, true);
    ListedIn = parent;
    ListedGroup = GroupIndex;
}

void TVelaButton::Click() {
    if (!OnNotify.empty() && Owner) Owner->GetEvents().Add(this, OnNotify, nullptr, PR_ONNOTIFY);
    if (GroupIndex != 0) {
        if (GetAllowallup() || !Selected) SetSelected(!Selected);
        return;
    }
    SetState(LookClicked);
    if (!CanShow(LookClicked) && GetAutoscrap()) PressMark = -1;
}

// ---- Pointer and keys ----

void TVelaButton::AddPressTargets(const TPressTargetSink& Add) {
    if (TakesLeftPress()) AddTargetArea(Add, GetBoundsRect());
}

bool TVelaButton::UnderPointer() {
    TVelaBase* layer = PointerLayer();
    return layer && layer->HitTest(layer->MousePos, LeftPressMask) == this;
}

void TVelaButton::DoMouseMove() {
    if (PressMark == 1) {
        SetState(Selected || UnderPointer() ? LookPressed : LookNormal);
        return;
    }
    SetState(Selected ? LookPressed : GetPaused() ? LookNormal : LookHover);
    TVelaImages::DoMouseMove();
}

void TVelaButton::DoMouseOut() {
    if (State != LookClicked) SetState(Selected ? LookPressed : LookNormal);
    TVelaImages::DoMouseOut();
}

// A button takes the press for itself and queues no button-down handler; one that ignores the
// left button answers as any object.
void TVelaButton::DoLBtnDown() {
    const int32_t im = GetIgnoremouse();
    if (im != IM_NONE && im != IM_RCLICK) {
        TVelaImages::DoLBtnDown();
        return;
    }
    TVelaBase* layer = PointerLayer();
    if (!layer) return;
    if (!GetPaused() && State != LookClicked) {
        layer->Capture |= TVelaBase::CaptureLeft;
        SetState(LookPressed);
        PressMark = 1;
    }
    layer->LeftPressed = false;
}

void TVelaButton::DoLBtnUp() {
    if (PressMark == 1 && UnderPointer()) {
        Click();
        if (PressMark == -1) return;
    }
    PressMark = 0;
    if (GroupIndex == 0 && State != LookClicked) SetState(LookNormal);
}

// Enter or Space that went down or repeated since the last tick: the keys of this tick's list,
// so that a key pressed and let go between two ticks still clicks.
void TVelaButton::DoKeyPress() {
    if (Owner) {
        const std::vector<int32_t>& keys = Owner->Keys.RepeatKeys;
        if (std::any_of(keys.begin(), keys.end(), [](int32_t k) { return k == KeyEnter || k == KeySpace; }))
            Click();
    }
    TVelaImages::DoKeyPress();
}

// ---- The tick ----

bool TVelaButton::Step() {
    if (PressMark == -1) return true;
    if (TVelaMotion* film = LookFilm(State)) {
        if (TVelaCustomImage::Step()) return true;
        if (!film->Update()) return false;
        if (GetAutoscrap()) return true;
        if (const std::string handler = GetOnplayend(); !handler.empty() && Owner)
            Owner->GetEvents().Add(this, handler, nullptr, PR_ONPLAYEND);
        TakeReturnState();
        return false;
    }
    if (TVelaImages::Step()) return true;
    // The frames of the clicked look ran out this tick (the frame step queued OnPlayEnd).
    if (State == LookClicked && !GetMotion() && ShownItem() && FrameIndex == CurrentImageList()->Count() - 1 &&
        GetRemaining() <= 0)
        TakeReturnState();
    return false;
}

// ---- Record ----

void TVelaButton::SaveToStream(TStream& Stream) {
    TVelaImages::SaveToStream(Stream);
    WriteStreamString(Stream, GetHoversource());
    WriteStreamString(Stream, GetPressedsource());
    WriteStreamInt(Stream, GroupIndex);
    WriteStreamByte(Stream, Selected);
    WriteStreamByte(Stream, GetAllowallup());
    WriteStreamString(Stream, OnNotify);
    WriteStreamString(Stream, OnIdle);
    WriteStreamString(Stream, GetClickedsource());
    CaptionSettings().SaveToStream(Stream);
}

// The sources reload their looks; the selection is set again (with its group), and the frame
// the image record held is shown again.
void TVelaButton::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaImages::LoadFromStream(Stream, Version);
    const int32_t frame = FrameIndex;
    const std::string hover = ReadStreamString(Stream);
    const std::string pressed = ReadStreamString(Stream);
    const int32_t group = ReadStreamInt(Stream);
    const bool selected = ReadStreamByte(Stream) != 0;
    const bool allowAllUp = ReadStreamByte(Stream) != 0;
    OnNotify = ReadStreamString(Stream);
    std::string clicked;
    if (Version >= 104) {
        OnIdle = ReadStreamString(Stream);
        clicked = ReadStreamString(Stream);
    }
    if (Version >= 137) KeptCaption().LoadFromStream(Stream, Version);
    SetHoversource(hover);
    SetPressedsource(pressed);
    SetClickedsource(clicked);
    GroupIndex = group;
    AllowAllUp = allowAllUp;
    AllowAllUpStamp = TVelaControl::NextGroupStamp();
    SetSelected(selected);
    PressMark = 0;
    SetIndex(frame);
}
