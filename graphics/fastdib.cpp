#include "graphics/fastdib.h"

#include "core/membudget.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

std::function<int32_t()> ScreenDepthHook;

namespace {

const char kNoMemory[] = "Can not alloc memory";

// What Make returns; an allocation the host refuses raises "Can not alloc memory", one the
// title's budget refuses passes on as it is.
template <class F>
auto Allocating(F Make) {
    try {
        return Make();
    } catch (const EMemoryBudget&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw EFastDIBError(kNoMemory);
    }
}

// A table of Count elements for one conversion, not initialised, or each Fill.
template <class T>
std::unique_ptr<T[]> NewTable(size_t Count) {
    return Allocating([Count] { return std::make_unique_for_overwrite<T[]>(Count); });
}
template <class T>
std::unique_ptr<T[]> NewTable(size_t Count, T Fill) {
    auto table = NewTable<T>(Count);
    std::fill_n(table.get(), Count, Fill);
    return table;
}

int32_t ScreenDepth() { return ScreenDepthHook ? ScreenDepthHook() : 32; }

// The bit-field code of red, green and blue widths.
TDIBColorFormat FormatOfCode(int32_t Code) { return MakeDIBColorFormat(Code / 100, Code / 10 % 10, Code % 10); }

// ---- Rows of colours in and out ----

// The colours of a row: through the colour table at 8 bits or fewer, 16-bit words through a
// table of all 65,536 values (bit replication, as every bitmap widens a field).
class TRowReader {
public:
    explicit TRowReader(const TFastDIB& Source) : source_(Source) {
        if (Source.BitCount() != 16) return;
        words_.resize(65536);
        for (uint32_t w = 0; w < 65536; ++w) {
            uint8_t r, g, b;
            UnpackRGB(Source.Format(), w, r, g, b);
            words_[w] = RGBQuad(r, g, b);
        }
    }

    void Read(int32_t Y, TRGBQuad* Out) const {
        const uint8_t* row = source_.Row(Y);
        const TRGBQuad* table = source_.Colors.data();
        const int32_t w = source_.Width();
        switch (source_.BitCount()) {
            case 1: for (int32_t x = 0; x < w; ++x) Out[x] = table[LoadPixel(row, x, 1)]; break;
            case 4: for (int32_t x = 0; x < w; ++x) Out[x] = table[LoadPixel(row, x, 4)]; break;
            case 8: for (int32_t x = 0; x < w; ++x) Out[x] = table[row[x]]; break;
            case 16: for (int32_t x = 0; x < w; ++x) Out[x] = words_[LoadPixel(row, x, 16)]; break;
            case 24: for (int32_t x = 0; x < w; ++x) Out[x] = LoadPixel(row, x, 24); break;
            default: for (int32_t x = 0; x < w; ++x) Out[x] = LoadPixel(row, x, 32) & 0xFFFFFF;
        }
    }

private:
    const TFastDIB& source_;
    std::vector<TRGBQuad> words_;
};

// Colours into the pixels of a 16-, 24- or 32-bit row (the fourth byte 0); at 16 bits each
// channel goes through a table that moves its top bits into its field.
class TRowWriter {
public:
    explicit TRowWriter(TFastDIB& Dest) : dest_(Dest) {
        const TDIBColorFormat& f = Dest.Format();
        for (uint32_t c = 0; c < 256; ++c) {
            red_[c] = uint16_t(c >> f.RFill << (f.GBitCount + f.BBitCount));
            green_[c] = uint16_t(c >> f.GFill << f.BBitCount);
            blue_[c] = uint16_t(c >> f.BFill);
        }
    }

    uint16_t Word(TRGBQuad C) const { return red_[QuadRed(C)] | green_[QuadGreen(C)] | blue_[QuadBlue(C)]; }

    void Write(int32_t Y, const TRGBQuad* Colors) {
        uint8_t* row = dest_.Row(Y);
        const int32_t w = dest_.Width();
        switch (dest_.BitCount()) {
            case 16: for (int32_t x = 0; x < w; ++x) StorePixel(row, x, 16, Word(Colors[x])); break;
            case 24: for (int32_t x = 0; x < w; ++x) StorePixel(row, x, 24, Colors[x]); break;
            default: for (int32_t x = 0; x < w; ++x) StorePixel(row, x, 32, Colors[x] & 0xFFFFFF);
        }
    }

private:
    TFastDIB& dest_;
    std::array<uint16_t, 256> red_, green_, blue_;
};

void WriteIndexes(TFastDIB& Dest, int32_t Y, const uint8_t* Indexes) {
    uint8_t* row = Dest.Row(Y);
    const int32_t w = Dest.Width();
    switch (Dest.BitCount()) {
        case 1: for (int32_t x = 0; x < w; ++x) StorePixel(row, x, 1, Indexes[x]); break;
        case 4: for (int32_t x = 0; x < w; ++x) StorePixel(row, x, 4, Indexes[x]); break;
        default: std::memcpy(row, Indexes, size_t(w));
    }
}

// Runs Fn(Y, Colors) over the rows of Source, top first.
template <class Fn>
void ForEachRowColors(const TFastDIB& Source, Fn&& F) {
    const TRowReader reader(Source);
    std::vector<TRGBQuad> colors(size_t(Source.Width()));
    for (int32_t y = 0; y < Source.AbsHeight(); ++y) {
        reader.Read(y, colors.data());
        F(y, colors.data());
    }
}

// Serpentine Floyd-Steinberg error diffusion of C channels over Width x Height: the first row
// left to right, then every row the other way. Each pixel's values (0..255, from Load(Y, Out)
// for a whole row) are held x 16 with the errors they received in two row buffers (this row
// and the next, with a spare cell at both ends); Pick(X, Y, Value, Error) gets the stored sum
// div 16 clamped to 0..255, sets the pixel and the errors to spread: 7/16 to the next pixel on,
// 3/16 below behind it, 5/16 below, 1/16 below ahead.
template <int C, class LoadFn, class PickFn>
void SerpentineDiffuse(int32_t Width, int32_t Height, LoadFn&& Load, PickFn&& Pick) {
    const size_t cells = (size_t(Width) + 2) * C;
    std::vector<int32_t> current(cells), next(cells), values(size_t(Width) * C);
    for (int32_t y = 0; y < Height; ++y) {
        std::swap(current, next);
        std::fill(next.begin(), next.end(), 0);
        Load(y, values.data());
        const int32_t step = y % 2 == 0 ? 1 : -1;
        for (int32_t i = 0; i < Width; ++i) {
            const int32_t x = step > 0 ? i : Width - 1 - i;
            int32_t* here = &current[(size_t(x) + 1) * C];
            int32_t* below = &next[(size_t(x) + 1) * C];
            int32_t value[C], error[C];
            for (int c = 0; c < C; ++c)
                value[c] = std::clamp((values[size_t(x) * C + c] * 16 + here[c]) / 16, 0, 255);
            Pick(x, y, value, error);
            for (int c = 0; c < C; ++c) {
                const int32_t e = error[c];
                if (e == 0) continue;
                here[step * C + c] += e * 7;
                below[-step * C + c] += e * 3;
                below[c] += e * 5;
                below[step * C + c] += e;
            }
        }
    }
}

// Load function of SerpentineDiffuse that splits each row's colours into red, green, blue.
auto ChannelLoader(const TFastDIB& Source) {
    return [reader = TRowReader(Source),
            colors = std::vector<TRGBQuad>(size_t(Source.Width()))](int32_t Y, int32_t* Out) mutable {
        reader.Read(Y, colors.data());
        for (TRGBQuad c : colors) *Out++ = QuadRed(c), *Out++ = QuadGreen(c), *Out++ = QuadBlue(c);
    };
}

// ---- Workers ----

int32_t GreyOf(TRGBQuad C) { return (QuadRed(C) + QuadGreen(C) + QuadBlue(C)) / 3; }

// Grey levels 0..MaxIndex of an 8-, 24- or 32-bit Source into the 8-bit Dest, whose table
// becomes a ramp from black to white.
void GreyLevels(TFastDIB& Dest, const TFastDIB& Source, bool Dither, uint8_t MaxIndex) {
    Dest.Colors = {};
    Dest.FillPaletteRamp(0, MaxIndex, RGBQuad(255, 255, 255), RGBQuad(0, 0, 0));
    auto level = [MaxIndex](int32_t Grey) { return uint8_t((Grey + 1) * MaxIndex / 256); };
    if (!Dither || MaxIndex == 255) {
        std::vector<uint8_t> indexes(size_t(Source.Width()));
        return ForEachRowColors(Source, [&](int32_t Y, const TRGBQuad* Colors) {
            for (size_t x = 0; x < indexes.size(); ++x) indexes[x] = level(GreyOf(Colors[x]));
            WriteIndexes(Dest, Y, indexes.data());
        });
    }
    const TRowReader reader(Source);
    std::vector<TRGBQuad> colors(size_t(Source.Width()));
    SerpentineDiffuse<1>(
        Source.Width(), Source.AbsHeight(),
        [&](int32_t Y, int32_t* Out) {
            reader.Read(Y, colors.data());
            for (TRGBQuad c : colors) *Out++ = GreyOf(c);
        },
        [&](int32_t X, int32_t Y, const int32_t* Value, int32_t* Error) {
            const uint8_t index = level(Value[0]);
            Dest.Row(Y)[X] = index;
            Error[0] = Value[0] - QuadRed(Dest.Colors[index]);
        });
}

// Dest's table takes Source's colours in order of first appearance and each pixel the index of
// its colour. At most 2^D entries are made; a later colour takes the last index (at 1 bit
// index 0).
void ExactColors(TFastDIB& Dest, const TFastDIB& Source) {
    const int32_t limit = 1 << Dest.BitCount();
    const uint8_t surplus = Dest.BitCount() == 1 ? 0 : uint8_t(limit - 1);
    Dest.Colors = {};
    TColorSet seen;
    const auto index = NewTable<uint8_t>(size_t(1) << 24);  // read only where seen
    int32_t count = 0;
    std::vector<uint8_t> indexes(size_t(Source.Width()));
    ForEachRowColors(Source, [&](int32_t Y, const TRGBQuad* Colors) {
        for (size_t x = 0; x < indexes.size(); ++x) {
            const TRGBQuad c = Colors[x];
            if (seen.Insert(c)) {
                index[c] = count < limit ? uint8_t(count) : surplus;
                if (count < limit) Dest.Colors[size_t(count++)] = c;
            }
            indexes[x] = index[c];
        }
        WriteIndexes(Dest, Y, indexes.data());
    });
}

// Each pixel's colour repacked into Dest's 16-, 24- or 32-bit format.
void DirectColors(TFastDIB& Dest, const TFastDIB& Source) {
    TRowWriter writer(Dest);
    ForEachRowColors(Source, [&](int32_t Y, const TRGBQuad* Colors) { writer.Write(Y, Colors); });
}

// A 24- or 32-bit Source into 16 bits with diffused error; a channel rounds up to the next
// field value when the bits it loses are at least half a step and the field is not full.
void Diffuse16(TFastDIB& Dest, const TFastDIB& Source) {
    const TDIBColorFormat& f = Dest.Format();
    const int32_t fill[3] = {int32_t(f.RFill), int32_t(f.GFill), int32_t(f.BFill)};
    const int32_t place[3] = {int32_t(f.GBitCount + f.BBitCount), int32_t(f.BBitCount), 0};
    SerpentineDiffuse<3>(Source.Width(), Source.AbsHeight(), ChannelLoader(Source),
                         [&](int32_t X, int32_t Y, const int32_t* Value, int32_t* Error) {
                             uint32_t word = 0;
                             for (int c = 0; c < 3; ++c) {
                                 const int32_t v = Value[c], F = fill[c];
                                 int32_t field = v >> F;
                                 if ((v & ((1 << F) - 1)) >= (1 << F >> 1) && field < (255 >> F)) ++field;
                                 Error[c] = v - (field << F);
                                 word |= uint32_t(field) << place[c];
                             }
                             StorePixel(Dest.Row(Y), X, 16, word);
                         });
}

// ---- The box-split palette ----

// A cell of the 32 x 64 x 32 colour grid: red and blue by 8 levels, green by 4.
constexpr int32_t kCellSide[3] = {32, 64, 32};
constexpr int32_t kCellShift[3] = {3, 2, 3};

size_t CellOf(int32_t R, int32_t G, int32_t B) { return size_t((R >> 3) << 11 | (G >> 2) << 5 | (B >> 3)); }

// Cell bounds per axis (red, green, blue), inclusive.
struct TBox {
    int32_t Lo[3], Hi[3];

    template <class Fn>
    void ForEachCell(Fn&& F) const {
        for (int32_t r = Lo[0]; r <= Hi[0]; ++r)
            for (int32_t g = Lo[1]; g <= Hi[1]; ++g)
                for (int32_t b = Lo[2]; b <= Hi[2]; ++b) F(size_t(r << 11 | g << 5 | b), r, g, b);
    }

    // Narrows the box to the bounds of the occupied cells inside it (it holds at least one).
    void Shrink(const uint8_t* Occupied) {
        TBox found{{kCellSide[0], kCellSide[1], kCellSide[2]}, {-1, -1, -1}};
        ForEachCell([&](size_t Cell, int32_t R, int32_t G, int32_t B) {
            if (!Occupied[Cell]) return;
            const int32_t at[3] = {R, G, B};
            for (int a = 0; a < 3; ++a) found.Lo[a] = std::min(found.Lo[a], at[a]), found.Hi[a] = std::max(found.Hi[a], at[a]);
        });
        *this = found;
    }

    // The centre colour of the box.
    TRGBQuad Centre() const {
        return RGBQuad(uint8_t((Lo[0] + Hi[0]) * 4), uint8_t((Lo[1] + Hi[1]) * 2), uint8_t((Lo[2] + Hi[2]) * 4));
    }
};

// Splits the bounds of the occupied cells into at most Count boxes, each time halving the box
// that is widest along one axis (the first such box and axis on ties), until no box is wider
// than two cells.
std::vector<TBox> SplitBoxes(const uint8_t* Occupied, int32_t Count) {
    std::vector<TBox> boxes = {{{0, 0, 0}, {kCellSide[0] - 1, kCellSide[1] - 1, kCellSide[2] - 1}}};
    boxes[0].Shrink(Occupied);
    while (int32_t(boxes.size()) < Count) {
        int32_t widest = 1;
        size_t chosen = boxes.size();
        int axis = 0;
        for (size_t i = 0; i < boxes.size(); ++i)
            for (int a = 0; a < 3; ++a)
                if (boxes[i].Hi[a] - boxes[i].Lo[a] > widest)
                    widest = boxes[i].Hi[a] - boxes[i].Lo[a], chosen = i, axis = a;
        if (chosen == boxes.size()) break;
        TBox upper = boxes[chosen];
        const int32_t middle = (upper.Lo[axis] + upper.Hi[axis]) / 2;
        boxes[chosen].Hi[axis] = middle;
        upper.Lo[axis] = middle + 1;
        boxes[chosen].Shrink(Occupied);
        upper.Shrink(Occupied);
        boxes.push_back(upper);
    }
    return boxes;
}

// The entry of Table[0..Count) of least squared distance to (R, G, B); on ties the last.
uint8_t NearestFromLast(const TRGBQuad* Table, int32_t Count, const int32_t* Value) {
    int32_t best = Count - 1, bestDistance = INT32_MAX;
    for (int32_t i = Count - 1; i >= 0; --i) {
        const int32_t dr = Value[0] - QuadRed(Table[i]), dg = Value[1] - QuadGreen(Table[i]),
                      db = Value[2] - QuadBlue(Table[i]);
        const int32_t distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) best = i, bestDistance = distance;
    }
    return uint8_t(best);
}

// An 8-, 24- or 32-bit Source into the 8-bit Dest with a palette of at most MaxIndex + 1 box
// centres. Without Dither each pixel takes its cell's box; with Dither the diffused colour's
// cell is looked up, and a cell outside every box takes the nearest entry for good.
void BoxPalette(TFastDIB& Dest, const TFastDIB& Source, bool Dither, uint8_t MaxIndex) {
    constexpr uint8_t kNone = 255;
    const auto cells = NewTable<uint8_t>(65536, 0);
    ForEachRowColors(Source, [&](int32_t, const TRGBQuad* Colors) {
        for (int32_t x = 0; x < Source.Width(); ++x)
            cells[CellOf(QuadRed(Colors[x]), QuadGreen(Colors[x]), QuadBlue(Colors[x]))] = 1;
    });
    const std::vector<TBox> boxes = SplitBoxes(cells.get(), MaxIndex + 1);
    Dest.Colors = {};
    std::fill_n(cells.get(), 65536, kNone);
    for (size_t i = 0; i < boxes.size(); ++i) {
        Dest.Colors[i] = boxes[i].Centre();
        boxes[i].ForEachCell([&](size_t Cell, int32_t, int32_t, int32_t) { cells[Cell] = uint8_t(i); });
    }

    if (!Dither) {
        std::vector<uint8_t> indexes(size_t(Source.Width()));
        return ForEachRowColors(Source, [&](int32_t Y, const TRGBQuad* Colors) {
            for (size_t x = 0; x < indexes.size(); ++x)
                indexes[x] = cells[CellOf(QuadRed(Colors[x]), QuadGreen(Colors[x]), QuadBlue(Colors[x]))];
            WriteIndexes(Dest, Y, indexes.data());
        });
    }
    SerpentineDiffuse<3>(Source.Width(), Source.AbsHeight(), ChannelLoader(Source),
                         [&](int32_t X, int32_t Y, const int32_t* Value, int32_t* Error) {
                             uint8_t& cell = cells[CellOf(Value[0], Value[1], Value[2])];
                             if (cell == kNone) cell = NearestFromLast(Dest.Colors.data(), int32_t(boxes.size()), Value);
                             Dest.Row(Y)[X] = cell;
                             const TRGBQuad entry = Dest.Colors[cell];
                             Error[0] = Value[0] - QuadRed(entry);
                             Error[1] = Value[1] - QuadGreen(entry);
                             Error[2] = Value[2] - QuadBlue(entry);
                         });
}

// ---- Dispatch ----

// A working image of Source's size at BitCount bits.
struct TTemporary : TFastDIB {
    TTemporary(const TFastDIB& Source, int32_t BitCount) { SetSize(Source.Width(), Source.AbsHeight(), BitCount); }
};

// Source into the 8-bit Dest with at most MaxIndex + 1 box centres: 16-bit sources through 24
// bits, 1- and 4-bit ones through their exact 8-bit image.
void PaletteOfAnyDepth(TFastDIB& Dest, const TFastDIB& Source, bool Dither, uint8_t MaxIndex) {
    if (Source.BitCount() == 16 || Source.BitCount() <= 4) {
        TTemporary between(Source, Source.BitCount() == 16 ? 24 : 8);
        Source.BitCount() == 16 ? DirectColors(between, Source) : ExactColors(between, Source);
        return BoxPalette(Dest, between, Dither, MaxIndex);
    }
    BoxPalette(Dest, Source, Dither, MaxIndex);
}

}  // namespace

int32_t Probe16BitFormat() { return ScreenDepth() == 15 ? 555 : 565; }

TColorSet::TColorSet() : bits_(NewTable<uint64_t>(size_t(1) << 18, 0)) {}

void TFastDIB::SetSize(int32_t Width, int32_t Height, int32_t BitCount, int32_t BitfieldCode) {
    if (BitCount == 0) BitCount = ScreenDepth() == 15 ? 16 : ScreenDepth();
    if (BitfieldCode == 0) BitfieldCode = BitCount == 16 ? Probe16BitFormat() : 888;
    if (Width == width_ && Height == absHeight_ && BitCount == bitCount_ && BitfieldCode == bitfieldCode_) return;

    switch (BitCount) {
        case 1: case 4: case 8: case 24: break;
        case 16: if (BitfieldCode != 555 && BitfieldCode != 565) throw EFastDIBError("Invalid bit field code"); break;
        case 32: if (BitfieldCode != 888) throw EFastDIBError("Invalid bit field code"); break;
        default: throw EFastDIBError("Invalid bit count");
    }
    const int64_t lineBytes = DIBWidthBytes(std::max(Width, 0), BitCount);
    if (Width < 0 || Height < 0 || lineBytes * Height > kMaxImageBytes) throw EFastDIBError(kNoMemory);
    std::vector<uint8_t> memory;
    std::vector<uint8_t*> rows;
    Allocating([&] {
        memory.assign(size_t(lineBytes * Height), 0);
        rows.resize(size_t(Height));
    });
    for (int32_t y = 0; y < Height; ++y) rows[size_t(y)] = memory.data() + size_t(y) * size_t(lineBytes);
    memory_ = std::move(memory), rows_ = std::move(rows);
    width_ = Width, absHeight_ = Height, bitCount_ = BitCount, bitfieldCode_ = BitfieldCode;
    bytesPerLine_ = int32_t(lineBytes);
    gap_ = bytesPerLine_ - int32_t((int64_t(Width) * BitCount + 7) / 8);
    format_ = FormatOfCode(BitCount == 16 || BitCount == 32 ? BitfieldCode : 888);
}

uint32_t TFastDIB::GetPixelIndex(int32_t Y, int32_t X) const {
    return bitCount_ <= 8 ? LoadPixel(Row(Y), X, bitCount_) : 0;
}

int32_t TFastDIB::CountColors() const {
    int32_t count = 0;
    switch (bitCount_) {
        case 1:
            return Colors[0] == Colors[1] ? 1 : 2;
        case 4: case 8: case 16: {
            std::vector<bool> seen(size_t(1) << bitCount_);
            for (int32_t y = 0; y < absHeight_; ++y)
                for (int32_t x = 0; x < width_; ++x) {
                    const uint32_t v = LoadPixel(Row(y), x, bitCount_);
                    if (!seen[v]) seen[v] = true, ++count;
                }
            return count;
        }
        case 24: case 32: {
            TColorSet seen;
            ForEachRowColors(*this, [&](int32_t, const TRGBQuad* Colors) {
                for (int32_t x = 0; x < width_; ++x) count += seen.Insert(Colors[x]);
            });
            return count;
        }
        default:
            return 0;
    }
}

void TFastDIB::FillPaletteRamp(int32_t First, int32_t Last, TRGBQuad ColorLast, TRGBQuad ColorFirst) {
    First = std::clamp(First, 0, 255), Last = std::clamp(Last, First, 255);
    const int32_t steps = std::max(Last - First, 1);
    int32_t value[3], step[3];
    for (int c = 0; c < 3; ++c) {
        const int32_t from = int32_t(ColorFirst >> 8 * c & 0xFF), to = int32_t(ColorLast >> 8 * c & 0xFF);
        value[c] = from << 16;
        step[c] = (to - from) * 65536 / steps;
    }
    for (int32_t i = First; i <= Last; ++i) {
        Colors[size_t(i)] = uint32_t(value[0] >> 16) | uint32_t(value[1] >> 16) << 8 | uint32_t(value[2] >> 16) << 16;
        for (int c = 0; c < 3; ++c) value[c] += step[c];
    }
}

void ConvertDepth(TFastDIB& Dest, const TFastDIB& Source, bool Grey, bool Dither, uint8_t MaxIndex) {
    if (Dest.Width() != Source.Width() || Dest.AbsHeight() != Source.AbsHeight())
        throw EFastDIBError("Bitmaps of different sizes");
    if (Source.Width() == 0 || Source.AbsHeight() == 0) return;
    const int32_t s = Source.BitCount(), d = Dest.BitCount();

    if (Grey && d < 16 && s > 4) {
        std::unique_ptr<TTemporary> wide;
        if (s == 16) {
            wide = std::make_unique<TTemporary>(Source, 24);
            DirectColors(*wide, Source);
        }
        const TFastDIB& source = wide ? *wide : Source;
        if (d == 8) return GreyLevels(Dest, source, Dither, MaxIndex);
        TTemporary levels(Source, 8);
        GreyLevels(levels, source, Dither, d == 1 ? 1 : std::min<uint8_t>(MaxIndex, 15));
        return ExactColors(Dest, levels);
    }

    switch (d) {
        case 24: case 32:
            return DirectColors(Dest, Source);
        case 16:
            return (s == 24 || s == 32) && Dither ? Diffuse16(Dest, Source) : DirectColors(Dest, Source);
        case 8:
            if (Source.CountColors() <= MaxIndex + 1) return ExactColors(Dest, Source);
            return PaletteOfAnyDepth(Dest, Source, Dither, MaxIndex);
        default: {
            const bool fits = d == 4 ? s != 8 && Source.CountColors() <= MaxIndex + 1 : Source.CountColors() < 3;
            if (fits) return ExactColors(Dest, Source);
            TTemporary palette(Source, 8);
            PaletteOfAnyDepth(palette, Source, Dither, d == 1 ? 1 : MaxIndex);
            ExactColors(Dest, palette);
        }
    }
}
