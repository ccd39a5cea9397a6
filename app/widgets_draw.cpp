// The widgets' draws: system colours, the canvas, edges, patterns, text and transparent copies.
#include "app/widgets.h"
#include "core/sysutils.h"
#include "text/fontpixels.h"

#include <array>

namespace {

// The classic grey scheme, 0x00RRGGBB as written in colour pickers (turned round below).
constexpr std::array<uint32_t, SysColorCount> SysColorsRGB = {
    0xD4D0C8, 0x3A6EA5, 0x0A246A, 0x808080, 0xD4D0C8, 0xFFFFFF, 0x000000, 0x000000, 0x000000, 0xFFFFFF,
    0xD4D0C8, 0xD4D0C8, 0x808080, 0x0A246A, 0xFFFFFF, 0xD4D0C8, 0x808080, 0x808080, 0x000000, 0xD4D0C8,
    0xFFFFFF, 0x404040, 0xD4D0C8, 0x000000, 0xFFFFE1, 0xB5B5B5, 0x000080, 0xA6CAF0, 0xC0C0C0,
};

constexpr TColor Swap(uint32_t C) { return TColor(((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF)); }

TRect Intersect(const TRect& A, const TRect& B) {
    return {std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right), std::min(A.Bottom, B.Bottom)};
}

// The canvas narrowed to R (canvas coordinates), origin kept.
TWidgetCanvas ClippedTo(const TWidgetCanvas& Canvas, const TRect& R) {
    TWidgetCanvas c = Canvas;
    c.Clip = Intersect(Canvas.Clip, {R.Left + Canvas.Origin.X, R.Top + Canvas.Origin.Y, R.Right + Canvas.Origin.X,
                                     R.Bottom + Canvas.Origin.Y});
    return c;
}

}  // namespace

TColor GetSysColor(int32_t Index) {
    return Index >= 0 && Index < SysColorCount ? Swap(SysColorsRGB[size_t(Index)]) : clBlack;
}

TColor ColorToRGB(TColor Color) {
    if (Color == clNone || (uint32_t(Color) & 0xFF000000u) != 0x80000000u) return Color;
    return GetSysColor(Color & 0xFFFFFF);
}

// ---- Canvas ----

TWidgetCanvas::TWidgetCanvas(TCustomDIBX& ASurface) : Surface(ASurface), Clip(ASurface.GetBoundsRect()) {}

TWidgetCanvas TWidgetCanvas::Part(const TRect& R) const {
    TWidgetCanvas c = ClippedTo(*this, R);
    c.Origin = {Origin.X + R.Left, Origin.Y + R.Top};
    return c;
}

bool TWidgetCanvas::Visible(int32_t X, int32_t Y) const {
    const int32_t x = X + Origin.X, y = Y + Origin.Y;
    return x >= Clip.Left && x < Clip.Right && y >= Clip.Top && y < Clip.Bottom && x >= 0 && y >= 0 &&
           x < Surface.GetWidth() && y < Surface.GetHeight();
}

void TWidgetCanvas::FillRect(const TRect& R, TColor Color) {
    if (Color == clNone) return;
    const TRect r = Intersect(Clip, {R.Left + Origin.X, R.Top + Origin.Y, R.Right + Origin.X, R.Bottom + Origin.Y});
    if (RectIsEmpty(r)) return;
    Surface.FillRect(r, Surface.ColorToPixel(ColorToRGB(Color)));
}

void TWidgetCanvas::FrameRect(const TRect& R, TColor Color) {
    if (RectIsEmpty(R)) return;
    HLine(R.Left, R.Right, R.Top, Color);
    HLine(R.Left, R.Right, R.Bottom - 1, Color);
    VLine(R.Left, R.Top, R.Bottom, Color);
    VLine(R.Right - 1, R.Top, R.Bottom, Color);
}

void TWidgetCanvas::Pixel(int32_t X, int32_t Y, TColor Color) {
    if (Color == clNone || !Visible(X, Y)) return;
    Surface.SetPixel(X + Origin.X, Y + Origin.Y, uint32_t(Surface.ColorToPixel(ColorToRGB(Color))));
}

TColor TWidgetCanvas::GetPixel(int32_t X, int32_t Y) const {
    const int32_t x = X + Origin.X, y = Y + Origin.Y;
    if (x < 0 || y < 0 || x >= Surface.GetWidth() || y >= Surface.GetHeight()) return clNone;
    return Swap(Surface.GetPixel(x, y) & 0xFFFFFF);
}

void TWidgetCanvas::HLine(int32_t X1, int32_t X2, int32_t Y, TColor Color) { FillRect({X1, Y, X2, Y + 1}, Color); }

void TWidgetCanvas::VLine(int32_t X, int32_t Y1, int32_t Y2, TColor Color) { FillRect({X, Y1, X + 1, Y2}, Color); }

// ---- Edges and patterns ----

namespace {

struct TEdgeColors {
    TColor TopLeft, BottomRight;
};

// The colours of one edge: Kind 1 raised, 2 sunken, else none.
TEdgeColors EdgeColors(uint32_t Kind, bool Outer, uint32_t Flags) {
    if (Flags & BF_MONO) return Outer ? TEdgeColors{clWindowFrame, clWindowFrame} : TEdgeColors{clWindow, clWindow};
    if (Flags & BF_FLAT) return Outer ? TEdgeColors{clBtnShadow, clBtnShadow} : TEdgeColors{clBtnFace, clBtnFace};
    const bool soft = Flags & BF_SOFT;
    if (Kind == 1)
        return Outer ? TEdgeColors{soft ? clBtnHighlight : cl3DLight, cl3DDkShadow}
                     : TEdgeColors{soft ? cl3DLight : clBtnHighlight, clBtnShadow};
    return Outer ? TEdgeColors{soft ? cl3DDkShadow : clBtnShadow, clBtnHighlight}
                 : TEdgeColors{soft ? clBtnShadow : cl3DDkShadow, cl3DLight};
}

// One ring of edges on R's border, on the sides Flags names; R shrinks on those sides.
void DrawRing(TWidgetCanvas& Canvas, TRect& R, const TEdgeColors& C, uint32_t Flags) {
    if (Flags & BF_TOP) Canvas.HLine(R.Left, R.Right - 1, R.Top, C.TopLeft);
    if (Flags & BF_LEFT) Canvas.VLine(R.Left, R.Top, R.Bottom - 1, C.TopLeft);
    if (Flags & BF_BOTTOM) Canvas.HLine(R.Left, R.Right, R.Bottom - 1, C.BottomRight);
    if (Flags & BF_RIGHT) Canvas.VLine(R.Right - 1, R.Top, R.Bottom, C.BottomRight);
    if (Flags & BF_LEFT) ++R.Left;
    if (Flags & BF_TOP) ++R.Top;
    if (Flags & BF_RIGHT) --R.Right;
    if (Flags & BF_BOTTOM) --R.Bottom;
}

}  // namespace

void DrawEdge(TWidgetCanvas& Canvas, TRect& R, uint32_t Edge, uint32_t Flags) {
    TRect inner = R;
    const uint32_t outerKind = Edge & BDR_OUTER, innerKind = (Edge & BDR_INNER) >> 2;
    if (outerKind == 1 || outerKind == 2) DrawRing(Canvas, inner, EdgeColors(outerKind, true, Flags), Flags);
    if (innerKind == 1 || innerKind == 2) DrawRing(Canvas, inner, EdgeColors(innerKind, false, Flags), Flags);
    if (Flags & BF_MIDDLE) Canvas.FillRect(inner, (Flags & BF_MONO) ? clWindow : clBtnFace);
    if (Flags & BF_ADJUST) R = inner;
}

void Frame3D(TWidgetCanvas& Canvas, TRect& R, TColor TopLeft, TColor BottomRight, int32_t Width) {
    for (int32_t i = 0; i < Width; ++i) DrawRing(Canvas, R, {TopLeft, BottomRight}, BF_RECT);
}

void FillCheckered(TWidgetCanvas& Canvas, const TRect& R, TColor Color1, TColor Color2) {
    for (int32_t y = R.Top; y < R.Bottom; ++y)
        for (int32_t x = R.Left; x < R.Right; ++x) Canvas.Pixel(x, y, ((x + y) & 1) ? Color2 : Color1);
}

void DrawEtchedLine(TWidgetCanvas& Canvas, int32_t X, int32_t Y, int32_t Length, bool Horizontal) {
    if (Horizontal) {
        Canvas.HLine(X, X + Length, Y, clBtnShadow);
        Canvas.HLine(X, X + Length, Y + 1, clBtnHighlight);
    } else {
        Canvas.VLine(X, Y, Y + Length, clBtnShadow);
        Canvas.VLine(X + 1, Y, Y + Length, clBtnHighlight);
    }
}

void DrawFocusRect(TWidgetCanvas& Canvas, const TRect& R) {
    auto invert = [&](int32_t X, int32_t Y) {
        if ((X - R.Left + Y - R.Top) & 1) return;
        const TColor c = Canvas.GetPixel(X, Y);
        if (c != clNone) Canvas.Pixel(X, Y, c ^ 0xFFFFFF);
    };
    for (int32_t x = R.Left; x < R.Right; ++x) {
        invert(x, R.Top);
        if (R.Bottom - 1 > R.Top) invert(x, R.Bottom - 1);
    }
    for (int32_t y = R.Top + 1; y < R.Bottom - 1; ++y) {
        invert(R.Left, y);
        if (R.Right - 1 > R.Left) invert(R.Right - 1, y);
    }
}

// ---- Text ----

namespace {

struct TTextChar {
    uint16_t Code;
    bool Underline;
};

// The characters of Text, "&" marks taken out when Prefix holds.
std::vector<TTextChar> TextChars(const std::string& Text, bool Prefix) {
    std::vector<TTextChar> chars;
    bool underline = false;
    for (size_t i = 0; i < Text.size(); ++i) {
        const uint8_t b = uint8_t(Text[i]);
        if (Prefix && b == '&' && !underline) {
            if (i + 1 < Text.size() && Text[i + 1] == '&') {
                chars.push_back({'&', false});
                ++i;
            } else {
                underline = true;
            }
            continue;
        }
        uint16_t code = b;
        if (IsLeadByte(b) && i + 1 < Text.size()) code = uint16_t(b << 8 | uint8_t(Text[++i]));
        chars.push_back({code, underline});
        underline = false;
    }
    return chars;
}

// The glyph of a character; nullptr without a rasteriser or a face that serves it.
TFontPixel* GlyphOf(const TWidgetFont& Font, uint16_t Code) {
    if (!FontPixelManager) return nullptr;
    try {
        return FontPixelManager->GetGlyph(Code, Font.Name, Font.Height, uint8_t(Font.Style & (platform::kFontBold | platform::kFontItalic)));
    } catch (const EFontPixelError&) {
        return nullptr;
    }
}

int32_t Advance(const TWidgetFont& Font, uint16_t Code) {
    const TFontPixel* g = GlyphOf(Font, Code);
    return g ? g->OffsetX + g->GetWidth() + g->TrailingSpace : 0;
}

int32_t CharsWidth(const TWidgetFont& Font, const TTextChar* First, const TTextChar* Last) {
    int32_t w = 0;
    for (; First != Last; ++First) w += Advance(Font, First->Code);
    return w;
}

// Draws one character with its cell's top-left at (X, Y); the advance.
int32_t DrawChar(TWidgetCanvas& Canvas, int32_t X, int32_t Y, const TTextChar& C) {
    TFontPixel* g = GlyphOf(Canvas.Font, C.Code);
    if (!g) return 0;
    const TColor color = ColorToRGB(Canvas.Font.Color);
    const int32_t gx = X + g->OffsetX, gy = Y + g->OffsetY;
    for (int32_t y = 0; y < g->GetHeight(); ++y)
        for (int32_t x = 0; x < g->GetWidth(); ++x) {
            const uint32_t c = g->Surface.GetPixel(x, y) & 0xFF;
            if (c == 0 || !Canvas.Visible(gx + x, gy + y)) continue;
            if (c >= 255) {
                Canvas.Pixel(gx + x, gy + y, color);
                continue;
            }
            const TColor back = Canvas.GetPixel(gx + x, gy + y);
            TColor mixed = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                const uint32_t f = (uint32_t(color) >> shift) & 0xFF, b = (uint32_t(back) >> shift) & 0xFF;
                mixed |= TColor(((f * c + b * (255 - c)) / 255) << shift);
            }
            Canvas.Pixel(gx + x, gy + y, mixed);
        }
    const int32_t advance = g->OffsetX + g->GetWidth() + g->TrailingSpace;
    if (C.Underline) Canvas.HLine(X, X + advance, Y + TextHeight(Canvas.Font) - 1, color);
    return advance;
}

using TLine = std::pair<size_t, size_t>;  // first and past-the-last character

// Splits the characters into lines at line feeds and, with Wrap, before a word or a double-byte
// character that would pass Width; spaces at a wrap are dropped.
std::vector<TLine> BreakLines(const TWidgetFont& Font, const std::vector<TTextChar>& Chars, bool Single, bool Wrap,
                              int32_t Width) {
    std::vector<TLine> lines;
    size_t start = 0;
    while (true) {
        size_t end = start;
        int32_t w = 0;
        size_t lastBreak = 0;  // 0: none yet in this line
        bool broke = false;
        while (end < Chars.size()) {
            const uint16_t code = Chars[end].Code;
            if (!Single && (code == '\n' || code == '\r')) break;
            const int32_t adv = Advance(Font, code);
            if (Wrap && end > start && w + adv > Width && code != ' ') {
                if (code > 0xFF) lastBreak = end;
                if (lastBreak > start) {
                    end = lastBreak;
                    broke = true;
                    break;
                }
            }
            if (code == ' ' || code > 0xFF) lastBreak = code == ' ' ? end + 1 : end;
            w += adv;
            ++end;
        }
        size_t last = end;
        if (broke)
            while (last > start && Chars[last - 1].Code == ' ') --last;
        lines.emplace_back(start, last);
        if (end >= Chars.size()) break;
        start = end;
        if (!broke) {
            if (Chars[start].Code == '\r') ++start;
            if (start < Chars.size() && Chars[start].Code == '\n') ++start;
            if (start >= Chars.size()) break;
        } else {
            while (start < Chars.size() && Chars[start].Code == ' ') ++start;
        }
    }
    return lines;
}

}  // namespace

int32_t TextHeight(const TWidgetFont& Font) { return Font.Height; }

int32_t TextWidth(const TWidgetFont& Font, const std::string& Text, bool Prefix) {
    const std::vector<TTextChar> chars = TextChars(Text, Prefix);
    return CharsWidth(Font, chars.data(), chars.data() + chars.size());
}

char AcceleratorOf(const std::string& Caption) {
    for (size_t i = 0; i + 1 < Caption.size(); ++i) {
        if (IsLeadByte(Caption[i])) {
            ++i;
            continue;
        }
        if (Caption[i] != '&') continue;
        if (Caption[i + 1] == '&') {
            ++i;
            continue;
        }
        const char c = Caption[i + 1];
        return IsLeadByte(c) ? 0 : (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }
    return 0;
}

int32_t DrawText(TWidgetCanvas& Canvas, const std::string& Text, TRect& R, uint32_t Flags) {
    const std::vector<TTextChar> chars = TextChars(Text, !(Flags & DT_NOPREFIX));
    const bool single = Flags & DT_SINGLELINE;
    const std::vector<TLine> lines =
        BreakLines(Canvas.Font, chars, single, (Flags & DT_WORDBREAK) && !single, R.Right - R.Left);
    const int32_t lineHeight = TextHeight(Canvas.Font), height = lineHeight * int32_t(lines.size());
    if (Flags & DT_CALCRECT) {
        int32_t widest = 0;
        for (const TLine& l : lines)
            widest = std::max(widest, CharsWidth(Canvas.Font, chars.data() + l.first, chars.data() + l.second));
        R.Right = R.Left + widest;
        R.Bottom = R.Top + height;
        return height;
    }
    TWidgetCanvas canvas = (Flags & DT_NOCLIP) ? Canvas : ClippedTo(Canvas, R);
    int32_t y = R.Top;
    if (single && (Flags & DT_VCENTER)) y = R.Top + (R.Bottom - R.Top - lineHeight) / 2;
    if (single && (Flags & DT_BOTTOM)) y = R.Bottom - lineHeight;
    for (const TLine& l : lines) {
        const int32_t w = CharsWidth(Canvas.Font, chars.data() + l.first, chars.data() + l.second);
        int32_t x = R.Left;
        if (Flags & DT_CENTER) x = R.Left + (R.Right - R.Left - w) / 2;
        if (Flags & DT_RIGHT) x = R.Right - w;
        for (size_t i = l.first; i < l.second; ++i) {
            TTextChar c = chars[i];
            if (Flags & DT_HIDEPREFIX) c.Underline = false;
            x += DrawChar(canvas, x, y, c);
        }
        y += lineHeight;
    }
    return height;
}

void DrawDisabledText(TWidgetCanvas& Canvas, const std::string& Text, TRect R, uint32_t Flags) {
    TWidgetCanvas canvas = Canvas;
    canvas.Font.Color = clBtnHighlight;
    TRect shifted{R.Left + 1, R.Top + 1, R.Right + 1, R.Bottom + 1};
    DrawText(canvas, Text, shifted, Flags);
    canvas.Font.Color = clBtnShadow;
    DrawText(canvas, Text, R, Flags);
}

// ---- Transparent copies ----

namespace {

template <typename F>
void ForEachSourcePixel(TWidgetCanvas& Canvas, int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect,
                        F&& Fn) {
    const TRect src = Intersect(SrcRect, Source.GetBoundsRect());
    for (int32_t y = src.Top; y < src.Bottom; ++y)
        for (int32_t x = src.Left; x < src.Right; ++x) {
            const int32_t dx = X + x - SrcRect.Left, dy = Y + y - SrcRect.Top;
            if (Canvas.Visible(dx, dy)) Fn(x, y, dx + Canvas.Origin.X, dy + Canvas.Origin.Y);
        }
}

}  // namespace

void DrawTransparent(TWidgetCanvas& Canvas, int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect,
                     TColor Key) {
    const uint32_t key = uint32_t(Source.ColorToPixel(ColorToRGB(Key))) & 0xFFFFFF;
    ForEachSourcePixel(Canvas, X, Y, Source, SrcRect, [&](int32_t SX, int32_t SY, int32_t DX, int32_t DY) {
        const uint32_t p = Source.GetPixel(SX, SY) & 0xFFFFFF;
        if (Key == clNone || p != key) Canvas.Surface.SetPixel(DX, DY, p);
    });
}

void DrawMasked(TWidgetCanvas& Canvas, int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect,
                TCustomDIBX& Mask) {
    ForEachSourcePixel(Canvas, X, Y, Source, SrcRect, [&](int32_t SX, int32_t SY, int32_t DX, int32_t DY) {
        if (SX < Mask.GetWidth() && SY < Mask.GetHeight() && Mask.GetPixel(SX, SY) != 0)
            Canvas.Surface.SetPixel(DX, DY, Source.GetPixel(SX, SY) & 0xFFFFFF);
    });
}

void DrawMaskColor(TWidgetCanvas& Canvas, int32_t X, int32_t Y, TCustomDIBX& Mask, const TRect& SrcRect,
                   TColor Color) {
    const uint32_t pixel = uint32_t(Canvas.Surface.ColorToPixel(ColorToRGB(Color)));
    ForEachSourcePixel(Canvas, X, Y, Mask, SrcRect, [&](int32_t SX, int32_t SY, int32_t DX, int32_t DY) {
        if (Mask.GetPixel(SX, SY) != 0) Canvas.Surface.SetPixel(DX, DY, pixel);
    });
}
