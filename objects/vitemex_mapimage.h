#pragma once
// The image map: a picture with named hot regions read from a region file. The region under the
// pointer (or chosen by the arrow keys) is the selected one: the base picture shows everywhere
// but there, the hover picture only there. Moving between regions raises map-out and map-in;
// a click on a region, or Enter or Space, chooses it (the runner's last selection, then
// OnSelect); with auto scrap the map removes itself after a choice, and with right-click scrap
// a right press anywhere or Escape cancels it.
//
// The pictures come shared from the image cache; the cut-away frames are working copies of the
// map's own, so that no other user of a picture sees the cut.
#include "core/header.h"
#include "graphics/region.h"
#include "objects/vitemex_imagelist.h"
#include "objects/vitems.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TMapRegion {
    std::string Name;
    Region Area;
};

// The most work (Region's costs) the regions of one file may take to build: far beyond any map,
// short of what a hostile file could ask.
inline constexpr int64_t MaxRegionFileCost = int64_t(1) << 21;

// Reads a whole region file from Stream. Counts and lengths are checked against the bytes left
// before anything is made: a short file or an absurd count raises EReadError, shapes that would
// take more than MaxRegionFileCost to build raise EVelaError.
std::vector<TMapRegion> ReadMapRegions(TStream& Stream);

class TVelaMapImage : public TVelaControl {
public:
    explicit TVelaMapImage(TVelaBaseList* AOwner, bool UniqueName = true);
    ~TVelaMapImage() override;
    uint8_t GetCompoType() const override { return LT_MAPIMG; }

    // ---- Properties ----
    std::string GetSource() const override { return Source; }
    // A new picture: its frames from the cache, the size of its first frame (0 x 0 without one).
    void SetSource(const std::string& S) override;
    std::string GetHoversource() const override { return HoverSource; }
    void SetHoversource(const std::string& S) override;
    std::string GetMapsource() const override { return MapSource; }
    // A new region file: the selection and the old regions go; the file's regions come when it
    // exists. A file that cannot be read leaves no regions and raises.
    void SetMapsource(const std::string& S) override;
    int32_t GetAlpha() const override { return Alpha; }
    void SetAlpha(int32_t V) override { ChangeLook(Alpha, V); }
    int32_t GetBrightness() const override { return Brightness; }
    void SetBrightness(int32_t V) override { ChangeLook(Brightness, V); }
    bool GetAutoscrap() const override { return AutoScrap; }
    void SetAutoscrap(bool V) override { AutoScrap = V; }
    bool GetRclickscrap() const override { return RClickScrap; }
    void SetRclickscrap(bool V) override { RClickScrap = V; }
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override { Paused = V; }
    bool GetRepeat() const override { return true; }
    std::string GetOnmapin() const override { return OnMapIn; }
    void SetOnmapin(const std::string& S) override { OnMapIn = S; }
    std::string GetOnmapout() const override { return OnMapOut; }
    void SetOnmapout(const std::string& S) override { OnMapOut = S; }
    std::string GetOnselect() const override { return OnSelect; }
    void SetOnselect(const std::string& S) override { OnSelect = S; }
    std::string GetOnidle() const override { return OnIdle; }
    void SetOnidle(const std::string& S) override { OnIdle = S; }

    // ---- Regions and choosing ----
    int GetRegionCount() const { return int(Regions.size()); }
    // Index in 0 .. GetRegionCount() - 1.
    const TMapRegion& GetRegion(int Index) const { return Regions[size_t(Index)]; }
    int32_t GetSelectedRegion() const { return Selected; }
    // Selection state: 0 idle, 100 a choice or cancel was made (the map goes), 101 it goes now.
    int32_t GetSelectionState() const { return SelectionState; }
    // The first region (file order) holding P, relative to the map's origin; -1 when none.
    int32_t RegionAt(TPoint P) const;
    // Makes region Index (-1 none) the selected one: map-out of the old, map-in of the new.
    void SelectRegion(int32_t Index);
    // The selected region becomes the runner's last selection and OnSelect is queued.
    void Choose();

    // ---- Input, the tick, drawing, the record ----
    bool IsSelecting() const override { return Selecting; }
    // Each region, the pointer's point inside it, while the map takes a choice.
    void AddPressTargets(const TPressTargetSink& Add) override;
    bool BeginSelect() override;
    void DoMouseMove() override;
    void DoMouseOut() override;
    void DoLBtnDown() override;
    void DoKeyPress() override;
    bool Step() override;
    void Prepare() override;
    void FreePrivateDIBs() override;
    void MakePrivateDIBs() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

private:
    // A frame's working copy and the region it was last cut for (-1: not cut yet).
    struct TCutFrame {
        std::unique_ptr<TCustomDIBX> Surface;
        int32_t Region = -1;
    };
    // The frames of one picture with their working copies.
    struct TCutList {
        TVelaImageList Frames;
        std::vector<TCutFrame> Cuts;
        // The frames of FileName ("" none) with no copies yet.
        void Load(const std::string& FileName);
        // The current frame cut for Region, keeping only the pixels inside it (KeepInside) or
        // only those outside; nullptr without a current frame.
        TCustomDIBX* CutFor(int32_t Index, const Region* Area, bool KeepInside);
        void ForgetCuts();
    };
    // Draws the current frame of List, cut for the selected region, at the origin.
    void DrawCut(TCustomDIBX& Dest, TCutList& List, bool KeepInside);
    // The area of region Index on the layer becomes dirty.
    void InvalidateRegion(int32_t Index);
    // The runner's last selection.
    static void SetLastSelection(const std::string& Text, int32_t Index);
    // Reads MapSource into Regions (none when it names no file).
    void LoadRegions();

    TCutList Pictures, Hovers;
    std::string Source, HoverSource, MapSource;
    int32_t Alpha = 255, Brightness = 255;
    bool AutoScrap = false, RClickScrap = false, Paused = false;
    std::string OnMapIn, OnMapOut, OnSelect, OnIdle;
    std::vector<TMapRegion> Regions;
    int32_t Selected = -1;
    int32_t SelectionState = 0;
    bool Selecting = false;
};
