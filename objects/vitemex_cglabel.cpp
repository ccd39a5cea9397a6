// The character-image label: the cell indexes of the text, the size rules, the cell-by-cell
// draw, the sheet's frame step and the record.
#include "objects/vitemex_cglabel.h"

#include "core/jstrm.h"
#include "core/stringlist.h"
#include "core/sysutils.h"
#include "objects/vitems_kinds.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

namespace {

// Sizes and places are worked out in 64 bits: one beyond the int32 range is never shown, so a
// size saturates and a cell there is not drawn.
bool Fits(int64_t V) { return V >= INT32_MIN && V <= INT32_MAX; }
int32_t Saturate(int64_t V) { return int32_t(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX)); }

}  // namespace

TVelaCGLabel::TVelaCGLabel(TVelaBaseList* AOwner, bool UniqueName)
    : TVelaControl(AOwner, UniqueName), Images(std::make_unique<TVelaImageList>()) {}

TVelaCGLabel::~TVelaCGLabel() { Invalidate(); }

// ---- Properties ----

void TVelaCGLabel::SetSource(const std::string& S) {
    if (S == Source) return;
    Invalidate();
    Source = S;
    Images->Clear();
    Images->SetFrame(-1);
    if (!S.empty()) Images->LoadImage(S, false);
    if (Images->Count() > 0) Images->SetFrame(0);
}

void TVelaCGLabel::SetText(const std::string& S) {
    if (S == Text) return;
    Text = S;
    RebuildIndexes();
    Resize();
}

void TVelaCGLabel::SetMaptext(const std::string& S) {
    if (S == MapText) return;
    MapText = S;
    RebuildIndexes();
    Invalidate();
}

void TVelaCGLabel::SetGlyphwidth(int32_t V) {
    V = std::max(V, 1);
    if (V == GlyphWidth) return;
    GlyphWidth = V;
    Resize();
}

void TVelaCGLabel::SetGlyphheight(int32_t V) {
    V = std::max(V, 1);
    if (V == GlyphHeight) return;
    GlyphHeight = V;
    Resize();
}

void TVelaCGLabel::SetLinespace(int32_t V) {
    if (V == LineSpace) return;
    LineSpace = V;
    Resize();
}

void TVelaCGLabel::SetHalign(int32_t V) {
    const auto align = static_cast<uint8_t>(V);
    if (align == HAlign) return;
    HAlign = align;
    Invalidate();
}

void TVelaCGLabel::SetAlpha(int32_t V) {
    if (V == Alpha) return;
    Alpha = V;
    Invalidate();
}

TCustomDIBX* TVelaCGLabel::ShownDIB() const {
    const TVelaImageData* item = Images->GetItem(Images->Current);
    return item ? item->GetDIB() : nullptr;
}

int32_t TVelaCGLabel::GetOrigwidth() const {
    const TCustomDIBX* dib = ShownDIB();
    return dib ? dib->GetWidth() : 0;
}

int32_t TVelaCGLabel::GetOrigheight() const {
    const TCustomDIBX* dib = ShownDIB();
    return dib ? dib->GetHeight() : 0;
}

// ---- Layout ----

namespace {

// The code of the character of Length bytes at p: the byte, or lead * 256 + trail.
int CharCode(std::string_view S, size_t p, size_t Length) {
    const int lead = static_cast<uint8_t>(S[p]);
    return Length == 2 ? lead << 8 | static_cast<uint8_t>(S[p + 1]) : lead;
}

}  // namespace

void TVelaCGLabel::RebuildIndexes() {
    // Where each character first stands in the map, by its code. A lead byte alone (the last
    // byte of a line) stands where the first character it begins stands, as a search would find it.
    std::unordered_map<int, int32_t> cells;
    int32_t cell = 0;
    for (size_t i = 0; i < MapText.size(); ++cell) {
        const size_t length = CharSize(MapText, i);
        cells.try_emplace(CharCode(MapText, i, length), cell);
        if (length == 2) cells.try_emplace(CharCode(MapText, i, 1), cell);
        i += length;
    }
    CellIndexes.clear();
    for (std::string_view line : SplitLines(Text)) {
        TIntArray& indexes = CellIndexes.emplace_back();
        for (size_t i = 0; i < line.size();) {
            const size_t length = CharSize(line, i);
            const auto found = cells.find(CharCode(line, i, length));
            indexes.Add(found == cells.end() ? -1 : found->second);
            i += length;
        }
    }
}

void TVelaCGLabel::Resize() {
    int64_t longest = 0;
    for (const TIntArray& line : CellIndexes) longest = std::max<int64_t>(longest, line.Count());
    const auto lines = static_cast<int64_t>(CellIndexes.size());
    int64_t height = int64_t(GlyphHeight) * lines;
    if (lines >= 2) height += int64_t(LineSpace) * (lines - 1);
    SetWidth(Saturate(int64_t(GlyphWidth) * longest));
    SetHeight(Saturate(height));
    Invalidate();
}

// ---- Drawing and the tick ----

void TVelaCGLabel::Prepare() {
    TVelaImageData* frame = Images->GetItem(Images->Current);
    if (GetWidth() > 0 && GetHeight() > 0 && frame && Alpha > 0) {
        const TCustomDIBX* dib = frame->GetDIB();
        if (!dib) return;
        const int32_t columns = dib->GetWidth() / GlyphWidth;
        if (columns < 1) return;
        const int32_t cells = dib->GetHeight() / GlyphHeight * columns;
        int64_t y = GetOriginY();
        for (const TIntArray& line : CellIndexes) {
            const int64_t used = int64_t(GlyphWidth) * line.Count();
            int64_t x = GetOriginX();
            if (HAlign == 1)
                x += (GetWidth() - used) / 2;
            else if (HAlign != 0)
                x += GetWidth() - used;
            for (int i = 0; i < line.Count(); ++i) {
                const int32_t index = line.GetValue(i);
                if (index >= 0 && index < cells && Fits(x) && Fits(y)) {
                    const int32_t left = index % columns * GlyphWidth, top = index / columns * GlyphHeight;
                    frame->DrawTo(*this, int32_t(x), int32_t(y), {left, top, left + GlyphWidth, top + GlyphHeight});
                }
                x += GlyphWidth;
            }
            y += int64_t(GlyphHeight) + LineSpace;
        }
    }
    TVelaControl::Prepare();
}

bool TVelaCGLabel::Step() {
    if (TVelaControl::Step()) return true;
    if (!GetAnipaused() && Images->StepAnimation(static_cast<int32_t>(SceneTickLength()))) Invalidate();
    return false;
}

void TVelaCGLabel::FreePrivateDIBs() {
    TVelaControl::FreePrivateDIBs();
    Images->FreePrivateDIBs();
}

void TVelaCGLabel::MakePrivateDIBs() {
    Images->MakePrivateDIBs();
    TVelaControl::MakePrivateDIBs();
}

// ---- The record ----

void TVelaCGLabel::SaveToStream(TStream& Stream) {
    TVelaControl::SaveToStream(Stream);
    for (const std::string* s : {&Source, &Text, &MapText}) WriteStreamString(Stream, *s);
    for (int32_t v : {GlyphWidth, GlyphHeight, LineSpace}) WriteStreamInt(Stream, v);
    WriteStreamByte(Stream, Paused);
    WriteStreamByte(Stream, HAlign);
    WriteStreamInt(Stream, Alpha);
    WriteStreamString(Stream, OnIdle);
}

// A stored cell size below 1 is taken as 1, as the setters take it: the cell count divides by it.
void TVelaCGLabel::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaControl::LoadFromStream(Stream, Version);
    SetSource(ReadStreamString(Stream));
    Text = ReadStreamString(Stream);
    MapText = ReadStreamString(Stream);
    GlyphWidth = std::max(ReadStreamInt(Stream), 1);
    GlyphHeight = std::max(ReadStreamInt(Stream), 1);
    LineSpace = ReadStreamInt(Stream);
    Paused = ReadStreamByte(Stream) != 0;
    HAlign = ReadStreamByte(Stream);
    Alpha = ReadStreamInt(Stream);
    if (Version >= 125) OnIdle = ReadStreamString(Stream);
    RebuildIndexes();
    Resize();
}
