#include "script/params_props.h"

#include "objects/vitemex_mes.h"
#include "objects/vitems.h"

#include <array>
#include <functional>
#include <string>

namespace {

// A property's read into a script value and write from one.
using TReader = void (*)(TVelaObject& Obj, TCustomParam& Dest);
using TWriter = void (*)(TVelaObject& Obj, const TCustomParam& Value);
struct TAccessor {
    TReader Read = nullptr;
    TWriter Write = nullptr;
};

void Put(TCustomParam& Dest, int32_t V) { Dest.SetInt(V); }
void Put(TCustomParam& Dest, bool V) { Dest.SetBool(V); }
void Put(TCustomParam& Dest, long double V) { Dest.SetFloat(V); }
void Put(TCustomParam& Dest, const std::string& V) { Dest.SetStr(V); }

template <class T>
T Take(const TCustomParam& Value);
template <>
int32_t Take(const TCustomParam& Value) { return Value.AsInt(); }
template <>
bool Take(const TCustomParam& Value) { return Value.AsBool(); }
template <>
long double Take(const TCustomParam& Value) { return Value.AsFloat(); }
template <>
std::string Take(const TCustomParam& Value) { return Value.AsStr(); }

// Getter and setter, each after the cell of an indexed pair when one is given.
template <class T, auto Get, int... Cell>
void Read(TVelaObject& Obj, TCustomParam& Dest) {
    Put(Dest, static_cast<T>(std::invoke(Get, Obj, Cell...)));
}
template <class T, auto Set, int... Cell>
void Write(TVelaObject& Obj, const TCustomParam& Value) {
    std::invoke(Set, Obj, Cell..., Take<T>(Value));
}
template <class T, auto Get, auto Set, int... Cell>
constexpr TAccessor Pair() {
    return {Read<T, Get, Cell...>, Write<T, Set, Cell...>};
}
template <class T, auto Get, int... Cell>
constexpr TAccessor ReadOnly() {
    return {Read<T, Get, Cell...>, nullptr};
}

int32_t CaretX(const TVelaObject& Obj) { return Obj.GetCaretPos().X; }
int32_t CaretY(const TVelaObject& Obj) { return Obj.GetCaretPos().Y; }

// The font style set lives in the low four bits: bold, italic, underline, strike-out.
template <auto Set>
void WriteStyle(TVelaObject& Obj, const TCustomParam& Value) {
    (Obj.*Set)(Value.AsInt() & 0x0F);
}

// A text written to a message window is shown as text of its own: the window forgets the
// command or history it showed.
void WriteText(TVelaObject& Obj, const TCustomParam& Value) {
    if (auto* mes = dynamic_cast<TVelaMes*>(&Obj)) mes->SourceMode = TVelaMes::smDirect;
    Obj.SetText(Value.AsStr());
}

void ReadZero(TVelaObject&, TCustomParam& Dest) { Dest.SetInt(0); }
[[noreturn]] void RefuseWrite(TVelaObject&, const TCustomParam&) { throw EVelaError("SetPropエラー"); }

TVelaBaseList* RootOf(const TVelaObject& Obj) { return Obj.GetOwner() ? Obj.GetOwner() : Bases; }

void ReadParent(TVelaObject& Obj, TCustomParam& Dest) {
    const TVelaControl* parent = Obj.GetParent();
    const TVelaBaseList* root = RootOf(Obj);
    std::string name;
    if (parent && root && parent == root->GetBase(root->GetCurrentLayer() ^ 1)) name = std::string(1, SystemNameMark);
    else if (parent && (!root || parent != root->GetBase(root->GetCurrentLayer()))) name = parent->GetName();
    Dest.SetStr(name);
}

void WriteParent(TVelaObject& Obj, const TCustomParam& Value) {
    TVelaBaseList* root = RootOf(Obj);
    if (dynamic_cast<TVelaBase*>(&Obj) || !root) return;
    if (TVelaControl* parent = root->FindControl(Value.AsStr())) Obj.SetParent(parent);
}

#define VELA_PROPS_INT(X)                                                                                      \
    X(LEFT, Left) X(TOP, Top) X(WIDTH, Width) X(HEIGHT, Height) X(ZOOMX, Zoomx) X(COLOR, Color)                \
    X(BORDERWIDTH, Borderwidth) X(BORDERCOLOR, Bordercolor) X(ALPHA, Alpha) X(OFFSETX, Offsetx)                \
    X(OFFSETY, Offsety) X(FONTHEIGHT, Fontheight) X(LINESPACE, Linespace) X(FONTCOLOR, Fontcolor)              \
    X(FONTLINKCOLOR, Fontlinkcolor) X(FONTBORDERCOLOR, Fontbordercolor) X(FONTHOVERCOLOR, Fonthovercolor)      \
    X(HOVERCOLOR, Hovercolor) X(DELAY, Delay) X(VOLUME, Volume) X(BALANCE, Balance) X(ANGLE, Angle)            \
    X(BRIGHTNESS, Brightness) X(INDEX, Index) X(COUNT, Count) X(COLCOUNT, Colcount) X(ROWCOUNT, Rowcount)      \
    X(MARGINX, Marginx) X(MARGINY, Marginy) X(HALIGN, Halign) X(IGNOREMOUSE, Ignoremouse)                      \
    X(TEXTDELAY, Textdelay) X(GROUPINDEX, Groupindex) X(POWER, Power) X(PARTMOTION, Partmotion)                \
    X(TOPINDEX, Topindex) X(AMP, Amp) X(WAVELEN, Wavelen) X(SCROLLX, Scrollx) X(SCROLLY, Scrolly)              \
    X(DISTANCEX, Distancex) X(DISTANCEY, Distancey) X(CLIPLEFT, Clipleft) X(CLIPTOP, Cliptop)                  \
    X(CLIPWIDTH, Clipwidth) X(CLIPHEIGHT, Clipheight) X(DURATION, Duration) X(MIN, Min) X(MAX, Max)            \
    X(VALUE, Value) X(ORIENTATION, Orientation) X(SMALLCHANGE, Smallchange) X(LARGECHANGE, Largechange)        \
    X(GLYPHWIDTH, Glyphwidth) X(GLYPHHEIGHT, Glyphheight) X(ZOOMY, Zoomy) X(FONTSHADOWCOLOR, Fontshadowcolor)  \
    X(FONTBORDER, Fontborder) X(FONTSHADOW, Fontshadow) X(FONTHOVERBORDER, Fonthoverborder)                    \
    X(FONTHOVERBORDERCOLOR, Fonthoverbordercolor) X(FONTHOVERSHADOW, Fonthovershadow)                          \
    X(FONTHOVERSHADOWCOLOR, Fonthovershadowcolor) X(BARSIZE, Barsize) X(PLUSX, Plusx) X(PLUSY, Plusy)          \
    X(REPEATPOS, Repeatpos) X(BLURSPAN, Blurspan) X(BLURDELAY, Blurdelay) X(IMEMODE, Imemode)                  \
    X(CAPMASKLEVEL, Capmasklevel) X(CARETHEIGHT, Caretheight) X(ORIGWIDTH, Origwidth) X(ORIGHEIGHT, Origheight)
#define VELA_PROPS_BOOL(X)                                                                                     \
    X(ANTIALIAS, Antialias) X(PAUSED, Paused) X(REPEAT, Repeat) X(VISIBLE, Visible) X(AUTOSCRAP, Autoscrap)    \
    X(RCLICKSCRAP, Rclickscrap) X(TEXTPAUSED, Textpaused) X(ALLOWALLUP, Allowallup) X(SELECTED, Selected)      \
    X(CAPTUREMASK, Capturemask) X(READONLY, Readonly) X(POSZOOMED, Poszoomed) X(FLIPH, Fliph) X(FLIPV, Flipv)  \
    X(ANIPAUSED, Anipaused) X(REVERSE, Reverse) X(REWINDONLOAD, Rewindonload) X(OVERLAY, Overlay)              \
    X(CAPTURELINK, Capturelink) X(MUTEONLOAD, Muteonload) X(FONTCHANGEABLED, Fontchangeabled)                  \
    X(HANDLEKEY, Handlekey)
#define VELA_PROPS_STR(X)                                                                                      \
    X(SOURCE, Source) X(FONTNAME, Fontname) X(ONPLAYING, Onplaying) X(ONNOTIFY, Onnotify)                      \
    X(ONMOUSEMOVE, Onmousemove) X(ONMOUSEOUT, Onmouseout) X(ONLBTNDOWN, Onlbtndown) X(ONLBTNUP, Onlbtnup)      \
    X(ONRBTNDOWN, Onrbtndown) X(ONRBTNUP, Onrbtnup) X(ONWHEELDOWN, Onwheeldown) X(ONWHEELUP, Onwheelup)        \
    X(ONPLAYEND, Onplayend) X(ONLINK, Onlink) X(SCROLLSOURCE, Scrollsource) X(CHECKSOURCE, Checksource)        \
    X(ONSELECT, Onselect) X(ONOPENING, Onopening) X(ONOPENED, Onopened) X(ONCLOSING, Onclosing)                \
    X(ONCLOSED, Onclosed) X(HOVERSOURCE, Hoversource) X(PRESSEDSOURCE, Pressedsource) X(CURSOR, Cursor)        \
    X(ONPLAYSTART, Onplaystart) X(ONMOUSEIN, Onmousein) X(ONMAPIN, Onmapin) X(ONMAPOUT, Onmapout)              \
    X(MAPSOURCE, Mapsource) X(ONIDLE, Onidle) X(THUMBSOURCE, Thumbsource) X(BUTTONSOURCE, Buttonsource)        \
    X(MAPTEXT, Maptext) X(CLICKEDSOURCE, Clickedsource) X(ONHOLD, Onhold) X(ONRELEASE, Onrelease)              \
    X(ONKEYDOWN, Onkeydown) X(ONKEYUP, Onkeyup) X(ONKEYREPEAT, Onkeyrepeat) X(ONFOCUSIN, Onfocusin)            \
    X(ONFOCUSOUT, Onfocusout)
#define VELA_PROPS_FLOAT(X) X(FLOATANGLE, Floatangle) X(FLOATZOOMX, Floatzoomx) X(FLOATZOOMY, Floatzoomy)

using O = TVelaObject;

constexpr std::array<TAccessor, PropCount> MakeAccessors() {
    std::array<TAccessor, PropCount> A{};
#define VELA_PROP_INT(ID, N) A[PR_##ID] = Pair<int32_t, &O::Get##N, &O::Set##N>();
#define VELA_PROP_BOOL(ID, N) A[PR_##ID] = Pair<bool, &O::Get##N, &O::Set##N>();
#define VELA_PROP_STR(ID, N) A[PR_##ID] = Pair<std::string, &O::Get##N, &O::Set##N>();
#define VELA_PROP_FLOAT(ID, N) A[PR_##ID] = Pair<long double, &O::Get##N, &O::Set##N>();
    VELA_PROPS_INT(VELA_PROP_INT)
    VELA_PROPS_BOOL(VELA_PROP_BOOL)
    VELA_PROPS_STR(VELA_PROP_STR)
    VELA_PROPS_FLOAT(VELA_PROP_FLOAT)
#undef VELA_PROP_INT
#undef VELA_PROP_BOOL
#undef VELA_PROP_STR
#undef VELA_PROP_FLOAT
    A[PR_NAME] = Pair<std::string, &O::GetName, &O::SetName>();
    A[PR_TAG] = Pair<std::string, &O::GetTag, &O::SetTag>();
    A[PR_PRIORITY] = Pair<int32_t, &O::GetPriority, &O::SetPriority>();
    A[PR_PARENT] = {ReadParent, WriteParent};
    A[PR_TEXT] = {Read<std::string, &O::GetText>, WriteText};
    A[PR_FONTSTYLE] = {Read<int32_t, &O::GetFontstyle>, WriteStyle<&O::SetFontstyle>};
    A[PR_FONTHOVERSTYLE] = {Read<int32_t, &O::GetFonthoverstyle>, WriteStyle<&O::SetFonthoverstyle>};
    A[PR_BORDERSOURCETL] = Pair<std::string, &O::GetBordersource, &O::SetBordersource, 0>();
    A[PR_BORDERSOURCETC] = Pair<std::string, &O::GetBordersource, &O::SetBordersource, 1>();
    A[PR_BORDERSOURCETR] = Pair<std::string, &O::GetBordersource, &O::SetBordersource, 2>();
    A[PR_BORDERSOURCECL] = Pair<std::string, &O::GetBordersource, &O::SetBordersource, 3>();
    A[PR_BORDERSOURCECC] = Pair<std::string, &O::GetBordersource, &O::SetBordersource, 4>();
    A[PR_BORDERSOURCECR] = Pair<std::string, &O::GetBordersource, &O::SetBordersource, 5>();
    A[PR_BORDERSOURCEBL] = Pair<std::string, &O::GetBordersource, &O::SetBordersource, 6>();
    A[PR_BORDERSOURCEBC] = Pair<std::string, &O::GetBordersource, &O::SetBordersource, 7>();
    A[PR_BORDERSOURCEBR] = Pair<std::string, &O::GetBordersource, &O::SetBordersource, 8>();
    // Horizontal alignment of the top, middle and bottom rows: the middle cell of each row.
    A[PR_BORDERHALIGNT] = Pair<int32_t, &O::GetBorderhalign, &O::SetBorderhalign, 1>();
    A[PR_BORDERHALIGNC] = Pair<int32_t, &O::GetBorderhalign, &O::SetBorderhalign, 4>();
    A[PR_BORDERHALIGNB] = Pair<int32_t, &O::GetBorderhalign, &O::SetBorderhalign, 7>();
    // Vertical alignment of the left, centre and right columns: the cells of the middle row.
    A[PR_BORDERVALIGNL] = Pair<int32_t, &O::GetBordervalign, &O::SetBordervalign, 3>();
    A[PR_BORDERVALIGNC] = Pair<int32_t, &O::GetBordervalign, &O::SetBordervalign, 4>();
    A[PR_BORDERVALIGNR] = Pair<int32_t, &O::GetBordervalign, &O::SetBordervalign, 5>();
    A[PR_PARAM1] = Pair<long double, &O::GetParam, &O::SetParam, 0>();
    A[PR_PARAM2] = Pair<long double, &O::GetParam, &O::SetParam, 1>();
    A[PR_PARAM3] = Pair<long double, &O::GetParam, &O::SetParam, 2>();
    A[PR_CARETX] = ReadOnly<int32_t, &CaretX>();
    A[PR_CARETY] = ReadOnly<int32_t, &CaretY>();
    A[PR_CARETHEIGHT].Write = nullptr;
    A[PR_PLAYING] = ReadOnly<bool, &O::GetPlaying>();
    A[PR_COMPOTYPE] = ReadOnly<int32_t, &O::GetCompoType>();
    A[PR_APPEARX] = A[PR_APPEARY] = {ReadZero, RefuseWrite};
    return A;
}

constexpr std::array<TAccessor, PropCount> Accessors = MakeAccessors();

}  // namespace

void GetObjectProp(TCustomParam& Dest, TVelaObject& Obj, uint8_t Id) {
    if (Id >= PropCount) throw EVelaError("GetPropエラー");
    Accessors[Id].Read(Obj, Dest);
}

void SetObjectProp(TVelaObject& Obj, uint8_t Id, const TCustomParam& Value) {
    if (Id >= PropCount) throw EVelaError("SetPropエラー");
    if (TWriter write = Accessors[Id].Write) write(Obj, Value);
}
