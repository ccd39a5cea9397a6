#include "graphics/gifpics_reduce.h"

#include <algorithm>

namespace gif {

// ---- Bitmap access ----

TDIBReader::TDIBReader(const ::TDIB& Bitmap) : bitmap_(Bitmap) {
    if (bitmap_.BitCount() != 24) bitmap_.SetBitCount(24);
}

TDIBWriter::TDIBWriter(::TDIB& Target, const TPalette* Palette, int32_t Width, int32_t Height, int32_t PixelFormat)
    : target_(Target), width_(Width), height_(Height), bitCount_(PixelFormat) {
    if (PixelFormat != 8 && PixelFormat != 24) throw EInvalidGraphic("Unsupported PixelFormat");
    if (Width <= 0 || Height <= 0) throw EInvalidGraphic("Invalid image dimensions");
    CheckImageSize(Width, Height, PixelFormat);
    if (Palette) palette_ = *Palette;
}

uint8_t* TDIBWriter::ScanLine(int32_t Row) {
    if (Row < 0 || Row >= height_)
        throw EInvalidGraphicOperation("スキャンライン のインデックスが範囲を越えました");
    Allocate();
    return bitmap_.ScanLine(Row);
}

void TDIBWriter::Close() {
    Allocate();
    target_.Assign(&bitmap_);
    bitmap_.Clear();
}

void TDIBWriter::Allocate() {
    if (!bitmap_.Empty()) return;
    TRGBQuadTable table{};
    if (bitCount_ == 8)
        for (int i = 0; i < std::min(palette_.Count, 256); ++i)
            table[size_t(i)] = PaletteEntryToRGBQuad(palette_.Entries[size_t(i)]);
    bitmap_.ColorTable = table;
    bitmap_.SetSize(width_, height_, bitCount_);
}

// ---- Colour lookups ----

namespace {
int CacheKey(uint8_t Red, uint8_t Green, uint8_t Blue) { return Red >> 3 | (Green >> 3) << 5 | (Blue >> 3) << 10; }
}  // namespace

TFastColorLookup::TFastColorLookup(const TPalette& Palette)
    : TColorLookup(std::clamp(Palette.Count, 0, 256)), palette_(Palette), cache_(32768, 0xFFFF) {
    for (int i = 0; i < Colors(); ++i) {
        const TPaletteEntry& e = palette_.Entries[i];
        uint16_t& slot = cache_[CacheKey(e.Red, e.Green, e.Blue)];
        if (slot == 0xFFFF) slot = uint16_t(i);
    }
}

uint8_t TFastColorLookup::Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
    uint16_t& slot = cache_[CacheKey(Red, Green, Blue)];
    if (slot == 0xFFFF)
        slot = uint16_t(colorquant::NearestColorIndex(palette_.Entries.data(), Red | Green << 8 | Blue << 16, Colors()));
    const TPaletteEntry& e = palette_.Entries[slot];
    R = e.Red, G = e.Green, B = e.Blue;
    return uint8_t(slot);
}

uint8_t TNetscapeColorLookup::Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
    const int r = (Red + 3) / 51, g = (Green + 3) / 51, b = (Blue + 3) / 51;
    R = uint8_t(r * 51), G = uint8_t(g * 51), B = uint8_t(b * 51);
    return uint8_t(r * 36 + g * 6 + b);
}

uint8_t TGrayScaleLookup::Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
    const uint8_t grey = uint8_t((Red * 77 + Green * 150 + Blue * 29) >> 8);
    R = G = B = grey;
    return grey;
}

uint8_t TMonochromeLookup::Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
    const bool white = Red * 77 + Green * 150 + Blue * 29 >= 32513;
    R = G = B = white ? 255 : 0;
    return white ? 1 : 0;
}

// ---- Ditherers ----

uint8_t TDitherEngine::Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
    const uint8_t index = lookup_.Lookup(Red, Green, Blue, R, G, B);
    Column += Direction;
    return index;
}

void TDitherEngine::NextLine() {
    Direction = -Direction;
    Column = Direction > 0 ? 0 : width_ - 1;
}

const TDiffusionKernel kFloydSteinbergKernel{16, 2, 1, 4, {{{0, 1, 7}, {1, -1, 3}, {1, 0, 5}, {1, 1, 1}}}};
const TDiffusionKernel kStuckiKernel{
    42, 3, 2, 12,
    {{{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},
      {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}}}};
const TDiffusionKernel kSierraKernel{
    32, 3, 2, 10,
    {{{0, 1, 5}, {0, 2, 3}, {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2}, {2, -1, 2}, {2, 0, 3},
      {2, 1, 2}}}};
const TDiffusionKernel kJaJuNiKernel{
    48, 3, 2, 12,
    {{{0, 1, 7}, {0, 2, 5}, {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},
      {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}}}};
const TDiffusionKernel kStevensonArceKernel{
    200, 4, 3, 12,
    {{{0, 2, 32}, {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16}, {2, -2, 12}, {2, 0, 26}, {2, 2, 12},
      {3, -3, 5}, {3, -1, 12}, {3, 1, 12}, {3, 3, 5}}}};
const TDiffusionKernel kBurkesKernel{
    32, 2, 2, 7, {{{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}}};

TErrorDiffusionDitherer::TErrorDiffusionDitherer(int32_t Width, TColorLookup& Lookup, const TDiffusionKernel& Kernel)
    : TDitherEngine(Width, Lookup), kernel_(Kernel) {
    for (auto& rows : errors_) rows.assign(size_t(Kernel.Rows), std::vector<int32_t>(size_t(Width + 2 * Kernel.Guard)));
}

uint8_t TErrorDiffusionDitherer::Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G,
                                        uint8_t& B) {
    const int32_t at = kernel_.Guard + Column;
    const uint8_t in[3] = {Red, Green, Blue};
    uint8_t value[3], chosen[3];
    for (int c = 0; c < 3; ++c)
        value[c] = uint8_t(
            std::clamp(in[c] + (errors_[c][0][size_t(at)] + kernel_.Divisor / 2) / kernel_.Divisor, 0, 255));
    const uint8_t index = lookup_.Lookup(value[0], value[1], value[2], chosen[0], chosen[1], chosen[2]);
    for (int c = 0; c < 3; ++c) {
        const int32_t error = value[c] - chosen[c];
        for (int i = 0; i < kernel_.Count; ++i) {
            const TDiffusionWeight& w = kernel_.Weights[size_t(i)];
            errors_[c][size_t(w.Row)][size_t(at + Direction * w.Offset)] += error * w.Weight;
        }
    }
    R = chosen[0], G = chosen[1], B = chosen[2];
    Column += Direction;
    return index;
}

void TErrorDiffusionDitherer::NextLine() {
    for (auto& rows : errors_) {
        std::rotate(rows.begin(), rows.begin() + 1, rows.end());
        std::fill(rows.back().begin(), rows.back().end(), 0);
    }
    TDitherEngine::NextLine();
}

std::unique_ptr<TDitherEngine> MakeDitherer(TDitherMode Mode, int32_t Width, TColorLookup& Lookup) {
    switch (Mode) {
        case dmNearest: return std::make_unique<TDitherEngine>(Width, Lookup);
        case dmFloydSteinberg: return std::make_unique<TFloydSteinbergDitherer>(Width, Lookup);
        case dmStucki: return std::make_unique<TStuckiDitherer>(Width, Lookup);
        case dmSierra: return std::make_unique<TSierraDitherer>(Width, Lookup);
        case dmJaJuNi: return std::make_unique<TJaJuNiDitherer>(Width, Lookup);
        case dmSteveArche: return std::make_unique<TStevensonArceDitherer>(Width, Lookup);
        case dmBurkes: return std::make_unique<TBurkesDitherer>(Width, Lookup);
    }
    throw EInvalidGraphic("Invalid dither mode");
}

// ---- Octree quantizer ----

TColorQuantizer::TColorQuantizer(int MaxColors, int ColorBits)
    : maxColors_(std::max(MaxColors, 1)), colorBits_(std::clamp(ColorBits, 1, 8)) {
    root_ = CreateNode(0);
}

std::unique_ptr<TOctreeNode> TColorQuantizer::CreateNode(int Level) {
    auto node = std::make_unique<TOctreeNode>();
    if (Level == colorBits_) {
        node->IsLeaf = true;
        ++leafCount_;
    } else {
        node->Next = reducible_[size_t(Level)];
        reducible_[size_t(Level)] = node.get();
    }
    return node;
}

void TColorQuantizer::AddColor(uint8_t Red, uint8_t Green, uint8_t Blue) {
    TOctreeNode* node = root_.get();
    for (int level = 0; !node->IsLeaf; ++level) {
        const int shift = 7 - level;
        const uint8_t mask = uint8_t(0x80 >> level);
        const int child = ((Red & mask) >> shift) << 2 | ((Green & mask) >> shift) << 1 | (Blue & mask) >> shift;
        if (!node->Child[size_t(child)]) node->Child[size_t(child)] = CreateNode(level + 1);
        node = node->Child[size_t(child)].get();
    }
    ++node->PixelCount;
    node->RedSum += Red, node->GreenSum += Green, node->BlueSum += Blue;
    while (leafCount_ > maxColors_) ReduceTree();
}

void TColorQuantizer::ReduceTree() {
    int level = colorBits_ - 1;
    while (level > 0 && !reducible_[size_t(level)]) --level;
    TOctreeNode* node = reducible_[size_t(level)];
    reducible_[size_t(level)] = node->Next;
    int children = 0;
    for (auto& child : node->Child)
        if (child) {
            node->RedSum += child->RedSum, node->GreenSum += child->GreenSum, node->BlueSum += child->BlueSum;
            node->PixelCount += child->PixelCount;
            child.reset();
            ++children;
        }
    node->IsLeaf = true;
    leafCount_ -= children - 1;
}

void TColorQuantizer::GetColorTable(TPalette& Palette, int Start) const {
    int index = Start;
    auto walk = [&](auto& self, const TOctreeNode& node) -> void {
        if (index > 255) return;
        if (node.IsLeaf) {
            TPaletteEntry& e = Palette.Entries[size_t(index++)];
            e = {};
            if (node.PixelCount)
                e = {uint8_t(node.RedSum / node.PixelCount), uint8_t(node.GreenSum / node.PixelCount),
                     uint8_t(node.BlueSum / node.PixelCount), 0};
            return;
        }
        for (const auto& child : node.Child)
            if (child) self(self, *child);
    };
    walk(walk, *root_);
}

// ---- Palettes ----

namespace {
constexpr uint8_t kNoCollapse = 0x04;

TPalette GreyPalette(std::initializer_list<uint8_t> Levels) {
    TPalette p;
    for (uint8_t v : Levels) p.Entries[size_t(p.Count++)] = {v, v, v, kNoCollapse};
    return p;
}
}  // namespace

TPalette WebPalette() {
    TPalette p;
    p.Count = 216;
    for (int i = 0; i < 216; ++i)
        p.Entries[size_t(i)] = {uint8_t(i / 36 * 51), uint8_t(i / 6 % 6 * 51), uint8_t(i % 6 * 51), 0};
    return p;
}

TPalette GrayScalePalette() {
    TPalette p;
    p.Count = 256;
    for (int i = 0; i < 256; ++i) p.Entries[size_t(i)] = {uint8_t(i), uint8_t(i), uint8_t(i), kNoCollapse};
    return p;
}

TPalette WindowsGrayPalette() { return GreyPalette({0, 128, 192, 255}); }
TPalette MonochromePalette() { return GreyPalette({0, 255}); }

TPalette DefaultPalette() {
    TPalette p;
    p.Count = 20;
    std::copy(kDefaultPaletteEntries.begin(), kDefaultPaletteEntries.end(), p.Entries.begin());
    return p;
}

TPalette HalftonePalette() {
    TPalette p;
    p.Count = 256;
    p.Entries = kHalftonePaletteEntries;
    return p;
}

TPalette OctreePalette(const TDIBReader& Reader, int Colors, int ColorBits, bool WithSystemColors) {
    TColorQuantizer quantizer(WithSystemColors ? 236 : Colors, ColorBits);
    for (int32_t y = 0; y < Reader.Height(); ++y) {
        const uint8_t* in = Reader.ScanLine(y);
        for (int32_t x = 0; x < Reader.Width(); ++x, in += 3) quantizer.AddColor(in[2], in[1], in[0]);
    }
    TPalette p;
    if (WithSystemColors) {
        p.Count = 256;
        std::copy(kDefaultPaletteEntries.begin(), kDefaultPaletteEntries.begin() + 10, p.Entries.begin());
        std::copy(kDefaultPaletteEntries.begin() + 10, kDefaultPaletteEntries.end(), p.Entries.begin() + 246);
        quantizer.GetColorTable(p, 10);  // at most 236 leaves: entries 10..245
    } else {
        p.Count = std::clamp(Colors, 0, 256);
        quantizer.GetColorTable(p, 0);
    }
    return p;
}

// ---- The reduction ----

std::unique_ptr<::TDIB> ReduceColors(const ::TDIB& Bitmap, TColorReduction Method, TDitherMode DitherMode,
                                     int ReductionBits, const TPalette* CustomPalette) {
    auto result = std::make_unique<::TDIB>();
    if (Method == rmNone) {
        result->Assign(&Bitmap);
        result->SetBitCount(24);
        return result;
    }
    if (Bitmap.Empty()) return result;
    const TDIBReader reader(Bitmap);
    TPalette palette;
    std::unique_ptr<TColorLookup> lookup;
    switch (Method) {
        case rmWindows20: palette = DefaultPalette(); break;
        case rmWindowsHalftone: palette = HalftonePalette(); break;
        case rmWindowsGray: palette = WindowsGrayPalette(); break;
        case rmMonochrome: palette = MonochromePalette(), lookup = std::make_unique<TMonochromeLookup>(); break;
        case rmGrayScale: palette = GrayScalePalette(), lookup = std::make_unique<TGrayScaleLookup>(); break;
        case rmNetscape: palette = WebPalette(), lookup = std::make_unique<TNetscapeColorLookup>(); break;
        case rmQuantize: palette = OctreePalette(reader, 1 << std::clamp(ReductionBits, 1, 8), 8, false); break;
        case rmQuantizeWindows: palette = OctreePalette(reader, 236, 8, true); break;
        case rmPalette:
            if (CustomPalette) palette = *CustomPalette;
            break;
        default: throw EInvalidGraphic("Invalid reduction method");
    }
    if (!lookup) lookup = std::make_unique<TFastColorLookup>(palette);
    if (lookup->Colors() == 0) return result;

    const std::unique_ptr<TDitherEngine> ditherer = MakeDitherer(DitherMode, reader.Width(), *lookup);
    TDIBWriter writer(*result, &palette, reader.Width(), reader.Height(), 8);
    uint8_t r, g, b;
    for (int32_t y = 0; y < reader.Height(); ++y) {
        const uint8_t* in = reader.ScanLine(y);
        uint8_t* out = writer.ScanLine(y);
        for (int32_t x = ditherer->Column; x >= 0 && x < reader.Width(); x = ditherer->Column)
            out[x] = ditherer->Dither(in[3 * x + 2], in[3 * x + 1], in[3 * x], r, g, b);
        ditherer->NextLine();
    }
    writer.Close();
    return result;
}

}  // namespace gif
