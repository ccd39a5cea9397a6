// Controls: the rectangle on a layer, its dirty-rectangle bookkeeping, its children in drawing
// order, drawing, hit testing and the control record.
#include "objects/vitems.h"
#include "objects/vitems_kinds.h"

#include "core/sysutils.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <span>
#include <unordered_map>
#include <utility>

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

// Whether Ghost (what a ghost's GetBlurImageSource answers) names B.
bool IsGhostOf(const TObjectRef* Ghost, const TVelaControl* B) {
    return Ghost && Ghost->Object == B && Ghost->Serial == B->GetSerial();
}

}  // namespace

// The name's first eight bytes as one big-endian number, zero bytes past its end: two numbers that
// differ order their names as the names compare.
TVelaControl::TOrderKey TVelaControl::KeyOf(const TVelaControl* C) {
    const std::string& name = C->GetName();
    uint64_t head = 0;
    if (name.size() >= sizeof head)
        std::memcpy(&head, name.data(), sizeof head);
    else
        for (size_t i = 0; i < name.size(); ++i) head |= uint64_t(uint8_t(name[i])) << (8 * i);
    uint8_t rank = RankOrdinary;
    if (IsSystemName(name)) rank = name.size() == 2 && name[1] == SystemNameMark ? RankLast : RankSystem;
    return {__builtin_bswap64(head), OrderOf(C), rank, C->GetBlurImageSource() != nullptr};
}

// Image ghosts: fainter first among themselves, each just before its image. Then system objects,
// the object named 0x01 0x01 last of all; then by order key and by name.
bool TVelaControl::KeysBefore(const TOrderKey& KeyA, const TOrderKey& KeyB, const TVelaControl* A,
                              const TVelaControl* B) {
    if (KeyA.Ghost || KeyB.Ghost) {
        const TObjectRef* ghostOfA = A->GetBlurImageSource();
        const TObjectRef* ghostOfB = B->GetBlurImageSource();
        if (ghostOfA && ghostOfB) return A->GetAlpha() % 256 < B->GetAlpha() % 256;
        if (IsGhostOf(ghostOfA, B)) return true;
        if (IsGhostOf(ghostOfB, A)) return false;
    }
    if (KeyA.Rank != KeyB.Rank) return KeyA.Rank < KeyB.Rank;
    if (KeyA.Rank == RankLast) return false;
    if (KeyA.Order != KeyB.Order) return KeyA.Order < KeyB.Order;
    if (KeyA.NameHead != KeyB.NameHead) return KeyA.NameHead < KeyB.NameHead;
    return A->GetName() < B->GetName();
}

bool TVelaControl::ChildBefore(const TVelaControl* A, const TVelaControl* B) {
    return A != B && KeysBefore(KeyOf(A), KeyOf(B), A, B);
}

const std::vector<TVelaControl*> TVelaControl::NoChildren;

void TVelaControl::StoreKey(const TVelaControl* C) const { Children->Keys[C->ChildAt] = KeyOf(C); }

void TVelaControl::KeyRoom() const { Children->Keys.resize(Children->List.End()); }

TVelaControl::TChildren& TVelaControl::KeptChildren() {
    if (!Children) Children = std::make_unique<TChildren>();
    return *Children;
}

std::span<TVelaControl* const> TVelaControl::ChildSlots() const {
    if (!Children) return {};
    return {Children->List.begin(), Children->List.end()};
}

int TVelaControl::GetControlCount() const { return Children ? static_cast<int>(Children->List.Count()) : 0; }

EObjectDepthError::EObjectDepthError()
    : EVelaError(Format("オブジェクトの親子が深すぎます（%d段まで）", MaxObjectDepth)) {}

TVelaControl::TVelaControl(TVelaBaseList* AOwner, bool UniqueName) : TVelaComponent(AOwner, UniqueName) {
    if (Owner && !Owner->GetFocus()) Owner->RequestFocusUpdate();
}

TVelaControl::~TVelaControl() {
    Motion.reset();  // resets the film position while the control is whole
    if (Children)
        while (!Children->List.Empty()) delete Children->List.Back();  // each takes itself off the list
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

TVelaControl::THandlers& TVelaControl::KeptHandlers() {
    if (!Handlers) Handlers = std::make_unique<THandlers>();
    return *Handlers;
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
        for (const TVelaControl* child : control->ChildSlots())
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
        for (TVelaControl* child : control->ChildSlots())
            if (child) pending.push_back(child);
    }
}

void TVelaControl::ForgetLayer() {
    std::vector<TVelaControl*> pending{this};
    while (!pending.empty()) {
        TVelaControl* control = pending.back();
        pending.pop_back();
        if (control != this) control->Layer = nullptr;
        for (TVelaControl* child : control->ChildSlots())
            if (child) pending.push_back(child);
    }
}

TVelaControl* TVelaControl::GetControl(int Index) const {
    return Index >= 0 && Index < GetControlCount() ? Placed()[size_t(Index)] : nullptr;
}

bool TVelaControl::IsPlaced(const TVelaControl* C) const {
    return Children && C->ChildAt < std::min(Children->UnplacedFrom, Children->List.End()) &&
           Children->List[C->ChildAt] == C;
}

// Only controls have a parent, so C is one.
size_t TVelaControl::SortedPlace(const TVelaObject* C) const {
    const auto* child = static_cast<const TVelaControl*>(C);
    return ChildrenSorted && IsPlaced(child) ? child->ChildAt : NoPlace;
}

// A child removed from anywhere leaves a hole, in the unplaced tail as among the others.
void TVelaControl::RemoveControl(TVelaControl* C) {
    if (!Children || C->ChildAt >= Children->List.End() || Children->List[C->ChildAt] != C) return;
    if (Children->Misplaced == C) Children->Misplaced = nullptr;
    Children->List.Take(C->ChildAt);
    Children->UnplacedFrom = std::min(Children->UnplacedFrom, Children->List.End());
    ChildOrderMoved();
}

void TVelaControl::CloseChildHoles() const {
    if (!Children || Children->List.Closed()) return;
    TChildren& children = *Children;
    size_t placed = 0;
    // A child before the first hole keeps its place: it is not written to.
    children.List.Close([&](TVelaControl* C, size_t From, size_t To) {
        if (From != To) {
            C->ChildAt = To;
            if (From < children.UnplacedFrom) children.Keys[To] = children.Keys[From];
        }
        if (From < children.UnplacedFrom) placed = To + 1;
    });
    children.UnplacedFrom = placed;
}

void TVelaControl::NumberChildren(size_t From) const {
    TChildren& children = *Children;
    for (size_t i = From; i < children.List.End(); ++i) {
        children.List[i]->ChildAt = i;
        children.Keys[i] = KeyOf(children.List[i]);
    }
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

void TVelaControl::SetPosition(int32_t ALeft, int32_t ATop) {
    if (ALeft != Left) {
        Left = ALeft;
        FilmX = 0;
    }
    if (ATop != Top) {
        Top = ATop;
        FilmY = 0;
    }
}

void TVelaControl::MoveTo(int32_t ALeft, int32_t ATop) {
    if (ALeft != Left || ATop != Top) {
        Invalidate();
        SetPosition(ALeft, ATop);
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
// Inline in the callers below (all in this file); the rare placement inside the parent's own
// picture is a call apart, so that the common one is short.
[[gnu::always_inline]] inline int32_t TVelaControl::Origin(bool Vertical, bool Second, int32_t ParentAt) const {
    const int32_t zoom = Vertical ? GetZoomy() : GetZoomx();
    const int32_t offset = Vertical ? OffsetY : OffsetX;
    const int32_t plus = Vertical ? PlusY : PlusX;
    const bool flip = Vertical ? GetFlipv() : GetFliph();
    // The surfaces are looked up only for a zoomed placement inside a parent.
    if (!Second && PosZoomed && !Motion && Parent && Parent->GetBase() != Parent &&
        zoom == (Vertical ? Parent->GetZoomy() : Parent->GetZoomx()))
        if (const std::optional<int32_t> at = OriginInParentSurface(Vertical, flip)) return *at + ParentAt + plus;
    int32_t anchor = Scaled(offset, zoom);
    if (flip) anchor = (Vertical ? Height : Width) - (Second ? 0 : 1) - anchor;
    return PlacedPos(Vertical) + ParentAt - anchor + plus;
}

std::optional<int32_t> TVelaControl::OriginInParentSurface(bool Vertical, bool Flip) const {
    TCustomDIBX* own = const_cast<TVelaControl*>(this)->GetSurface();
    TCustomDIBX* parentSurface = own ? Parent->GetSurface() : nullptr;
    if (!parentSurface) return std::nullopt;
    // Placed inside the parent's own picture, which is shown scaled to the parent's size.
    const int32_t parentExtent = Vertical ? Parent->GetHeight() : Parent->GetWidth();
    const int32_t surfaceExtent = Vertical ? parentSurface->GetHeight() : parentSurface->GetWidth();
    const int32_t ownExtent = Vertical ? own->GetHeight() : own->GetWidth();
    const int64_t scale =
        parentExtent != 0 ? std::max<int64_t>(1, std::llround(double(surfaceExtent) / parentExtent * 65536)) : 1;
    int64_t d = (Vertical ? Top : Left) - (Vertical ? OffsetY : OffsetX);
    if (Flip) d = surfaceExtent - d - ownExtent;
    const int64_t scaled = d * 65536;
    int64_t q = scaled / scale, r = scaled % scale;
    if (r < 0) {
        --q;
        r += scale;
    }
    if (r > 32767) ++q;
    return static_cast<int32_t>(q);
}

TPoint TVelaControl::ParentOrigin() const {
    if (!Parent) return {0, 0};
    if (Parent->Hold) return Parent->Hold->ChildrenAt;
    const TPoint at = Parent->GetOrigin();
    return {at.X - Parent->GetScrollx(), at.Y - Parent->GetScrolly()};
}

TPoint TVelaControl::GetOrigin() const {
    if (Hold) return Hold->Origin;
    const TPoint parent = ParentOrigin();
    return {Origin(false, false, parent.X), Origin(true, false, parent.Y)};
}

TPoint TVelaControl::UnscaledOrigin() const {
    if (!PlacedAtPosition()) return TVelaControl::GetOrigin();
    const TPoint parent = ParentOrigin();
    return {Left + parent.X - OffsetX + PlusX, Top + parent.Y - OffsetY + PlusY};
}

TCustomDIBX* TVelaControl::GetLayerSurface() {
    return Hold && Hold->Surface ? Hold->Surface : TVelaObject::GetLayerSurface();
}

int32_t TVelaControl::GetOriginX2() const { return Origin(false, true, 0); }
int32_t TVelaControl::GetOriginY2() const { return Origin(true, true, 0); }

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

void TVelaControl::InvalidateArea(TRect R) {
    TVelaBase* layer = GetBase();
    if (!layer) return;
    if (Parent) {
        // A parent walking its children (moving its particles) holds its bounds.
        if (Parent->Hold)
            R = IntersectRects(R, Parent->Hold->Bounds);
        else
            Parent->IntersectsRect(R);
        if (RectIsEmpty(R)) return;
    }
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
    const TOriginHold hold(*this, surface);
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

bool TVelaControl::TakesLeftPress() const {
    return (IgnoreMouse == IM_NONE || IgnoreMouse == IM_RCLICK) && !GetPaused();
}

void TVelaControl::AddTargetArea(const TPressTargetSink& Add, const TRect& R) {
    if (R.Right > R.Left && R.Bottom > R.Top) Add(R, {R.Left + (R.Right - R.Left) / 2, R.Top + (R.Bottom - R.Top) / 2});
}

void TVelaControl::AddPressTargets(const TPressTargetSink& Add) {
    if (GetBase() != this && TakesLeftPress() && (!GetOnlbtndown().empty() || !GetOnlbtnup().empty()))
        AddTargetArea(Add, GetBoundsRect());
}

void TVelaControl::ListPressTargets(const TPressTargetSink& Add) {
    if (!Visible || GetName().empty()) return;
    AddPressTargets(Add);
    const TOriginHold hold(*this);
    for (TVelaControl* child : Placed()) child->ListPressTargets(Add);
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

struct TVelaControl::TButtonGroups {
    struct TGroup {
        std::set<TVelaControl*> Selected;
        bool AllowAllUp = false;
        uint64_t Stamp = 0;  // when SetGroupAllowAllUp gave AllowAllUp; 0 never
        // The first member in drawing order as a walk found it, while the order is still Order.
        TVelaControl* First = nullptr;
        uint64_t FirstOrder = 0;
    };
    std::unordered_map<int32_t, TGroup> ByIndex;
    // Counts the changes of the children's order (additions, removals, moves).
    uint64_t Order = 0;
};

void TVelaControl::ChildOrderMoved() {
    if (Groups) ++Groups->Order;
}

// Every member has a place after First's, while the order stands (when every child is placed, so
// that places compare as drawing order does); First is the first member unless it left the group.
void TVelaControl::NoteMember(const TVelaObject* Button, int32_t G) {
    if (!Groups || !Button || Button->GetGroupindex() != G) return;
    const auto group = Groups->ByIndex.find(G);
    if (group == Groups->ByIndex.end() || !group->second.First || group->second.FirstOrder != Groups->Order) return;
    const size_t at = static_cast<const TVelaControl*>(Button)->ChildAt;  // only controls have a parent
    if (at < group->second.First->ChildAt) group->second.First = Children->List[at];
}

TVelaControl* TVelaControl::FirstMember(int32_t G) {
    if (Groups)
        if (const auto group = Groups->ByIndex.find(G); group != Groups->ByIndex.end()) {
            const TButtonGroups::TGroup& known = group->second;
            if (known.First && known.FirstOrder == Groups->Order && known.First->GetGroupindex() == G)
                return known.First;
        }
    for (TVelaControl* child : Placed())
        if (child->GetGroupindex() == G) {
            if (!Groups) Groups = std::make_unique<TButtonGroups>();
            TButtonGroups::TGroup& group = Groups->ByIndex[G];
            group.First = child;
            group.FirstOrder = Groups->Order;
            return child;
        }
    return nullptr;
}

uint64_t TVelaControl::NextGroupStamp() {
    static uint64_t Last = 0;
    return ++Last;
}

void TVelaControl::ListSelected(TVelaControl* Member, int32_t G, bool Selected) {
    if (!Groups) Groups = std::make_unique<TButtonGroups>();
    std::set<TVelaControl*>& selected = Groups->ByIndex[G].Selected;
    if (Selected)
        selected.insert(Member);
    else
        selected.erase(Member);
}

std::optional<bool> TVelaControl::GroupAllowAllUp(int32_t G, uint64_t Since) const {
    if (!Groups) return std::nullopt;
    const auto group = Groups->ByIndex.find(G);
    if (group == Groups->ByIndex.end() || group->second.Stamp <= Since) return std::nullopt;
    return group->second.AllowAllUp;
}

// The selected members are few (one but while UpdateGroup runs, or after selected buttons
// came from another parent); the first member is looked for only when none is selected. They are
// copied, as a deselected member leaves the set: a few without an allocation.
void TVelaControl::UpdateGroup(const TVelaObject* Button, int32_t G) {
    if (G == 0) return;
    NoteMember(Button, G);
    const std::set<TVelaControl*>* listed = nullptr;
    if (Groups)
        if (const auto group = Groups->ByIndex.find(G); group != Groups->ByIndex.end())
            listed = &group->second.Selected;
    const size_t count = listed ? listed->size() : 0;
    std::array<TVelaControl*, 4> few{};
    std::vector<TVelaControl*> many;
    if (count > few.size())
        many.assign(listed->begin(), listed->end());
    else if (count)
        std::copy(listed->begin(), listed->end(), few.begin());
    const std::span<TVelaControl* const> selected =
        count > few.size() ? std::span(many) : std::span(few.data(), count);
    const TVelaObject* chosen = nullptr;
    if (Button && Button->GetSelected()) {
        chosen = Button;
    } else if (!selected.empty()) {
        if (selected.size() > 1) Placed();  // the places of the children in drawing order
        chosen = *std::min_element(selected.begin(), selected.end(),
                                   [](const TVelaControl* A, const TVelaControl* B) { return A->ChildAt < B->ChildAt; });
    } else if (!Button || !Button->GetAllowallup()) {
        if (TVelaControl* first = FirstMember(G)) first->SetSelectedQuiet(true);
        return;
    }
    for (TVelaControl* member : selected)
        if (member != chosen) member->SetSelectedQuiet(false);
}

void TVelaControl::SetGroupAllowAllUp(int32_t G, bool V) {
    if (G == 0) return;
    if (!Groups) Groups = std::make_unique<TButtonGroups>();
    TButtonGroups::TGroup& group = Groups->ByIndex[G];
    group.AllowAllUp = V;
    group.Stamp = NextGroupStamp();
}

// Children already in order, as a film's tick finds them when nothing changed their keys, are
// only looked over: the sort would leave them as they are.
void TVelaControl::SortControls() {
    if (Children) {
        TChildren& children = *Children;
        CloseChildHoles();
        KeyRoom();
        if (std::is_sorted(children.List.begin(), children.List.end(), ChildBefore)) {
            for (size_t i = 0; i < children.List.End(); ++i) children.Keys[i] = KeyOf(children.List[i]);
        } else {
            std::stable_sort(children.List.begin(), children.List.end(), ChildBefore);
            NumberChildren();
        }
        children.UnplacedFrom = children.List.End();
        children.Misplaced = nullptr;
        ChildOrderMoved();
    }
    ChildrenSorted = true;
}

// The stable sort puts an appended child after every child it does not sort before; a child a
// rename left out of order goes to the unplaced tail too (see ChildPriorityChanged).
void TVelaControl::InsertControl(TVelaControl* C) {
    TChildren& children = KeptChildren();
    if (!ChildrenSorted) {
        C->ChildAt = children.List.Push(C);
        SortControls();
        return;
    }
    if (TVelaControl* misplaced = std::exchange(children.Misplaced, nullptr)) Unplace(misplaced);
    if (children.List.Sparse()) CloseChildHoles();
    C->ChildAt = children.List.Push(C);
    ChildOrderMoved();
}

void TVelaControl::Unplace(TVelaControl* C) {
    TChildren& children = *Children;
    children.List.Take(C->ChildAt);
    children.UnplacedFrom = std::min(children.UnplacedFrom, children.List.End());
    if (children.List.Sparse()) CloseChildHoles();
    C->ChildAt = children.List.Push(C);
    ChildOrderMoved();
}

// Gives a control (when there is one) the name Other holds while it lives, and back.
class TVelaControl::TNameSwap {
public:
    TNameSwap(TVelaControl* AControl, std::string& AOther) : Control(AControl), Other(AOther) { Swap(); }
    // The key numbered while the names were swapped is the other name's.
    ~TNameSwap() {
        Swap();
        if (Control) Control->Parent->StoreKey(Control);
    }
    TNameSwap(const TNameSwap&) = delete;
    TNameSwap& operator=(const TNameSwap&) = delete;

private:
    void Swap() {
        if (Control) std::swap(Control->Name, Other);
    }
    TVelaControl* Control;
    std::string& Other;
};

// Placed one by one, each would go after every child it does not sort before: the added ones in
// the order they came, after the placed children of equal keys, as a stable merge puts them.
// Each added child, the last first, is found its place among those in order by a binary search,
// the children after it moving up: a few children added to many (particles spawned among
// hundreds) take a few comparisons each, and the children before the first place taken are
// neither compared nor renumbered.
void TVelaControl::PlaceChildren() const {
    TChildren& children = *Children;
    CloseChildHoles();
    if (children.UnplacedFrom >= children.List.End()) return;
    KeyRoom();
    const TNameSwap inOrder(children.Misplaced, children.MisplacedName);
    const auto first = children.List.begin(), added = first + std::ptrdiff_t(children.UnplacedFrom);
    std::stable_sort(added, children.List.end(), ChildBefore);
    const std::vector<TVelaControl*> coming(added, children.List.end());
    auto placedEnd = added, to = children.List.end();
    for (auto child = coming.rbegin(); child != coming.rend(); ++child) {
        const auto at = std::upper_bound(first, placedEnd, *child, ChildBefore);
        to = std::move_backward(at, placedEnd, to);
        *--to = *child;
        placedEnd = at;
    }
    NumberChildren(size_t(placedEnd - first));
    children.UnplacedFrom = children.List.End();
}

bool TVelaControl::InOrderAt(size_t At) const {
    const TChildren& children = *Children;
    size_t before = children.List.Previous(At);
    if (before != NoPlace && children.List[before] == children.Misplaced) before = children.List.Previous(before);
    size_t after = children.List.Next(At);
    if (after != NoPlace && children.List[after] == children.Misplaced) after = children.List.Next(after);
    return (before == NoPlace || !PlacedBefore(At, before)) &&
           (after == NoPlace || after >= children.UnplacedFrom || !PlacedBefore(after, At));
}

// Only that child can stand out of order, against the children in order beside it. A second
// child out of order leaves the order to the next sort, with no child waiting to be placed.
void TVelaControl::ChildOrderChanged(size_t At, std::string OldName) {
    if (!ChildrenSorted || At == NoPlace) return;
    TChildren& children = *Children;
    TVelaControl* child = children.List[At];
    StoreKey(child);
    if (InOrderAt(At)) {
        if (children.Misplaced == child) children.Misplaced = nullptr;
    } else if (!children.Misplaced) {
        children.Misplaced = child;
        children.MisplacedName = std::move(OldName);
    } else if (children.Misplaced != child) {
        // The children added meanwhile take their places first, at the names both had in order.
        {
            const TNameSwap inOrder(child, OldName);
            Placed();
        }
        ChildrenSorted = false;
        children.Misplaced = nullptr;
    }
}

// A child still in order with its neighbours stays; one out of order waits in the unplaced tail.
// The merge puts it after the children of equal keys, where the sort puts it unless those stood
// after it (equal keys need equal names: deleted children, system objects).
void TVelaControl::ChildPriorityChanged(TVelaObject* C) {
    if (!ChildrenSorted) {
        SortControls();
        return;
    }
    if (!Children) return;  // the child's place was refused it (no memory for the list)
    auto* child = static_cast<TVelaControl*>(C);  // only controls have a parent
    TChildren& children = *Children;
    if (TVelaControl* misplaced = std::exchange(children.Misplaced, nullptr); misplaced && misplaced != child)
        Unplace(misplaced);
    if (!IsPlaced(child)) return;
    children.Keys[child->ChildAt].Order = OrderOf(child);  // the rest of its key stands
    if (!InOrderAt(child->ChildAt)) Unplace(child);
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
    static const THandlers None;
    const THandlers& h = Handlers ? *Handlers : None;
    WriteStreamString(Stream, h.Cursor);
    for (const std::string* s : {&h.Onmousemove, &h.Onmousein, &h.Onmouseout, &h.Onlbtndown, &h.Onlbtnup, &h.Onrbtndown,
                                 &h.Onrbtnup, &h.Onwheeldown, &h.Onwheelup})
        WriteStreamString(Stream, *s);
    WriteStreamByte(Stream, HandleKey);
    for (const std::string* s : {&h.Onkeydown, &h.Onkeyup, &h.Onkeyrepeat, &h.Onfocusin, &h.Onfocusout})
        WriteStreamString(Stream, *s);

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
    THandlers h = Handlers ? *Handlers : THandlers{};
    h.Cursor = ReadStreamString(Stream);
    h.Onmousemove = ReadStreamString(Stream);
    if (Version >= 102) h.Onmousein = ReadStreamString(Stream);
    for (std::string* s : {&h.Onmouseout, &h.Onlbtndown, &h.Onlbtnup, &h.Onrbtndown, &h.Onrbtnup, &h.Onwheeldown,
                           &h.Onwheelup})
        *s = ReadStreamString(Stream);
    if (Version >= 118) {
        HandleKey = ReadStreamByte(Stream) != 0;
        for (std::string* s : {&h.Onkeydown, &h.Onkeyup, &h.Onkeyrepeat, &h.Onfocusin, &h.Onfocusout})
            *s = ReadStreamString(Stream);
    }
    if (h.Unset())
        Handlers.reset();
    else
        KeptHandlers() = std::move(h);

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
