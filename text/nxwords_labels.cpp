#include "text/nxwords_labels.h"
#include "text/fontpixels.h"

#include <algorithm>

namespace {

// The shadow size a label list renders and measures with; a stored negative size counts as none.
int32_t ShadowOf(const TNxLabelList& List) { return std::max(List.ShadowSize, 0); }

}  // namespace

// ---- TNxTagValList ----

int32_t& TNxTagValList::FindOrAdd(uint16_t Code) {
    const auto at = std::find(Codes.begin(), Codes.end(), Code);
    if (at != Codes.end()) return Values[size_t(at - Codes.begin())];
    Codes.push_back(Code);
    return Values.emplace_back(0);
}

void TNxTagValList::Clear() {
    Codes.clear();
    Values.clear();
}

// ---- TNxLabelDIB ----

void TNxLabelDIB::SetText(const std::string& AText) {
    if (AText == Text) return;
    Text = AText;
    Dirty = true;
}

void TNxLabelDIB::Render() {
    TCustomDIBX* dest = Owner->Dest;
    if (!dest) return;
    const int bits = dest->GetBitCount();
    if (TextDIB.GetWidth() != Width || TextDIB.GetHeight() != Height || TextDIB.GetBitCount() != bits) {
        TextDIB.SetSize(Width, Height, bits);
        EffectDIB.SetSize(Width, Height, 8);
    }
    if (Width > 0 && Height > 0) {
        EffectDIB.Fill(0);
        const TNxLabelList& list = *Owner;
        FontPixelManager->AntialiasLevel = std::clamp(list.AntialiasLevel, 0, 3);
        const int32_t textColor = TextDIB.ColorToPixel(list.Color);
        const int32_t borderColor = TextDIB.ColorToPixel(list.BorderColor);
        const int32_t shadowColor = TextDIB.ColorToPixel(list.ShadowColor);
        // Widths may still be those of an earlier text when the label was not measured since.
        const std::vector<uint16_t> codes = CharCodes(Text);
        const size_t count = std::min(codes.size(), Widths.size());
        const int32_t border = list.GlyphBorder(), shadow = ShadowOf(list);
        int32_t x = 0;
        for (size_t i = 0; i < count; ++i) {
            TFontPixel* glyph = FontPixelManager->GetGlyph(codes[i], list.FaceName, list.FontSize, list.Style);
            TRect touched;
            glyph->Draw(TextDIB, EffectDIB, Bounds(x, 0, Widths[i], Height), border, shadow, i == 0, i + 1 == count,
                        textColor, borderColor, shadowColor, touched, false);
            x += Widths[i];
        }
    }
    Dirty = false;
}

void TNxLabelDIB::Draw(int32_t X, int32_t Y) {
    TCustomDIBX* dest = Owner->Dest;
    if (!dest) return;
    if (Dirty || TextDIB.GetBitCount() != dest->GetBitCount()) Render();
    const TNxLabelList& list = *Owner;
    const TRect all = EffectDIB.GetBoundsRect();
    // Without border and shadow the coverage alone carries the text: the list's colour through it.
    if (list.GlyphBorder() == 0 && ShadowOf(list) == 0)
        dest->DrawAlphaMaskKeyed(X, Y, EffectDIB, all, false, false, dest->ColorToPixel(list.Color), list.Alpha);
    else if (list.Alpha < 255)
        dest->DrawAlphaMask(X, Y, TextDIB, all, false, false, EffectDIB, list.Alpha);
    else
        dest->DrawMask(X, Y, TextDIB, all, false, false, EffectDIB);
}

// ---- TNxLabelList ----

TNxLabelDIB* TNxLabelList::GetLabel(int Index) const {
    return Index >= 0 && Index < Count() ? Items(Index) : nullptr;
}

TNxLabelDIB* TNxLabelList::AddLabel() { return Items(Add(std::make_unique<TNxLabelDIB>(this))); }

int32_t TNxLabelList::GetMaxWidth() const {
    int32_t widest = 0;
    for (int i = 0; i < Count(); ++i) widest = std::max(widest, Items(i)->Width);
    return widest;
}

int32_t TNxLabelList::GlyphBorder() const { return std::clamp(Margin, 0, GlyphBorderLimit(FontSize)); }

void TNxLabelList::SetFontSize(int32_t Size) {
    FontSize = Size;
    InvalidateAll();
}

void TNxLabelList::InvalidateAll() {
    for (int i = 0; i < Count(); ++i) Items(i)->Dirty = true;
}

void TNxLabelList::MeasureLabels() {
    const int32_t border = GlyphBorder(), shadow = ShadowOf(*this);
    // Cached advances hold only for the settings they were measured with.
    const TMeasureKey key{FaceName, FontSize, border, shadow, Style};
    if (!(key == measured_)) {
        Advances.Clear();
        measured_ = key;
    }
    const int32_t height = FontSize + 2 * border + shadow;
    for (int i = 0; i < Count(); ++i) {
        TNxLabelDIB& label = *Items(i);
        const std::vector<uint16_t> codes = CharCodes(label.Text);
        label.Height = height;
        label.Widths.clear();
        label.Width = 0;
        for (size_t c = 0; c < codes.size(); ++c) {
            int32_t& advance = Advances.FindOrAdd(codes[c]);
            // The last character is always measured afresh.
            if (advance == 0 || c + 1 == codes.size()) {
                int32_t cellHeight = 0, trailing = 0, box = 0, offset = 0;
                FontPixelManager->GetGlyphMetrics(codes[c], FaceName, Style, FontSize, cellHeight, trailing, box,
                                                  offset);
                advance = offset + box + trailing + 2 * border + shadow;
            }
            label.Widths.push_back(advance);
            label.Width += advance;
        }
    }
}

void TNxLabelList::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, AntialiasLevel);
    WriteStreamInt(Stream, Margin);
    WriteStreamInt(Stream, Alpha);
    WriteStreamInt(Stream, FontSize);
    WriteStreamString(Stream, FaceName);
    WriteStreamInt(Stream, Color);
    WriteStreamInt(Stream, BorderColor);
    WriteStreamByte(Stream, Style);
    Stream.WriteBuffer(Metrics.data(), int64_t(Metrics.size()));
    WriteStreamInt(Stream, ShadowSize);
    WriteStreamInt(Stream, ShadowColor);
}

void TNxLabelList::LoadFromStream(TStream& Stream, int32_t Version) {
    int32_t level = ReadStreamInt(Stream);
    const int32_t margin = ReadStreamInt(Stream);
    const int32_t alpha = ReadStreamInt(Stream);
    const int32_t size = ReadStreamInt(Stream);
    std::string face = ReadStreamString(Stream);
    const int32_t color = ReadStreamInt(Stream);
    const int32_t borderColor = ReadStreamInt(Stream);
    const uint8_t style = ReadStreamByte(Stream);
    platform::OutlineMetrics metrics;
    Stream.ReadBuffer(metrics.data(), int64_t(metrics.size()));
    int32_t shadowSize = ShadowSize, shadowColor = ShadowColor;
    if (Version >= 122) {
        shadowSize = ReadStreamInt(Stream);
        shadowColor = ReadStreamInt(Stream);
    }
    CheckStoredGlyphSizes(size, margin, shadowSize);
    // Older records knew only antialiasing off (0, 1) or on.
    if (Version < 109) level = level == 0 || level == 1 ? 0 : 3;

    AntialiasLevel = level;
    Margin = margin;
    Alpha = alpha;
    FontSize = size;
    FaceName = std::move(face);
    Color = color;
    BorderColor = borderColor;
    Style = style;
    Metrics = metrics;
    ShadowSize = shadowSize;
    ShadowColor = shadowColor;
    InvalidateAll();
}
