#pragma once
// The label cache: short single-line captions (of buttons and list boxes) that share one set of
// font settings, each kept rendered in surfaces of its own and rendered again only when its text
// or the destination's pixel format changes. Character advances are cached by character code.
//
// Stored settings record (little-endian int32 unless noted): antialias level, margin, alpha, font
// size, face (int32 length and its bytes), colour, border colour, style (byte), the 212-byte
// outline metrics block, shadow size, shadow colour. Records older than 109 keep the antialias
// level as 0/1 (none) or anything else (full); records older than 122 end before the shadow size.
#include "core/header.h"
#include "graphics/dibx.h"
#include "platform/fonts.h"

#include <cstdint>
#include <string>
#include <vector>

// Values cached by character code, in two parallel arrays.
class TNxTagValList {
public:
    std::vector<uint16_t> Codes;
    std::vector<int32_t> Values;  // 0 = not measured yet

    // The value cell of Code; a code not held yet is appended with the value 0. The reference
    // holds until the next FindOrAdd or Clear.
    int32_t& FindOrAdd(uint16_t Code);
    int Count() const { return int(Codes.size()); }
    void Clear();
};

class TNxLabelList;

// One caption and its rendered surfaces.
class TNxLabelDIB {
public:
    explicit TNxLabelDIB(TNxLabelList* AOwner) : Owner(AOwner) {}

    TDIBX TextDIB;    // the text, border and shadow colours at the destination's pixel format
    TDIBX EffectDIB;  // 8 bits: the coverage of text, border and shadow
    TNxLabelList* Owner;
    std::string Text;
    bool Dirty = true;  // rendered again at the next draw
    int32_t Height = 0;
    int32_t Width = 0;
    std::vector<int32_t> Widths;  // one advance per character, margins and shadow included

    // Marks the label dirty only when the text changes.
    void SetText(const std::string& AText);
    // Renders the text into the label's surfaces at the size MeasureLabels gave, in the owner's
    // destination's pixel format; nothing without a destination.
    void Render();
    // Draws the label onto the owner's destination at (X, Y), rendering first when the label is
    // dirty or the destination's pixel format changed; nothing without a destination.
    void Draw(int32_t X, int32_t Y);
};

// The shared settings of a set of captions and the captions themselves (owned).
class TNxLabelList : public TObjList<TNxLabelDIB> {
public:
    int32_t AntialiasLevel = 3;  // 0..3
    int32_t Margin = 0;          // pixels added on each side; also the border size
    int32_t Alpha = 255;
    int32_t FontSize = 12;
    std::string FaceName = "ＭＳ Ｐゴシック";
    int32_t Color = 0xFFFFFF;
    int32_t BorderColor = 0;
    uint8_t Style = 0;  // bit 0 bold, 1 italic, 2 underline, 3 strike-out
    platform::OutlineMetrics Metrics{};  // kept as loaded
    int32_t ShadowSize = 0;  // added to every advance and to the height
    int32_t ShadowColor = 0;
    TCustomDIBX* Dest = nullptr;  // the surface the labels draw onto; the owner's
    TNxTagValList Advances;

    // The label at Index, nullptr out of range.
    TNxLabelDIB* GetLabel(int Index) const;
    TNxLabelDIB* AddLabel();
    // The widest label's width; 0 for an empty list.
    int32_t GetMaxWidth() const;
    // The border the labels are measured and drawn with: Margin, none when it is negative, at
    // most GlyphBorderLimit(FontSize).
    int32_t GlyphBorder() const;
    void SetFontSize(int32_t Size);
    void InvalidateAll();
    // Every label's height, per-character widths and width from the font settings.
    void MeasureLabels();

    void SaveToStream(TStream& Stream) const;
    // Reads the settings record of a save of Version; a record that ends early raises EReadError
    // and leaves the settings as they were. Every label is rendered again at its next draw.
    void LoadFromStream(TStream& Stream, int32_t Version);

private:
    // The settings Advances was measured with.
    struct TMeasureKey {
        std::string Face;
        int32_t Size, Margin, Shadow;
        uint8_t Style;
        bool operator==(const TMeasureKey&) const = default;
    };
    TMeasureKey measured_{};
};
