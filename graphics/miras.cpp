#include "graphics/miras.h"

#include "core/stringlist.h"
#include "core/sysutils.h"
#include "graphics/pngpics.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// $00RRGGBB and $00BBGGRR into each other.
constexpr int32_t SwapRedBlue(TRGBQuad Q) { return int32_t(QuadBlue(Q) << 16 | QuadGreen(Q) << 8 | QuadRed(Q)); }

TRect BoundsOf(const TDIB& Dib) { return {0, 0, Dib.Width(), Dib.Height()}; }

// Image gets an alpha surface unless it has one: 255 everywhere, 0 where a pixel equals Key
// (nothing keyed when Key is negative).
void AlphaFromKey(TDIBSurface& Image, int32_t Key) {
    if (Image.Alpha || Image.Empty()) return;
    Image.NeedAlpha();
    Image.FillAlpha();
    if (Key < 0) return;
    const int32_t bits = Image.BitCount();
    for (int32_t y = 0; y < Image.Height(); ++y) {
        const uint8_t* row = Image.ScanLineReadOnly(y);
        uint8_t* alpha = Image.Alpha->ScanLine(y);
        for (int32_t x = 0; x < Image.Width(); ++x)
            if (LoadPixel(row, x, bits) == uint32_t(Key)) alpha[x] = 0;
    }
}

// Clips each rectangle that meets Content to it and moves it with Content's corner to (0, 0);
// the others go.
void CropRects(std::vector<TRect>& Rects, const TRect& Content) {
    std::vector<TRect> kept;
    for (const TRect& r : Rects) {
        const TRect c{std::max(r.Left, Content.Left), std::max(r.Top, Content.Top), std::min(r.Right, Content.Right),
                      std::min(r.Bottom, Content.Bottom)};
        if (RectIsEmpty(c)) continue;
        kept.push_back({c.Left - Content.Left, c.Top - Content.Top, c.Right - Content.Left, c.Bottom - Content.Top});
    }
    Rects = std::move(kept);
}

bool IsStraight32(const TCustomDIBX& Dest) {
    return Dest.GetBitCount() == 32 && Dest.GetRBitMask() == 0xFF0000 && Dest.GetGBitMask() == 0xFF00 &&
           Dest.GetBBitMask() == 0xFF;
}

// The pixel of a colour ($00RRGGBB) on a drawing surface: its nearest table entry at 8 bits or
// fewer, else its channels in the fields of the surface's masks.
class TDestPixel {
public:
    explicit TDestPixel(const TCustomDIBX& Dest) : bits_(Dest.GetBitCount()) {
        if (bits_ <= 8)
            Dest.GetColorTable(table_.data());
        else
            layout_ = MaskLayout(Dest.GetRBitMask(), Dest.GetGBitMask(), Dest.GetBBitMask());
    }
    uint32_t operator()(TRGBQuad Q) {
        if (bits_ > 8) return layout_.Pack(Q);
        if (Q != lastColor_) {
            lastColor_ = Q;
            lastIndex_ =
                uint32_t(NearestPaletteIndex(table_.data(), 1 << bits_, QuadRed(Q), QuadGreen(Q), QuadBlue(Q)));
        }
        return lastIndex_;
    }

private:
    int bits_;
    TRGBQuadTable table_{};
    TMaskLayout layout_{};
    TRGBQuad lastColor_ = 0xFFFFFFFF;  // no colour has a fourth byte
    uint32_t lastIndex_ = 0;
};

}  // namespace

void CopyToDIBX(const TDIB& Source, TCustomDIBX& Dest) {
    Dest.SetSize(Source.Width(), Source.Height(), Dest.GetBitCount());
    if (Source.Empty() || Dest.GetWidth() != Source.Width() || Dest.GetHeight() != Source.Height()) return;
    uint8_t* top = Dest.Lock(0, 0);
    if (!top) return;
    const int32_t width = Source.Width(), srcBits = Source.BitCount();
    const int32_t destBits = Dest.GetBitCount() == 15 ? 16 : Dest.GetBitCount();
    const bool straight = (srcBits == 24 || srcBits == 32) && IsStraight32(Dest);
    TDestPixel toDest(Dest);
    // Indexed sources map each table entry once.
    std::vector<uint32_t> indexed;
    if (srcBits <= 8)
        for (int32_t i = 0; i < 1 << srcBits; ++i) indexed.push_back(toDest(Source.ValueColor(uint32_t(i))));
    std::vector<TRGBQuad> colors(size_t(width), 0);
    for (int32_t y = 0; y < Source.Height(); ++y) {
        const uint8_t* in = Source.ScanLineReadOnly(y);
        uint8_t* out = top + ptrdiff_t(y) * Dest.GetNextLine();
        if (straight) {
            // Blue, green, red and a zero fourth byte.
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* p = in + x * (srcBits / 8);
                out[4 * x] = p[0], out[4 * x + 1] = p[1], out[4 * x + 2] = p[2], out[4 * x + 3] = 0;
            }
        } else if (srcBits <= 8) {
            for (int32_t x = 0; x < width; ++x) StorePixel(out, x, destBits, indexed[LoadPixel(in, x, srcBits)]);
        } else {
            Source.RowColors(y, colors.data());
            for (int32_t x = 0; x < width; ++x) StorePixel(out, x, destBits, toDest(colors[size_t(x)]));
        }
    }
    Dest.Unlock();
}

// ---- TMiraFrame ----

namespace {
const TDIBSurface& SizeImage(const TMiraFrame& Frame) {
    return Frame.Count() > 0 ? Frame.GetLayer(0)->Image : Frame.Image;
}
}  // namespace

int32_t TMiraFrame::GetWidth() const { return SizeImage(*this).Width(); }
int32_t TMiraFrame::GetHeight() const { return SizeImage(*this).Height(); }
int32_t TMiraFrame::GetDepth() const { return SizeImage(*this).GetBitCountEx(); }

void TMiraFrame::DrawToDIBX(TCustomDIBX& Dest) const {
    CopyToDIBX(Image, Dest);
    Dest.MakeMemoryImage();
    Dest.Rects1 = Rects1;
    Dest.Rects2 = Rects2;
}

void TMiraFrame::AlphaToDIBX(TCustomDIBX& Dest) const {
    if (!HasAlpha()) return;
    Dest.SetSize(Image.Width(), Image.Height(), 8);
    if (Dest.GetBitCount() != 8 || Dest.GetWidth() != Image.Width() || Dest.GetHeight() != Image.Height()) return;
    uint8_t* top = Dest.Lock(0, 0);
    if (!top) return;
    for (int32_t y = 0; y < Image.Height(); ++y)
        std::memcpy(top + ptrdiff_t(y) * Dest.GetNextLine(), Image.Alpha->ScanLineReadOnly(y), size_t(Image.Width()));
    Dest.Unlock();
}

void TMiraFrame::AlphaToDIB(TDIB& Dest) const {
    if (!HasAlpha()) return;
    Dest.PixelFormat = MakeDIBColorFormat(8, 8, 8);
    Dest.SetSize(Image.Width(), Image.Height(), 8);
    for (int32_t y = 0; y < Image.Height(); ++y)
        std::memcpy(Dest.ScanLine(y), Image.Alpha->ScanLineReadOnly(y), size_t(Image.Width()));
}

void TMiraFrame::CropToContent(TRect& Rect) {
    Rect = BoundsOf(Image);
    if (Image.Empty() || (!HasAlpha() && TransColor < 0)) return;
    const TRect content = HasAlpha() ? Image.Alpha->TrimBounds(0) : Image.TrimBounds(TransPixel);
    if (RectIsEmpty(content) || content == Rect) return;
    Image.Crop(content);
    Rect = content;
    CropRects(Rects1, content);
    CropRects(Rects2, content);
}

void TMiraFrame::AlphaFromTransColor(bool WithLayers) {
    AlphaFromKey(Image, TransPixel);
    if (!WithLayers) return;
    for (int32_t i = 0; i < Count(); ++i) {
        TMiraLayer& layer = *GetLayer(i);
        AlphaFromKey(layer.Image, layer.TransColor >= 0 ? layer.TransColor : TransPixel);
    }
}

void TMiraFrame::SetupImage(int32_t Width, int32_t Height, int32_t BitCount, const TRGBQuad* Colors,
                            int32_t ColorCount) {
    static constexpr int32_t kDepths[] = {1, 4, 8, 15, 16, 24, 32};
    if (std::find(std::begin(kDepths), std::end(kDepths), BitCount) == std::end(kDepths))
        throw EInvalidGraphic("不正なビット数です (" + std::to_string(BitCount) + ")");
    CheckImageSize(Width, Height, BitCount == 15 ? 16 : BitCount);
    Image.Clear();
    Image.ColorTable = MakeGreyColorTable();
    if (BitCount <= 8) std::copy_n(Colors, std::clamp(ColorCount, 0, 256), Image.ColorTable.begin());
    Image.SetSize(Width, Height, BitCount);
    if (TransPixel >= 0) {
        Image.SetPixel(0, 0, uint32_t(TransPixel));
        TransColor = SwapRedBlue(Image.ValueColor(Image.GetPixel(0, 0)));
    } else {
        TransColor = -1;
    }
    const int32_t bg = Owner->BGColor;
    Image.FillRectRaw(BoundsOf(Image), Image.RGBToPixel(uint8_t(bg), uint8_t(bg >> 8), uint8_t(bg >> 16)));
}

TMiraLayer* TMiraFrame::AddLayer() {
    auto layer = std::make_unique<TMiraLayer>(this);
    layer->Image.ColorTable = Image.ImageColorTable();
    layer->Image.SetSize(Image.Width(), Image.Height(), Image.GetBitCountEx());
    return Items(Add(std::move(layer)));
}

// A whole layer over the frame image. A layer of more than 8 bits in the frame's own format gives
// the frame its pixels to share until one of them changes (its colour table does not matter);
// any other goes through the copy.
void TMiraFrame::CopyLayer(const TDIBSurface& Layer) {
    if (Layer.BitCount() > 8 && Layer.BitCount() == Image.BitCount() && Layer.Width() == Image.Width() &&
        Layer.Height() == Image.Height() && Layer.NowPixelFormat().GBitCount == Image.NowPixelFormat().GBitCount)
        Image.TDIB::Assign(&Layer);
    else
        Image.CopyRectTo(0, 0, BoundsOf(Layer), Layer);
}

void TMiraFrame::ComposeLayer(int32_t Index, bool& First) {
    const TMiraLayer& layer = *GetLayer(Index);
    if (!layer.Visible) return;
    const TRect all = BoundsOf(layer.Image);
    const bool alphaPlane = layer.Image.Alpha && layer.AlphaOn;
    if (First && alphaPlane) Image.SetAlphaFrom(*layer.Image.Alpha);
    if (alphaPlane && Index > 0)
        Image.DrawAlphaMask(0, 0, 255, all, layer.Image);
    else if ((layer.TransColor < 0 || (First && Owner->NotFillBG)) && layer.Alpha >= 255)
        CopyLayer(layer.Image);
    else
        Image.DrawAlpha(0, 0, layer.Alpha, layer.TransColor, all, layer.Image);
    First = false;
}

void TMiraFrame::PrepareForDisplay(bool KeepLayers) {
    if (TransColor >= 0) AlphaFromTransColor(KeepLayers);
    const int32_t reduceBits = Owner->ReduceBits;
    if (reduceBits > 0) {
        if (HasAlpha() || TransColor < 0) Image.ReduceColors(0, reduceBits, false, 0);
        if (KeepLayers)
            for (int32_t i = 0; i < Count(); ++i) GetLayer(i)->Image.ReduceColors(0, reduceBits, false, 0);
        return;
    }
    if (Image.Empty() || Image.BitCount() > 8) return;
    // The first pixel holding the key, rows from the top and each row from the left.
    int32_t keyX = -1, keyY = -1;
    for (int32_t y = 0; y < Image.Height() && keyX < 0 && TransPixel >= 0; ++y) {
        const uint8_t* row = Image.ScanLineReadOnly(y);
        for (int32_t x = 0; x < Image.Width(); ++x)
            if (LoadPixel(row, x, Image.BitCount()) == uint32_t(TransPixel)) {
                keyX = x, keyY = y;
                break;
            }
    }
    Image.SetBitCount(24);
    if (keyX >= 0) TransPixel = int32_t(Image.GetPixel(keyX, keyY));
    if (KeepLayers)
        for (int32_t i = 0; i < Count(); ++i) GetLayer(i)->Image.SetBitCount(24);
}

// ---- TMiraFrameList ----

TMiraFrame* TMiraFrameList::AddFrame() { return Items(Add(std::make_unique<TMiraFrame>(this))); }

TMiraFrame* TMiraFrameList::GetFrame(int32_t Index) const {
    if (Index < 0 || Index >= Count()) throw EListError("Error:TMiraFrameList.GetFrame");
    return Items(Index);
}

void TMiraFrameList::AlphaFromTransColor(bool WithLayers) {
    for (int32_t i = 0; i < Count(); ++i) Items(i)->AlphaFromTransColor(WithLayers);
}

void TMiraFrameList::EndLoad(bool KeepLayers) {
    if (KeepLayers) return;
    for (int32_t i = 0; i < Count(); ++i) Items(i)->Clear();
}

void TMiraFrameList::LoadFromFile(const std::string& FileName, bool FirstOnly, bool KeepLayers, bool ForDisplay) {
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStreamByName(stream, FileName, FirstOnly, KeepLayers, ForDisplay);
}

void TMiraFrameList::LoadFromStreamByName(TStream& Stream, const std::string& FileName, bool FirstOnly,
                                          bool KeepLayers, bool ForDisplay) {
    const std::string ext = AnsiLowerCase(ExtractFileExt(FileName));
    if (ext == ".mra")
        LoadFromStream(Stream, FirstOnly, KeepLayers, ForDisplay);
    else if (ext == ".png")
        LoadPNGFromStream(Stream);
    else if (ext == ".bmp" || ext == ".dib")
        LoadBMPFromStream(Stream);
}

void TMiraFrameList::LoadPNGFromStream(TStream& Stream) {
    Clear();
    TPngPicture picture;
    picture.LoadFromStream(Stream);
    const int32_t transparent = picture.TransparentColour();
    picture.SetTransparentColour(-1);
    auto frame = std::make_unique<TMiraFrame>(this);
    picture.AssignTo(frame->Image);
    if (picture.HasAlpha) {
        // The picture keeps 255 - alpha.
        TDIB alpha;
        alpha.PixelFormat = MakeDIBColorFormat(8, 8, 8);
        alpha.SetSize(frame->Image.Width(), frame->Image.Height(), 8);
        const TDIB& inverse = picture.AlphaBitmap();
        for (int32_t y = 0; y < alpha.Height(); ++y) {
            uint8_t* out = alpha.ScanLine(y);
            const uint8_t* in = inverse.ScanLineReadOnly(y);
            for (int32_t x = 0; x < alpha.Width(); ++x) out[x] = uint8_t(255 - in[x]);
        }
        frame->Image.SetAlphaFrom(alpha);
    }
    // The key in colour form, and as the pixel value that holds it (crops and alpha go by that).
    if (transparent != -1 && (transparent & png::kPaletteIndexColor)) {
        frame->TransPixel = transparent & 0xFF;
        frame->TransColor = SwapRedBlue(frame->Image.ImageColorTable()[size_t(frame->TransPixel)]);
    } else if (transparent != -1) {
        frame->TransColor = transparent;
        const TRGBQuad key = RGBQuad(uint8_t(transparent), uint8_t(transparent >> 8), uint8_t(transparent >> 16));
        const uint32_t pixel = frame->Image.RGBToPixel(QuadRed(key), QuadGreen(key), QuadBlue(key));
        frame->TransPixel = frame->Image.ValueColor(pixel) == key ? int32_t(pixel) : -1;
    }
    Add(std::move(frame));
}

void TMiraFrameList::LoadBMPFromStream(TStream& Stream) {
    Clear();
    auto frame = std::make_unique<TMiraFrame>(this);
    TDIBSurface& image = frame->Image;
    image.LoadFromStream(Stream);
    if (image.BitCount() == 32) {
        image.NeedAlpha();
        for (int32_t y = 0; y < image.Height(); ++y) {
            const uint8_t* in = image.ScanLineReadOnly(y);
            uint8_t* out = image.Alpha->ScanLine(y);
            for (int32_t x = 0; x < image.Width(); ++x) out[x] = in[4 * x + 3];
        }
        image.SetBitCount(24);
    }
    Add(std::move(frame));
}
