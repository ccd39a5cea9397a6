// The image map: the region file, hover and choosing, keys, the cut-away drawing and the record.
#include "objects/vitemex_mapimage.h"

#include "core/header_vocab.h"
#include "core/sysutils.h"
#include "core/vrfiles_manager.h"
#include "objects/vitemex_mira.h"
#include "objects/vitems_kinds.h"
#include "script/params_vars.h"

#include <algorithm>
#include <cstdlib>
#include <span>

namespace {

enum : uint8_t { ShapeRectangle = 0, ShapeEllipse = 1 };

// Key codes the map answers.
constexpr int KeyEnter = 13, KeyEscape = 27, KeySpace = 32, KeyLeft = 37, KeyUp = 38, KeyRight = 39, KeyDown = 40;

// The least a region takes in the file: the name's length, the shape byte and a point count.
constexpr int64_t MinRegionBytes = 4 + 1 + 4;

}  // namespace

// ---- The region file ----

std::vector<TMapRegion> ReadMapRegions(TStream& Stream) {
    const int32_t count = ReadStreamCount(Stream, MinRegionBytes);
    std::vector<TMapRegion> regions;
    int64_t cost = 0;
    auto spend = [&](int64_t Cost) {
        cost += Cost;
        if (cost > MaxRegionFileCost) throw EVelaError("領域ファイルの図形が大きすぎます");
    };
    for (int32_t i = 0; i < count; ++i) {
        TMapRegion region;
        region.Name = ReadStreamString(Stream);
        const uint8_t shape = ReadStreamByte(Stream);
        if (shape == ShapeRectangle || shape == ShapeEllipse) {
            int64_t box[4];
            for (int64_t& v : box) v = ReadStreamInt(Stream);
            // The box is inclusive.
            if (shape == ShapeRectangle) {
                spend(1);
                region.Area = Region::Rectangle(box[0], box[1], box[2] + 1, box[3] + 1);
            } else {
                spend(Region::EllipseCost(box[1], box[3] + 1));
                region.Area = Region::Ellipse(box[0], box[1], box[2] + 1, box[3] + 1);
            }
        } else {
            std::vector<TPoint> points(size_t(ReadStreamCount(Stream, 8)));
            for (TPoint& p : points) p = {ReadStreamInt(Stream), ReadStreamInt(Stream)};
            spend(Region::PolygonCost(points));
            region.Area = Region::Polygon(points);
        }
        regions.push_back(std::move(region));
    }
    return regions;
}

// ---- Life ----

TVelaMapImage::TVelaMapImage(TVelaBaseList* AOwner, bool UniqueName) : TVelaControl(AOwner, UniqueName) {
    if (Owner) Owner->GetVelaList().AddOnce(this);
}

TVelaMapImage::~TVelaMapImage() {
    if (Owner) Owner->GetVelaList().Remove(this);
    Invalidate();
}

// ---- Properties ----

void TVelaMapImage::TCutList::Load(const std::string& FileName) {
    Cuts.clear();
    if (FileName.empty())
        Frames.Clear();
    else
        Frames.LoadImage(FileName, false);
    Cuts.resize(size_t(Frames.Count()));
}

void TVelaMapImage::TCutList::ForgetCuts() {
    for (TCutFrame& cut : Cuts) cut = {};
}

void TVelaMapImage::SetSource(const std::string& S) {
    if (S == Source) return;
    Invalidate();
    Source = S;
    Pictures.Load(S);
    if (const TVelaImageData* first = Pictures.Frames.GetItem(0)) {
        const TCustomDIBX* picture = first->GetDIB();
        SetBounds(GetLeft(), GetTop(), picture->GetWidth(), picture->GetHeight());
    } else {
        SetBounds(GetLeft(), GetTop(), 0, 0);
    }
    Invalidate();
}

void TVelaMapImage::SetHoversource(const std::string& S) {
    if (S == HoverSource) return;
    Invalidate();
    HoverSource = S;
    Hovers.Load(S);
    Invalidate();
}

void TVelaMapImage::SetMapsource(const std::string& S) {
    if (S == MapSource) return;
    MapSource = S;
    LoadRegions();
}

void TVelaMapImage::LoadRegions() {
    InvalidateRegion(Selected);
    Selected = -1;
    Regions.clear();
    Pictures.ForgetCuts();
    Hovers.ForgetCuts();
    if (MapSource.empty() || !VrFileManager || !VrFileManager->FileExists(MapSource)) return;
    TMemoryStream stream;
    VrFileManager->ReadFile(stream, MapSource);
    Regions = ReadMapRegions(stream);
}

// ---- Regions and choosing ----

int32_t TVelaMapImage::RegionAt(TPoint P) const {
    for (size_t i = 0; i < Regions.size(); ++i)
        if (Regions[i].Area.Contains(P.X, P.Y)) return int32_t(i);
    return -1;
}

void TVelaMapImage::InvalidateRegion(int32_t Index) {
    if (Index < 0 || Index >= GetRegionCount() || !GetVisible() || !GetBase()) return;
    const TRect r = Regions[size_t(Index)].Area.GetBounds();
    const int32_t x = GetOriginX(), y = GetOriginY();
    InvalidateArea({r.Left + x, r.Top + y, r.Right + x, r.Bottom + y});
}

void TVelaMapImage::SelectRegion(int32_t Index) {
    if (Index == Selected) return;
    auto raise = [&](const std::string& Handler, uint8_t Kind, int32_t Region) {
        if (Handler.empty() || !Owner) return;
        TArrayString args;
        args.Add(Regions[size_t(Region)].Name);
        args.Add(IntToStr(Region));
        Owner->GetEvents().Add(this, Handler, &args, Kind);
    };
    if (Selected >= 0) raise(OnMapOut, PR_ONMAPOUT, Selected);
    InvalidateRegion(Selected);
    Selected = Index;
    Hovers.Frames.SetFrame(0);
    InvalidateRegion(Selected);
    if (Selected >= 0) raise(OnMapIn, PR_ONMAPIN, Selected);
}

void TVelaMapImage::SetLastSelection(const std::string& Text, int32_t Index) {
    if (!ParamMan) return;
    ParamMan->SetSelStr(Text);
    ParamMan->SetSelIndex(Index);
}

void TVelaMapImage::Choose() {
    if (Selected < 0 || Selected >= GetRegionCount()) return;
    const std::string& name = Regions[size_t(Selected)].Name;
    SetLastSelection(name, Selected);
    if (!OnSelect.empty() && !Selecting && Owner && !Owner->GetEvents().IsQueued(this, PR_ONSELECT)) {
        TArrayString args;
        args.Add(name);
        args.Add(IntToStr(Selected));
        Owner->GetEvents().Add(this, OnSelect, &args, PR_ONSELECT);
    }
    if (AutoScrap) {
        SelectionState = 100;
        Selecting = true;
    }
}

// ---- Input ----

bool TVelaMapImage::BeginSelect() {
    const int32_t im = GetIgnoremouse();
    if (Selecting || (im != IM_NONE && im != IM_LCLICK)) return false;
    Selecting = true;
    SetLastSelection("", -1);
    SelectionState = 100;
    return true;
}

void TVelaMapImage::DoMouseMove() {
    if (!Selecting)
        if (TVelaBase* layer = PointerLayer())
            SelectRegion(RegionAt({layer->MousePos.X - GetOriginX(), layer->MousePos.Y - GetOriginY()}));
    TVelaControl::DoMouseMove();
}

void TVelaMapImage::DoMouseOut() {
    SelectRegion(-1);
    TVelaControl::DoMouseOut();
}

// A point of Area near the middle of its bounds: on the middle row, in the span nearest the middle,
// else (a row the area does not cross) on its top row.
static TPoint PointInside(const Region& Area) {
    const TRect b = Area.GetBounds();
    const int32_t midX = b.Left + (b.Right - b.Left) / 2, midY = b.Top + (b.Bottom - b.Top) / 2;
    std::span<const TRegionSpan> row = Area.Row(midY);
    const int32_t y = row.empty() ? b.Top : midY;
    if (row.empty()) row = Area.Row(b.Top);
    TPoint best{row.front().Left, y};
    for (const TRegionSpan& s : row) {
        const TPoint at{std::clamp(midX, s.Left, s.Right - 1), y};
        if (std::abs(at.X - midX) < std::abs(best.X - midX)) best = at;
    }
    return best;
}

void TVelaMapImage::AddPressTargets(const TPressTargetSink& Add) {
    if (Selecting || SelectionState != 0 || !TakesLeftPress()) return;
    const TPoint origin = GetOrigin();
    for (const TMapRegion& region : Regions) {
        if (region.Area.IsEmpty()) continue;
        const TRect b = region.Area.GetBounds();
        const TPoint at = PointInside(region.Area);
        Add({b.Left + origin.X, b.Top + origin.Y, b.Right + origin.X, b.Bottom + origin.Y},
            {at.X + origin.X, at.Y + origin.Y});
    }
}

void TVelaMapImage::DoLBtnDown() {
    const int32_t im = GetIgnoremouse();
    if (!Selecting && (im == IM_NONE || im == IM_RCLICK) && !Paused && Selected >= 0) Choose();
    TVelaControl::DoLBtnDown();
}

void TVelaMapImage::DoKeyPress() {
    const int32_t count = GetRegionCount();
    if (!Selecting && Owner) {
        const TVelaBaseList& root = *Owner;
        if (root.GetKeyRepeat(KeyUp) || root.GetKeyRepeat(KeyLeft)) {
            SelectRegion(Selected <= 0 ? count - 1 : Selected - 1);
        } else if (root.GetKeyRepeat(KeyDown) || root.GetKeyRepeat(KeyRight)) {
            SelectRegion(Selected < 0 || Selected >= count - 1 ? (count > 0 ? 0 : -1) : Selected + 1);
        } else if ((root.GetKeyPressed(KeyEnter) || root.GetKeyPressed(KeySpace)) && Selected >= 0) {
            Choose();
        } else if (RClickScrap && root.GetKeyPressed(KeyEscape)) {
            SetLastSelection("", -1);
            SelectionState = 100;
        }
    }
    TVelaControl::DoKeyPress();
}

// ---- The tick ----

bool TVelaMapImage::Step() {
    const bool result = TVelaControl::Step();
    if (SelectionState == 100) {
        Selecting = true;
        SelectionState = 101;
        return result;
    }
    if (SelectionState == 101) return true;
    if (!GetAnipaused()) {
        const auto elapsed = int32_t(SceneTickLength());
        if (Pictures.Frames.StepAnimation(elapsed)) Invalidate();
        if (Selected >= 0 && Hovers.Frames.StepAnimation(elapsed)) InvalidateRegion(Selected);
    }
    return result;
}

// ---- Drawing ----

TCustomDIBX* TVelaMapImage::TCutList::CutFor(int32_t Index, const Region* Area, bool KeepInside) {
    TVelaImageData* frame = Frames.GetItem(Frames.Current);
    if (!frame || size_t(Frames.Current) >= Cuts.size()) return nullptr;
    TCustomDIBX* pristine = frame->GetDIB();
    TCutFrame& cut = Cuts[size_t(Frames.Current)];
    if (cut.Surface && cut.Region == Index) return cut.Surface.get();
    if (!cut.Surface) cut.Surface = NewImageSurface();
    TCustomDIBX& work = *cut.Surface;
    const int32_t w = pristine->GetWidth(), h = pristine->GetHeight();
    work.SetSize(w, h, pristine->GetBitCount());
    work.Assign(*pristine);
    work.TransparentColor = pristine->TransparentColor;
    cut.Region = Index;
    // What is cut away takes pixel value 0.
    auto clear = [&](int32_t Y, int32_t Left, int32_t Right) {
        Left = std::max(Left, 0), Right = std::min(Right, w);
        if (Left < Right) work.FillRect({Left, Y, Right, Y + 1}, 0);
    };
    for (int32_t y = 0; y < h; ++y) {
        const auto spans = Area->Row(y);
        if (!KeepInside) {
            for (const TRegionSpan& s : spans) clear(y, s.Left, s.Right);
            continue;
        }
        int32_t x = 0;
        for (const TRegionSpan& s : spans) {
            clear(y, x, s.Left);
            x = s.Right;
        }
        clear(y, x, w);
    }
    return &work;
}

void TVelaMapImage::DrawCut(TCustomDIBX& Dest, TCutList& List, bool KeepInside) {
    TVelaImageData* frame = List.Frames.GetItem(List.Frames.Current);
    if (!frame) return;
    // Without a selected region the base picture shows whole.
    TCustomDIBX* picture = Selected < 0 ? frame->GetDIB()
                                        : List.CutFor(Selected, &Regions[size_t(Selected)].Area, KeepInside);
    if (picture && !picture->GetEmpty())
        DrawBlended(Dest, GetOriginX(), GetOriginY(), *picture, picture->GetBoundsRect(), frame->GetFrameLayer(), false,
                    false, Alpha);
}

void TVelaMapImage::Prepare() {
    TCustomDIBX* dest = GetLayerSurface();
    if (dest && Alpha >= 1 && Alpha <= 511) {
        DrawCut(*dest, Pictures, false);
        if (Selected >= 0) DrawCut(*dest, Hovers, true);
    }
    TVelaControl::Prepare();
}

void TVelaMapImage::FreePrivateDIBs() {
    Pictures.ForgetCuts();
    Hovers.ForgetCuts();
    TVelaControl::FreePrivateDIBs();
}

void TVelaMapImage::MakePrivateDIBs() {
    // The working copies are cut again as they are drawn.
    Pictures.ForgetCuts();
    Hovers.ForgetCuts();
    TVelaControl::MakePrivateDIBs();
}

// ---- The record ----

// Written in the newest layout: before 104 the idle handler, the pause and the select handler
// were absent, before 115 the selection state.
void TVelaMapImage::SaveToStream(TStream& Stream) {
    TVelaControl::SaveToStream(Stream);
    WriteStreamString(Stream, Source);
    WriteStreamString(Stream, HoverSource);
    WriteStreamString(Stream, MapSource);
    WriteStreamInt(Stream, Alpha);
    WriteStreamInt(Stream, Brightness);
    WriteStreamString(Stream, OnMapIn);
    WriteStreamString(Stream, OnMapOut);
    WriteStreamByte(Stream, AutoScrap);
    WriteStreamByte(Stream, RClickScrap);
    WriteStreamString(Stream, OnIdle);
    WriteStreamByte(Stream, Paused);
    WriteStreamString(Stream, OnSelect);
    WriteStreamInt(Stream, SelectionState);
}

void TVelaMapImage::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaControl::LoadFromStream(Stream, Version);
    const std::string source = ReadStreamString(Stream), hoverSource = ReadStreamString(Stream),
                      mapSource = ReadStreamString(Stream);
    const int32_t alpha = ReadStreamInt(Stream), brightness = ReadStreamInt(Stream);
    OnMapIn = ReadStreamString(Stream);
    OnMapOut = ReadStreamString(Stream);
    AutoScrap = ReadStreamByte(Stream) != 0;
    RClickScrap = ReadStreamByte(Stream) != 0;
    if (Version >= 104) {
        OnIdle = ReadStreamString(Stream);
        Paused = ReadStreamByte(Stream) != 0;
        OnSelect = ReadStreamString(Stream);
    }
    if (Version >= 115) SelectionState = ReadStreamInt(Stream);
    Alpha = alpha;
    Brightness = brightness;
    // Through the setters, so that the pictures and the regions load again.
    SetSource(source);
    SetHoversource(hoverSource);
    SetMapsource(mapSource);
}
