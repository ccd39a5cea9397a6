// The Mira file format: the classic binary form ("Mira" and three digits, or no magic at all)
// and the XML form ("MiraX" and three digits, a zlib-compressed Shift_JIS header), both holding
// the pixel planes of every layer in one plane encoding: rows or blocks (blocks may repeat an
// earlier block of the plane or a block of an earlier frame), optionally in an order shuffled
// under the list's identification code, zlib-compressed, raw or (image planes) JPEG files.
//
// Every length and count is checked against what the plane or the stream holds, and nothing is
// read outside a plane or an image: a plane shorter than its layout, a block naming a block or a
// layer that does not exist, or a copy reaching outside its source raise "ファイルが破壊されています".
// So do frames, layers and planes whose images together exceed what the file's size can describe
// (TImageBudget): each is charged before it is made.
#include "core/nxxmls.h"
#include "core/rands.h"
#include "core/sysutils.h"
#include "core/vrfiles.h"
#include "core/zstreams.h"
#include "graphics/jpegs.h"
#include "graphics/miras.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace {

constexpr char kXmlMagic[] = "MiraX200";
constexpr int64_t kXmlMagicSize = 8;
constexpr int32_t kXmlVersion = 200;
constexpr int32_t kAlphaPlaneVersion = 100;
constexpr int32_t kAlphaOnVersion = 101;
constexpr int32_t kBGColorVersion = 102;
constexpr int32_t kPlaneEncodingVersion = 103;
constexpr int32_t kRectListVersion = 104;
constexpr int32_t kNotFillBGVersion = 105;
constexpr int32_t kSaveLevel = 70;
constexpr uint8_t kCompZlib = 0, kCompNone = 1, kCompJpeg = 2;
// Block table entries: the block is stored here, or repeats another block of the plane.
constexpr int32_t kBlockStored = -1, kBlockRepeat = -2;

[[noreturn]] void Damaged() { throw EInvalidGraphic("ファイルが破壊されています"); }

// Stored bytes for a message: printable ASCII as it is, any other byte as \xHH.
std::string Printable(std::string_view Bytes) {
    std::string text;
    for (const char c : Bytes) text += c >= ' ' && c <= '~' ? std::string(1, c) : Format("\\x%02X", uint8_t(c));
    return text;
}

// ---- The shuffle ----

// The order in which a shuffled plane stores n units: Order[i] is where stored unit i belongs.
// Each draw advances the seeded generator and takes the pool value at its state modulo the values
// left; the pool is a binary indexed tree, so that a draw costs log n instead of n.
std::vector<int32_t> ShuffledOrder(int32_t N, uint32_t Code) {
    std::vector<int32_t> order(size_t(std::max(N, 0)));
    if (Code == 0) {
        for (int32_t i = 0; i < N; ++i) order[i] = i;
        return order;
    }
    std::vector<int32_t> tree(order.size() + 1, 0);  // tree[k]: values left in (k - lowbit k, k]
    for (size_t k = 1; k < tree.size(); ++k) {
        ++tree[k];
        if (const size_t up = k + (k & -k); up < tree.size()) tree[up] += tree[k];
    }
    int32_t highBit = 1;
    while (highBit * 2 <= N) highBit *= 2;
    TNxRandom random(Code);
    for (int32_t i = 0; i < N; ++i) {
        int32_t rank = int32_t(random.Next() % uint32_t(N - i));  // the rank-th value left, from 0
        int32_t k = 0;
        for (int32_t step = highBit; step > 0; step /= 2)
            if (k + step <= N && tree[k + step] <= rank) {
                k += step;
                rank -= tree[k];
            }
        order[i] = k;  // the value k is the (k + 1)-th slot
        for (size_t j = size_t(k) + 1; j < tree.size(); j += j & -j) --tree[j];
    }
    return order;
}

// ---- Reading planes ----

// The bytes of one plane, taken front to back: the stored bytes as they are, or inflated straight
// from them a piece at a time as they are taken, so that a plane never inflates beyond what its
// layout uses. Corrupt or short zlib data raises EZDecompressionError, as the zlib streams do.
class TPlaneBytes {
public:
    // Stored stays in place while the plane is taken.
    TPlaneBytes(std::span<const uint8_t> Stored, bool Compressed) {
        if (!Compressed) {
            bytes_ = Stored;
            return;
        }
        if (inflateInit(&z_) != Z_OK) throw EZDecompressionError(zError(Z_MEM_ERROR));
        inflating_ = true;
        z_.next_in = const_cast<Bytef*>(Stored.data());
        z_.avail_in = uInt(Stored.size());
    }
    ~TPlaneBytes() {
        if (inflating_) inflateEnd(&z_);
    }
    TPlaneBytes(const TPlaneBytes&) = delete;
    TPlaneBytes& operator=(const TPlaneBytes&) = delete;

    // The next Count bytes, valid until the next call; "damaged" when the plane ends first.
    const uint8_t* Take(size_t Count) {
        if (!Fill(Count)) Damaged();
        const uint8_t* p = bytes_.data() + pos_;
        pos_ += Count;
        return p;
    }
    // Whether the plane holds any byte at all.
    bool HasContent() { return Fill(1); }

private:
    static constexpr size_t kPiece = 65536;

    bool Fill(size_t Count) {
        if (bytes_.size() - pos_ >= Count) return true;
        if (!inflating_) return false;
        data_.erase(data_.begin(), data_.begin() + int64_t(pos_));
        bytes_ = data_;
        pos_ = 0;
        while (data_.size() < Count) {
            if (ended_) return false;
            const size_t have = data_.size(), want = std::max(Count - have, kPiece);
            data_.resize(have + want);
            z_.next_out = data_.data() + have;
            z_.avail_out = uInt(want);
            const int rc = inflate(&z_, Z_NO_FLUSH);
            data_.resize(have + want - z_.avail_out);
            bytes_ = data_;
            if (rc == Z_STREAM_END) {
                ended_ = true;
            } else if (rc == Z_BUF_ERROR && z_.avail_in == 0) {
                throw EZDecompressionError(zError(Z_BUF_ERROR));  // the stored bytes ended first
            } else if (rc != Z_OK) {
                throw EZDecompressionError(zError(rc));
            }
        }
        return true;
    }

    std::span<const uint8_t> bytes_;  // the stored bytes, or those inflated so far
    std::vector<uint8_t> data_;
    size_t pos_ = 0;
    z_stream z_{};
    bool inflating_ = false, ended_ = false;
};

// Whole bytes of a rectangle of a bitmap: X and Width in pixels, as block copies take them.
struct TByteSpan {
    int64_t Start, Length;
};
TByteSpan BlockBytes(int32_t X, int32_t Width, int32_t BitCount) {
    return {int64_t(X) * BitCount / 8, (int64_t(Width) * BitCount + 7) / 8};
}

class TMiraReader {
public:
    TMiraReader(TMiraFrameList& List, TStream& Stream, bool KeepLayers, bool ForDisplay)
        : list_(List), stream_(Stream), keepLayers_(KeepLayers), forDisplay_(ForDisplay), budget_(Stream.Remaining()) {}

    void Read(bool FirstOnly) {
        const int64_t start = stream_.Position();
        char magic[kXmlMagicSize] = {};
        const int64_t read = stream_.Read(magic, kXmlMagicSize);
        if (read == kXmlMagicSize && std::memcmp(magic, kXmlMagic, 5) == 0) {
            const char major = magic[5];
            if (major >= '0' && major <= '9' && major - '0' > 2) throw EInvalidGraphic("読み込めないファイル形式です");
            ReadXml();
        } else {
            stream_.SetPosition(start);
            ReadClassic(FirstOnly);
        }
        list_.EndLoad(keepLayers_);
    }

private:
    TMiraFrameList& list_;
    TStream& stream_;
    bool keepLayers_, forDisplay_;
    TImageBudget budget_;
    TMiraHeader header_;

    // An image about to be made, charged to the picture's budget.
    void Charge(int32_t Width, int32_t Height, int32_t BitCount) {
        if (!budget_.Take(Width, Height, BitCount == 15 ? 16 : BitCount)) Damaged();
    }

    template <class T>
    T ReadValue() {
        T value;
        stream_.ReadBuffer(&value, sizeof value);
        return value;
    }
    // An int32 length of bytes that follow: negative or beyond the stream is damage.
    int32_t ReadLength() {
        const int32_t length = ReadValue<int32_t>();
        if (length < 0) Damaged();
        if (length > stream_.Remaining()) throw EReadError();
        return length;
    }
    // An int32 length and that many bytes: a name or a plane.
    template <class Bytes>
    Bytes ReadCounted() {
        Bytes bytes(static_cast<size_t>(ReadLength()), 0);
        stream_.ReadBuffer(bytes.data(), int64_t(bytes.size()));
        return bytes;
    }
    std::string ReadString() { return ReadCounted<std::string>(); }
    std::vector<uint8_t> ReadPlaneBytes() { return ReadCounted<std::vector<uint8_t>>(); }
    // The same, straight from the memory of a memory stream (Keep stays empty), or read into Keep.
    std::span<const uint8_t> ReadPlaneBytes(std::vector<uint8_t>& Keep) {
        auto* memory = dynamic_cast<TMemoryStream*>(&stream_);
        if (!memory) return Keep = ReadPlaneBytes();
        const int32_t length = ReadLength();
        const int64_t at = memory->Position();
        memory->Seek(length, soCurrent);
        return {memory->Memory() + at, size_t(length)};
    }

    // ---- The XML form ----

    void ReadXml() {
        list_.Clear();
        TMemoryStream text;
        const std::vector<uint8_t> packed = ReadPlaneBytes();
        text.WriteBuffer(packed.data(), int64_t(packed.size()));
        DecompressMemoryStream(text);
        TNxXmlElement root;
        root.LoadFromStream(text);

        header_ = TMiraHeader();
        header_.Version = root.GetAttrInteger("Version", kXmlVersion);
        header_.Width = root.GetAttrInteger("Width", 100);
        header_.Height = root.GetAttrInteger("Height", 100);
        header_.Bpp = root.GetAttrInteger("Bpp", 8);
        header_.Count = root.GetAttrInteger("Count", 0);
        header_.SyncPal = root.GetAttrBool("SyncPal", false);
        header_.Randomized = root.GetAttrBool("Randomized", false);
        header_.CompType = uint8_t(root.GetAttrInteger("CompType", 0));
        header_.BGColor = root.GetAttrInteger("BGColor", 0);
        header_.BlockWidth = root.GetAttrInteger("BlockWidth", 32);
        header_.BlockHeight = root.GetAttrInteger("BlockHeight", 32);
        header_.NotFillBG = root.GetAttrBool("NotFillBG", true);
        header_.CompLevel = uint8_t(root.GetAttrInteger("CompLevel", 0));
        list_.BGColor = header_.BGColor;
        list_.NotFillBG = header_.NotFillBG;

        for (int32_t i = 0; i < header_.Count; ++i) {
            const TNxXmlElement* element = root.GetChild(i);
            if (!element || !element->NameIs("Frame")) {
                if (i == 0) Damaged();
                break;
            }
            ReadXmlFrame(*element);
        }
    }

    void ReadXmlFrame(const TNxXmlElement& Element) {
        TMiraFrame& frame = BeginFrame();
        frame.Name = Element.GetAttrString("Name", "");
        frame.TransPixel = Element.GetAttrInteger("TransColor", -1);
        frame.Delay = Element.GetAttrInteger("Delay", 0);
        frame.Disposal = uint8_t(Element.GetAttrInteger("Disposal", 0));
        const TNxXmlElement* layers = Element.FindChild("Layers");
        if (!layers) throw EInvalidGraphic("レイヤーがありません");
        const int32_t bpp = layers->GetAttrInteger("Bpp", 8);
        std::vector<TRGBQuad> colors;
        if (bpp >= 1 && bpp <= 8) colors = ParseColorTable(layers->ReadString("RGB", ""), 1 << bpp);
        const int32_t width = layers->GetAttrInteger("Width", 100), height = layers->GetAttrInteger("Height", 100);
        Charge(width, height, bpp);
        frame.SetupImage(width, height, bpp, colors.data(), int32_t(colors.size()));

        const int32_t count = layers->GetAttrInteger("Count", 0);
        const int32_t first = layers->IndexOfChild("Layer");
        bool firstVisible = true;
        for (int32_t j = 0; j < count; ++j) {
            const TNxXmlElement* element = first < 0 ? nullptr : layers->GetChild(first + j);
            if (!element || !element->NameIs("Layer")) Damaged();
            TMiraLayer& layer = AddLayer(frame);
            layer.Visible = element->GetAttrBool("Visible", true);
            layer.TransColor = element->GetAttrInteger("TransColor", -1);
            layer.Alpha = element->GetAttrInteger("Alpha", 255);
            layer.AlphaOn = element->GetAttrBool("AlphaOn", false);
            layer.Name = element->GetAttrString("Name", "");
            ReadLayerPlanes(layer);
            frame.ComposeLayer(j, firstVisible);
        }
        EndFrame(frame);
    }

    // The "RGB" text: Count entries of six hexadecimal digits $BBGGRR; more text is ignored.
    static std::vector<TRGBQuad> ParseColorTable(const std::string& Text, int32_t Count) {
        if (int64_t(Text.size()) < 6 * int64_t(Count)) throw EInvalidGraphic("カラーテーブルがありません");
        std::vector<TRGBQuad> colors(static_cast<size_t>(Count));
        for (int32_t i = 0; i < Count; ++i) {
            uint32_t value = 0;
            const char* digits = Text.data() + 6 * i;
            if (std::from_chars(digits, digits + 6, value, 16).ptr != digits + 6) Damaged();
            colors[size_t(i)] = RGBQuad(uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16));
        }
        return colors;
    }

    // ---- The classic form ----

    void ReadClassic(bool FirstOnly) {
        list_.Clear();
        std::string digits;
        const int64_t read = ReadMiraMagic(stream_, digits);
        int32_t version = 0;
        if (digits.empty()) {
            stream_.Seek(-read, soCurrent);
        } else if (!TryStrToInt(digits, version)) {
            throw EInvalidGraphic("'" + Printable(digits) + "' is not a valid integer value");
        }
        list_.Version = version;
        header_ = TMiraHeader();
        if (version >= kPlaneEncodingVersion) {
            ReadMiraHeaderRecord(stream_, header_);
        } else {
            header_.Version = version;
            header_.Count = ReadValue<int32_t>();
            ReadValue<uint8_t>();
            if (version >= kBGColorVersion) header_.BGColor = ReadValue<int32_t>();
        }
        list_.BGColor = header_.BGColor;
        list_.NotFillBG = version >= kNotFillBGVersion && header_.NotFillBG;
        const int32_t count = FirstOnly ? std::min(header_.Count, 1) : header_.Count;
        for (int32_t i = 0; i < count; ++i) ReadClassicFrame();
    }

    void ReadClassicFrame() {
        TMiraFrame& frame = BeginFrame();
        frame.Name = ReadString();
        frame.TransPixel = ReadValue<int32_t>();
        frame.Delay = ReadValue<int32_t>();
        frame.Disposal = ReadValue<uint8_t>();
        ReadValue<int32_t>();
        const int32_t count = ReadValue<int32_t>();
        const int32_t width = ReadValue<int32_t>(), height = ReadValue<int32_t>(), bpp = ReadValue<int32_t>();
        std::vector<TRGBQuad> colors;
        if (bpp >= 1 && bpp <= 8) {
            colors.resize(size_t(1) << bpp);
            stream_.ReadBuffer(colors.data(), int64_t(colors.size() * sizeof(TRGBQuad)));
        }
        Charge(width, height, bpp);
        frame.SetupImage(width, height, bpp, colors.data(), int32_t(colors.size()));

        bool firstVisible = true;
        for (int32_t j = 0; j < count; ++j) {
            // The record is read before the layer's image is made.
            ReadValue<uint64_t>();
            const bool visible = ReadValue<uint8_t>() != 0;
            const int32_t transColor = ReadValue<int32_t>(), alpha = ReadValue<int32_t>();
            const bool alphaOn = header_.Version >= kAlphaOnVersion && ReadValue<uint8_t>() != 0;
            std::string name = ReadString();
            TMiraLayer& layer = AddLayer(frame);
            layer.Visible = visible;
            layer.TransColor = transColor;
            layer.Alpha = alpha;
            layer.AlphaOn = alphaOn;
            layer.Name = std::move(name);
            ReadLayerPlanes(layer);
            if (layer.AlphaOn && layer.Image.Alpha) layer.TransColor = -1;
            frame.ComposeLayer(j, firstVisible);
        }
        if (header_.Version >= kRectListVersion) {
            frame.Rects1 = ReadRects();
            frame.Rects2 = ReadRects();
        }
        EndFrame(frame);
    }

    std::vector<TRect> ReadRects() {
        const int32_t count = ReadValue<int32_t>();
        if (count <= 0) return {};
        if (int64_t(count) * int64_t(sizeof(TRect)) > stream_.Remaining()) throw EReadError();
        std::vector<TRect> rects(static_cast<size_t>(count));
        stream_.ReadBuffer(rects.data(), int64_t(rects.size() * sizeof(TRect)));
        return rects;
    }

    // ---- Frames and layers of both forms ----

    TMiraFrame& BeginFrame() { return *list_.AddFrame(); }
    TMiraLayer& AddLayer(TMiraFrame& Frame) {
        Charge(Frame.Image.Width(), Frame.Image.Height(), Frame.Image.GetBitCountEx());
        return *Frame.AddLayer();
    }
    void EndFrame(TMiraFrame& Frame) {
        if (forDisplay_) Frame.PrepareForDisplay(keepLayers_);
    }

    // The image plane, then from version 100 the alpha plane: an empty one (no bytes, or a
    // compressed plane holding none) leaves the layer without alpha.
    void ReadLayerPlanes(TMiraLayer& Layer) {
        ReadPlane(Layer.Image, false);
        if (header_.Version < kAlphaPlaneVersion) return;
        Charge(Layer.Image.Width(), Layer.Image.Height(), 8);
        Layer.Image.NeedAlpha();
        if (!ReadPlane(*Layer.Image.Alpha, true)) Layer.Image.FreeAlpha();
    }

    // Fills Image from the next plane of the stream. An empty alpha plane gives false; an empty
    // image plane is damage.
    bool ReadPlane(TDIBSurface& Image, bool IsAlpha) {
        std::vector<uint8_t> kept;
        const std::span<const uint8_t> stored = ReadPlaneBytes(kept);
        const bool legacy = header_.Version < kPlaneEncodingVersion;
        const bool jpeg = !legacy && header_.CompType == kCompJpeg;
        if (jpeg && !IsAlpha && !stored.empty()) {
            ReadJpegPlane(Image, stored);
            return true;
        }
        // Below version 103 the rows are stored raw (in the shuffled order) when the length is
        // exactly their size, else as a zlib stream of the rows in natural order.
        const bool raw = legacy ? int64_t(stored.size()) == int64_t(Image.WidthBytes()) * Image.Height()
                                : header_.CompType != kCompZlib && !jpeg;
        if (legacy && raw && header_.Randomized && list_.IdentCode == 0)
            throw EInvalidGraphic("識別コードを設定してください");
        const bool empty = stored.empty();
        TPlaneBytes bytes(stored, !raw);
        if (empty || !bytes.HasContent()) {
            if (IsAlpha) return false;
            Damaged();
        }
        if (legacy || jpeg || header_.BlockWidth <= 0 || header_.BlockHeight <= 0)
            PlaceRows(Image, bytes, legacy ? raw : header_.Randomized && !jpeg);
        else
            PlaceBlocks(Image, bytes, header_.Randomized, IsAlpha);
        return true;
    }

    void PlaceRows(TDIB& Image, TPlaneBytes& Bytes, bool Shuffled) {
        const std::vector<int32_t> order = ShuffledOrder(Image.Height(), Shuffled ? list_.IdentCode : 0);
        const size_t rowBytes = size_t(Image.WidthBytes());
        for (int32_t i = 0; i < Image.Height(); ++i) std::memcpy(Image.ScanLine(order[size_t(i)]), Bytes.Take(rowBytes), rowBytes);
    }

    // The block layout: the table of (A, B) entries, then the blocks stored here, in block order.
    void PlaceBlocks(TDIB& Image, TPlaneBytes& Bytes, bool Shuffled, bool IsAlpha) {
        const int32_t bw = header_.BlockWidth, bh = header_.BlockHeight;
        const int32_t nx = int32_t((int64_t(Image.Width()) + bw - 1) / bw);
        const int32_t ny = int32_t((int64_t(Image.Height()) + bh - 1) / bh);
        const int64_t blocks = int64_t(nx) * ny;
        if (blocks > INT32_MAX / 8) Damaged();
        // The table is taken first, so that nothing is allocated for blocks the plane does not hold.
        const uint8_t* stored = Bytes.Take(size_t(blocks) * 8);
        std::vector<int32_t> table(size_t(blocks) * 2);
        const std::vector<int32_t> order = ShuffledOrder(int32_t(blocks), Shuffled ? list_.IdentCode : 0);
        for (size_t i = 0; i < order.size(); ++i) std::memcpy(&table[size_t(order[i]) * 2], stored + i * 8, 8);
        const int32_t bits = Image.BitCount();
        for (int32_t k = 0; k < int32_t(blocks); ++k) {
            const int32_t x = k % nx * bw, y = k / nx * bh;
            const int32_t w = std::min(bw, Image.Width() - x), h = std::min(bh, Image.Height() - y);
            const TByteSpan span = BlockBytes(x, w, bits);
            const int32_t a = table[size_t(k) * 2], b = table[size_t(k) * 2 + 1];
            if (a == kBlockStored) {
                for (int32_t row = 0; row < h; ++row)
                    std::memcpy(Image.ScanLine(y + row) + span.Start, Bytes.Take(size_t(span.Length)), size_t(span.Length));
                continue;
            }
            const TDIB* source = &Image;
            int32_t sx, sy;
            if (a == kBlockRepeat) {
                if (b < 0 || b >= blocks) Damaged();
                sx = b % nx * bw;
                sy = b / nx * bh;
            } else {
                source = &RepeatedLayer(a, b, IsAlpha);
                sx = x;
                sy = y;
            }
            CopyBlock(*source, sx, sy, Image, x, y, w, h);
        }
    }

    // The plane that a block entry (A >= 0 or below -2, B) repeats: layer B of frame A.
    const TDIB& RepeatedLayer(int32_t A, int32_t B, bool IsAlpha) {
        const TMiraFrame& frame = *list_.GetFrame(A);
        if (B < 0 || B >= frame.Count()) Damaged();
        const TDIBSurface& image = frame.GetLayer(B)->Image;
        if (!IsAlpha) return image;
        if (!image.Alpha) Damaged();
        return *image.Alpha;
    }

    // Whole bytes of the W x H block at (SX, SY) of Source to (X, Y) of Dest; the block must lie
    // inside Source, whose depth must be Dest's.
    static void CopyBlock(const TDIB& Source, int32_t SX, int32_t SY, TDIB& Dest, int32_t X, int32_t Y, int32_t W,
                          int32_t H) {
        const TByteSpan from = BlockBytes(SX, W, Dest.BitCount()), to = BlockBytes(X, W, Dest.BitCount());
        if (Source.BitCount() != Dest.BitCount() || SY + int64_t(H) > Source.Height() ||
            from.Start + from.Length > Source.WidthBytes())
            Damaged();
        for (int32_t row = 0; row < H; ++row)
            std::memmove(Dest.ScanLine(Y + row) + to.Start, Source.ScanLineReadOnly(SY + row) + from.Start,
                         size_t(to.Length));
    }

    // A JPEG file: the decoded picture must have the layer's size. A layer of another depth
    // takes its colours in its own pixels: an indexed layer the nearest entries of the frame's
    // colour table, which it shares, since the frame composes its layers by raw pixel values.
    static void ReadJpegPlane(TDIBSurface& Image, std::span<const uint8_t> Stored) {
        TJPEGImage jpeg;
        jpeg.LoadFromBuffer(Stored.data(), Stored.size(), [&Image](int32_t Width, int32_t Height) {
            if (Width != Image.Width() || Height != Image.Height()) Damaged();
        });
        if (Image.GetBitCountEx() == 24)
            Image.TDIB::Assign(&jpeg.Bitmap);
        else
            Image.CopyConvert(0, 0, jpeg.Bitmap);
    }
};

// ---- Writing ----

class TMiraWriter {
public:
    TMiraWriter(const TMiraFrameList& List, int32_t CompType, int32_t CompLevel)
        : list_(List), code_(List.IdentCode), compType_(code_ != 0 ? kCompNone : uint8_t(CompType)),
          compLevel_(CompLevel) {}

    void Write(TStream& Stream) {
        const TMiraFrame& first = *list_.GetFrame(0);
        TNxXml document;
        document.Name = "Frames";
        document.AddAttrInteger("Version", kXmlVersion);
        document.AddAttrInteger("Width", first.GetWidth());
        document.AddAttrInteger("Height", first.GetHeight());
        document.AddAttrInteger("Bpp", first.GetDepth());
        document.AddAttrInteger("Count", list_.Count());
        document.AddAttrBool("SyncPal", true);
        document.AddAttrBool("Randomized", code_ != 0);
        document.AddAttrInteger("CompType", compType_);
        document.AddAttrInteger("CompLevel", compLevel_);
        document.AddAttrInteger("BGColor", list_.BGColor);
        document.AddAttrInteger("BlockWidth", 0);
        document.AddAttrInteger("BlockHeight", 0);
        document.AddAttrBool("NotFillBG", list_.NotFillBG);
        for (int32_t i = 0; i < list_.Count(); ++i) WriteFrame(*list_.GetFrame(i), *document.AddElement("Frame"));

        TMemoryStream text;
        document.SaveToStream(text);
        CompressStream(text, clDefault);
        Stream.WriteBuffer(kXmlMagic, kXmlMagicSize);
        WriteInt32(Stream, int32_t(text.Size()));
        Stream.WriteBuffer(text.Memory(), text.Size());
        Stream.WriteBuffer(planes_.Memory(), planes_.Size());
    }

private:
    const TMiraFrameList& list_;
    uint32_t code_;
    uint8_t compType_;
    int32_t compLevel_;
    TMemoryStream planes_;

    static void WriteInt32(TStream& Stream, int32_t Value) { Stream.WriteBuffer(&Value, sizeof Value); }

    void WriteFrame(const TMiraFrame& Frame, TNxXmlElement& Element) {
        Element.AddAttrString("Name", Frame.Name);
        // The transparent colour as the pixel value the readers take it for.
        Element.AddAttrInteger("TransColor", Frame.TransColor < 0 || Frame.TransPixel < 0 ? -1 : Frame.TransPixel);
        Element.AddAttrInteger("Delay", Frame.Delay);
        Element.AddAttrInteger("Disposal", Frame.Disposal);
        TNxXmlElement& layers = *Element.AddElement("Layers");
        const TDIBSurface& image = Frame.Count() > 0 ? Frame.GetLayer(0)->Image : Frame.Image;
        layers.AddAttrInteger("Count", std::max(Frame.Count(), 1));
        layers.AddAttrInteger("Width", image.Width());
        layers.AddAttrInteger("Height", image.Height());
        layers.AddAttrInteger("Bpp", image.GetBitCountEx());
        if (image.BitCount() <= 8) layers.AddTextElement("RGB", ColorTableText(image));
        if (Frame.Count() == 0) {
            WriteLayer(layers, "Layer", true, -1, 255, Frame.Image.Alpha != nullptr, Frame.Image);
            return;
        }
        for (int32_t j = 0; j < Frame.Count(); ++j) {
            const TMiraLayer& layer = *Frame.GetLayer(j);
            WriteLayer(layers, layer.Name, layer.Visible, layer.TransColor, layer.Alpha, layer.AlphaOn, layer.Image);
        }
    }

    void WriteLayer(TNxXmlElement& Layers, const std::string& Name, bool Visible, int32_t TransColor, int32_t Alpha,
                    bool AlphaOn, const TDIBSurface& Image) {
        TNxXmlElement& element = *Layers.AddElement("Layer");
        element.AddAttrInteger("Left", 0);
        element.AddAttrInteger("Top", 0);
        element.AddAttrBool("Visible", Visible);
        element.AddAttrInteger("TransColor", TransColor);
        element.AddAttrInteger("Alpha", Alpha);
        element.AddAttrBool("AlphaOn", AlphaOn);
        element.AddAttrString("Name", Name);
        element.AddAttrInteger("Lock", 0);
        if (compType_ == kCompJpeg) {
            TMemoryStream jpeg;
            TJPEGImage encoder;
            encoder.Bitmap = Image;
            encoder.SaveToStream(jpeg, compLevel_);
            WritePlane(jpeg);
        } else {
            WriteRows(Image, code_, compType_ == kCompZlib);
        }
        if (Image.Alpha)
            WriteRows(*Image.Alpha, code_, compType_ == kCompZlib || compType_ == kCompJpeg);
        else
            WriteInt32(planes_, 0);
    }

    // The rows of Image in the order of the shuffle under Code (stored row i is image row
    // Order[i]), compressed or not.
    void WriteRows(const TDIB& Image, uint32_t Code, bool Compress) {
        TMemoryStream rows;
        const std::vector<int32_t> order = ShuffledOrder(Image.Height(), Code);
        for (const int32_t y : order) rows.WriteBuffer(Image.ScanLineReadOnly(y), Image.WidthBytes());
        if (Compress) CompressStream(rows, clDefault);
        WritePlane(rows);
    }

    void WritePlane(TMemoryStream& Plane) {
        WriteInt32(planes_, int32_t(Plane.Size()));
        planes_.WriteBuffer(Plane.Memory(), Plane.Size());
    }

    // 2^depth entries of six upper-case hexadecimal digits $BBGGRR.
    static std::string ColorTableText(const TDIB& Image) {
        std::string text;
        for (int32_t i = 0; i < 1 << Image.BitCount(); ++i) {
            const TRGBQuad q = Image.ImageColorTable()[size_t(i)];
            text += Format("%02X%02X%02X", QuadBlue(q), QuadGreen(q), QuadRed(q));
        }
        return text;
    }
};

}  // namespace

void TMiraFrameList::LoadFromStream(TStream& Stream, bool FirstOnly, bool KeepLayers, bool ForDisplay) {
    TMiraReader(*this, Stream, KeepLayers, ForDisplay).Read(FirstOnly);
}

void TMiraFrameList::SaveToStream(TStream& Stream, int32_t CompType, int32_t CompLevel) const {
    TMiraWriter(*this, CompType, CompLevel).Write(Stream);
}

void TMiraFrameList::SaveToFile(const std::string& FileName) const {
    WriteFileReplacing(FileName, [this](TStream& Stream) { SaveToStream(Stream, kCompZlib, kSaveLevel); });
}

void TMiraFrameList::SaveToFile(const platform::fs::Beneath& Target) const {
    WriteFileReplacing(Target, [this](TStream& Stream) { SaveToStream(Stream, kCompZlib, kSaveLevel); });
}
