#pragma once
// The list box: a framed box of text rows, one item per line of its Text, with a hover row that
// follows the pointer and the arrow keys, its own vertical scroll strip when there are more items
// than rows, check marks, and a selection handed to the script through @SelStr, @SelIndex and
// OnSelect. The box sizes itself from its items, fonts, margins, border pictures and row count.
//
// The frame is drawn from nine border pictures (corners, edges and centre in reading order),
// each repeated over its part; the scroll strip picture holds seven cells side by side (up
// arrow, up pressed, down arrow, down pressed, track, track pressed, thumb), the check picture
// two (unmarked row, hover row).
#include "objects/vitemex_imagelist.h"
#include "objects/vitems.h"
#include "text/nxwords_labels.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TVelaCustomListBox : public TVelaControl {
public:
    explicit TVelaCustomListBox(TVelaBaseList* AOwner, bool UniqueName = true);
    ~TVelaCustomListBox() override;

    // ---- Items ----
    // Control characters around the whole text are dropped; each line (CR, LF or CR LF) is an
    // item; the check marks clear and the list scrolls to the top.
    std::string GetText() const override { return Text; }
    void SetText(const std::string& S) override;
    int32_t GetCount() const override { return Normal.Count(); }
    std::string GetItemText(int32_t I) const override;
    // The check mark of item I; outside the items false, and a write changes nothing.
    bool GetListValue(int32_t I) const override;
    void SetListValue(int32_t I, bool V) override;

    // ---- Fonts: the normal rows, the hover row ----
    std::string GetFontname() const override { return Normal.FaceName; }
    void SetFontname(const std::string& S) override;
    int32_t GetFontheight() const override { return Normal.FontSize; }
    void SetFontheight(int32_t V) override;
    int32_t GetFontstyle() const override { return Normal.Style; }
    void SetFontstyle(int32_t V) override;
    int32_t GetFontcolor() const override { return Normal.Color; }
    void SetFontcolor(int32_t V) override { Recolor(Normal, &TNxLabelList::Color, V); }
    int32_t GetFontborder() const override { return Normal.Margin; }
    void SetFontborder(int32_t V) override { Resize(Normal, &TNxLabelList::Margin, V); }
    int32_t GetFontshadow() const override { return Normal.ShadowSize; }
    void SetFontshadow(int32_t V) override { Resize(Normal, &TNxLabelList::ShadowSize, V); }
    int32_t GetFontbordercolor() const override { return Normal.BorderColor; }
    void SetFontbordercolor(int32_t V) override { Recolor(Normal, &TNxLabelList::BorderColor, V); }
    int32_t GetFontshadowcolor() const override { return Normal.ShadowColor; }
    void SetFontshadowcolor(int32_t V) override { Recolor(Normal, &TNxLabelList::ShadowColor, V); }
    int32_t GetFonthoverborder() const override { return Hover.Margin; }
    void SetFonthoverborder(int32_t V) override { Resize(Hover, &TNxLabelList::Margin, V); }
    int32_t GetFonthovershadow() const override { return Hover.ShadowSize; }
    void SetFonthovershadow(int32_t V) override { Resize(Hover, &TNxLabelList::ShadowSize, V); }
    int32_t GetFonthoverbordercolor() const override { return Hover.BorderColor; }
    void SetFonthoverbordercolor(int32_t V) override { Recolor(Hover, &TNxLabelList::BorderColor, V); }
    int32_t GetFonthovershadowcolor() const override { return Hover.ShadowColor; }
    void SetFonthovershadowcolor(int32_t V) override { Recolor(Hover, &TNxLabelList::ShadowColor, V); }
    // Grey edges (level 3) or one-bit glyphs (level 0) in both lists.
    bool GetAntialias() const override { return Normal.AntialiasLevel > 0; }
    void SetAntialias(bool V) override;

    // ---- Box ----
    int32_t GetLinespace() const override { return LineSpace; }
    void SetLinespace(int32_t V) override { Relayout(LineSpace, V); }
    int32_t GetAlpha() const override { return Alpha; }
    void SetAlpha(int32_t V) override;
    int32_t GetMarginx() const override { return MarginX; }
    void SetMarginx(int32_t V) override { Relayout(MarginX, V); }
    int32_t GetMarginy() const override { return MarginY; }
    void SetMarginy(int32_t V) override { Relayout(MarginY, V); }
    int32_t GetBorderwidth() const override { return BorderWidth; }
    void SetBorderwidth(int32_t V) override { Relayout(BorderWidth, V); }
    int32_t GetBordercolor() const override { return BorderColor; }
    void SetBordercolor(int32_t V) override { ChangeLook(BorderColor, V); }
    int32_t GetRowcount() const override { return RowCount; }
    void SetRowcount(int32_t V) override { Relayout(RowCount, V); }
    // 0 left, 1 centre, 2 right.
    int32_t GetHalign() const override { return HAlign; }
    void SetHalign(int32_t V) override { ChangeLook(HAlign, uint8_t(V)); }
    // Piece 0..8 in reading order: a file the content holds fills the piece's list, any other
    // name empties it.
    std::string GetBordersource(int I) const override;
    void SetBordersource(int I, const std::string& S) override;
    int32_t GetBorderhalign(int I) const override;
    void SetBorderhalign(int I, int32_t V) override;
    int32_t GetBordervalign(int I) const override;
    void SetBordervalign(int I, int32_t V) override;
    // A name the content does not hold keeps the picture shown before.
    std::string GetScrollsource() const override { return Scroll.Source; }
    void SetScrollsource(const std::string& S) override { SetStrip(Scroll, 7, S); }
    std::string GetChecksource() const override { return Check.Source; }
    void SetChecksource(const std::string& S) override { SetStrip(Check, 2, S); }

    // ---- Selection ----
    int32_t GetIndex() const override { return Index; }
    void SetIndex(int32_t V) override { Index = V; }
    // Clamped: 0 when the items fit, else 0 .. Count - RowCount.
    int32_t GetTopindex() const override { return TopIndex; }
    void SetTopindex(int32_t V) override;
    int32_t GetHoverIndex() const { return HoverIndex; }
    // A paused list takes no selection input; pausing takes the focus away from inside it.
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override;
    std::string GetOnselect() const override { return OnSelect; }
    void SetOnselect(const std::string& S) override { OnSelect = S; }
    std::string GetOnmapin() const override { return OnMapIn; }
    void SetOnmapin(const std::string& S) override { OnMapIn = S; }
    std::string GetOnmapout() const override { return OnMapOut; }
    void SetOnmapout(const std::string& S) override { OnMapOut = S; }
    std::string GetOnidle() const override { return OnIdle; }
    void SetOnidle(const std::string& S) override { OnIdle = S; }
    // The hover row becomes the selection: Index, @SelStr, @SelIndex and OnSelect.
    virtual void DoSelect();

    // ---- Layout, drawing, input ----
    // Measures the labels and sizes the box when a change asked for it.
    void UpdateLayout();
    void Layout();
    void Prepare() override;
    bool Step() override;
    void FreePrivateDIBs() override;
    void MakePrivateDIBs() override;
    // Each row shown while the box takes a choice.
    void AddPressTargets(const TPressTargetSink& Add) override;
    void DoLBtnDown() override;
    void DoLBtnUp() override;
    void DoMouseMove() override;
    void DoMouseOut() override;
    void DoMouseHold() override;
    void DoKeyPress() override;

    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

    // What the pointer is doing with the box.
    enum TPressMode : int32_t { pmNone = -1, pmThumb, pmUpArrow, pmDownArrow, pmUpperTrack, pmLowerTrack, pmItems };
    TPressMode GetPressMode() const { return PressMode; }
    static constexpr int32_t RepeatDelay = 300, RepeatInterval = 50;

protected:
    // The menu's opening and closing steps; 0 for a plain list (items and scroll strip drawn).
    int32_t OpenState = 0;
    // The record without the layout that follows a load.
    void ReadRecord(TStream& Stream, int32_t Version);
    // The layout that follows a load: a record whose labels could not be drawn at every pixel
    // format a device change can bring is refused (EInvalidGraphic).
    void LayoutRead();
    // The border pieces step their animations; a piece that changed frame is drawn again.
    void StepBorders();
    // Moves the hover row, queueing OnMapOut on leaving the items and OnMapIn on entering one.
    void SetHover(int32_t I);
    // The item under screen point P, -1 when none.
    int32_t ItemAt(TPoint P) const;
    // Where the rows take the pointer (screen coordinates), and where the first row shown
    // begins; each row takes RowHeight() + LineSpace pixels from there.
    TRect RowsArea(int32_t& FirstRowTop) const;
    // A font setting of one list: a size changes the layout, a colour only the rendered rows.
    void Resize(TNxLabelList& List, int32_t TNxLabelList::*Field, int32_t V);
    void Recolor(TNxLabelList& List, int32_t TNxLabelList::*Field, int32_t V);
    void SetStyle(TNxLabelList& List, int32_t V);
    bool LayoutDirty = false;
    TNxLabelList Normal, Hover;

private:
    // A strip picture of the image cache (the scroll strip, the check marks) in equal cells.
    struct TStrip {
        std::string Source;
        TMiraItem* Item = nullptr;
        int32_t CellWidth = 0, CellHeight = 0;
    };
    struct TPiece {
        std::string Source;
        TVelaImageList Images;
        int32_t Width = 0, Height = 0;
        uint8_t HAlign = 0, VAlign = 0;
    };
    // The parts of the scroll strip, in screen coordinates.
    struct TScrollParts {
        int32_t Left, Top, Bottom, ThumbTop;
        TRect UpArrow() const { return {Left, Top, Right(), Top + CellHeight}; }
        TRect DownArrow() const { return {Left, Bottom - CellHeight, Right(), Bottom}; }
        TRect UpperTrack() const { return {Left, Top + CellHeight, Right(), ThumbTop}; }
        TRect LowerTrack() const { return {Left, ThumbTop + CellHeight, Right(), Bottom - CellHeight}; }
        TRect Thumb() const { return {Left, ThumbTop, Right(), ThumbTop + CellHeight}; }
        int32_t Right() const { return Left + CellWidth; }
        int32_t CellWidth, CellHeight;
    };
    // The widest piece of each side: left, top, right, bottom.
    TRect BorderSizes() const;
    TRect InnerRect() const;
    TRect PieceRect(int I, bool Scrolling) const;
    bool Scrolls() const { return GetCount() > RowCount; }
    // The last top row, Count - RowCount worked out in 64 bits: 0 when the items fit, the
    // largest int32 when the difference passes it.
    int32_t MaxTopIndex() const;
    int32_t RowHeight() const;
    TScrollParts ScrollParts() const;
    // The part of the strip under P for a press mode (pmThumb .. pmLowerTrack); pmNone off the strip.
    TPressMode ScrollPartAt(TPoint P) const;
    bool OnPart(TPressMode Mode, TPoint P) const;
    TPoint Pointer();
    // One step of a held arrow or track.
    void HoldStep();
    void DrawScrollBar(TCustomDIBX& Dest);
    void DrawItems(TCustomDIBX& Dest);
    // Draws cell Cell of Strip, repeated over R when Tiled, else at R's corner.
    void DrawCell(TCustomDIBX& Dest, const TStrip& Strip, int Cell, const TRect& R, bool Tiled);

    template <class T>
    void Relayout(T& Field, T V) {
        if (Field == V) return;
        Invalidate();
        Field = V;
        LayoutDirty = true;
    }
    void SetStrip(TStrip& Strip, int Cells, const std::string& S);
    void ReleaseStrip(TStrip& Strip);

    std::string Text;
    int32_t LineSpace = 0;
    int32_t Alpha = 0;
    int32_t MarginX = 0, MarginY = 0;
    int32_t BorderWidth = 0, BorderColor = 0;
    int32_t RowCount = 0;
    std::array<TPiece, 9> Pieces;
    TStrip Scroll, Check;
    int32_t TopIndex = 0;
    uint8_t HAlign = 0;
    int32_t HoverIndex = -1;
    TPressMode PressMode = pmNone;
    int32_t DragOffset = 0;
    int32_t RepeatClock = 0, RepeatCountdown = 0;
    std::vector<uint8_t> ItemFlags;
    std::string OnMapIn, OnMapOut, OnSelect;
    bool Paused = false;
    int32_t Index = 0;
    std::string OnIdle;
    bool ArrowPressed = false, TrackPressed = false;
};
