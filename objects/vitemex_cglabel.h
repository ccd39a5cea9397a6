#pragma once
// The character-image label (TVelaCGLabel): text written with pictures of characters. One
// picture from the image cache, possibly animated, holds equal cells left to right and top to
// bottom; the map text names the character of each cell in cell order. Each character of the
// text is drawn as the cell of its place in the map text; a character the map lacks leaves a
// cell-wide gap. The size follows the text: the longest line across, the lines down with the
// line space between them.
#include "core/hash.h"
#include "objects/vitemex_imagelist.h"
#include "objects/vitems.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TVelaCGLabel : public TVelaControl {
public:
    explicit TVelaCGLabel(TVelaBaseList* AOwner, bool UniqueName = true);
    // Takes the label off the screen.
    ~TVelaCGLabel() override;
    uint8_t GetCompoType() const override { return LT_CGLABEL; }

    std::string GetSource() const override { return Source; }
    // Any picture the image cache serves; the first frame is shown.
    void SetSource(const std::string& S) override;
    std::string GetText() const override { return Text; }
    void SetText(const std::string& S) override;
    std::string GetMaptext() const override { return MapText; }
    void SetMaptext(const std::string& S) override;
    int32_t GetGlyphwidth() const override { return GlyphWidth; }
    // Values below 1 become 1.
    void SetGlyphwidth(int32_t V) override;
    int32_t GetGlyphheight() const override { return GlyphHeight; }
    void SetGlyphheight(int32_t V) override;
    int32_t GetLinespace() const override { return LineSpace; }
    void SetLinespace(int32_t V) override;
    // 0 left, 1 centre, any other value right.
    int32_t GetHalign() const override { return HAlign; }
    void SetHalign(int32_t V) override;
    // Nothing is drawn until it is above 0.
    int32_t GetAlpha() const override { return Alpha; }
    void SetAlpha(int32_t V) override;
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override { Paused = V; }
    bool GetPlaying() const override { return !Paused && !GetAnipaused(); }
    // The size of the frame shown; 0 without one.
    int32_t GetOrigwidth() const override;
    int32_t GetOrigheight() const override;
    std::string GetOnidle() const override { return OnIdle; }
    void SetOnidle(const std::string& S) override { OnIdle = S; }

    void Prepare() override;
    // After the control's film, the sheet's frames advance by the tick (not while the
    // animation is paused).
    bool Step() override;
    void FreePrivateDIBs() override;
    void MakePrivateDIBs() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

private:
    // For each line of the text, each character's place in the map text (0-based, -1 absent).
    void RebuildIndexes();
    void Resize();
    // The picture of the frame shown; nullptr without one.
    TCustomDIBX* ShownDIB() const;

    std::string Source, Text, MapText;
    int32_t GlyphWidth = 1, GlyphHeight = 1, LineSpace = 0;
    bool Paused = false;
    uint8_t HAlign = 0;
    int32_t Alpha = 0;
    std::unique_ptr<TVelaImageList> Images;
    std::vector<TIntArray> CellIndexes;
    std::string OnIdle;
};
