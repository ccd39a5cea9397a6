// Greyscale, blur and negative of a whole TDIB, with the row-by-row progress reports of the
// first two.
#include "graphics/dib.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// A grey level at N <= 8 bits as an index into the grey table of N bits.
uint32_t GreyIndex(uint32_t Grey, int32_t N) { return N == 1 ? Grey >= 128 : Grey >> (8 - N); }

// The raw value of colour (R, G, B) at N > 8 bits in Format.
uint32_t ColorValue(int32_t N, const TDIBColorFormat& Format, uint8_t R, uint8_t G, uint8_t B) {
    return N == 16 ? PackRGB(Format, R, G, B) : RGBQuad(R, G, B);
}

// Sum div Count (at most 255) from Inverse = 1 / Count. A quotient that is not whole lies at least
// 1 / Count below the next whole number, and the half-step added keeps it there, far beyond the
// rounding error of the double product: the result is exactly the integer division's.
uint8_t Quotient(uint64_t Sum, double Inverse) { return uint8_t((double(Sum) + 0.5) * Inverse); }

// Running red, green and blue sums of a window that slides one step at a time.
template <typename T>
struct TChannelSums {
    T R = 0, G = 0, B = 0;
    template <typename U>
    void Add(const TChannelSums<U>& S) {
        R += S.R, G += S.G, B += S.B;
    }
    template <typename U>
    void Sub(const TChannelSums<U>& S) {
        R -= S.R, G -= S.G, B -= S.B;
    }
};

}  // namespace

void TDIB::RowColors(int32_t Y, TRGBQuad* Out) const {
    const uint8_t* row = ScanLineReadOnly(Y);
    for (int32_t x = 0; x < Width(); ++x) Out[x] = ValueColor(LoadPixel(row, x, BitCount()));
}

void TDIB::Progress(TProgressStage Stage, int32_t Percent, bool RedrawNow, const TRect& R) {
    if (OnProgress) OnProgress(*this, Stage, uint8_t(Percent), RedrawNow, R, progressName_);
}

void TDIB::ProgressInit(const std::string& Name) {
    progressName_ = Name;
    progressOldY_ = 0;
    progressOldTime_ = ProgressClock();
    progressOld_ = 0;
    Progress(TProgressStage::psStarting, 0, false, {0, 0, Width(), Height()});
}

// A report goes out when the percentage changes or a redraw is due: more than 200 ms and more
// than 32 rows since the last hint, and either a hint already given or still in the first third
// of the image (an image nearly done by then is not redrawn piecemeal).
void TDIB::UpdateProgress(int32_t Y) {
    const uint32_t now = ProgressClock();
    const int32_t done = Y + 1;
    const bool redraw = now - progressOldTime_ > 200 && done - progressOldY_ > 32 &&
                        (progressOldY_ != 0 || Y < Height() / 3);
    const int32_t percent = int32_t(int64_t(Y) * 100 / Height());
    if (percent == progressOld_ && !redraw) return;
    Progress(TProgressStage::psRunning, percent, redraw, {0, progressOldY_, Width(), done});
    if (redraw) {
        progressOldY_ = done;
        progressOldTime_ = now;
    }
    progressOld_ = percent;
}

void TDIB::ProgressEnd() { Progress(TProgressStage::psEnding, 100, true, {0, 0, Width(), Height()}); }

void TDIB::NewGreyableImage(int32_t N) {
    SetSize(Width(), Height(), N);
    if (N > 8) return;
    TRGBQuadTable table{};
    for (int i = 0; i < 1 << N; ++i) {
        const int v = i << (8 - N), grey = v | v >> N;
        table[i] = RGBQuad(uint8_t(grey), uint8_t(grey), uint8_t(grey));
    }
    ColorTable = table;
    UpdatePalette();
}

void TDIB::Greyscale(int32_t N) {
    if (Empty()) return;
    TDIB source;
    source.Assign(this);
    NewGreyableImage(N);
    // Weights 0.3588, 0.402 and 0.2392: white gives 253.
    std::array<uint8_t, 256> red, green, blue;
    for (int i = 0; i < 256; ++i) {
        red[i] = uint8_t(i * 3588 / 10000);
        green[i] = uint8_t(i * 402 / 1000);
        blue[i] = uint8_t(i * 2392 / 10000);
    }
    ProgressInit("Greyscale");
    std::vector<TRGBQuad> colors(static_cast<size_t>(Width()));
    for (int32_t y = 0; y < Height(); ++y) {
        source.RowColors(y, colors.data());
        uint8_t* row = ScanLine(y);
        for (int32_t x = 0; x < Width(); ++x) {
            const TRGBQuad c = colors[size_t(x)];
            const uint8_t grey = uint8_t(red[QuadRed(c)] + green[QuadGreen(c)] + blue[QuadBlue(c)]);
            StorePixel(row, x, N, N <= 8 ? GreyIndex(grey, N) : ColorValue(N, NowPixelFormat(), grey, grey, grey));
        }
        UpdateProgress(y);
    }
    ProgressEnd();
}

// Each output pixel is the mean of the source pixels in the window clipped to the image. Column
// sums over the window's rows slide down by one row in and one out per output row; the window's
// sum slides along a row by one column in and one out per pixel.
void TDIB::Blur(int32_t N, int32_t Radius) {
    if (Empty() || Radius == 0) return;
    const int32_t w = Width(), h = Height();
    // A window reaching past the image on every side is the whole image.
    const int32_t r = int32_t(std::min<int64_t>(std::abs(int64_t(Radius)), std::max(w, h)));
    TDIB source;
    source.Assign(this);
    NewGreyableImage(N);
    ProgressInit("Blur");

    std::vector<TChannelSums<uint32_t>> columns(static_cast<size_t>(w));
    std::vector<TRGBQuad> colors(static_cast<size_t>(w));
    auto slideRow = [&](int32_t Y, bool Enter) {
        source.RowColors(Y, colors.data());
        for (int32_t x = 0; x < w; ++x) {
            const TRGBQuad c = colors[size_t(x)];
            const TChannelSums<uint32_t> s{QuadRed(c), QuadGreen(c), QuadBlue(c)};
            Enter ? columns[size_t(x)].Add(s) : columns[size_t(x)].Sub(s);
        }
    };
    int32_t rows = 0;
    for (; rows <= r && rows < h; ++rows) slideRow(rows, true);

    for (int32_t y = 0; y < h; ++y) {
        if (y > 0) {
            if (y - r - 1 >= 0) slideRow(y - r - 1, false), --rows;
            if (y + r < h) slideRow(y + r, true), ++rows;
        }
        TChannelSums<uint64_t> sum;
        int32_t cols = 0;
        for (; cols <= r && cols < w; ++cols) sum.Add(columns[size_t(cols)]);
        uint8_t* row = ScanLine(y);
        for (int32_t x = 0; x < w; ++x) {
            if (x > 0) {
                if (x - r - 1 >= 0) sum.Sub(columns[size_t(x - r - 1)]), --cols;
                if (x + r < w) sum.Add(columns[size_t(x + r)]), ++cols;
            }
            const double inverse = 1 / (double(rows) * cols);
            const uint32_t value =
                N <= 8 ? GreyIndex(uint32_t(Quotient(sum.R + sum.G + sum.B, inverse / 3)), N)
                       : ColorValue(N, NowPixelFormat(), Quotient(sum.R, inverse), Quotient(sum.G, inverse),
                                    Quotient(sum.B, inverse));
            StorePixel(row, x, N, value);
        }
        UpdateProgress(y);
    }
    ProgressEnd();
}

void TDIB::Negative() {
    if (Empty()) return;
    if (BitCount() > 8) {
        uint8_t* bits = PBits();
        std::transform(bits, bits + Size(), bits, [](uint8_t B) { return uint8_t(~B); });
        return;
    }
    TRGBQuadTable table = ImageColorTable();
    for (TRGBQuad& q : table) q ^= 0x00FFFFFF;
    ColorTable = table;
    UpdatePalette();
}
