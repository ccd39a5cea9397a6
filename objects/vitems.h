#pragma once
// The scene: every script-visible object (TVelaObject), the objects with a rectangle on a screen
// layer (TVelaControl), the two layers (TVelaBase), the object root that owns them all
// (TVelaBaseList) and the queue of script events the objects raise (TTimerList).
//
// Ownership: the root frees the objects of its flat list; a control frees its children. Every
// object takes itself out of the root's lists when freed. An object that a script deletes loses
// its name at once and is freed at the end of the root's step, or as soon as the command that
// deleted it ends when nothing but the script has seen it (TVelaBaseList::FreeDeleted).
#include "core/header.h"
#include "core/holelist.h"
#include "core/stringlist.h"
#include "graphics/dibx.h"
#include "objects/nameindex.h"
#include "script/services.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class TVelaBaseList;
class TVelaControl;
class TVelaBase;
class TVelaMotion;
class TCustomWipe;

// The property accessors every object has, by value type: (accessor name, base answer). Each
// expands to a virtual getter Get<Name> and setter Set<Name>; kinds override what they keep.
#define VELA_INT_PROPS(X)                                                                                        \
    X(Ignoremouse, 0) X(Groupindex, 0) X(Left, 0) X(Top, 0) X(Width, 0) X(Height, 0) X(Zoomx, 256)             \
    X(Zoomy, 256) X(Offsetx, 0) X(Offsety, 0) X(Halign, 0) X(Distancex, 0) X(Distancey, 0) X(Clipheight, 0)    \
    X(Clipleft, 0) X(Cliptop, 0) X(Clipwidth, 0) X(Plusx, 0) X(Plusy, 0) X(Glyphheight, 0) X(Glyphwidth, 0)    \
    X(Fontheight, 0) X(Fontstyle, 0) X(Linespace, 0) X(Fontcolor, 0) X(Fontlinkcolor, 0)                       \
    X(Fonthovercolor, 0) X(Fontbordercolor, 0) X(Fontshadowcolor, 0) X(Fonthoverstyle, 0) X(Fontborder, 0)     \
    X(Fontshadow, 0) X(Fonthoverborder, 0) X(Fonthovershadow, 0) X(Fonthoverbordercolor, 0)                    \
    X(Fonthovershadowcolor, 0) X(Caretx, 0) X(Carety, 0) X(Caretheight, 0) X(Textdelay, 256) X(Imemode, 3)     \
    X(Borderwidth, 0) X(Bordercolor, -1) X(Marginx, 0) X(Marginy, 0) X(Color, 0xFFFFFF) X(Capmasklevel, 255)   \
    X(Alpha, 255) X(Brightness, 255) X(Blurdelay, 0) X(Blurspan, 0) X(Angle, 0) X(Orientation, 0) X(Delay, 0)  \
    X(Index, -1) X(Count, 0) X(Repeatpos, 0) X(Colcount, 0) X(Rowcount, 0) X(Power, 0) X(Duration, 0) X(Min, 0) \
    X(Max, 0) X(Value, 0) X(Smallchange, 1) X(Largechange, 1) X(Barsize, 0) X(Scrollx, 0) X(Scrolly, 0)        \
    X(Topindex, 0) X(Hovercolor, -1) X(Volume, 0) X(Balance, 0) X(Partmotion, 1) X(Amp, 0) X(Wavelen, 0)

#define VELA_BOOL_PROPS(X)                                                                                      \
    X(Autoscrap, false) X(Rclickscrap, false) X(Handlekey, false) X(Selected, false) X(Allowallup, false)      \
    X(Poszoomed, false) X(Antialias, false) X(Fontchangeabled, true) X(Textpaused, false) X(Readonly, false)   \
    X(Capturelink, false) X(Fliph, false) X(Flipv, false) X(Capturemask, false) X(Reverse, false)              \
    X(Repeat, false) X(Paused, false) X(Anipaused, false) X(Rewindonload, true) X(Muteonload, false)           \
    X(Overlay, true)

#define VELA_STR_PROPS(X)                                                                                       \
    X(Cursor) X(Onidle) X(Fontname) X(Text) X(Maptext) X(Source) X(Scrollsource) X(Checksource) X(Hoversource) \
    X(Pressedsource) X(Clickedsource) X(Mapsource) X(Thumbsource) X(Buttonsource) X(Onhold) X(Onrelease)      \
    X(Onnotify) X(Onmousemove) X(Onmousein) X(Onmouseout) X(Onlbtndown) X(Onlbtnup) X(Onrbtndown) X(Onrbtnup)  \
    X(Onwheeldown) X(Onwheelup) X(Onplaying) X(Onplaystart) X(Onplayend) X(Onlink) X(Onselect) X(Onopening)    \
    X(Onopened) X(Onclosing) X(Onclosed) X(Onmapin) X(Onmapout) X(Onkeydown) X(Onkeyrepeat) X(Onkeyup)        \
    X(Onfocusin) X(Onfocusout)

// Names beginning with this character belong to system objects (the layers among them): never
// saved, sorted first among siblings.
inline constexpr char SystemNameMark = '\x01';
inline bool IsSystemName(const std::string& Name) { return !Name.empty() && Name[0] == SystemNameMark; }

// How deep a tree of controls may nest: a child of a layer stands 1 deep, its children 2 deep,
// and so on. Every walk down or up a tree (drawing, hit tests, saving, loading, freeing) is
// bounded by it.
inline constexpr int32_t MaxObjectDepth = 256;

// A parent that would nest a control deeper than MaxObjectDepth.
class EObjectDepthError : public EVelaError {
public:
    EObjectDepthError();
};

// A walk over many objects (a tick's step, a layer's drawing) meets each one's memory cold: the
// walk asks for the object this many places ahead, so that the waits overlap.
inline constexpr size_t WalkAhead = 4;
// The bytes of an object a walk asks for: a control's fields and those of a picture kind lie within.
inline constexpr size_t WalkedBytes = 1024;
// Asks for the first WalkedBytes of the object at P.
inline void PrefetchObject(const void* P) {
    for (size_t at = 0; at < WalkedBytes; at += 64) __builtin_prefetch(static_cast<const char*>(P) + at);
}
// Asks for List[Index], when there is an object there.
template <class T>
void PrefetchListed(const std::vector<T*>& List, size_t Index) {
    if (Index < List.size() && List[Index]) PrefetchObject(List[Index]);
}

// ---- Scene objects ----

class TVelaObject {
public:
    // Registers the object with Owner (when given) and, when UniqueName, names it "object<n>".
    explicit TVelaObject(TVelaBaseList* AOwner, bool UniqueName = true);
    TVelaObject(const TVelaObject&) = delete;
    TVelaObject& operator=(const TVelaObject&) = delete;
    virtual ~TVelaObject();

    TVelaBaseList* GetOwner() const { return Owner; }
    // Never reused: a reference taken with Ref stays distinguishable from any later object.
    uint32_t GetSerial() const { return Serial; }
    TObjectRef Ref() { return {this, Serial}; }

    const std::string& GetName() const { return Name; }
    // Takes the name; another object of the root that has it is deleted.
    virtual void SetName(const std::string& S);
    const std::string& GetTag() const { return Tag; }
    void SetTag(const std::string& S) { Tag = S; }
    int32_t GetPriority() const { return Priority; }
    int32_t GetSubPriority() const { return SubPriority; }
    void SetPriority(int32_t P);
    // SetPriority without the parent's re-sort, for a parent that moves many children at once
    // and sorts them after.
    void StorePriority(int32_t P);
    void SetSubPriority(int32_t K);
    // Deferred deletion: the name goes at once, and with it the object's place in the picture (its
    // area is drawn again without it); the object goes at the end of the root's step, or sooner
    // through the root's FreeDeleted.
    void Delete();
    bool IsDeleted() const;

    // Identity and structure.
    virtual TCustomDIBX* GetLayerSurface();
    virtual uint8_t GetCompoType() const { return LT_NONE; }
    virtual bool GetVisible() const { return false; }
    virtual void SetVisible(bool) {}
    virtual TVelaControl* GetParent() const { return nullptr; }
    virtual void SetParent(TVelaControl*) {}
    virtual TVelaObject* GetObject(int Index) const;
    virtual int GetObjectCount() const;
    virtual TVelaControl* GetControl(int) const { return nullptr; }
    virtual int GetControlCount() const { return 0; }
    virtual TVelaBase* GetBase();
    virtual TStream* GetDataStream() { return nullptr; }
    // Whether the object is a component, what the root's name look-up finds (asked instead of
    // a cast, which costs a walk of the class tree at every look-up).
    virtual bool IsComponent() const { return false; }

    // Property accessors.
#define VELA_DECLARE_INT(N, D) \
    virtual int32_t Get##N() const { return D; } \
    virtual void Set##N(int32_t) {}
#define VELA_DECLARE_BOOL(N, D) \
    virtual bool Get##N() const { return D; } \
    virtual void Set##N(bool) {}
#define VELA_DECLARE_STR(N) \
    virtual std::string Get##N() const { return {}; } \
    virtual void Set##N(const std::string&) {}
    VELA_INT_PROPS(VELA_DECLARE_INT)
    VELA_BOOL_PROPS(VELA_DECLARE_BOOL)
    VELA_STR_PROPS(VELA_DECLARE_STR)
#undef VELA_DECLARE_INT
#undef VELA_DECLARE_BOOL
#undef VELA_DECLARE_STR
    virtual bool GetPlaying() const { return false; }
    // The unscaled size of kinds that keep one; the base answers the size and ignores writes.
    virtual int32_t GetOrigwidth() const { return GetWidth(); }
    virtual void SetOrigwidth(int32_t) {}
    virtual int32_t GetOrigheight() const { return GetHeight(); }
    virtual void SetOrigheight(int32_t) {}
    // The indexed pairs: top/centre/bottom, left/centre/right, the nine border pieces, three params.
    virtual int32_t GetBorderhalign(int) const { return 0; }
    virtual void SetBorderhalign(int, int32_t) {}
    virtual int32_t GetBordervalign(int) const { return 0; }
    virtual void SetBordervalign(int, int32_t) {}
    virtual std::string GetBordersource(int) const { return {}; }
    virtual void SetBordersource(int, const std::string&) {}
    virtual long double GetParam(int) const { return 0; }
    virtual void SetParam(int, long double) {}
    // Zoom as a factor (1.0 = 1:1) and the angle in radians, over the integer properties. A
    // value whose integer lies beyond the 64-bit range (or NaN) raises EParamError; else the
    // integer's low 32 bits are taken.
    virtual long double GetFloatzoomx() const;
    virtual void SetFloatzoomx(long double V);
    virtual long double GetFloatzoomy() const;
    virtual void SetFloatzoomy(long double V);
    virtual long double GetFloatangle() const;
    virtual void SetFloatangle(long double V);

    // Values no property id names.
    virtual bool GetControlFlag() const { return false; }
    virtual void SetControlFlag(bool) {}
    virtual TRect GetBoundsRect() const;
    virtual bool GetImageFlag() const { return false; }
    virtual void SetImageFlag(bool) {}
    virtual bool IsSelecting() const { return false; }
    // The screen position of the anchored top-left corner, both axes in one walk up the parents.
    virtual TPoint GetOrigin() const { return {GetLeft() - GetOffsetx(), GetTop() - GetOffsety()}; }
    int32_t GetOriginX() const { return GetOrigin().X; }
    int32_t GetOriginY() const { return GetOrigin().Y; }
    virtual int32_t GetOriginX2() const { return GetLeft() - GetOffsetx(); }
    virtual int32_t GetOriginY2() const { return GetTop() - GetOffsety(); }
    virtual TRect GetAreaRect() const { return {0, 0, 1, 1}; }
    virtual void SetAreaRect(const TRect&) {}
    virtual int32_t GetControlValue() const { return 0; }
    virtual void SetControlValue(int32_t) {}
    virtual int32_t GetControlValue2() const { return 0; }
    virtual void SetControlValue2(int32_t) {}
    virtual TPoint GetScreenPos() const { return {0, 0}; }
    virtual TPoint GetCaretPos() const { return {0, 0}; }
    virtual std::string GetPlainText() const { return GetText(); }
    virtual void AppendText(const std::string& S) { SetText(GetText() + S); }
    virtual TCustomDIBX* GetSurface() { return nullptr; }
    virtual void SetSurface(TCustomDIBX*) {}
    virtual TCustomDIBX* GetSourceSurface() { return nullptr; }
    virtual void SetSourceSurface(TCustomDIBX*) {}
    // Per-entry state of the kinds with entries: a list's check marks and entry texts, a
    // preview menu's enabled and visible flags, selection and group. The base answers as an
    // object without entries and ignores writes.
    virtual bool GetListValue(int32_t) const { return false; }
    virtual void SetListValue(int32_t, bool) {}
    virtual std::string GetItemText(int32_t) const { return {}; }
    // The first entry whose text is S (case-sensitive), -1 when none.
    virtual int32_t IndexOfItemText(const std::string&) const { return -1; }
    virtual bool GetPrevFlag1(int32_t) const { return true; }
    virtual void SetPrevFlag1(int32_t, bool) {}
    virtual bool GetPrevFlag2(int32_t) const { return true; }
    virtual void SetPrevFlag2(int32_t, bool) {}
    virtual bool GetPrevValue1(int32_t) const { return false; }
    virtual void SetPrevValue1(int32_t, bool) {}
    virtual int32_t GetPrevValue2(int32_t) const { return 0; }
    // The input-method state of a text-entry control; the base has none.
    virtual bool GetEditValue() const { return false; }
    virtual void SetEditValue(bool) {}
    virtual int32_t GetPlayState() const { return 2; }
    virtual void SetPlayState(int32_t) {}
    virtual bool GetBusy() const { return false; }
    // The fading ghost of a moving image answers the image it copies; others nullptr.
    virtual const TObjectRef* GetBlurImageSource() const { return nullptr; }

    // Life and drawing.
    virtual void Invalidate() {}
    virtual void Prepare() {}
    // The object hit at P (screen coordinates) under the IgnoreMouse mask, nullptr when none.
    virtual TVelaObject* HitTest(TPoint, uint32_t) { return nullptr; }
    // The places where a left press acts on the object (a button, the rows of a menu or list, the
    // areas of a map, the links of a message, a slider's knob), for choosing one without a mouse:
    // Add takes each one's area and the point in it for the pointer, in screen coordinates.
    using TPressTargetSink = std::function<void(const TRect& Area, TPoint At)>;
    virtual void AddPressTargets(const TPressTargetSink&) {}
    // The press targets of the object and of every shown control below it.
    virtual void ListPressTargets(const TPressTargetSink& Add) { AddPressTargets(Add); }
    // The per-tick step; true asks the root to free the object now.
    virtual bool Step() { return false; }

    // Persistence and tools.
    virtual void SaveToStream(TStream& Stream);
    virtual void LoadFromStream(TStream& Stream, int32_t Version);
    virtual TPoint ClientToScreen(TPoint P) const { return P; }
    virtual TPoint ScreenToClient(TPoint P) const { return P; }
    virtual void Play() {}
    // A right press anywhere on the layer offered to a registered selecting object (map images,
    // menus, preview menus) to cancel its selection; true when it took the press.
    virtual bool BeginSelect() { return false; }
    // R becomes its intersection with the bounds; true when that is not empty.
    virtual bool IntersectsRect(TRect& R) const;
    virtual void FreePrivateDIBs() {}
    virtual void MakePrivateDIBs() {}

    // Keyboard and focus.
    virtual TVelaControl* GetFocusTarget() { return nullptr; }
    virtual bool ContainsControl(const TVelaObject*) const { return false; }
    virtual void AdjustDirtyRect(TRect& R) const;
    virtual bool InCabinet() const { return false; }
    virtual std::string GetCurrentCursor() const { return GetCursor(); }
    virtual void FocusNativeControl() {}
    virtual void EnterCabinet() {}
    virtual void LeaveCabinet() {}
    // Visible and on the current layer of the player's root.
    virtual bool IsShown();
    virtual void PlaceNativeControls();
    // Draws what floats over the layer's objects (a text field) into the layer's surface.
    virtual void DrawNative() {}

    // Input, from the root's pointer step and key dispatch. The base queues the object's
    // handlers with the pointer position relative to the object's origin.
    virtual void DoLBtnDown() { PressButton(false); }
    virtual void DoLBtnUp() { ReleaseButton(false); }
    virtual void DoRBtnDown() { PressButton(true); }
    virtual void DoRBtnUp() { ReleaseButton(true); }
    virtual void DoMouseMove();
    virtual void DoMouseOut();
    virtual void DoMouseIn();
    virtual void DoMouseHold() {}
    // A group member's selection (with its look), set by the parent's group bookkeeping without
    // calling back.
    virtual void SetSelectedQuiet(bool) {}
    virtual void DoKeyDown() {}
    virtual void DoKeyUp() {}
    virtual void DoKeyPress() {}

protected:
    // The layer whose pointer this object answers to: its own, else the root's current one.
    TVelaBase* PointerLayer();
    // Queues Handler as an event of Kind when it is set; WithPos passes the pointer position.
    void RaiseEvent(const std::string& Handler, uint8_t Kind, bool WithPos);

private:
    friend class TVelaControl;   // renames the other holder of a name
    friend class TVelaBaseList;  // names its layers, keeps the name index
    friend struct TNameKey<TVelaObject>;  // the index's place of the object
    // Stores the name, keeping the owner's name index up to date.
    void Rename(std::string S);
    // The order keys first, in the cache line of the table of virtual functions that a change of
    // priority calls through.
    int32_t Priority = 0;
    int32_t SubPriority = 0;  // tie-breaker among equal priorities, set by film motions
    uint32_t Serial;
    bool Listed = false;  // in the owner's flat list
    bool Marked = false;  // marked for deletion

protected:
    TVelaBaseList* Owner;

private:
    size_t ListedAt = 0;       // the place in the owner's flat list, while listed
    uint32_t DeletedAt = 0;    // the place in the owner's deletion list, while marked
    uint32_t NameIndexAt = 0;  // kept by the owner's name index
    std::string Name;
    std::string Tag;

    void PressButton(bool Right);
    void ReleaseButton(bool Right);
};

// Every object the root lists; frees its pending events when it goes.
class TVelaComponent : public TVelaObject {
public:
    using TVelaObject::TVelaObject;
    ~TVelaComponent() override;
    bool IsComponent() const override { return true; }
};

// The handlers every control has, of the pointer, the keys and the focus.
#define VELA_CONTROL_HANDLERS(X)                                                                           \
    X(Onmousemove) X(Onmousein) X(Onmouseout) X(Onlbtndown) X(Onlbtnup) X(Onrbtndown) X(Onrbtnup) X(Onwheeldown) \
    X(Onwheelup) X(Onkeydown) X(Onkeyup) X(Onkeyrepeat) X(Onfocusin) X(Onfocusout)

// An object with a rectangle on a layer. Every change that moves or changes its look adds the
// old and the new screen rectangle to the layer's dirty list.
class TVelaControl : public TVelaComponent {
public:
    explicit TVelaControl(TVelaBaseList* AOwner, bool UniqueName = true);
    ~TVelaControl() override;

    void SetName(const std::string& S) override;
    bool GetVisible() const override { return Visible; }
    void SetVisible(bool V) override;
    TVelaControl* GetParent() const override { return Parent; }
    // Moves the control (with its children) under P; nullptr takes it out of its tree. Raises
    // EObjectDepthError when that would nest a control deeper than MaxObjectDepth.
    void SetParent(TVelaControl* P) override;
    // How deep the control stands in its tree: 0 for a layer and a control without a parent.
    int32_t GetDepth() const { return Depth; }
    TVelaBase* GetBase() override { return Layer; }
    TVelaControl* GetControl(int Index) const override;
    int GetControlCount() const override;

    int32_t GetLeft() const override { return Left; }
    void SetLeft(int32_t V) override;
    int32_t GetTop() const override { return Top; }
    void SetTop(int32_t V) override;
    int32_t GetWidth() const override { return Width; }
    void SetWidth(int32_t V) override;
    int32_t GetHeight() const override { return Height; }
    void SetHeight(int32_t V) override;
    int32_t GetOffsetx() const override { return OffsetX; }
    void SetOffsetx(int32_t V) override;
    int32_t GetOffsety() const override { return OffsetY; }
    void SetOffsety(int32_t V) override;
    bool GetPoszoomed() const override { return PosZoomed; }
    void SetPoszoomed(bool V) override;
    int32_t GetClipleft() const override { return ClipLeft; }
    void SetClipleft(int32_t V) override;
    int32_t GetCliptop() const override { return ClipTop; }
    void SetCliptop(int32_t V) override;
    int32_t GetClipwidth() const override { return ClipWidth; }
    void SetClipwidth(int32_t V) override;
    int32_t GetClipheight() const override { return ClipHeight; }
    void SetClipheight(int32_t V) override;
    int32_t GetControlValue() const override { return FilmX; }
    void SetControlValue(int32_t V) override;
    int32_t GetControlValue2() const override { return FilmY; }
    void SetControlValue2(int32_t V) override;
    int32_t GetPlusx() const override { return PlusX; }
    void SetPlusx(int32_t V) override;
    int32_t GetPlusy() const override { return PlusY; }
    void SetPlusy(int32_t V) override;
    int32_t GetColor() const override { return Color; }
    void SetColor(int32_t V) override;
    bool GetControlFlag() const override { return FrameFlag; }
    void SetControlFlag(bool V) override;
    int32_t GetIgnoremouse() const override { return IgnoreMouse; }
    void SetIgnoremouse(int32_t V) override { IgnoreMouse = static_cast<uint8_t>(V); }
    std::string GetCursor() const override { return Handlers ? Handlers->Cursor : std::string(); }
    void SetCursor(const std::string& S) override {
        if (Handlers || !S.empty()) KeptHandlers().Cursor = S;
    }
    bool GetAnipaused() const override;
    void SetAnipaused(bool V) override { AniPaused = V; }
    bool GetHandlekey() const override { return HandleKey; }
    void SetHandlekey(bool V) override;
    TRect GetAreaRect() const override { return AreaRect; }
    void SetAreaRect(const TRect& R) override { AreaRect = R; }
#define VELA_CONTROL_HANDLER(N) \
    std::string Get##N() const override { return Handlers ? Handlers->N : std::string(); } \
    void Set##N(const std::string& S) override { \
        if (Handlers || !S.empty()) KeptHandlers().N = S; \
    }
    VELA_CONTROL_HANDLERS(VELA_CONTROL_HANDLER)
#undef VELA_CONTROL_HANDLER

    TPoint GetOrigin() const override;
    // The surface held by a drawing walk over the children, else the parent's.
    TCustomDIBX* GetLayerSurface() override;
    int32_t GetOriginX2() const override;
    int32_t GetOriginY2() const override;
    TPoint GetScreenPos() const override;
    TPoint ClientToScreen(TPoint P) const override;
    TPoint ScreenToClient(TPoint P) const override;
    // The clip area in screen coordinates; false when the control has none.
    bool GetClipArea(TRect& R) const;
    // The clip rectangle in the control's own coordinates, through the four clip setters.
    void SetClipRect(const TRect& R);

    void Invalidate() override;
    void Prepare() override;
    TVelaObject* HitTest(TPoint P, uint32_t Mask) override;
    // A control that takes left presses and has a handler for them is one target, its bounds.
    void AddPressTargets(const TPressTargetSink& Add) override;
    // A shown, named control's own targets, then its children's.
    void ListPressTargets(const TPressTargetSink& Add) override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;
    TVelaControl* GetFocusTarget() override;
    bool ContainsControl(const TVelaObject* C) const override;
    bool InCabinet() const override { return InCabinetTree; }
    void PlaceNativeControls() override;
    void DoKeyDown() override;
    void DoKeyUp() override;
    void DoKeyPress() override;

    // Adds C where SortControls would put it. While the children are in order it is put there
    // when the order is next looked at, with every other child added meanwhile (one merge), so
    // that adding many children stays cheap.
    void InsertControl(TVelaControl* C);
    // The place of child C while it stands among the children in order; NoPlace when they are
    // not in order, or C waits for its place (or is no child).
    static constexpr size_t NoPlace = SIZE_MAX;
    size_t SortedPlace(const TVelaObject* C) const;
    // The child at At (from SortedPlace before the rename) was called OldName: a rename leaves
    // the child where it stands.
    void ChildOrderChanged(size_t At, std::string OldName);
    // The priority of child C changed: the children are put in order as SortControls puts them,
    // C (with a child a rename left out of order) when the order is next looked at.
    void ChildPriorityChanged(TVelaObject* C);
    void RemoveControl(TVelaControl* C);
    // Changes all four between two invalidations, when any differs.
    void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);
    // SetLeft and SetTop together, between one pair of invalidations.
    void MoveTo(int32_t ALeft, int32_t ATop);
    // Puts the children in drawing order: system objects first, then by priority, then by name.
    void SortControls();
    virtual void ClipChanged() {}

    // Button groups among the children (group 0 is no group). UpdateGroup keeps at most one
    // member of group G selected: Button when it is selected, else the first selected member,
    // else (when Button does not allow all up) the first member, in drawing order. The members
    // list themselves while selected (ListSelected), so that a change looks at the selected ones
    // only. SetGroupAllowAllUp gives every member of G the value: each takes it from the group
    // (GroupAllowAllUp) until it sets its own or leaves the group.
    void UpdateGroup(const TVelaObject* Button, int32_t G);
    void SetGroupAllowAllUp(int32_t G, bool V);
    void ListSelected(TVelaControl* Member, int32_t G, bool Selected);
    // The value SetGroupAllowAllUp last gave group G, when it did so after the stamp Since.
    std::optional<bool> GroupAllowAllUp(int32_t G, uint64_t Since) const;
    // A stamp later than every one handed out before.
    static uint64_t NextGroupStamp();

    // Film motion: the film that drives the control, none when no film is loaded. While a film
    // drives it the control is placed at the film position instead of Left and Top.
    TVelaMotion* GetMotion() const { return Motion.get(); }
    void LoadFilm(const std::string& FileName);
    void StartFilm();
    void FreeMotion();
    // A kind whose PR_SOURCE may name a film: a changed Source drops the film and loads a ".vmt"
    // one; PR_REPEAT set on a finished film starts it again.
    void SetFilmSource(std::string& Source, const std::string& S);
    void SetFilmRepeat(bool& Repeat, bool V);
    bool GetPlaying() const override;
    void MakePrivateDIBs() override;
    // Steps the film; at its end frees the control (AutoScrap) or queues OnPlayEnd.
    bool Step() override;

protected:
    // Adds R (on the layer), cut to the parent and the clip area, to the layer's dirty list.
    void InvalidateArea(TRect R);
    // The whole layer is dirty already, so an invalidation needs no area worked out.
    bool LayerWhollyDirty();
    // The parent's origin less its scroll, where the children are placed; (0, 0) without a parent.
    TPoint ParentOrigin() const;
    // Whether a left press can land on the control (its IgnoreMouse lets it through) and it
    // takes one now (not paused).
    bool TakesLeftPress() const;
    // Hands R to Add as a target with its centre, when R is not empty.
    static void AddTargetArea(const TPressTargetSink& Add, const TRect& R);
    // GetOrigin for a control its kind knows to be unzoomed and unmirrored: when placed at its
    // position, the position less the offset on the parent, with no virtual call.
    TPoint UnscaledOrigin() const;
    // Whether the origin follows Left and Top alone: no film, zoomed placement or hold places it.
    bool PlacedAtPosition() const { return !Hold && !PosZoomed && !Motion; }
    // Left and Top as MoveTo sets them, without its invalidations and placing.
    void SetPosition(int32_t ALeft, int32_t ATop);
    // While a control walks its children (drawing them, moving its particles) nothing moves or
    // resizes it: its origin, where its children are placed and its bounds are worked out once and
    // held for the children until the hold goes; a drawing walk holds the surface it draws into,
    // which the children ask for theirs. The control knows only where its hold is.
    class TOriginHold {
    public:
        explicit TOriginHold(TVelaControl& C, TCustomDIBX* ASurface = nullptr)
            : Origin(C.GetOrigin()), ChildrenAt{Origin.X - C.GetScrollx(), Origin.Y - C.GetScrolly()},
              Bounds(C.GetBoundsRect()), Surface(ASurface), Control(C), Outer(C.Hold) {
            C.Hold = this;
        }
        ~TOriginHold() { Control.Hold = Outer; }
        TOriginHold(const TOriginHold&) = delete;
        TOriginHold& operator=(const TOriginHold&) = delete;

        const TPoint Origin, ChildrenAt;
        const TRect Bounds;
        TCustomDIBX* const Surface;  // nullptr outside a drawing walk

    private:
        TVelaControl& Control;
        const TOriginHold* const Outer;
    };
    // Stores a changed value between the invalidations of the old and the new area.
    template <typename T>
    bool ChangeLook(T& Field, T Value) {
        if (Field == Value) return false;
        Invalidate();
        Field = Value;
        Invalidate();
        return true;
    }
    // The focus is dropped when this control or one of its children has it.
    void DropFocusInside();
    // The controls below answer no layer (as controls outside a tree do): the layer is going.
    void ForgetLayer();
    // The children in drawing order, without holes: those added since the order was last looked
    // at are put in their places first, all at once. Inline for the walks that ask it of every
    // control, most of which have no child.
    const std::vector<TVelaControl*>& Placed() const {
        if (!Children) return NoChildren;
        if (!Children->List.Closed() || Children->UnplacedFrom < Children->List.End()) PlaceChildren();
        return Children->List.AllSlots();
    }
    // As SortControls leaves them, but for Misplaced.
    bool ChildrenSorted = true;

private:
    // What the parent's walks and changes of its children read of each child, side by side, so
    // that they meet few of its cache lines. The control's place in its tree, kept by SetParent:
    // whether a cabinet holds it at any level, its depth and the layer at the top (nullptr when none).
    bool Visible = true;
    bool InCabinetTree = false;
    int32_t Depth = 0;
    mutable size_t ChildAt = 0;  // this control's place in its parent's list of children
    TVelaControl* Parent = nullptr;
    TVelaBase* Layer = nullptr;

    // What the drawing order compares of a child, kept by place beside the parent's list for the
    // children in order (up to date while ChildrenSorted; the room for them made before they are
    // sorted), so that a change of one child reads its neighbours' keys and not the neighbours.
    struct TOrderKey {
        uint64_t NameHead;  // the name's first eight bytes, big-endian, zero bytes after its end
        int32_t Order;      // the priority plus the second order key
        uint8_t Rank;       // one of the ranks below
        bool Ghost;         // an image ghost, placed by what it copies
    };
    static constexpr uint8_t RankSystem = 0, RankOrdinary = 1, RankLast = 2;
    // The button groups among the children, made when a group is first set or selected in.
    struct TButtonGroups;
    // The children, owned, made with the first: most controls have none, and one without keeps a
    // pointer only, so that it takes less memory to make, walk and free.
    struct TChildren {
        // In drawing order before UnplacedFrom; from there on those added by InsertControl (or
        // moved there by a change of priority) in the order they came, placed by Placed. A removed
        // child leaves a hole that the next look at the order closes; each child knows its place
        // (ChildAt).
        THoleList<TVelaControl*> List;
        size_t UnplacedFrom = 0;
        std::vector<TOrderKey> Keys;
        // The one child a rename left out of order while the others are in order, nullptr when
        // none, and the name it had while in order: children added meanwhile are put in their
        // places as if it still had that name (as they would have been put before the rename).
        TVelaControl* Misplaced = nullptr;
        std::string MisplacedName;
    };
    mutable std::unique_ptr<TChildren> Children;
    // The pointer's shape and the pointer, key and focus handlers, which most controls never set:
    // kept apart, made when the first is set, so that a control takes less memory to make, walk
    // and free. Beside the children, the film and the button groups, so that freeing a control
    // finds the four in one place.
    struct THandlers;
    std::unique_ptr<THandlers> Handlers;
    std::unique_ptr<TVelaMotion> Motion;
    std::unique_ptr<TButtonGroups> Groups;
    // The children, made when missing.
    TChildren& KeptChildren();
    // The slots of the children, holes among them; none without children.
    std::span<TVelaControl* const> ChildSlots() const;
    // Makes room for the keys of every place of the children.
    void KeyRoom() const;
    static TOrderKey KeyOf(const TVelaControl* C);
    static int32_t OrderOf(const TVelaControl* C) { return C->GetPriority() + C->GetSubPriority(); }
    // Whether child A (with key KeyA) is drawn before child B: the objects are read only for a
    // ghost or when the keys tie.
    static bool KeysBefore(const TOrderKey& KeyA, const TOrderKey& KeyB, const TVelaControl* A, const TVelaControl* B);
    // The drawing order of SortControls.
    static bool ChildBefore(const TVelaControl* A, const TVelaControl* B);
    // Whether the child at place A is drawn before the child at place B, by their kept keys.
    bool PlacedBefore(size_t A, size_t B) const {
        return KeysBefore(Children->Keys[A], Children->Keys[B], Children->List[A], Children->List[B]);
    }
    // Keeps the key of child C, which stands among the children in order, at its place.
    void StoreKey(const TVelaControl* C) const;
    // Closes the holes, keeping the order and the unplaced tail, and renumbers the children that
    // moved.
    void CloseChildHoles() const;
    // Closes the holes and merges the unplaced tail into the children in order.
    void PlaceChildren() const;
    // Gives every child from place From on its place and key after the list was reordered there.
    void NumberChildren(size_t From = 0) const;
    static const std::vector<TVelaControl*> NoChildren;
    // Whether child C stands among the children in order (not in the unplaced tail).
    bool IsPlaced(const TVelaControl* C) const;
    // Whether the child at place At is in order with the children in order beside it (the
    // misplaced one is passed over).
    bool InOrderAt(size_t At) const;
    // Moves child C to the end of the unplaced tail.
    void Unplace(TVelaControl* C);
    class TNameSwap;
    // The children were added, removed or moved: a first member found before may be first no more.
    void ChildOrderMoved();
    // Button, a member of group G (or not), takes the place of the first member known when it
    // stands before it.
    void NoteMember(const TVelaObject* Button, int32_t G);
    // The first member of group G in drawing order, nullptr when none: a walk of the children
    // once per change of their order, remembered until the next.
    TVelaControl* FirstMember(int32_t G);

protected:

private:
    // Left (Top) as placed on the parent: the film position while a film drives the control,
    // else scaled by the zoom when PosZoomed.
    int32_t PlacedPos(bool Vertical) const;
    // One axis of the origin, placed at ParentAt (from ParentOrigin) on the parent.
    int32_t Origin(bool Vertical, bool Second, int32_t ParentAt) const;
    // One axis of the origin inside the parent's own picture, less ParentAt and PlusX (PlusY);
    // none when the control or the parent has no picture.
    std::optional<int32_t> OriginInParentSurface(bool Vertical, bool Flip) const;
    // How many levels the control's children nest below it (0 without children).
    int32_t SubtreeHeight() const;
    // Takes the control's and its children's place in the tree (depth, layer, cabinet) from
    // their parents.
    void TakePlaces();

    int32_t Left = 0, Top = 0, Width = 0, Height = 0, OffsetX = 0, OffsetY = 0;
    int32_t Color = 0xFFFFFF;
    TRect AreaRect{0, 0, 1, 1};
    struct THandlers {
        std::string Cursor;
#define VELA_HANDLER_FIELD(N) std::string N;
        VELA_CONTROL_HANDLERS(VELA_HANDLER_FIELD)
#undef VELA_HANDLER_FIELD
        bool Unset() const {
#define VELA_HANDLER_UNSET(N) N.empty() &&
            return VELA_CONTROL_HANDLERS(VELA_HANDLER_UNSET) Cursor.empty();
#undef VELA_HANDLER_UNSET
        }
    };
    // The handlers, made when missing.
    THandlers& KeptHandlers();
    bool PosZoomed = false;
    bool FrameFlag = false;
    int32_t ClipLeft = 0, ClipTop = 0, ClipWidth = 0, ClipHeight = 0;
    int32_t FilmX = 0, FilmY = 0;
    int32_t PlusX = 0, PlusY = 0;
    bool AniPaused = false;
    bool HandleKey = false;
    uint8_t IgnoreMouse = IM_NONE;  // beside the flags, where it takes no padding of its own
    const TOriginHold* Hold = nullptr;  // while a walk over the children holds the origin
};

// One screen layer: a control with its dirty list, its drawing surface and the pointer state
// the window latches for it.
class TVelaBase final : public TVelaControl {
public:
    explicit TVelaBase(TVelaBaseList& AOwner);
    ~TVelaBase() override;

    TVelaBase* GetBase() override { return this; }
    TCustomDIBX* GetSurface() override;
    TCustomDIBX* GetLayerSurface() override { return GetSurface(); }
    void SetWidth(int32_t V) override;
    void SetHeight(int32_t V) override;
    void Prepare() override;
    void MakePrivateDIBs() override { SizeSurfaces(); }
    // The bare layer is entered on every pointer step (it never becomes the object under the
    // pointer): its entry is queued once while one is queued.
    void DoMouseIn() override;

    // Clamps R to the layer and adds it to the dirty list when it is not empty.
    void AddDirtyRect(const TRect& R);
    // The whole layer becomes dirty.
    void InvalidateAll() { AddDirtyRect({0, 0, GetWidth(), GetHeight()}); }
    // The dirty list holds a rectangle over the whole (non-empty) layer: every addition is lost in it.
    bool WhollyDirty() const;
    void SetMousePos(TPoint P);
    // The left (right) button is down and no object took its press.
    bool GetLeftClicked() const { return LeftHeld && !(Capture & CaptureLeft); }
    bool GetRightClicked() const { return RightHeld && !(Capture & CaptureRight); }
    // The pointer step of the tick: capture, hit test, cursor shape, buttons, wheel, exit and
    // entry.
    void UpdateMouse();
    static constexpr uint8_t CaptureLeft = 4, CaptureRight = 8;

    TClipList ClipList;
    TDIBX Surface;   // the layer's own picture when it is not drawn straight to the screen
    TDIBX Surface2;  // a spare memory surface of the same size

    // Pointer state, latched by the window and consumed by the pointer step.
    TPoint MousePos{0, 0};
    bool LeftLatch = false, LeftPressed = false, RightLatch = false, RightPressed = false;
    bool LeftHeld = false, RightHeld = false;
    bool Moved = false;
    uint8_t Capture = 0;
    TObjectRef MouseTarget;
    bool WheelDownLatch = false, WheelDown = false, WheelUpLatch = false, WheelUp = false;
    std::string CursorName;  // the cursor file last loaded for this layer

private:
    void SizeSurfaces();
    // Shows the cursor Target names, else the default cursor file of the script, else the
    // default cursor.
    void UpdateCursor(const TVelaObject& Target);
};

// Inline for the invalidations of every move, most of which come once the layer is wholly dirty.
inline bool TVelaBase::WhollyDirty() const {
    const TRect whole{0, 0, GetWidth(), GetHeight()};
    return !RectIsEmpty(whole) && ClipList.Covers(whole);
}

inline bool TVelaControl::LayerWhollyDirty() {
    const TVelaBase* layer = GetBase();
    return layer && layer->WhollyDirty();
}

// ---- The event queue ----

// Script events, first in first out. A record is pending (Level 0) until the runner takes it,
// setting the level of the record FirstPending hands out.
//
// The records are linked in queue order and, per sender, in a chain of their own, so that taking
// a record off, at the front or anywhere, and finding a sender's records never walk the queue.
class TTimerList {
public:
    explicit TTimerList(TVelaBaseList& AOwner) : Owner(AOwner) {}
    TTimerList(const TTimerList&) = delete;
    TTimerList& operator=(const TTimerList&) = delete;
    ~TTimerList() { Clear(); }

    int Count() const { return static_cast<int>(Size); }
    // Appends a pending record and answers its index. Raisers that queue a kind once per object
    // ask IsQueued first.
    int Add(TVelaObject* Sender, const std::string& Handler, const TArrayString* Args, uint8_t Kind);
    // The record at Index, in queue order (EListError outside the queue). A record reached for
    // writing may have its level set: the level clearing watches it.
    TTimerData* Items(int Index) { return &Watch(NodeAt(Index))->Record; }
    const TTimerData* Items(int Index) const { return &NodeAt(Index)->Record; }
    // Whether a record, pending or taken, of Sender and Kind is queued.
    bool IsQueued(const TVelaObject* Sender, uint8_t Kind) const;
    // The index of the first such record; -1 when none.
    int IndexOf(const TVelaObject* Sender, uint8_t Kind) const;
    TTimerData* FirstPending();
    // Removes the records taken at Level (taken levels start at 1); ClearTaken those of any level.
    void ClearLevel(int32_t Level);
    void ClearTaken();
    // Removes Obj's pending records; taken ones keep their sender.
    void RemoveObject(const TVelaObject* Obj);
    // Whether Obj has a pending record.
    bool HasPending(const TVelaObject& Obj) const;
    void Clear();

    void SaveToStream(TStream& Stream) const;
    void LoadFromStream(TStream& Stream, int32_t Version);

private:
    struct TNode {
        TTimerData Record;
        TNode *Prev = nullptr, *Next = nullptr;                  // in the queue
        TNode *PrevOfSender = nullptr, *NextOfSender = nullptr;  // among its sender's records
        uint64_t Key = 0;  // the sender's serial and the kind it is counted under
        bool Watched = false;
    };
    // The first and last record of one sender.
    struct TChain {
        TNode *First = nullptr, *Last = nullptr;
    };
    TNode* NodeAt(int Index) const;
    TNode* Watch(TNode* Node);
    // Appends Node, counting it under its sender and kind. An allocation refused on the way
    // leaves the queue as it was.
    void Append(std::unique_ptr<TNode> Node);
    // Unlinks and frees Node; the caller takes a watched node off Watched.
    void Unlink(TNode* Node);
    // Removes the watched records whose level Match accepts.
    template <class F>
    void RemoveWatched(F Match);

    TVelaBaseList& Owner;
    TNode *First = nullptr, *Last = nullptr;
    size_t Size = 0;
    // The records handed out for writing and those loaded taken: the only ones whose level may
    // not be 0, so that clearing a level looks at these and not at the whole queue.
    std::vector<TNode*> Watched;
    // How many records each sender (by serial) has of each kind, so that IsQueued, which every
    // object's step asks, answers without walking the queue. Counts that fall to 0 stay (the
    // same objects queue again next tick) until they outnumber the records.
    std::unordered_map<uint64_t, int32_t> Queued;
    // The records of each sender (by serial), present only while it has some.
    std::unordered_map<uint32_t, TChain> Senders;
    // The nodes in queue order for Items, made again after a change.
    mutable std::vector<TNode*> Indexed;
    mutable bool IndexStale = false;
};

// ---- The mouse cursor ----

// What the pointer step asks of the window: the cursor over the panel.
class TCursorHost {
public:
    virtual ~TCursorHost() = default;
    // Shows the cursor of the content file FileName; the default cursor when it cannot be read.
    virtual void LoadCursor(const std::string& FileName) = 0;
    // Shows the system's default cursor.
    virtual void DefaultCursor() = 0;
};

// ---- The object root ----

using TObjectFactory = TVelaObject* (*)(TVelaBaseList& Owner);
// Makes the kinds of the player creatable by type code.
void RegisterPlayerKinds();
// The first Prefix<n> (n = From, From + 1, ...) that no object of Root is called.
std::string MakeUniqueName(TVelaBaseList& Root, const std::string& Prefix, int32_t From = 0);
// Makes a kind creatable (tests register kinds of their own).
void RegisterObjectKind(uint8_t Code, TObjectFactory Factory);
// Whether objects of type Code (taken modulo 128) can be created.
bool ObjectKindExists(uint8_t Code);

// The objects that take part in the right-click selection (map images, menus, preview menus),
// in the order they registered; each takes itself off when freed.
class TVelaList {
public:
    // Appends Obj unless it is already listed.
    void AddOnce(TVelaObject* Obj);
    void Remove(const TVelaObject* Obj);
    int Count() const { return static_cast<int>(List.Count()); }
    TVelaObject* Items(int Index) const;

private:
    // Closes the holes removals left.
    void CloseHoles() const;
    // In registration order; a removal leaves a hole that the next look-up by index or a later
    // addition to a sparse list closes.
    mutable THoleList<TVelaObject*> List;
    // The place of each listed object in List.
    mutable std::unordered_map<const TVelaObject*, size_t> Places;
};

// The key state of the root for key codes 0..255, latched by the window and turned into
// events by the input step.
struct TKeyState {
    std::array<uint8_t, 256> Held{}, DownLatch{}, Pressed{}, RepeatNow{}, Repeated{};
    std::array<int32_t, 256> RepeatCountdown{};
    bool AnyDown = false, AnyUp = false, AnyRepeat = false;
    std::vector<int32_t> DownKeys, UpKeys, RepeatKeys;
};

class TVelaBaseList : public TVelaComponent {
public:
    TVelaBaseList();
    ~TVelaBaseList() override;

    TVelaBase* GetBase(int Index) const { return Layers[Index & 1].get(); }
    int32_t GetCurrentLayer() const { return CurrentLayer; }
    void SetCurrentLayer(int32_t Index) { CurrentLayer = Index & 1; }
    int32_t GetWidth() const override { return Width; }
    void SetWidth(int32_t V) override;
    int32_t GetHeight() const override { return Height; }
    void SetHeight(int32_t V) override;
    // Sets the colour of both layers.
    void SetColor(int32_t V) override;
    // The picture the current layer draws into: for the player's root the screen manager's
    // surface when there is one; for any other root (a cinema's) its own bitmap.
    TCustomDIBX* GetSurface() override;
    // Whether a scene of Width x Height fits that picture: scenes are saved at the size they
    // were shown at, so a larger one comes from a damaged record.
    bool FitsSurface(int32_t Width, int32_t Height);
    // Before a screen-mode switch every object and the image cache let go of the surfaces the
    // display holds, and the running transition goes; after it the root bitmap, the image cache (of the player's root), the layers
    // and every object make them again at the screen's depth, and both layers are drawn whole.
    void FreePrivateDIBs() override;
    void MakePrivateDIBs() override;
    // The image cache's mode; a change reloads the cache and redraws both layers.
    bool GetImageMode() const;
    void SetImageMode(bool Value);
    int32_t GetWipeType() const { return WipeType; }
    // The page flip: Layer becomes the current layer. Forced, or a wipe type not 0 while no
    // transition runs, drops the running transition, invalidates both layers and, for a wipe
    // type not 0, makes the transition from the picture shown (copied into the new current
    // layer's own surface) to the other layer's own surface, with Length and Reverse; the focus
    // goes when it lies on the other layer or nothing holds it. The wipe type is then kept and
    // the running transition's elapsed time set. Answers the transition made here (owned by the
    // root), else nullptr.
    virtual TCustomWipe* BeginTransition(int32_t Layer, uint8_t AWipeType, bool Reverse, bool Forced,
                                         int32_t Elapsed, int32_t Length);
    // The running transition's length; 0 without one. Its elapsed time (ignored without one).
    int32_t GetTransitionLength() const;
    void SetTransitionElapsed(int32_t T);

    // Look-ups by name: "" and 0x01 "BASE0"/"BASE1" name the layers (relative to the current
    // layer for FindObject, absolute for FindControl); deleted objects are never found.
    TVelaObject* FindObject(const std::string& AName) const;
    // The name under which FindObject finds Obj again: a layer by its place relative to the
    // current layer, and never by the empty name.
    std::string ReferenceName(const TVelaObject& Obj) const;
    TVelaControl* FindControl(const std::string& AName) const;
    // The first object of the flat list called AName that is not marked for deletion, through
    // the name index; nullptr when none. The empty name names no object.
    TVelaObject* ObjectNamed(const std::string& AName) const;
    // The flat-list index of ObjectNamed, -1 when none.
    int IndexOfName(const std::string& AName) const;
    // The flat-list index of Obj, -1 when it is not listed; Obj may be gone (only the address
    // is compared). A walk of the list: whether an object is listed is IsListed's question.
    int IndexOfObject(const TVelaObject* Obj) const;
    // Whether Ref names a layer or an object still in the flat list (address and serial).
    bool IsLive(const TObjectRef& Ref) const;
    // The same without the layers.
    bool IsListed(const TObjectRef& Ref) const;
    TVelaObject* GetObject(int Index) const override;
    int GetObjectCount() const override { return static_cast<int>(Objects.Count()); }
    // The object of type Code (taken modulo 128), owned by this root; nullptr for a code whose
    // kind does not exist. The caller sets the parent.
    TVelaObject* CreateObject(uint8_t Code);
    // Adds the names of Parent's children (of every object when Parent is the root), only those
    // of type Code unless it is 0; Recurse descends and adds each name once. Answers the count.
    int GetObjectNames(TStringList& List, const TVelaObject* Parent, uint8_t Code, bool Recurse) const;

    void AddObject(TVelaObject* Obj);
    void RemoveObject(TVelaObject* Obj);
    // Marks Obj, which has lost its name, for deletion.
    void MarkDeleted(TVelaObject* Obj);
    bool IsMarkedDeleted(const TVelaObject* Obj) const { return Obj->Marked; }
    void RemoveFromDeleted(TVelaObject* Obj);
    // Frees the objects marked since the last call that nothing but the script has seen: made
    // since the root's last step or input step, with no event of theirs (or of what they hold)
    // still queued. The runner calls it between commands, never inside the root's step, so that
    // a script making and deleting objects without waiting does not keep them all until the
    // tick ends; every other marked object waits for the end of the step, where the objects
    // that may still look at it have had their step.
    void FreeDeleted();

    TTimerList& GetEvents() { return Events; }
    TVelaList& GetVelaList() { return VelaList; }
    TVelaControl* GetFocus() const { return Focused; }
    // Queues the focus-out of the old and the focus-in of the new focused control.
    void SetFocus(TVelaControl* C);
    void RequestFocusUpdate() { FocusUpdate = true; }
    bool FocusUpdateRequested() const { return FocusUpdate; }
    TKeyState Keys;
    // The sound switch (@SoundON), on after creation: a change switches every sound manager.
    bool GetSoundEnabled() const { return SoundEnabled; }
    void SetSoundEnabled(bool Value);
    bool PauseInactive = true;
    int32_t Zoom = 100;             // display zoom in percent
    TRect TransRect{0, 0, 0, 0};    // the rectangle a running screen transition updates; empty when none
    // The objects that float over their layer (text fields), drawn after the layer's objects in
    // the order they were made (by serial); each takes itself off when freed.
    std::map<uint32_t, TVelaObject*> NativeControls;

    // Input. Update runs first in each tick: the pending focus choice, the key latches, the
    // current layer's pointer step, the focused control's key events and the auto-repeat
    // countdowns, run down by the advance of LoopTime (ms) since the previous call.
    void Update(uint32_t LoopTime);
    // From the window: a key (below 256) went down or up; a key-down message arrived.
    void SetKeyState(int Key, bool Down);
    void SetKeyLatch(int Key, bool V);
    // The window lost the activation: every key is up and nothing is latched.
    void ClearKeys();
    bool GetKeyDown(int Key) const;
    bool GetKeyPressed(int Key) const;
    bool GetKeyRepeat(int Key) const;
    static constexpr int32_t KeyRepeatFirst = 300, KeyRepeatNext = 50;

    // The cursor over the panel. Without a host (headless, and the roots of film players) the
    // cursor never changes. Setting a host forgets what the previous one showed.
    TCursorHost* GetCursorHost() const { return CursorHost.get(); }
    void SetCursorHost(std::unique_ptr<TCursorHost> Host);
    // The layer (0 or 1) whose cursor name the host shows; -1 while it shows the default cursor.
    int32_t CursorLayer = -1;

    // Steps every object, then frees those deleted during the tick.
    bool Step() override;
    // Draws both layers into their dirty rectangles; a running transition then takes its
    // rectangle into TransRect and draws its next picture into the screen surface.
    void Prepare() override;
    // Frees the transition and every object and makes two fresh layers of the same size; keeps
    // the key state.
    void Clear();
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

private:
    friend class TVelaObject;  // renames through IndexName and UnindexName
    friend std::string MakeUniqueName(TVelaBaseList& Root, const std::string& Prefix, int32_t From);
    void MakeLayers();
    void FreeObjects();
    // Closes the holes freed objects left in the flat list, keeping the step's place.
    void CloseHoles() const;
    // The step and the input step have seen every object made so far.
    void MarkSeen();
    // Whether Obj and everything it holds were made since the last MarkSeen and have no event
    // queued.
    bool SeenOnlyByScript(TVelaObject& Obj) const;
    void SizeRootBitmap();
    void IndexName(TVelaObject& Obj);
    void UnindexName(TVelaObject& Obj);
    // The first object of Names called AName that Accept takes.
    template <class TAccept>
    TVelaObject* FirstNamed(const std::string& AName, TAccept Accept) const;

    std::array<std::unique_ptr<TVelaBase>, 2> Layers;
    int32_t Width = 0, Height = 0;
    TDIBX RootBitmap;
    int32_t WipeType = 0;
    std::unique_ptr<TCustomWipe> Transition;
    int32_t CurrentLayer = 0;
    TTimerList Events{*this};
    TVelaList VelaList;
    // Every object but the layers, in creation order (so in the order of their serials, kept
    // beside them by place). A freed object leaves a hole that the next index look-up or a later
    // addition to a sparse list closes.
    mutable THoleList<TVelaObject*> Objects;
    mutable std::vector<uint32_t> ListedSerials;
    // The objects of the flat list that have a name and are not marked for deletion, by name.
    TNameIndex<TVelaObject> Names;
    // The names Prefix<n> handed out by MakeUniqueName, by prefix: every n from the prefix's first
    // From up to Next is taken but those in Freed (which may hold taken ones, dropped when met).
    struct TNameNumbers {
        int32_t Next = 0;
        std::set<int32_t> Freed;
    };
    std::unordered_map<std::string, TNameNumbers> NameNumbers;
    // The prefixes of NameNumbers without their trailing digits: a name whose own stem is not
    // among them has no number to give back.
    std::unordered_set<std::string> NameStems;
    // S without its trailing digits.
    static std::string NameStem(const std::string& S);
    // The name S, whose stem is among NameStems, has no holder left: its number goes back to the
    // prefixes that hand it out.
    void NameFreed(const std::string& S);
    // Marked for deletion, each once; a freed object leaves nullptr, and the list never ends in
    // one.
    std::vector<TVelaObject*> Deleted;
    // The listed objects of Deleted marked since the last FreeDeleted and made after SeenSerial,
    // each with its place in Deleted: a freed one leaves nullptr there, or a later object.
    struct TScriptDeleted {
        TObjectRef Ref;
        size_t At;
    };
    std::vector<TScriptDeleted> ScriptDeleted;
    uint32_t SeenSerial = 0;  // the last serial of an object the steps have seen
    mutable size_t StepIndex = 0;
    TVelaControl* Focused = nullptr;
    bool FocusUpdate = false;

    // Input.
    bool Exists(const TVelaObject* Obj) const;
    void DispatchKeys();
    void RunKeyRepeat(int32_t Elapsed);
    uint32_t LastLoopTime = 0;
    bool HaveLoopTime = false;
    std::unique_ptr<TCursorHost> CursorHost;
    bool SoundEnabled = true;
};

// An owning list of rectangles; the object layer keeps it empty.
using TClipManager = TObjList<TRect>;

// The object layer's globals, between VelaInitialize and VelaFinalize: the player's object root,
// the rectangle list, and two 32-bit patterns: the 2 x 2 selection frame (black, white at (0, 0)
// and (1, 1)) and the 32 x 32 checkerboard (grey 808080 with C0C0C0 squares of 16 at (0, 0)
// and (16, 16)). The image cache MiraMan is made and freed with them.
extern TVelaBaseList* Bases;
extern TClipManager* ClipMan;
extern TDIBX* SelRectDIB;
extern TDIBX* TransBGDIB;
void VelaInitialize();
// Frees the globals, each after its label went to Trace.
void VelaFinalize(const std::function<void(const char*)>& Trace = nullptr);

// 256 grey pixels (i, i, i): in the screen's 16-bit format (5-6-5, or 5-5-5 when the screen
// has 15 bits) and in 32-bit format. Filled by VelaInitColor at start-up.
extern std::array<uint32_t, 256> GreyRamp16, GreyRamp32;
// The fire colours for 15- and 16-bit layers: 5-6-5, made 5-5-5 by VelaInitColor on a 15-bit
// screen.
extern std::array<uint16_t, 256> FireRamp16;
void VelaInitColor();
