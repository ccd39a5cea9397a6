// Controls: the rectangle on a layer, its dirty-rectangle bookkeeping, its children in drawing
// order, drawing, hit testing and the control record.
#include "objects/vitems.h"
#include "objects/vitems_kinds.h"

#include "core/sysutils.h"

#include <algorithm>
#include <cmath>

namespace {

// V scaled by the zoom Z (1/256), truncated toward zero.
int32_t Scaled(int32_t V, int32_t Z) { return static_cast<int32_t>(int64_t(V) * Z / 256); }

// The number n of a trailing "_<n>" with n >= 2, cut from Base; 2 when there is none.
int32_t CutNameSuffix(std::string& Base) {
    const size_t at = Base.rfind('_');
    if (at == std::string::npos || at + 1 >= Base.size() || Base.size() - at > 10) return 2;
    int32_t n = 0;
    for (size_t i = at + 1; i < Base.size(); ++i) {
        if (Base[i] < '0' || Base[i] > '9') return 2;
        n = n * 10 + (Base[i] - '0');
    }
    if (n < 2) return 2;
    Base.resize(at);
    return n;
}

bool ChildBefore(const TVelaControl* A, const TVelaControl* B) {
    static const std::string LastName{SystemNameMark, SystemNameMark};
    if (A == B) return false;
    // Image ghosts: fainter first among themselves, each just before its image.
    const TObjectRef* ghostOfA = A->GetBlurImageSource();
    const TObjectRef* ghostOfB = B->GetBlurImageSource();
    if (ghostOfA && ghostOfB) return A->GetAlpha() % 256 < B->GetAlpha() % 256;
    if (ghostOfA && ghostOfA->Object == B && ghostOfA->Serial == B->GetSerial()) return true;
    if (ghostOfB && ghostOfB->Object == A && ghostOfB->Serial == A->GetSerial()) return false;
    if (A->GetName() == LastName) return false;
    if (B->GetName() == LastName) return true;
    const bool systemA = IsSystemName(A->GetName()), systemB = IsSystemName(B->GetName());
    if (systemA != systemB) return systemA;
    const int32_t orderA = A->GetPriority() + A->GetSubPriority();
    const int32_t orderB = B->GetPriority() + B->GetSubPriority();
    if (orderA != orderB) return orderA < orderB;
    return A->GetName() < B->GetName();
}

}  // namespace

EObjectDepthError::EObjectDepthError()
    : EVelaError(Format("オブジェクトの親子が深すぎます（%d段まで）", MaxObjectDepth)) {}

TVelaControl::TVelaControl(TVelaBaseList* AOwner, bool UniqueName) : TVelaComponent(AOwner, UniqueName) {
    if (Owner && !Owner->GetFocus()) Owner->RequestFocusUpdate();
}

TVelaControl::~TVelaControl() {
    Motion.reset();  // resets the film position while the control is whole
    while (!ChildList.empty()) delete Placed().back();  // each takes itself off the list
    if (Parent) Parent->RemoveControl(this);
    if (!Owner) return;
    if (Owner->GetFocus() == this) {
        Owner->SetFocus(nullptr);
        Owner->RequestFocusUpdate();
    }
    for (int i = 0; i < 2; ++i)
        if (TVelaBase* layer = Owner->GetBase(i); layer && layer->MouseTarget.Object == this) layer->MouseTarget = {};
}

void TVelaControl::SetName(const std::string& S) {
    if (S == Name) return;
    if (TVelaObject* holder = Owner ? Owner->ObjectNamed(S) : nullptr) {
        std::string base = S;
        const int32_t from = CutNameSuffix(base);
        holder->Rename(MakeUniqueName(*Owner, base + "_", from));
    }
    Rename(S);
}

void TVelaControl::DropFocusInside() {
    TVelaControl* focus = Owner ? Owner->GetFocus() : nullptr;
    if (focus && (focus == this || ContainsControl(focus))) {
        Owner->SetFocus(nullptr);
        Owner->RequestFocusUpdate();
    }
}

void TVelaControl::SetVisible(bool V) {
    if (V == Visible) return;
    if (!V) {
        Invalidate();
        Visible = false;
        DropFocusInside();
    } else {
        Visible = true;
        Invalidate();
        if (Owner && !Owner->GetFocus()) Owner->RequestFocusUpdate();
    }
}

void TVelaControl::SetHandlekey(bool V) {
    if (V == HandleKey) return;
    HandleKey = V;
    if (!Owner) return;
    if ((V && !Owner->GetFocus()) || (!V && Owner->GetFocus() == this)) Owner->RequestFocusUpdate();
}

void TVelaControl::SetParent(TVelaControl* P) {
    if (P == Parent) return;
    for (const TVelaControl* up = P; up; up = up->Parent)
        if (up == this) return;
    if (P && P->Depth + 1 + SubtreeHeight() > MaxObjectDepth) throw EObjectDepthError();
    Invalidate();
    if (Parent) {
        Parent->RemoveControl(this);
        if (Parent->GetCompoType() == LT_CABINET) LeaveCabinet();
    }
    Parent = P;
    TakePlaces();
    if (P) {
        P->InsertControl(this);
        if (P->GetCompoType() == LT_CABINET) EnterCabinet();
    }
    Invalidate();
    if (!Owner) return;
    TVelaControl* focus = Owner->GetFocus();
    const bool onCurrent = GetBase() && GetBase() == Owner->GetBase(Owner->GetCurrentLayer());
    if (focus && (focus == this || ContainsControl(focus)) && !onCurrent) {
        Owner->SetFocus(nullptr);
        Owner->RequestFocusUpdate();
    } else if (!focus && onCurrent) {
        Owner->RequestFocusUpdate();
    }
}

// Walks the tree below without recursion, each control with its depth below this one.
int32_t TVelaControl::SubtreeHeight() const {
    int32_t height = 0;
    std::vector<std::pair<const TVelaControl*, int32_t>> pending{{this, 0}};
    while (!pending.empty()) {
        const auto [control, below] = pending.back();
        pending.pop_back();
        height = std::max(height, below);
        for (const TVelaControl* child : control->ChildList)
            if (child) pending.emplace_back(child, below + 1);
    }
    return height;
}

void TVelaControl::TakePlaces() {
    std::vector<TVelaControl*> pending{this};
    while (!pending.empty()) {
        TVelaControl* control = pending.back();
        pending.pop_back();
        if (const TVelaControl* parent = control->Parent) {
            control->Depth = parent->Depth + 1;
            control->Layer = control->Parent->GetBase();
            control->InCabinetTree = parent->InCabinetTree || parent->GetCompoType() == LT_CABINET;
        } else {
            control->Depth = 0;
            control->Layer = nullptr;
            control->InCabinetTree = false;
        }
        for (TVelaControl* child : control->ChildList)
            if (child) pending.push_back(child);
    }
}

void TVelaControl::ForgetLayer() {
    std::vector<TVelaControl*> pending{this};
    while (!pending.empty()) {
        TVelaControl* control = pending.back();
        pending.pop_back();
        if (control != this) control->Layer = nullptr;
        for (TVelaControl* child : control->ChildList)
            if (child) pending.push_back(child);
    }
}

TVelaControl* TVelaControl::GetControl(int Index) const {
    return Index >= 0 && Index < GetControlCount() ? Placed()[Index] : nullptr;
}

size_t TVelaControl::IndexOfChild(const TVelaControl* C) const {
    const std::vector<TVelaControl*>& children = Placed();
    return C->ChildAt < children.size() && children[C->ChildAt] == C ? C->ChildAt : NoPlace;
}

// Only controls have a parent, so C is one.
size_t TVelaControl::SortedPlace(const TVelaObject* C) const {
    return ChildrenSorted ? IndexOfChild(static_cast<const TVelaControl*>(C)) : NoPlace;
}

// Children added since the order was last looked at are put in their places first, as any look
// at the order does; the children that follow C keep their places, C's becoming a hole.
void TVelaControl::RemoveControl(TVelaControl* C) {
    if (Unplaced > 0) Placed();
    if (C->ChildAt >= ChildList.size() || ChildList[C->ChildAt] != C) return;
    ChildList[C->ChildAt] = nullptr;
    ++ChildHoles;
    while (!ChildList.empty() && !ChildList.back()) {
        ChildList.pop_back();
        --ChildHoles;
    }
}

void TVelaControl::CloseChildHoles() const {
    if (ChildHoles == 0) return;
    const size_t firstUnplaced = ChildList.size() - Unplaced;
    size_t kept = 0, unplaced = 0;
    for (size_t i = 0; i < ChildList.size(); ++i) {
        if (!ChildList[i]) continue;
        unplaced += i >= firstUnplaced;
        ChildList[kept++] = ChildList[i];
    }
    ChildList.resize(kept);
    Unplaced = unplaced;
    ChildHoles = 0;
    NumberChildren();
}

void TVelaControl::NumberChildren() const {
    for (size_t i = 0; i < ChildList.size(); ++i) ChildList[i]->ChildAt = i;
}

void TVelaControl::SetLeft(int32_t V) {
    if (V != Left) {
        Invalidate();
        Left = V;
        FilmX = 0;
        Invalidate();
    }
    PlaceNativeControls();
}

void TVelaControl::SetTop(int32_t V) {
    if (V != Top) {
        Invalidate();
        Top = V;
        FilmY = 0;
        Invalidate();
    }
    PlaceNativeControls();
}

void TVelaControl::SetWidth(int32_t V) { ChangeLook(Width, V); }
void TVelaControl::SetHeight(int32_t V) { ChangeLook(Height, V); }
void TVelaControl::SetOffsetx(int32_t V) {
    ChangeLook(OffsetX, V);
    PlaceNativeControls();
}
void TVelaControl::SetOffsety(int32_t V) {
    ChangeLook(OffsetY, V);
    PlaceNativeControls();
}
void TVelaControl::SetPoszoomed(bool V) { ChangeLook(PosZoomed, V); }
void TVelaControl::SetClipRect(const TRect& R) {
    SetClipleft(R.Left);
    SetCliptop(R.Top);
    SetClipwidth(R.Right - R.Left);
    SetClipheight(R.Bottom - R.Top);
}

void TVelaControl::SetClipleft(int32_t V) {
    if (ChangeLook(ClipLeft, V)) ClipChanged();
}
void TVelaControl::SetCliptop(int32_t V) {
    if (ChangeLook(ClipTop, V)) ClipChanged();
}
void TVelaControl::SetClipwidth(int32_t V) {
    if (ChangeLook(ClipWidth, V)) ClipChanged();
}
void TVelaControl::SetClipheight(int32_t V) {
    if (ChangeLook(ClipHeight, V)) ClipChanged();
}
void TVelaControl::SetControlValue(int32_t V) { ChangeLook(FilmX, V); }
void TVelaControl::SetControlValue2(int32_t V) { ChangeLook(FilmY, V); }
void TVelaControl::SetPlusx(int32_t V) { ChangeLook(PlusX, V); }
void TVelaControl::SetPlusy(int32_t V) { ChangeLook(PlusY, V); }

void TVelaControl::SetColor(int32_t V) {
    Color = V;
    Invalidate();
}

void TVelaControl::SetControlFlag(bool V) {
    FrameFlag = V;
    Invalidate();
}

void TVelaControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
    if (ALeft == Left && ATop == Top && AWidth == Width && AHeight == Height) return;
    Invalidate();
    Left = ALeft;
    Top = ATop;
    Width = AWidth;
    Height = AHeight;
    Invalidate();
}

void TVelaControl::MoveTo(int32_t ALeft, int32_t ATop) {
    if (ALeft != Left || ATop != Top) {
        Invalidate();
        if (ALeft != Left) {
            Left = ALeft;
            FilmX = 0;
        }
        if (ATop != Top) {
            Top = ATop;
            FilmY = 0;
        }
        Invalidate();
    }
    PlaceNativeControls();
}

bool TVelaControl::GetAnipaused() const {
    if (IsSystemName(Name) && Parent) return Parent->GetAnipaused();
    return AniPaused;
}

int32_t TVelaControl::PlacedPos(bool Vertical) const {
    if (Motion) return Vertical ? FilmY : FilmX;
    const int32_t pos = Vertical ? Top : Left;
    return PosZoomed ? Scaled(pos, Vertical ? GetZoomy() : GetZoomx()) : pos;
}

// The screen position of the anchored left (top) edge, placed at ParentAt on the parent. Second
// (with ParentAt 0) leaves out the parent and anchors a flipped control one pixel further.
int32_t TVelaControl::Origin(bool Vertical, bool Second, int32_t ParentAt) const {
    const int32_t zoom = Vertical ? GetZoomy() : GetZoomx();
    const int32_t pos = Vertical ? Top : Left;
    const int32_t offset = Vertical ? OffsetY : OffsetX;
    const int32_t size = Vertical ? Height : Width;
    const int32_t plus = Vertical ? PlusY : PlusX;
    const bool flip = Vertical ? GetFlipv() : GetFliph();

    // The surfaces are looked up only for a zoomed placement inside a parent.
    const bool inParent = !Second && PosZoomed && !Motion && Parent && Parent->GetBase() != Parent &&
                          zoom == (Vertical ? Parent->GetZoomy() : Parent->GetZoomx());
    TCustomDIBX* own = inParent ? const_cast<TVelaControl*>(this)->GetSurface() : nullptr;
    TCustomDIBX* parentSurface = own ? Parent->GetSurface() : nullptr;
    if (parentSurface) {
        // Placed inside the parent's own picture, which is shown scaled to the parent's size.
        const int32_t parentExtent = Vertical ? Parent->GetHeight() : Parent->GetWidth();
        const int32_t surfaceExtent = Vertical ? parentSurface->GetHeight() : parentSurface->GetWidth();
        const int32_t ownExtent = Vertical ? own->GetHeight() : own->GetWidth();
        const int64_t scale =
            parentExtent != 0 ? std::max<int64_t>(1, std::llround(double(surfaceExtent) / parentExtent * 65536)) : 1;
        int64_t d = pos - offset;
        if (flip) d = surfaceExtent - d - ownExtent;
        const int64_t scaled = d * 65536;
        int64_t q = scaled / scale, r = scaled % scale;
        if (r < 0) {
            --q;
            r += scale;
        }
        if (r > 32767) ++q;
        return static_cast<int32_t>(q) + ParentAt + plus;
    }
    int32_t anchor = Scaled(offset, zoom);
    if (flip) anchor = size - (Second ? 0 : 1) - anchor;
    return PlacedPos(Vertical) + ParentAt - anchor + plus;
}

TPoint TVelaControl::ParentOrigin() const {
    if (!Parent) return {0, 0};
    const TPoint at = Parent->GetOrigin();
    return {at.X - Parent->GetScrollx(), at.Y - Parent->GetScrolly()};
}

TPoint TVelaControl::GetOrigin() const {
    if (HeldOrigin) return *HeldOrigin;
    const TPoint parent = ParentOrigin();
    return {Origin(false, false, parent.X), Origin(true, false, parent.Y)};
}

TPoint TVelaControl::GetScreenPos() const {
    const TPoint parent = ParentOrigin();
    return {PlacedPos(false) + parent.X + PlusX, PlacedPos(true) + parent.Y + PlusY};
}

TPoint TVelaControl::ClientToScreen(TPoint P) const {
    const TPoint at = GetOrigin();
    return {P.X + at.X, P.Y + at.Y};
}

TPoint TVelaControl::ScreenToClient(TPoint P) const {
    const TPoint at = GetOrigin();
    return {P.X - at.X, P.Y - at.Y};
}

bool TVelaControl::GetClipArea(TRect& R) const {
    if (ClipWidth <= 0 || ClipHeight <= 0) return false;
    const TPoint at = GetOrigin();
    const int32_t x = at.X + ClipLeft, y = at.Y + ClipTop;
    R = {x, y, x + ClipWidth, y + ClipHeight};
    return true;
}

void TVelaControl::Invalidate() {
    if (Visible && !LayerWhollyDirty()) InvalidateArea(GetBoundsRect());
}

bool TVelaControl::LayerWhollyDirty() {
    const TVelaBase* layer = GetBase();
    return layer && layer->WhollyDirty();
}

void TVelaControl::InvalidateArea(TRect R) {
    TVelaBase* layer = GetBase();
    if (!layer || (Parent && !Parent->IntersectsRect(R))) return;
    TRect clip;
    if (GetClipArea(clip)) {
        R = IntersectRects(R, clip);
        if (RectIsEmpty(R)) return;
    }
    AdjustDirtyRect(R);
    layer->AddDirtyRect(R);
}

void TVelaControl::Prepare() {
    // Nothing is drawn over a control without children or frame (the clip would only be set
    // back to what it is).
    if (Placed().empty() && !FrameFlag) return;
    TCustomDIBX* surface = GetLayerSurface();
    if (!surface) return;
    const TRect clip = surface->GetClipRect();
    const TRect bounds = GetBoundsRect();
    if (!RectsIntersect(bounds, clip)) return;
    const TRect inner = IntersectRects(bounds, clip);
    const TOriginHold hold(*this);
    const std::vector<TVelaControl*>& children = Placed();
    for (size_t i = 0; i < children.size(); ++i) {
        TVelaControl* child = children[i];
        PrefetchListed(children, i + WalkAhead);
        if (child->GetName().empty() || !child->GetVisible()) continue;
        TRect childClip;
        const bool clipped = child->GetClipArea(childClip);
        if (clipped && !RectsIntersect(childClip, inner)) continue;
        surface->ClearClipRect();
        surface->UnionClipRect(clipped ? IntersectRects(inner, childClip) : inner);
        child->Prepare();
        surface->ClearClipRect();
    }
    surface->ClearClipRect();
    surface->UnionClipRect(clip);
    if (FrameFlag && SelRectDIB && GetCompoType() != LT_VIDEO)
        surface->DrawWrapFrame(bounds, 2, *SelRectDIB, SelRectDIB->GetBoundsRect(), false, 0, 0);
}

TVelaObject* TVelaControl::HitTest(TPoint P, uint32_t Mask) {
    if (!Visible || !PointInRect(GetBoundsRect(), P.X, P.Y)) return nullptr;
    TVelaObject* hit = IgnoreMouse < 32 && (Mask >> IgnoreMouse & 1) ? this : nullptr;
    const TOriginHold hold(*this);
    for (size_t i = Placed().size(); i-- > 0;)
        if (TVelaObject* child = Placed()[i]->HitTest(P, Mask)) return child;
    return hit;
}

TVelaControl* TVelaControl::GetFocusTarget() {
    for (size_t i = Placed().size(); i-- > 0;)
        if (Placed()[i]->GetVisible())
            if (TVelaControl* target = Placed()[i]->GetFocusTarget()) return target;
    return GetHandlekey() && !GetPaused() ? this : nullptr;
}

// Up from C rather than down from here: a chain is at most MaxObjectDepth long.
bool TVelaControl::ContainsControl(const TVelaObject* C) const {
    for (const TVelaControl* up = C ? C->GetParent() : nullptr; up; up = up->Parent)
        if (up == this) return true;
    return false;
}

void TVelaControl::PlaceNativeControls() {
    for (TVelaControl* child : Placed()) child->PlaceNativeControls();
}

// ---- Button groups ----

void TVelaControl::UpdateGroup(const TVelaObject* Button, int32_t G) {
    if (G == 0) return;  // ungrouped buttons are no group
    std::vector<TVelaControl*> members;
    for (TVelaControl* child : Placed())
        if (child->GetGroupindex() == G) members.push_back(child);
    if (members.empty()) return;
    const TVelaObject* chosen = nullptr;
    if (Button && Button->GetSelected()) {
        chosen = Button;
    } else {
        auto selected = std::find_if(members.begin(), members.end(), [](auto* m) { return m->GetSelected(); });
        if (selected != members.end())
            chosen = *selected;
        else if (!Button || !Button->GetAllowallup())
            chosen = members.front();
    }
    for (TVelaControl* member : members)
        if (member->GetSelected() != (member == chosen)) member->SetSelectedQuiet(member == chosen);
}

void TVelaControl::SetGroupAllowAllUp(int32_t G, bool V) {
    if (G == 0) return;
    for (TVelaControl* child : Placed())
        if (child->GetGroupindex() == G) child->SetAllowAllUpQuiet(V);
}

void TVelaControl::SortControls() {
    CloseChildHoles();
    std::stable_sort(ChildList.begin(), ChildList.end(), ChildBefore);
    NumberChildren();
    Unplaced = 0;
    ChildrenSorted = true;
}

// The stable sort puts an appended child after every child it does not sort before.
void TVelaControl::InsertControl(TVelaControl* C) {
    if (!ChildrenSorted) {
        AddControl(C);
        SortControls();
        return;
    }
    C->ChildAt = ChildList.size();
    ChildList.push_back(C);
    ++Unplaced;
}

// Placed one by one, each would go after every child it does not sort before: the added ones in
// the order they came, after the placed children of equal keys, as the stable merge puts them.
const std::vector<TVelaControl*>& TVelaControl::Placed() const {
    CloseChildHoles();
    if (Unplaced > 0) {
        const auto added = ChildList.end() - std::ptrdiff_t(Unplaced);
        std::stable_sort(added, ChildList.end(), ChildBefore);
        std::inplace_merge(ChildList.begin(), added, ChildList.end(), ChildBefore);
        NumberChildren();
        Unplaced = 0;
    }
    return ChildList;
}

// Only that child can stand out of order, against either neighbour.
void TVelaControl::ChildOrderChanged(size_t At) {
    const std::vector<TVelaControl*>& children = Placed();
    if (!ChildrenSorted || At >= children.size()) return;
    const auto at = children.begin() + std::ptrdiff_t(At);
    ChildrenSorted = (at == children.begin() || !ChildBefore(*at, *(at - 1))) &&
                     (at + 1 == children.end() || !ChildBefore(*(at + 1), *at));
}

// The control record follows the base record; every field is written, the reader skips those
// its version predates. The saved children follow, each as its type code and its record.
void TVelaControl::SaveToStream(TStream& Stream) {
    TVelaComponent::SaveToStream(Stream);
    for (int32_t v : {Left, Top, Width, Height, OffsetX, OffsetY}) WriteStreamInt(Stream, v);
    WriteStreamByte(Stream, PosZoomed);
    for (int32_t v : {FilmX, FilmY, PlusX, PlusY, ClipLeft, ClipTop, ClipWidth, ClipHeight}) WriteStreamInt(Stream, v);
    WriteStreamByte(Stream, AniPaused);
    WriteStreamByte(Stream, Visible);
    WriteStreamInt(Stream, Color);
    for (int32_t v : {AreaRect.Left, AreaRect.Top, AreaRect.Right, AreaRect.Bottom}) WriteStreamInt(Stream, v);
    WriteStreamByte(Stream, IgnoreMouse);
    for (const std::string* s : {&Cursor, &Onmousemove, &Onmousein, &Onmouseout, &Onlbtndown, &Onlbtnup, &Onrbtndown,
                                 &Onrbtnup, &Onwheeldown, &Onwheelup})
        WriteStreamString(Stream, *s);
    WriteStreamByte(Stream, HandleKey);
    for (const std::string* s : {&Onkeydown, &Onkeyup, &Onkeyrepeat, &Onfocusin, &Onfocusout}) WriteStreamString(Stream, *s);

    std::vector<TVelaControl*> saved;
    for (TVelaControl* child : Placed())
        if (!child->IsDeleted() && child->GetCompoType() != LT_NONE && !IsSystemName(child->GetName()))
            saved.push_back(child);
    WriteStreamInt(Stream, static_cast<int32_t>(saved.size()));
    for (TVelaControl* child : saved) {
        WriteStreamByte(Stream, child->GetCompoType());
        child->SaveToStream(Stream);
    }
}

void TVelaControl::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaComponent::LoadFromStream(Stream, Version);
    for (int32_t* v : {&Left, &Top, &Width, &Height, &OffsetX, &OffsetY}) *v = ReadStreamInt(Stream);
    PosZoomed = ReadStreamByte(Stream) != 0;
    if (Version >= 130)
        for (int32_t* v : {&FilmX, &FilmY, &PlusX, &PlusY}) *v = ReadStreamInt(Stream);
    if (Version >= 104) {
        for (int32_t* v : {&ClipLeft, &ClipTop, &ClipWidth, &ClipHeight}) *v = ReadStreamInt(Stream);
        AniPaused = ReadStreamByte(Stream) != 0;
    }
    Visible = ReadStreamByte(Stream) != 0;
    Color = ReadStreamInt(Stream);
    for (int32_t* v : {&AreaRect.Left, &AreaRect.Top, &AreaRect.Right, &AreaRect.Bottom}) *v = ReadStreamInt(Stream);
    IgnoreMouse = ReadStreamByte(Stream);
    Cursor = ReadStreamString(Stream);
    Onmousemove = ReadStreamString(Stream);
    if (Version >= 102) Onmousein = ReadStreamString(Stream);
    for (std::string* s : {&Onmouseout, &Onlbtndown, &Onlbtnup, &Onrbtndown, &Onrbtnup, &Onwheeldown, &Onwheelup})
        *s = ReadStreamString(Stream);
    if (Version >= 118) {
        HandleKey = ReadStreamByte(Stream) != 0;
        for (std::string* s : {&Onkeydown, &Onkeyup, &Onkeyrepeat, &Onfocusin, &Onfocusout}) *s = ReadStreamString(Stream);
    }

    const int32_t count = ReadStreamCount(Stream, 1);
    if (count > 0 && Depth >= MaxObjectDepth) throw EReadError();  // nested deeper than a scene can be
    for (int32_t i = 0; i < count; ++i) {
        auto* child = dynamic_cast<TVelaControl*>(Owner ? Owner->CreateObject(ReadStreamByte(Stream)) : nullptr);
        if (!child) throw EReadError();  // no such kind, or not a control: the rest cannot be read
        child->SetParent(this);
        child->LoadFromStream(Stream, Version);
        // System objects are never stored: one read back would be shown but never saved again.
        if (IsSystemName(child->GetName())) throw EReadError();
    }
    SortControls();
}
