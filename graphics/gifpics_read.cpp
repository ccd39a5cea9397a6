// The GIF object model and its reader: colour tables, header, extensions and their registries,
// frames with the LZW decoder, the frame list and the trailer.
#include "graphics/gifpics.h"

#include <algorithm>
#include <cstring>

namespace gif {

namespace {

[[noreturn]] void Fail(const char* Message) { throw GIFException(Message); }

// Exactly Count bytes, or "Premature end of data".
void ReadExact(TStream& Stream, void* Buffer, int64_t Count) {
    if (Stream.Read(Buffer, Count) != Count) Fail("Premature end of data");
}

// One byte; false at the end of the stream.
bool ReadByte(TStream& Stream, uint8_t& Value) { return Stream.Read(&Value, 1) == 1; }

uint16_t Word(const uint8_t* P) { return uint16_t(P[0] | P[1] << 8); }

// One data sub-block into Block; false at a zero length or the end of the stream. A length beyond
// the bytes left warns "Premature end of data" and is cut to them, and one with none left is the
// end of the stream: every reader of a block finds at least one byte.
bool ReadSubBlock(TStream& Stream, TGifItem& Item, std::vector<uint8_t>& Block) {
    uint8_t length;
    if (!ReadByte(Stream, length) || length == 0) return false;
    int64_t count = length;
    const int64_t left = Stream.Remaining();
    if (count > left) {
        Item.Warning(gsWarning, "Premature end of data");
        count = left;
        if (count == 0) return false;
    }
    Block.resize(size_t(count));
    Stream.ReadBuffer(Block.data(), count);
    return true;
}

// Text sub-blocks: one string each, until a zero length or the end of the stream.
std::vector<std::string> ReadStrings(TStream& Stream, TGifItem& Item) {
    std::vector<std::string> strings;
    std::vector<uint8_t> block;
    while (ReadSubBlock(Stream, Item, block)) strings.emplace_back(block.begin(), block.end());
    return strings;
}

// Colour table triplets for a packed byte's size field: 2 << (Packed & 7).
int32_t TableSize(uint8_t Packed) { return 2 << (Packed & 7); }

}  // namespace

// ---- Items ----

void TGifItem::Warning(int32_t Severity, const std::string& Message) {
    if (image_) image_->Warning(Severity, Message);
}

void TGifItem::SaveToFile(const std::string& FileName) {
    TFileStream stream(FileName, fmCreate);
    SaveToStream(stream);
}

void TGifItem::LoadFromFile(const std::string& FileName) {
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

// ---- Colour tables ----

int32_t TGifColorMap::BitsPerPixel() const {
    int32_t bits = 0;
    while ((1 << bits) < count_) ++bits;
    return count_ > 0 && bits == 0 ? 1 : bits;
}

void TGifColorMap::Grow(int32_t Needed) {
    if (Needed <= capacity_) return;
    capacity_ = Needed <= 16 ? 16 : std::min((Needed + 31) / 32 * 32, 256);
}

int32_t TGifColorMap::Add(TGifColor Color) {
    if (count_ >= 256) Fail("Color table overflow");
    Grow(count_ + 1);
    colors_[size_t(count_)] = Color;
    Sorted = false;
    return count_++;
}

int32_t TGifColorMap::IndexOf(TGifColor Color) const {
    if (Sorted) {
        for (int32_t i = 0; i < count_; ++i)
            if (colors_[size_t(i)] == Color) return i;
    } else {
        for (int32_t i = count_ - 1; i >= 0; --i)
            if (colors_[size_t(i)] == Color) return i;
    }
    return -1;
}

int32_t TGifColorMap::AddUnique(TGifColor Color) {
    const int32_t i = IndexOf(Color);
    return i >= 0 ? i : Add(Color);
}

void TGifColorMap::Delete(int32_t Index) {
    if (Index < 0 || Index >= count_) Fail("Invalid color index");
    std::copy(colors_.begin() + Index + 1, colors_.begin() + count_, colors_.begin() + Index);
    --count_;
    Sorted = false;
}

TGifColor TGifColorMap::Colors(int32_t Index) {
    if (Index >= 0 && Index < count_) return colors_[size_t(Index)];
    if (TGifImage* image = WarningImage()) image->Warning(gsWarning, "Invalid color index");
    if (count_ == 0) Fail("Color table is empty");
    return colors_[0];
}

void TGifColorMap::SetColor(int32_t Index, TGifColor Color) {
    if (Index < 0 || Index >= count_) Fail("Invalid color index");
    colors_[size_t(Index)] = Color;
}

void TGifColorMap::Clear() {
    count_ = 0;
    capacity_ = 0;
    Sorted = false;
}

void TGifColorMap::Assign(const TGifColorMap& Source) {
    colors_ = Source.colors_;
    count_ = Source.count_;
    capacity_ = Source.capacity_;
    Sorted = Source.Sorted;
}

void TGifColorMap::ImportPalette(const TGifPalette& Palette) {
    Clear();
    const size_t n = std::min<size_t>(Palette.size(), 256);
    for (size_t i = 0; i < n; ++i) Add({Palette[i].Red, Palette[i].Green, Palette[i].Blue});
}

void TGifColorMap::ImportDIBColors(const ::TDIB& Bitmap) {
    Clear();
    for (int32_t i = 0; i < Bitmap.PaletteCount() && i < 256; ++i) {
        const TRGBQuad q = Bitmap.ImageColorTable()[size_t(i)];
        Add({QuadRed(q), QuadGreen(q), QuadBlue(q)});
    }
}

TGifPalette TGifColorMap::ExportPalette() const {
    TGifPalette palette;
    for (int32_t i = 0; i < count_; ++i) {
        const TGifColor c = colors_[size_t(i)];
        palette.push_back({c.Red, c.Green, c.Blue, 0});
    }
    return palette;
}

void TGifColorMap::LoadFromStream(TStream& Stream, int32_t Count) {
    std::array<uint8_t, 768> bytes;
    ReadExact(Stream, bytes.data(), int64_t(Count) * 3);
    Clear();
    for (int32_t i = 0; i < Count; ++i) Add({bytes[size_t(3 * i)], bytes[size_t(3 * i + 1)], bytes[size_t(3 * i + 2)]});
}

TGifImage* TGifGlobalColorMap::WarningImage() const { return header_.Image(); }
TGifImage* TGifLocalColorMap::WarningImage() const { return frame_.Image(); }

// ---- Header ----

TGifVersion TGifHeader::Version() const { return colorMap_.Sorted || AspectRatio != 0 ? gv89a : gv87a; }

void TGifHeader::Clear() {
    Width = Height = 0;
    BackgroundColorIndex = AspectRatio = 0;
    colorMap_.Clear();
    Prepare();
}

void TGifHeader::Assign(const TGifHeader& Source) {
    Width = Source.Width;
    Height = Source.Height;
    Packed = Source.Packed;
    BackgroundColorIndex = Source.BackgroundColorIndex;
    AspectRatio = Source.AspectRatio;
    colorMap_.Assign(Source.colorMap_);
}

void TGifHeader::LoadFromStream(TStream& Stream) {
    const int64_t start = Stream.Position();
    std::array<uint8_t, 6> signature{};
    auto isGif = [&] {
        return std::toupper(signature[0]) == 'G' && std::toupper(signature[1]) == 'I' &&
               std::toupper(signature[2]) == 'F';
    };
    int64_t got = Stream.Read(signature.data(), 6);
    if (got < 6 || !isGif()) {
        // Up to 4 bytes of anything may come before the signature.
        Stream.SetPosition(start + 4);
        signature = {};
        got = Stream.Read(signature.data(), 6);
        if (got < 3 || !isGif()) Fail("Invalid GIF signature");
        if (got < 6) Fail("Premature end of data");
    }
    ReadVersion = {char(signature[3]), char(signature[4]), char(signature[5])};
    std::array<uint8_t, 7> screen;
    ReadExact(Stream, screen.data(), 7);
    Width = Word(&screen[0]);
    Height = Word(&screen[2]);
    Packed = screen[4];
    BackgroundColorIndex = screen[5];
    AspectRatio = screen[6];
    // A screen that no bitmap could hold (a zero-sized screen allocates nothing).
    if (Width > kMaxImageSide || Height > kMaxImageSide) Fail("Invalid GIF data");
    if (Packed & 0x80) {
        const int32_t n = TableSize(Packed);
        if (n < 2 || n > 256) Fail("Invalid number of colors specified in Screen Descriptor");
        colorMap_.LoadFromStream(Stream, n);
        colorMap_.Sorted = Packed & 0x08;
    } else {
        colorMap_.Clear();
    }
}

// ---- Extension registries ----

namespace {

struct TRegistries {
    std::vector<std::pair<uint8_t, TGifExtensionClass>> Labels;
    std::vector<std::pair<TGifApplicationIdentifier, TGifExtensionClass>> Applications;
};

TRegistries*& RegistriesPointer() {
    static TRegistries* registries = nullptr;
    return registries;
}

TRegistries& Registries() {
    TRegistries*& r = RegistriesPointer();
    if (!r) {
        r = new TRegistries;
        r->Labels = {{0x01, &TGifTextExtension::Class},
                     {0xF9, &TGifGraphicControlExtension::Class},
                     {0xFE, &TGifCommentExtension::Class},
                     {0xFF, &TGifApplicationExtension::Class}};
        r->Applications = {{MakeIdentifier("NETSCAPE2.0"), &TGifLoopExtension::Class},
                           {MakeIdentifier("ANIMEXTS1.0"), &TGifLoopExtension::Class}};
    }
    return *r;
}

}  // namespace

TGifApplicationIdentifier MakeIdentifier(const char (&Text)[12]) {
    TGifApplicationIdentifier id;
    std::memcpy(id.data(), Text, 11);
    return id;
}

void RegisterExtension(uint8_t Label, TGifExtensionClass Kind) { Registries().Labels.emplace_back(Label, Kind); }

TGifExtensionClass FindExtensionClass(uint8_t Label) {
    const auto& labels = Registries().Labels;
    for (auto i = labels.rbegin(); i != labels.rend(); ++i)
        if (i->first == Label) return i->second;
    return nullptr;
}

void RegisterAppExtension(const TGifApplicationIdentifier& Identifier, TGifExtensionClass Kind) {
    Registries().Applications.emplace_back(Identifier, Kind);
}

TGifExtensionClass FindAppExtensionClass(const TGifApplicationIdentifier& Identifier) {
    const auto& apps = Registries().Applications;
    for (auto i = apps.rbegin(); i != apps.rend(); ++i)
        if (i->first == Identifier) return i->second;
    return nullptr;
}

void FreeExtensionRegistries() {
    delete RegistriesPointer();
    RegistriesPointer() = nullptr;
}

// ---- Extensions ----

namespace {

template <class T>
std::unique_ptr<TGifExtension> Make(TGifFrame& Frame) {
    return std::make_unique<T>(Frame);
}

TGifExtensionClass KeepKind(TGifExtensionClass Self, TStream&) { return Self; }

// The application kind looks at the block size and the identifier after the label.
TGifExtensionClass RefineApplication(TGifExtensionClass Self, TStream& Stream) {
    uint8_t size;
    if (!ReadByte(Stream, size)) return nullptr;
    TGifApplicationIdentifier id{};
    if (size == 10 && Stream.Read(id.data(), 10) == 10) return &TGifUnknownAppExtension::Class;
    if (size == 11 && Stream.Read(id.data(), 11) == 11) {
        const TGifExtensionClass kind = FindAppExtensionClass(id);
        return kind ? kind : &TGifUnknownAppExtension::Class;
    }
    return Self;
}

}  // namespace

const TGifExtensionKind TGifGraphicControlExtension::Class = {"TGifGraphicControlExtension", 0xF9,
                                                              Make<TGifGraphicControlExtension>, KeepKind};
const TGifExtensionKind TGifTextExtension::Class = {"TGifTextExtension", 0x01, Make<TGifTextExtension>, KeepKind};
const TGifExtensionKind TGifCommentExtension::Class = {"TGifCommentExtension", 0xFE, Make<TGifCommentExtension>,
                                                       KeepKind};
const TGifExtensionKind TGifApplicationExtension::Class = {"TGifApplicationExtension", 0xFF,
                                                           Make<TGifApplicationExtension>, RefineApplication};
const TGifExtensionKind TGifLoopExtension::Class = {"TGifLoopExtension", 0xFF, Make<TGifLoopExtension>, KeepKind};
const TGifExtensionKind TGifUnknownAppExtension::Class = {"TGifUnknownAppExtension", 0xFF,
                                                          Make<TGifUnknownAppExtension>, KeepKind};

TGifExtension::TGifExtension(TGifFrame& Frame) : TGifItem(Frame.Image()), frame_(Frame) {}

TGifExtension::~TGifExtension() { frame_.Extensions().Remove(this); }

TGifExtensionClass TGifExtension::FindExtension(TStream& Stream) {
    const int64_t start = Stream.Position();
    std::array<uint8_t, 2> head;
    TGifExtensionClass kind = nullptr;
    if (Stream.Read(head.data(), 2) == 2) {
        kind = FindExtensionClass(head[1]);
        if (kind) kind = kind->Refine(kind, Stream);
    }
    Stream.SetPosition(start);
    return kind;
}

void TGifExtension::LoadFromStream(TStream& Stream) {
    std::array<uint8_t, 2> head;
    ReadExact(Stream, head.data(), 2);
    if (head[0] != '!') Fail("Invalid extension introducer");
    if (head[1] != Label()) Fail("Internal error: Extension Instance does not match Extension Label");
    LoadBody(Stream);
}

TGifGraphicControlExtension::TGifGraphicControlExtension(TGifFrame& Frame) : TGifExtension(Frame) {
    if (!Frame.gce_) Frame.gce_ = this;
}

TGifGraphicControlExtension::~TGifGraphicControlExtension() {
    TGifFrame& frame = Frame();
    if (frame.gce_ == this) {
        frame.gce_ = nullptr;
        frame.transparent_ = false;
    }
}

void TGifGraphicControlExtension::SetTransparent(bool Value) {
    Packed = uint8_t(Value ? Packed | gcTransparent : Packed & ~gcTransparent);
    if (Value)
        Frame().transparent_ = true;
    else if (Frame().gce_ == this)
        Frame().transparent_ = false;
}

void TGifGraphicControlExtension::SetUserInput(bool Value) {
    Packed = uint8_t(Value ? Packed | gcUserInput : Packed & ~gcUserInput);
}

void TGifGraphicControlExtension::SetDisposal(uint8_t Value) {
    Packed = uint8_t((Packed & ~gcDisposalMask) | (Value & 7) << 2);
}

void TGifGraphicControlExtension::SetTransparentColorIndex(int32_t Index) {
    const int32_t count = Frame().ActiveColorMap().Count();
    if (count > 0 && (Index < 0 || Index >= count)) {
        Warning(gsWarning, "Invalid color index");
        Index = 0;
    }
    TransparentColorIndex = uint8_t(Index);
}

void TGifGraphicControlExtension::LoadBody(TStream& Stream) {
    std::array<uint8_t, 6> block{};
    if (Stream.Read(block.data(), 6) < 6) Warning(gsWarning, "Premature end of data");
    BlockSize = block[0];
    Packed = block[1];
    Delay = Word(&block[2]);
    TransparentColorIndex = block[4];
    Terminator = block[5];
    if (Transparent()) Frame().transparent_ = true;
}

void TGifTextExtension::LoadBody(TStream& Stream) {
    std::array<uint8_t, 13> block;
    ReadExact(Stream, block.data(), 13);
    BlockSize = block[0];
    Left = Word(&block[1]);
    Top = Word(&block[3]);
    GridWidth = Word(&block[5]);
    GridHeight = Word(&block[7]);
    CharWidth = block[9];
    CharHeight = block[10];
    ForegroundColorIndex = block[11];
    BackgroundColorIndex = block[12];
    Text = ReadStrings(Stream, *this);
}

void TGifCommentExtension::LoadBody(TStream& Stream) { Text = ReadStrings(Stream, *this); }

void TGifApplicationExtension::LoadBody(TStream& Stream) {
    uint8_t size;
    ReadExact(Stream, &size, 1);
    if (size < 10) Fail("Unsupported Application Extension block size");
    ReadExact(Stream, Identifier.data(), 11);
    // A 10-byte identifier gives its eleventh byte back to the data.
    Stream.Seek(int64_t(size) - 11, soCurrent);
    LoadData(Stream);
}

void TGifApplicationExtension::LoadData(TStream&) { Fail("Unsupported Application Extension block size"); }

TGifLoopExtension::TGifLoopExtension(TGifFrame& Frame) : TGifApplicationExtension(Frame) {
    Identifier = MakeIdentifier("NETSCAPE2.0");
}

void TGifLoopExtension::LoadData(TStream& Stream) {
    std::vector<uint8_t> block;
    while (ReadSubBlock(Stream, *this, block)) {
        const uint8_t id = block[0] & 7;
        if (id == 1) {
            if (block.size() < 3) Fail("Invalid GIF data");
            Loops = Word(&block[1]);
        } else if (id == 2) {
            if (block.size() < 5) Fail("Invalid GIF data");
            BufferSize = uint32_t(block[1] | block[2] << 8 | block[3] << 16 | uint32_t(block[4]) << 24);
        }
    }
}

void TGifUnknownAppExtension::LoadData(TStream& Stream) {
    Blocks.clear();
    std::vector<uint8_t> block;
    while (ReadSubBlock(Stream, *this, block)) Blocks.push_back({block});
}

TGifExtensionList::TGifExtensionList(TGifFrame& Frame) : TGifList(Frame.Image()), frame_(Frame) {}

void TGifExtensionList::LoadFromStream(TStream& Stream) {
    uint8_t b;
    while (ReadByte(Stream, b)) {
        if (b == ',' || b == ';') {
            Stream.Seek(-1, soCurrent);
            return;
        }
        Stream.Seek(-1, soCurrent);
        if (b != '!') {
            frame_.Warning(gsWarning, "Invalid extension introducer");
            return;
        }
        const TGifExtensionClass kind = TGifExtension::FindExtension(Stream);
        if (!kind) Fail("Unknown extension type");
        std::unique_ptr<TGifExtension> extension = kind->Create(frame_);
        extension->LoadFromStream(Stream);
        Add(std::move(extension));
    }
}

// ---- Frames ----

TGifFrame::TGifFrame(TGifImage* Image) : TGifItem(Image), colorMap_(*this), extensions_(*this) {}

TGifFrame::~TGifFrame() { extensions_.Clear(); }

TGifColorMap& TGifFrame::ActiveColorMap() {
    if (colorMap_.Count() > 0 || !image_) return colorMap_;
    return image_->Header().ColorMap();
}

uint8_t TGifFrame::Pixel(int32_t X, int32_t Y) const {
    if (X < 0 || X >= Width || Y < 0 || Y >= Height) Fail("Invalid pixel coordinates");
    if (Empty()) Fail("Image is empty");
    return Data[size_t(Y) * Width + size_t(X)];
}

uint8_t* TGifFrame::Scanline(int32_t Y) {
    if (Empty()) Fail("Image is empty");
    if (Y < 0 || Y >= Height) Fail("Invalid pixel coordinates");
    return Data.data() + size_t(Y) * Width;
}

void TGifFrame::FreeRendering() {
    Bitmap.reset();
    Mask.reset();
    Palette.clear();
    NeedMask = true;
}

TGifVersion TGifFrame::Version() const {
    if (colorMap_.Sorted) return gv89a;
    TGifVersion version = gvUnknown;
    for (const auto& e : extensions_) version = std::max(version, e->Version());
    return version;
}

void TGifFrame::Clear() {
    extensions_.Clear();
    colorMap_.Clear();
    Data.clear();
    Data.shrink_to_fit();
    Left = Top = Width = Height = 0;
    Packed = 0;
    FreeRendering();
}

void TGifFrame::SetSize(uint16_t NewWidth, uint16_t NewHeight) {
    if (NewWidth && NewHeight) {
        try {
            CheckImageSize(NewWidth, NewHeight, 8);
        } catch (const EInvalidGraphic&) {
            Fail("Invalid GIF data");
        }
    }
    Width = NewWidth;
    Height = NewHeight;
    Data.assign(size_t(NewWidth) * NewHeight, 0);
    FreeRendering();
}

void TGifFrame::LoadFromStream(TStream& Stream) {
    TImageBudget budget(Stream.Remaining());
    LoadFromStream(Stream, budget);
}

void TGifFrame::LoadFromStream(TStream& Stream, TImageBudget& Budget) {
    Clear();
    extensions_.LoadFromStream(Stream);
    uint8_t b;
    if (!ReadByte(Stream, b)) return;
    Stream.Seek(-1, soCurrent);
    if (b == ';' || b == 0) return;
    std::array<uint8_t, 10> descriptor;
    ReadExact(Stream, descriptor.data(), 10);
    Separator = descriptor[0];
    Left = Word(&descriptor[1]);
    Top = Word(&descriptor[3]);
    Width = Word(&descriptor[5]);
    Height = Word(&descriptor[7]);
    Packed = descriptor[9];
    if (Width == 0 || Height == 0) {
        Width = image_ ? image_->Header().Width : 0;
        Height = image_ ? image_->Header().Height : 0;
        Warning(gsWarning, "Image exceeds Logical Screen size");
    }
    try {
        CheckImageSize(Width, Height, 8);
    } catch (const EInvalidGraphic&) {
        Fail("Invalid GIF data");
    }
    if (!Budget.Take(Width, Height, 8)) Fail("Invalid GIF data");
    if (Packed & 0x80) {
        const int32_t n = TableSize(Packed);
        if (n < 2 || n > 256) Fail("Invalid number of colors specified in Image Descriptor");
        colorMap_.LoadFromStream(Stream, n);
        colorMap_.Sorted = Packed & 0x20;
    }
    DecodeData(Stream);
}

namespace {

// The bits of the data sub-blocks, least significant first.
class TCodeReader {
public:
    TCodeReader(TStream& Stream, TGifItem& Item) : stream_(Stream), item_(Item) {}

    // The next Size-bit code, or -1 when the data has ended ("Decoder bit buffer under-run").
    int32_t Code(int32_t Size) {
        while (bits_ < Size) {
            if (pos_ == end_ && !NextBlock()) {
                item_.Warning(gsWarning, "Decoder bit buffer under-run");
                return -1;
            }
            buffer_ |= uint32_t(block_[pos_++]) << bits_;
            bits_ += 8;
        }
        const int32_t code = int32_t(buffer_ & ((1u << Size) - 1));
        buffer_ >>= Size;
        bits_ -= Size;
        return code;
    }

    // Past the zero-length sub-block, when it has not been read yet.
    void SkipRest() {
        while (NextBlock()) pos_ = end_;
    }

private:
    TStream& stream_;
    TGifItem& item_;
    std::array<uint8_t, 255> block_{};
    int32_t pos_ = 0, end_ = 0;
    uint32_t buffer_ = 0;
    int32_t bits_ = 0;
    bool ended_ = false;  // the zero-length sub-block (or the stream's end) has been met

    bool NextBlock() {
        while (!ended_) {
            uint8_t length;
            if (!ReadByte(stream_, length) || length == 0) {
                ended_ = true;
                return false;
            }
            int64_t count = length;
            const int64_t left = stream_.Remaining();
            if (count > left) {
                item_.Warning(gsWarning, "Premature end of data");
                count = left;
            }
            stream_.ReadBuffer(block_.data(), count);
            pos_ = 0;
            end_ = int32_t(count);
            if (end_ > 0) return true;
        }
        return false;
    }
};

// Where decoded pixels go: rows in order, or in the four interlace passes. Pixels beyond the
// last row are dropped.
class TPixelSink {
public:
    TPixelSink(std::vector<uint8_t>& Data, int32_t Width, int32_t Height, bool Interlaced)
        : data_(Data.data()), width_(Width), height_(Height), interlaced_(Interlaced) {
        row_ = data_;
        rowLeft_ = Height > 0 ? Width : 0;
    }

    void Put(const uint8_t* Pixels, int32_t Count) {
        while (Count > 0 && rowLeft_ > 0) {
            const int32_t n = std::min(Count, rowLeft_);
            std::memcpy(row_ + (width_ - rowLeft_), Pixels, size_t(n));
            Pixels += n;
            Count -= n;
            rowLeft_ -= n;
            if (rowLeft_ == 0) NextRow();
        }
    }

private:
    static constexpr int32_t kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    uint8_t* data_;
    int32_t width_, height_;
    bool interlaced_;
    int32_t y_ = 0, pass_ = 0;
    uint8_t* row_;
    int32_t rowLeft_;

    void NextRow() {
        if (!interlaced_) {
            ++y_;
        } else {
            y_ += kStep[pass_];
            while (y_ >= height_ && pass_ < 3) y_ = kStart[++pass_];
        }
        if (y_ >= height_) return;
        row_ = data_ + size_t(y_) * width_;
        rowLeft_ = width_;
    }
};

}  // namespace

void TGifFrame::DecodeData(TStream& Stream) {
    Data.assign(size_t(Width) * Height, 0);
    uint8_t initSize;
    if (!ReadByte(Stream, initSize)) {
        Warning(gsWarning, "Premature end of data");
        return;
    }
    if (initSize > 11) Fail("Invalid GIF data");
    const int32_t clear = 1 << initSize, eoi = clear + 1, first = clear + 2;
    std::array<uint16_t, 4096> prefix;
    std::array<uint8_t, 4096> suffix;
    std::array<uint8_t, 4096> stack;
    for (int32_t i = 0; i < clear; ++i) {
        prefix[size_t(i)] = uint16_t(i);
        suffix[size_t(i)] = uint8_t(i);
    }
    TCodeReader reader(Stream, *this);
    TPixelSink sink(Data, Width, Height, Interlaced());
    int32_t codeSize = initSize + 1, limit = 1 << codeSize, nextFree = first;
    int32_t previous = -1;
    uint8_t firstChar = 0;
    bool endSeen = false;
    for (;;) {
        int32_t code = reader.Code(codeSize);
        if (code < 0) break;
        if (code == clear) {
            codeSize = initSize + 1;
            limit = 1 << codeSize;
            nextFree = first;
            do code = reader.Code(codeSize);
            while (code == clear);
            if (code < 0) break;
            if (code == eoi) {
                endSeen = true;
                break;
            }
            if (code > clear) Fail(code == nextFree ? "Circular decoder table entry" : "Invalid GIF data");
            firstChar = uint8_t(code);
            sink.Put(&firstChar, 1);
            previous = code;
            continue;
        }
        if (code == eoi) {
            endSeen = true;
            break;
        }
        if (code > nextFree || (code >= first && previous < 0) || (code == nextFree && nextFree >= 4096))
            Fail(code == nextFree ? "Circular decoder table entry" : "Invalid GIF data");
        // The string of the code, pushed last character first; a code one past the table is the
        // previous string plus its own first character.
        int32_t top = int32_t(stack.size());
        int32_t walk = code;
        if (code == nextFree) {
            stack[size_t(--top)] = firstChar;
            walk = previous;
        }
        while (walk >= clear) {
            if (top == 0) Fail("Circular decoder table entry");
            if (prefix[size_t(walk)] == walk) Fail("Circular decoder table entry");
            stack[size_t(--top)] = suffix[size_t(walk)];
            walk = prefix[size_t(walk)];
        }
        if (top == 0) Fail("Circular decoder table entry");
        stack[size_t(--top)] = suffix[size_t(walk)];
        firstChar = stack[size_t(top)];
        sink.Put(&stack[size_t(top)], int32_t(stack.size()) - top);
        if (previous >= 0 && nextFree < 4096) {
            prefix[size_t(nextFree)] = uint16_t(previous);
            suffix[size_t(nextFree)] = firstChar;
            ++nextFree;
            if (nextFree >= limit && limit < 4096) {
                limit <<= 1;
                ++codeSize;
            }
        }
        previous = code;
    }
    if (endSeen) reader.SkipRest();
}

void TGifFrameList::LoadFromStream(TStream& Stream) {
    uint8_t b;
    bool read = false;
    const int64_t size = Stream.Size();
    TImageBudget budget(Stream.Remaining());
    while ((read = ReadByte(Stream, b))) {
        if (b == 0) continue;
        if (b == ';') break;
        if (b != '!' && b != ',') {
            if (Image()) Image()->Warning(gsWarning, "Unknown GIF block type");
            break;
        }
        Stream.Seek(-1, soCurrent);
        auto frame = std::make_unique<TGifFrame>(Image());
        frame->LoadFromStream(Stream, budget);
        Add(std::move(frame));
        if (Image() && size > 0) Image()->Progress(TProgressStage::psRunning, int32_t(Stream.Position() * 100 / size), "Loading...");
    }
    if (read) Stream.Seek(-1, soCurrent);
}

void TGifTrailer::LoadFromStream(TStream& Stream) {
    uint8_t b;
    if (ReadByte(Stream, b) && b != ';') Warning(gsWarning, "Invalid Image trailer");
}

// ---- The image ----

TGifImage::TGifImage() : header_(this), images_(this) {}

TGifImage::~TGifImage() { images_.Clear(); }

void TGifImage::Warning(int32_t Severity, const std::string& Message) {
    if (OnWarning) OnWarning(*this, Severity, Message);
}

void TGifImage::Progress(TProgressStage Stage, int32_t PercentDone, const std::string& Msg) {
    if (OnProgress) OnProgress(*this, Stage, uint8_t(std::clamp(PercentDone, 0, 100)), Msg);
}

int32_t TGifImage::BitsPerPixel() const {
    int32_t bits = header_.ColorMap().BitsPerPixel();
    for (const auto& frame : images_) bits = std::max(bits, frame->ColorMap().BitsPerPixel());
    return bits;
}

int32_t TGifImage::ColorResolution() const { return std::max(BitsPerPixel() - 1, 0); }

void TGifImage::Clear() {
    images_.Clear();
    header_.Clear();
}

void TGifImage::Read(TStream& Stream) {
    header_.LoadFromStream(Stream);
    images_.LoadFromStream(Stream);
    TGifTrailer trailer(this);
    trailer.LoadFromStream(Stream);
}

}  // namespace gif
