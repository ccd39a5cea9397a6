#pragma once
// The text label: lines of plain text in one face, size, style and colour, laid out by the glyph
// rasteriser into a text image (the layer's depth) and an 8-bit coverage mask of the text's
// natural size, and drawn onto the layer blended by Alpha, aligned, zoomed, mirrored and turned.
// The control's size follows the text: the natural size times the zoom.
//
// Drawing takes one of three ways: unturned at the natural size, the font colour through the
// mask line rectangle by line rectangle (opaque from Alpha 255 up); unturned at another size, the
// text image stretched through the mask (Alpha 256 and above adds with intensity Alpha - 256);
// turned, the text image through the mask about the picture point (OffsetX, OffsetY).
#include "objects/vitems.h"

#include <cstdint>
#include <string>
#include <vector>

// A label's font height and line space, a film label track's too, lie within MaxStoredFontSize
// either way: a line taller than any title's screen. A property or track write is brought
// there; a stored one beyond raises EReadError.
int32_t ClampLabelFontSize(int32_t Size);
void CheckStoredLabelFont(int32_t Height, int32_t LineSpace);

class TVelaLabel : public TVelaControl {
public:
    explicit TVelaLabel(TVelaBaseList* AOwner, bool UniqueName = true);
    // Redraws the area the text covered.
    ~TVelaLabel() override;
    uint8_t GetCompoType() const override { return LT_LABEL; }

    // ---- Text and font; every change lays the text out again ----
    // The lines joined with CR LF. A new text splits at CR LF, CR or LF; a trailing line break
    // adds no line. A text or font whose laid-out size no surface can have raises
    // EInvalidGraphic and changes nothing.
    std::string GetText() const override;
    void SetText(const std::string& S) override;
    // The face; an empty name draws in "ＭＳ ゴシック".
    std::string GetFontname() const override { return Font.Name; }
    void SetFontname(const std::string& S) override;
    // Both bounded by ClampLabelFontSize.
    int32_t GetFontheight() const override { return Font.Height; }
    void SetFontheight(int32_t V) override;
    int32_t GetLinespace() const override { return Font.LineSpace; }
    void SetLinespace(int32_t V) override;
    // Style bits: 1 bold, 2 italic, 4 underline, 8 strike-out.
    int32_t GetFontstyle() const override { return Font.Style; }
    void SetFontstyle(int32_t V) override;
    // 0 left, 1 centre, any other right.
    int32_t GetHalign() const override { return Font.HAlign; }
    void SetHalign(int32_t V) override;
    // Grey edges (rasteriser level 3) or one-bit glyphs (level 0).
    bool GetAntialias() const override { return Font.Antialias; }
    void SetAntialias(bool V) override;
    int32_t GetFontcolor() const override { return Font.Color; }
    void SetFontcolor(int32_t V) override;

    // ---- Look ----
    int32_t GetAlpha() const override { return Alpha; }
    void SetAlpha(int32_t V) override { ChangeLook(Alpha, V); }
    bool GetFliph() const override { return FlipH; }
    void SetFliph(bool V) override { ChangeLook(FlipH, V); }
    bool GetFlipv() const override { return FlipV; }
    void SetFlipv(bool V) override { ChangeLook(FlipV, V); }
    // A zoom change sizes the control to the zoomed natural size (at least 1, saturated). A zoom
    // not above 0 draws nothing.
    long double GetFloatzoomx() const override { return ZoomX; }
    void SetFloatzoomx(long double V) override;
    long double GetFloatzoomy() const override { return ZoomY; }
    void SetFloatzoomy(long double V) override;
    // In 1/256 over the float zoom.
    int32_t GetZoomx() const override;
    void SetZoomx(int32_t V) override;
    int32_t GetZoomy() const override;
    void SetZoomy(int32_t V) override;
    long double GetFloatangle() const override { return Angle; }
    void SetFloatangle(long double V) override { ChangeLook(Angle, V); }
    // In 1/255 of a full turn over the float angle; a write does not redraw.
    int32_t GetAngle() const override;
    void SetAngle(int32_t V) override;

    // ---- Film and handlers ----
    std::string GetSource() const override { return Source; }
    // A ".vmt" file becomes the label's film.
    void SetSource(const std::string& S) override;
    bool GetRepeat() const override { return Repeat; }
    void SetRepeat(bool V) override;
    bool GetAutoscrap() const override { return AutoScrap; }
    void SetAutoscrap(bool V) override { AutoScrap = V; }
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override { Paused = V; }
    std::string GetOnidle() const override { return OnIdle; }
    void SetOnidle(const std::string& S) override { OnIdle = S; }
    std::string GetOnplayend() const override { return OnPlayEnd; }
    void SetOnplayend(const std::string& S) override { OnPlayEnd = S; }

    // ---- Drawing, hit testing, device loss, the record ----
    // Turned: the bounds of the turned, zoomed text image; else the control's rectangle.
    TRect GetBoundsRect() const override;
    void Prepare() override;
    // A turned label is hit where the point turned back lies in its unturned rectangle.
    TVelaObject* HitTest(TPoint P, uint32_t Mask) override;
    // Lays the text out again at the layer's depth.
    void MakePrivateDIBs() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

    // The laid-out text: its natural size, the lines' drawn rectangles inside the mask, the
    // pictures.
    int32_t GetNaturalWidth() const { return Layout.Width; }
    int32_t GetNaturalHeight() const { return Layout.Height; }
    const std::vector<TRect>& GetLineRects() const { return LineRects; }
    const TDIBX& GetTextImage() const { return TextImage; }
    const TDIBX& GetTextMask() const { return TextMask; }
    // Whether the angle turns the text (is not a whole number of turns).
    bool IsRotated() const;

private:
    // What the layout depends on.
    struct TFont {
        std::string Name = "ＭＳ Ｐゴシック";
        int32_t Height = 12, LineSpace = 0, Color = 0;
        uint8_t Style = 0, HAlign = 0;
        bool Antialias = false;
        bool operator==(const TFont&) const = default;
    };
    // One line's character codes and advances, and its width.
    struct TLineLayout {
        std::vector<uint16_t> Codes;
        std::vector<int32_t> Advances;
        int32_t Width = 0;
    };
    struct TTextLayout {
        std::vector<TLineLayout> Lines;
        int32_t Width = 0, Height = 0;
    };

    // Measures ALines in AFont; raises before anything changes when no surface can hold them.
    TTextLayout Measure(const std::vector<std::string>& ALines, const TFont& AFont) const;
    // Measures, then takes the lines, the font and the layout: sizes the control and renders.
    void Relayout(std::vector<std::string> ALines, const TFont& AFont);
    // Sets a font field through Relayout when it changes.
    template <class T>
    void ChangeFont(T TFont::*Field, T Value);
    // Draws the laid-out lines into the text image and the mask at the layer's depth.
    void Render();
    // The layer's bits per pixel, the screen's without a layer; 32 for a depth below 8.
    int BitCount();
    // The control's extent for a natural extent at a zoom: at least 1, saturated.
    static int32_t ZoomedExtent(int32_t Natural, long double Zoom);
    // The position the pivot lands on, and the pivot inside the text image (mirrored).
    TPoint RotatePivot() const;
    TRect PlainBounds() const { return TVelaControl::GetBoundsRect(); }
    // The line rectangles drawn unscaled in the font colour through the mask.
    void DrawLines(TCustomDIBX& Dest);

    std::vector<std::string> Lines;
    TFont Font;
    TTextLayout Layout;
    TDIBX TextImage, TextMask;
    std::vector<TRect> LineRects;
    int32_t Alpha = 255;
    bool FlipH = false, FlipV = false;
    long double Angle = 0, ZoomX = 1, ZoomY = 1;
    std::string OnIdle, Source, OnPlayEnd;
    bool Repeat = false, AutoScrap = false, Paused = false;
};
