#include "graphics/dibxwave.h"
#include "graphics/graphic.h"

#include <algorithm>

namespace {

TRect Shifted(const TRect& R, int32_t Dx) { return {R.Left + Dx, R.Top, R.Right + Dx, R.Bottom}; }

// The N source rows of SrcRect that make destination row Row of a reduction by N.
TRect CellRows(const TRect& SrcRect, int64_t Row, int32_t N) {
    return Bounds(SrcRect.Left, int32_t(SrcRect.Top + Row * N), SrcRect.Right - SrcRect.Left, N);
}

// Puts a surface's clip rectangle back when a per-row draw ends, also when an error passes.
class TRestoreClip {
public:
    TRestoreClip(TCustomDIBX& S, const TRect& Saved) : s_(S), saved_(Saved) {}
    ~TRestoreClip() { s_.SetClipRectDirect(saved_); }
    TRestoreClip(const TRestoreClip&) = delete;
    TRestoreClip& operator=(const TRestoreClip&) = delete;

private:
    TCustomDIBX& s_;
    const TRect& saved_;
};

}  // namespace

void TDIBXWave::SetSize(int32_t AWidth, int32_t AHeight, int BitCount) {
    const int32_t w = std::max(AWidth, 0), h = std::max(AHeight, 0);
    // No pixels are held: only the sides are checked.
    if (w > kMaxImageSide || h > kMaxImageSide) RefuseImageSize(w, h);
    TCustomDIBX::SetSize(w, h, BitCount);
    RowOffsets.resize(size_t(h));
}

void TDIBXWave::ClearClipRect() {
    TCustomDIBX::ClearClipRect();
    if (Target) Target->ClearClipRect();
}

void TDIBXWave::UnionClipRect(const TRect& R) {
    const TRect r = IntersectRects(R, Bounds(OriginX, OriginY, GetWidth(), GetHeight()));
    if (RectIsEmpty(r)) return;
    ClipRect = ClipRect.Right == 0 ? r
                                   : TRect{std::min(ClipRect.Left, r.Left), std::min(ClipRect.Top, r.Top),
                                           std::max(ClipRect.Right, r.Right), std::max(ClipRect.Bottom, r.Bottom)};
    if (Target) Target->UnionClipRect(ClipRect);
}

// ---- Walking the rows ----

int64_t TDIBXWave::RowRunLength(int64_t I, int64_t EndIndex) const {
    const int64_t end = std::min<int64_t>(EndIndex, int64_t(RowOffsets.size()));
    int64_t n = 1;
    while (I + n < end && RowOffsets[size_t(I + n)] == RowOffsets[size_t(I)]) ++n;
    return n;
}

// Run(offset, rows done since Y, row count) for the Count rows from target row Y that have an
// offset: in runs of equal offsets, or row by row when not Runs. Rows without an offset draw
// nothing, so the walk starts and ends within RowOffsets.
template <class F>
void TDIBXWave::EachRowRun(int32_t Y, int64_t Count, bool Runs, F&& Run) {
    if (!Target) return;
    const int64_t first = int64_t(Y) - OriginY, end = first + Count;
    for (int64_t i = std::max<int64_t>(first, 0), stop = std::min<int64_t>(end, int64_t(RowOffsets.size())); i < stop;) {
        const int64_t n = Runs ? RowRunLength(i, end) : 1;
        Run(RowOffsets[size_t(i)], i - first, n);
        i += n;
    }
}

// Fill(run rectangle) for the rows of R, each run moved by its offset.
template <class F>
void TDIBXWave::FillRuns(const TRect& R, F&& Fill) {
    EachRowRun(R.Top, int64_t(R.Bottom) - R.Top, true, [&](int32_t Offset, int64_t Done, int64_t N) {
        Fill(Bounds(R.Left + Offset, int32_t(R.Top + Done), R.Right - R.Left, int32_t(N)));
    });
}

// Draw(x, y, source rows) for the source rows of SrcRect drawn from (X, Y), each run (or row) at
// its offset.
template <class F>
void TDIBXWave::SourceRuns(int32_t X, int32_t Y, const TRect& SrcRect, bool Runs, F&& Draw) {
    EachRowRun(Y, int64_t(SrcRect.Bottom) - SrcRect.Top, Runs, [&](int32_t Offset, int64_t Done, int64_t N) {
        Draw(X + Offset, int32_t(Y + Done),
             Bounds(SrcRect.Left, int32_t(SrcRect.Top + Done), SrcRect.Right - SrcRect.Left, int32_t(N)));
    });
}

// Draw(offset) once for every row of Dest on the target's clip rectangle, with the target's clip
// rectangle narrowed to that row at the unmoved columns.
template <class F>
void TDIBXWave::ClipEachRow(const TRect& Dest, F&& Draw) {
    if (!Target) return;
    const TRect c = IntersectRects(Dest, Target->GetClipRect());
    if (RectIsEmpty(c)) return;
    SavedClipRect = Target->ClipRect;
    const TRestoreClip restore(*Target, SavedClipRect);
    EachRowRun(c.Top, int64_t(c.Bottom) - c.Top, false, [&](int32_t Offset, int64_t Done, int64_t) {
        Target->SetClipRectDirect(Bounds(c.Left, int32_t(c.Top + Done), c.Right - c.Left, 1));
        Draw(Offset);
    });
}

// ---- Fills ----

void TDIBXWave::FillRect(const TRect& R, int32_t Color) {
    FillRuns(R, [&](const TRect& Run) { Target->FillRect(Run, Color); });
}

void TDIBXWave::FillRectAlpha(const TRect& R, int32_t Color, int32_t Alpha) {
    FillRuns(R, [&](const TRect& Run) { Target->FillRectAlpha(Run, Color, Alpha); });
}

void TDIBXWave::FillRectAdd(const TRect& R, int32_t Color) {
    FillRuns(R, [&](const TRect& Run) { Target->FillRectAdd(Run, Color); });
}

void TDIBXWave::FillRectSub(const TRect& R, int32_t Color) {
    FillRuns(R, [&](const TRect& Run) { Target->FillRectSub(Run, Color); });
}

// ---- Unscaled draws ----

void TDIBXWave::Draw(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent, bool MirrorX,
                     bool MirrorY) {
    SourceRuns(X, Y, SrcRect, true, [&](int32_t DX, int32_t DY, const TRect& Rows) {
        Target->Draw(DX, DY, Source, Rows, Transparent, MirrorX, MirrorY);
    });
}

void TDIBXWave::DrawMask(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX, bool MirrorY,
                         TCustomDIBX& Mask) {
    SourceRuns(X, Y, SrcRect, true, [&](int32_t DX, int32_t DY, const TRect& Rows) {
        Target->DrawMask(DX, DY, Source, Rows, MirrorX, MirrorY, Mask);
    });
}

void TDIBXWave::DrawAlpha(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent,
                          bool MirrorX, bool MirrorY, int32_t Alpha) {
    SourceRuns(X, Y, SrcRect, true, [&](int32_t DX, int32_t DY, const TRect& Rows) {
        Target->DrawAlpha(DX, DY, Source, Rows, Transparent, MirrorX, MirrorY, Alpha);
    });
}

void TDIBXWave::DrawAlphaMask(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
                              bool MirrorY, TCustomDIBX& Mask, int32_t Alpha) {
    SourceRuns(X, Y, SrcRect, true, [&](int32_t DX, int32_t DY, const TRect& Rows) {
        Target->DrawAlphaMask(DX, DY, Source, Rows, MirrorX, MirrorY, Mask, Alpha);
    });
}

void TDIBXWave::DrawAdd(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent,
                        bool MirrorX, bool MirrorY, int32_t Intensity) {
    SourceRuns(X, Y, SrcRect, true, [&](int32_t DX, int32_t DY, const TRect& Rows) {
        Target->DrawAdd(DX, DY, Source, Rows, Transparent, MirrorX, MirrorY, Intensity);
    });
}

void TDIBXWave::DrawAddMask(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
                            bool MirrorY, TCustomDIBX& Mask, int32_t Intensity) {
    SourceRuns(X, Y, SrcRect, true, [&](int32_t DX, int32_t DY, const TRect& Rows) {
        Target->DrawAddMask(DX, DY, Source, Rows, MirrorX, MirrorY, Mask, Intensity);
    });
}

void TDIBXWave::DrawAlphaMaskKeyed(int32_t X, int32_t Y, TCustomDIBX& Mask, const TRect& SrcRect, bool MirrorX,
                                   bool MirrorY, int32_t Color, int32_t Alpha) {
    SourceRuns(X, Y, SrcRect, true, [&](int32_t DX, int32_t DY, const TRect& Rows) {
        Target->DrawAlphaMaskKeyed(DX, DY, Mask, Rows, MirrorX, MirrorY, Color, Alpha);
    });
}

void TDIBXWave::DrawBlend(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool Flag, bool MirrorX,
                          bool MirrorY, int32_t Blend, const int32_t* Colors) {
    SourceRuns(X, Y, SrcRect, false, [&](int32_t DX, int32_t DY, const TRect& Row) {
        Target->DrawBlend(DX, DY, Source, Row, Flag, MirrorX, MirrorY, Blend, Colors);
    });
}

void TDIBXWave::DrawIndexed(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, int32_t Threshold,
                            bool MirrorX, bool MirrorY, int32_t Intensity, const void* Colors) {
    SourceRuns(X, Y, SrcRect, false, [&](int32_t DX, int32_t DY, const TRect& Row) {
        Target->DrawIndexed(DX, DY, Source, Row, Threshold, MirrorX, MirrorY, Intensity, Colors);
    });
}

// ---- Antialiased text: one destination row from N source rows per call ----

void TDIBXWave::DrawMonoAntialias(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, int32_t Color,
                                  bool MirrorX, bool MirrorY, int32_t Alpha, int32_t N) {
    if (N < 1) return;
    EachRowRun(Y, (int64_t(SrcRect.Bottom) - SrcRect.Top) / N, false, [&](int32_t Offset, int64_t Done, int64_t) {
        Target->DrawMonoAntialias(X + Offset, int32_t(Y + Done), Source, CellRows(SrcRect, Done, N), Color, MirrorX,
                                  MirrorY, Alpha, N);
    });
}

void TDIBXWave::DrawMonoAntialiasEx(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect,
                                    const int32_t* Colors, int32_t Reserved, bool MirrorX, bool MirrorY, int32_t Alpha,
                                    int32_t N) {
    if (N < 1) return;
    EachRowRun(Y, (int64_t(SrcRect.Bottom) - SrcRect.Top) / N, false, [&](int32_t Offset, int64_t Done, int64_t) {
        Target->DrawMonoAntialiasEx(X + Offset, int32_t(Y + Done), Source, CellRows(SrcRect, Done, N), Colors,
                                    Reserved, MirrorX, MirrorY, Alpha, N);
    });
}

// ---- Draws cut to one row at a time ----

void TDIBXWave::DrawRotate(int32_t X, int32_t Y, double ZoomX, double ZoomY, TCustomDIBX& Source, const TRect& SrcRect,
                           int32_t CenterX, int32_t CenterY, double Angle, bool Transparent, bool MirrorX,
                           bool MirrorY, int32_t Blend) {
    const TRect dest = CalcRotateZoomBounds(X, Y, CenterX, CenterY, SrcRect, Angle, ZoomX, ZoomY, MirrorX, MirrorY);
    ClipEachRow(dest, [&](int32_t Offset) {
        Target->DrawRotate(X + Offset, Y, ZoomX, ZoomY, Source, SrcRect, CenterX, CenterY, Angle, Transparent,
                           MirrorX, MirrorY, Blend);
    });
}

void TDIBXWave::DrawRotateMask(int32_t X, int32_t Y, double ZoomX, double ZoomY, TCustomDIBX& Source,
                               const TRect& SrcRect, int32_t CenterX, int32_t CenterY, double Angle, bool MirrorX,
                               bool MirrorY, TCustomDIBX& Mask, int32_t Alpha) {
    const TRect dest = CalcRotateZoomBounds(X, Y, CenterX, CenterY, SrcRect, Angle, ZoomX, ZoomY, MirrorX, MirrorY);
    ClipEachRow(dest, [&](int32_t Offset) {
        Target->DrawRotateMask(X + Offset, Y, ZoomX, ZoomY, Source, SrcRect, CenterX, CenterY, Angle, MirrorX,
                               MirrorY, Mask, Alpha);
    });
}

void TDIBXWave::StretchDraw(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent,
                            bool MirrorX, bool MirrorY, int32_t Alpha) {
    ClipEachRow(DestRect, [&](int32_t Offset) {
        Target->StretchDraw(Shifted(DestRect, Offset), Source, SrcRect, Transparent, MirrorX, MirrorY, Alpha);
    });
}

void TDIBXWave::StretchDrawMask(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
                                bool MirrorY, TCustomDIBX& Mask, int32_t Alpha) {
    ClipEachRow(DestRect, [&](int32_t Offset) {
        Target->StretchDrawMask(Shifted(DestRect, Offset), Source, SrcRect, MirrorX, MirrorY, Mask, Alpha);
    });
}

void TDIBXWave::StretchDrawAdd(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent,
                               bool MirrorX, bool MirrorY, int32_t Intensity) {
    ClipEachRow(DestRect, [&](int32_t Offset) {
        Target->StretchDrawAdd(Shifted(DestRect, Offset), Source, SrcRect, Transparent, MirrorX, MirrorY, Intensity);
    });
}

void TDIBXWave::StretchDrawAddMask(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
                                   bool MirrorY, TCustomDIBX& Mask, int32_t Intensity) {
    ClipEachRow(DestRect, [&](int32_t Offset) {
        Target->StretchDrawAddMask(Shifted(DestRect, Offset), Source, SrcRect, MirrorX, MirrorY, Mask, Intensity);
    });
}

void TDIBXWave::StretchDrawIndexed(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect,
                                   int32_t Threshold, bool MirrorX, bool MirrorY, int32_t Intensity,
                                   const void* Colors) {
    ClipEachRow(DestRect, [&](int32_t Offset) {
        Target->StretchDrawIndexed(Shifted(DestRect, Offset), Source, SrcRect, Threshold, MirrorX, MirrorY, Intensity,
                                   Colors);
    });
}

void TDIBXWave::DrawWrapFrame(const TRect& Rect, int32_t Thickness, TCustomDIBX& Source, const TRect& SrcRect,
                              bool Flag, int32_t OffsetX, int32_t OffsetY) {
    ClipEachRow(Rect, [&](int32_t Offset) {
        Target->DrawWrapFrame(Shifted(Rect, Offset), Thickness, Source, SrcRect, Flag, OffsetX, OffsetY);
    });
}

void TDIBXWave::DrawQuad(const TRect& DestRect, TCustomDIBX& Source, double ZoomX, double ZoomY, int32_t OffsetX,
                         int32_t OffsetY, bool Transparent, bool MirrorX, bool MirrorY, int32_t Blend) {
    ClipEachRow(DestRect, [&](int32_t Offset) {
        Target->DrawQuad(Shifted(DestRect, Offset), Source, ZoomX, ZoomY, OffsetX, OffsetY, Transparent, MirrorX,
                         MirrorY, Blend);
    });
}

void TDIBXWave::DrawQuadMask(const TRect& DestRect, TCustomDIBX& Source, double ZoomX, double ZoomY, int32_t OffsetX,
                             int32_t OffsetY, bool MirrorX, bool MirrorY, TCustomDIBX& Mask, int32_t Blend) {
    ClipEachRow(DestRect, [&](int32_t Offset) {
        Target->DrawQuadMask(Shifted(DestRect, Offset), Source, ZoomX, ZoomY, OffsetX, OffsetY, MirrorX, MirrorY, Mask,
                             Blend);
    });
}

// ---- Wrapped copy ----

void TDIBXWave::DrawWrap(const TRect& DestRect, TCustomDIBX& Source, int32_t OffsetX, int32_t OffsetY, bool MirrorX,
                         bool MirrorY) {
    const int32_t h = Source.GetHeight();
    if (h <= 0) return;
    EachRowRun(DestRect.Top, h, true, [&](int32_t Offset, int64_t Done, int64_t N) {
        // A run below the first starts as many pattern rows further on as rows were passed.
        Target->DrawWrap(Bounds(DestRect.Left + Offset, int32_t(DestRect.Top + Done), Source.GetWidth(), int32_t(N)),
                         Source, OffsetX, int32_t((int64_t(OffsetY) + Done) % h), MirrorX, MirrorY);
    });
}
