// The text label: layout through the glyph rasteriser, the three ways of drawing, the turned
// bounds and hit test, and the label record.
#include "objects/vitemex_label.h"

#include "graphics/graphic.h"
#include "media/screenman.h"
#include "objects/vitemex_image.h"
#include "objects/vitemex_imagelist.h"
#include "objects/vitems_kinds.h"
#include "text/fontpixels.h"

#include <algorithm>
#include <limits>
#include <numbers>

namespace {

constexpr long double FullTurn = 2 * std::numbers::pi_v<long double>;
// The face an empty font name draws in.
const std::string DefaultFace = "ＭＳ ゴシック";

// S split at CR LF, CR or LF; a trailing line break adds no line.
std::vector<std::string> SplitLines(const std::string& S) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < S.size(); ++i) {
        const char c = S[i];
        if (c != '\r' && c != '\n') {
            lines.back() += c;
            continue;
        }
        if (c == '\r' && i + 1 < S.size() && S[i + 1] == '\n') ++i;
        lines.emplace_back();
    }
    if (lines.back().empty()) lines.pop_back();
    return lines;
}

std::string JoinLines(const std::vector<std::string>& Lines, bool TrailingBreak) {
    std::string text;
    for (size_t i = 0; i < Lines.size(); ++i) {
        text += Lines[i];
        if (TrailingBreak || i + 1 < Lines.size()) text += "\r\n";
    }
    return text;
}

int32_t Clamped(int64_t V) {
    return int32_t(std::clamp<int64_t>(V, 0, std::numeric_limits<int32_t>::max()));
}

}  // namespace

int32_t ClampLabelFontSize(int32_t Size) { return std::clamp(Size, -MaxStoredFontSize, MaxStoredFontSize); }

void CheckStoredLabelFont(int32_t Height, int32_t LineSpace) {
    if (ClampLabelFontSize(Height) != Height || ClampLabelFontSize(LineSpace) != LineSpace) throw EReadError();
}

TVelaLabel::TVelaLabel(TVelaBaseList* AOwner, bool UniqueName) : TVelaControl(AOwner, UniqueName) {
    TextImage.SetSize(0, 0, 32);
    TextMask.SetSize(0, 0, 8);
}

TVelaLabel::~TVelaLabel() { Invalidate(); }

// ---- Text and font ----

std::string TVelaLabel::GetText() const { return JoinLines(Lines, false); }

void TVelaLabel::SetText(const std::string& S) {
    if (S == GetText()) return;
    Relayout(SplitLines(S), Font);
}

template <class T>
void TVelaLabel::ChangeFont(T TFont::*Field, T Value) {
    if (Font.*Field == Value) return;
    TFont font = Font;
    font.*Field = Value;
    Relayout(Lines, font);
}

void TVelaLabel::SetFontname(const std::string& S) { ChangeFont(&TFont::Name, S); }
void TVelaLabel::SetFontheight(int32_t V) { ChangeFont(&TFont::Height, ClampLabelFontSize(V)); }
void TVelaLabel::SetLinespace(int32_t V) { ChangeFont(&TFont::LineSpace, ClampLabelFontSize(V)); }
void TVelaLabel::SetFontstyle(int32_t V) { ChangeFont(&TFont::Style, uint8_t(V)); }
void TVelaLabel::SetHalign(int32_t V) { ChangeFont(&TFont::HAlign, uint8_t(V)); }
void TVelaLabel::SetAntialias(bool V) { ChangeFont(&TFont::Antialias, V); }
void TVelaLabel::SetFontcolor(int32_t V) { ChangeFont(&TFont::Color, V); }

// ---- Layout ----

int TVelaLabel::BitCount() {
    const TCustomDIBX* layer = GetLayerSurface();
    const int bits = layer ? layer->GetBitCount() : ScreenBitCount();
    return bits >= 8 ? bits : 32;
}

TVelaLabel::TTextLayout TVelaLabel::Measure(const std::vector<std::string>& ALines, const TFont& AFont) const {
    TTextLayout layout;
    const std::string& face = AFont.Name.empty() ? DefaultFace : AFont.Name;
    if (FontPixelManager) FontPixelManager->AntialiasLevel = AFont.Antialias ? 3 : 0;
    int64_t widest = 0;
    for (const std::string& text : ALines) {
        TLineLayout& line = layout.Lines.emplace_back();
        line.Codes = CharCodes(text);
        int64_t width = 0;
        for (uint16_t code : line.Codes) {
            int32_t advance = 0;
            if (FontPixelManager) {
                const TFontPixel& glyph = *FontPixelManager->GetGlyph(code, face, AFont.Height, AFont.Style);
                advance = glyph.GetWidth() + glyph.OffsetX + glyph.TrailingSpace;
            }
            line.Advances.push_back(advance);
            width += advance;
        }
        line.Width = Clamped(width);
        widest = std::max(widest, width);
    }
    const int64_t height = (int64_t(AFont.Height) + AFont.LineSpace) * int64_t(ALines.size());
    // Checked at the deepest layer a device change can bring, so that a later render at any
    // depth fits.
    if (widest > 0 && height > 0) {
        CheckImageSize(widest, height, 32);
        CheckImageSize(widest, height, 8);
    }
    layout.Width = Clamped(widest);
    layout.Height = Clamped(height);
    return layout;
}

int32_t TVelaLabel::ZoomedExtent(int32_t Natural, long double Zoom) { return std::max(1, RoundSat(Natural * Zoom)); }

void TVelaLabel::Relayout(std::vector<std::string> ALines, const TFont& AFont) {
    TTextLayout layout = Measure(ALines, AFont);
    Lines = std::move(ALines);
    Font = AFont;
    Layout = std::move(layout);
    SetBounds(GetLeft(), GetTop(), ZoomedExtent(Layout.Width, ZoomX), ZoomedExtent(Layout.Height, ZoomY));
    Render();
    Invalidate();
}

void TVelaLabel::Render() {
    LineRects.clear();
    const int32_t w = Layout.Width, h = Layout.Height;
    if (w <= 0 || h <= 0 || !FontPixelManager) return;
    const int bits = BitCount();
    if (TextImage.GetWidth() != w || TextImage.GetHeight() != h || TextImage.GetBitCount() != bits)
        TextImage.SetSize(w, h, bits);
    if (TextMask.GetWidth() != w || TextMask.GetHeight() != h) TextMask.SetSize(w, h, 8);
    TextMask.Fill(0);
    // The whole image takes the colour: the mask alone shapes the text, its lines included.
    const int32_t color = TextImage.ColorToPixel(Font.Color);
    TextImage.Fill(color);

    FontPixelManager->AntialiasLevel = Font.Antialias ? 3 : 0;
    const std::string& face = Font.Name.empty() ? DefaultFace : Font.Name;
    const TRect all = TextMask.GetBoundsRect();
    int32_t y = 0;
    for (const TLineLayout& line : Layout.Lines) {
        const int32_t gap = w - line.Width;
        int32_t x = Font.HAlign == 0 ? 0 : Font.HAlign == 1 ? gap / 2 : gap;
        TRect drawn{0, 0, 0, 0};
        const size_t count = line.Codes.size();
        for (size_t i = 0; i < count; ++i) {
            TFontPixel& glyph = *FontPixelManager->GetGlyph(line.Codes[i], face, Font.Height, Font.Style);
            TRect touched;
            glyph.Draw(TextImage, TextMask, Bounds(x, y, line.Advances[i], Font.Height), 0, 0, i == 0, i + 1 == count,
                       color, color, color, touched, false);
            if (!RectIsEmpty(touched))
                drawn = RectIsEmpty(drawn) ? touched
                                           : TRect{std::min(drawn.Left, touched.Left), std::min(drawn.Top, touched.Top),
                                                   std::max(drawn.Right, touched.Right),
                                                   std::max(drawn.Bottom, touched.Bottom)};
            x += line.Advances[i];
        }
        if (!RectIsEmpty(drawn)) drawn = IntersectRects(drawn, all);
        if (!RectIsEmpty(drawn)) LineRects.push_back(drawn);
        y += Font.Height + Font.LineSpace;
    }
}

void TVelaLabel::MakePrivateDIBs() {
    TVelaControl::MakePrivateDIBs();
    Relayout(Lines, Font);
}

// ---- Zoom and angle ----

void TVelaLabel::SetFloatzoomx(long double V) {
    if (V == ZoomX) return;
    Invalidate();
    ZoomX = V;
    TVelaControl::SetWidth(ZoomedExtent(Layout.Width, ZoomX));
    Invalidate();
}

void TVelaLabel::SetFloatzoomy(long double V) {
    if (V == ZoomY) return;
    Invalidate();
    ZoomY = V;
    TVelaControl::SetHeight(ZoomedExtent(Layout.Height, ZoomY));
    Invalidate();
}

int32_t TVelaLabel::GetZoomx() const { return TruncSat(ZoomX * 256); }
void TVelaLabel::SetZoomx(int32_t V) { SetFloatzoomx(V / 256.0L); }
int32_t TVelaLabel::GetZoomy() const { return TruncSat(ZoomY * 256); }
void TVelaLabel::SetZoomy(int32_t V) { SetFloatzoomy(V / 256.0L); }
int32_t TVelaLabel::GetAngle() const { return TruncSat(Angle / FullTurn * 255); }
void TVelaLabel::SetAngle(int32_t V) { Angle = V / 255.0L * FullTurn; }

// ---- Film ----

void TVelaLabel::SetSource(const std::string& S) { SetFilmSource(Source, S); }
void TVelaLabel::SetRepeat(bool V) { SetFilmRepeat(Repeat, V); }

// ---- Geometry ----

bool TVelaLabel::IsRotated() const { return !IsWholeTurn(Angle); }

TPoint TVelaLabel::RotatePivot() const {
    const int32_t w = std::max(1, Layout.Width), h = std::max(1, Layout.Height);
    return {FlipH ? w - 1 - GetOffsetx() : GetOffsetx(), FlipV ? h - 1 - GetOffsety() : GetOffsety()};
}

TRect TVelaLabel::GetBoundsRect() const {
    if (!IsRotated()) return PlainBounds();
    const TRect picture{0, 0, std::max(1, Layout.Width), std::max(1, Layout.Height)};
    const TPoint at = GetScreenPos();
    return TCustomDIBX::CalcRotateZoomBounds(at.X, at.Y, GetOffsetx(), GetOffsety(), picture, double(Angle),
                                             double(ZoomX), double(ZoomY), FlipH, FlipV);
}

TVelaObject* TVelaLabel::HitTest(TPoint P, uint32_t Mask) {
    if (!GetVisible() || !PointInRect(GetBoundsRect(), P.X, P.Y)) return nullptr;
    const int32_t mode = GetIgnoremouse();
    bool hit = mode >= 0 && mode < 32 && (Mask >> mode & 1);
    if (hit && IsRotated()) {
        const TPoint back = TurnBack(P, GetScreenPos(), Angle);
        hit = PointInRect(PlainBounds(), back.X, back.Y);
    }
    for (size_t i = Placed().size(); i-- > 0;)
        if (TVelaObject* child = Placed()[i]->HitTest(P, Mask)) return child;
    return hit ? this : nullptr;
}

// ---- Drawing ----

void TVelaLabel::DrawLines(TCustomDIBX& Dest) {
    const int32_t color = Dest.ColorToPixel(Font.Color);
    const int32_t x = GetOriginX(), y = GetOriginY();
    for (const TRect& line : LineRects) {
        const TRect at = MirrorInside(line, Layout.Width, Layout.Height, FlipH, FlipV);
        Dest.DrawAlphaMaskKeyed(x + at.Left, y + at.Top, TextMask, line, FlipH, FlipV, color, Alpha);
    }
}

void TVelaLabel::Prepare() {
    TCustomDIBX* dest = GetLayerSurface();
    if (!dest) return;
    if (!Lines.empty() && Alpha > 0 && Layout.Width > 0 && Layout.Height > 0 && ZoomX > 0 && ZoomY > 0) {
        if (TextImage.GetBitCount() != BitCount()) Render();
        const TRect whole = TextImage.GetBoundsRect();
        if (IsRotated()) {
            const TPoint at = GetScreenPos(), pivot = RotatePivot();
            dest->DrawRotateMask(at.X, at.Y, double(ZoomX), double(ZoomY), TextImage, whole, pivot.X, pivot.Y,
                                 double(Angle), FlipH, FlipV, TextMask, Alpha);
        } else if (GetWidth() == Layout.Width && GetHeight() == Layout.Height) {
            DrawLines(*dest);
        } else if (Alpha < 256) {
            dest->StretchDrawMask(PlainBounds(), TextImage, whole, FlipH, FlipV, TextMask, Alpha);
        } else {
            dest->StretchDrawAddMask(PlainBounds(), TextImage, whole, FlipH, FlipV, TextMask, Alpha - 256);
        }
    }
    TVelaControl::Prepare();
}

// ---- The record ----

// Written in the newest layout; before 143 the angle and the zooms were integers, before 104
// the handlers, the film and zoom y were absent.
void TVelaLabel::SaveToStream(TStream& Stream) {
    TVelaControl::SaveToStream(Stream);
    WriteStreamString(Stream, Font.Name);
    WriteStreamInt(Stream, Font.Height);
    WriteStreamInt(Stream, Font.LineSpace);
    WriteStreamByte(Stream, Font.Style);
    WriteStreamInt(Stream, Alpha);
    WriteStreamInt(Stream, Font.Color);
    WriteStreamByte(Stream, Font.HAlign);
    WriteStreamByte(Stream, Font.Antialias);
    WriteStreamByte(Stream, FlipH);
    WriteStreamByte(Stream, FlipV);
    WriteStreamExtended(Stream, Angle);
    WriteStreamExtended(Stream, ZoomX);
    WriteStreamString(Stream, JoinLines(Lines, true));
    WriteStreamString(Stream, OnIdle);
    WriteStreamString(Stream, Source);
    WriteStreamByte(Stream, Repeat);
    WriteStreamByte(Stream, AutoScrap);
    WriteStreamString(Stream, OnPlayEnd);
    WriteStreamByte(Stream, Paused);
    WriteStreamExtended(Stream, ZoomY);
}

void TVelaLabel::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaControl::LoadFromStream(Stream, Version);
    TFont font;
    font.Name = ReadStreamString(Stream);
    font.Height = ReadStreamInt(Stream);
    font.LineSpace = ReadStreamInt(Stream);
    CheckStoredLabelFont(font.Height, font.LineSpace);
    font.Style = ReadStreamByte(Stream);
    const int32_t alpha = ReadStreamInt(Stream);
    font.Color = ReadStreamInt(Stream);
    font.HAlign = ReadStreamByte(Stream);
    font.Antialias = ReadStreamByte(Stream) != 0;
    const bool flipH = ReadStreamByte(Stream) != 0, flipV = ReadStreamByte(Stream) != 0;
    const bool floats = Version >= 143;
    const long double angle = floats ? ReadFiniteExtended(Stream) : ReadStreamInt(Stream) / 255.0L * FullTurn;
    const long double zoomX = floats ? ReadFiniteExtended(Stream) : ReadStreamInt(Stream) / 256.0L;
    const std::string text = ReadStreamString(Stream);
    std::string source = Source;
    long double zoomY = ZoomY;
    if (Version >= 104) {
        OnIdle = ReadStreamString(Stream);
        source = ReadStreamString(Stream);
        Repeat = ReadStreamByte(Stream) != 0;
        AutoScrap = ReadStreamByte(Stream) != 0;
        OnPlayEnd = ReadStreamString(Stream);
        Paused = ReadStreamByte(Stream) != 0;
        zoomY = floats ? ReadFiniteExtended(Stream) : ReadStreamInt(Stream) / 256.0L;
    }
    Invalidate();
    Alpha = alpha;
    FlipH = flipH;
    FlipV = flipV;
    Angle = angle;
    ZoomX = zoomX;
    ZoomY = zoomY;
    // Laid out again only for a text or font that differs, as the property writes would.
    if (text != JoinLines(Lines, true) || !(font == Font)) Relayout(SplitLines(text), font);
    SetSource(source);
}
