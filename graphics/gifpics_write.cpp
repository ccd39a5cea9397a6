// Writing the GIF object model: always version "89a", packed bytes rebuilt from the tables,
// tables padded to a power of two, text cut into sub-blocks; the pixel data compressed by the LZW
// or the run-length encoder; and the colour tables reordered by use.
#include "graphics/gifpics.h"

#include <algorithm>
#include <numeric>

namespace gif {

namespace {

void PutByte(TStream& Stream, uint8_t Value) { Stream.WriteBuffer(&Value, 1); }

void PutWord(TStream& Stream, uint16_t Value) {
    const uint8_t bytes[2] = {uint8_t(Value), uint8_t(Value >> 8)};
    Stream.WriteBuffer(bytes, 2);
}

// Each string in blocks of 255 bytes and a shorter last one (nothing for an empty string), then
// one 0 byte for the whole list.
void WriteStrings(TStream& Stream, const std::vector<std::string>& Strings) {
    for (const std::string& text : Strings)
        for (size_t at = 0; at < text.size(); at += 255) {
            const size_t n = std::min<size_t>(255, text.size() - at);
            PutByte(Stream, uint8_t(n));
            Stream.WriteBuffer(text.data() + at, int64_t(n));
        }
    PutByte(Stream, 0);
}

[[noreturn]] void Fail(const char* Message) { throw GIFException(Message); }

}  // namespace

// ---- Tables and header ----

void TGifColorMap::SaveToStream(TStream& Stream) const {
    if (count_ == 0) return;
    std::vector<uint8_t> bytes(size_t(3) << BitsPerPixel(), 0);
    for (int32_t i = 0; i < count_; ++i) {
        bytes[size_t(3 * i)] = colors_[size_t(i)].Red;
        bytes[size_t(3 * i + 1)] = colors_[size_t(i)].Green;
        bytes[size_t(3 * i + 2)] = colors_[size_t(i)].Blue;
    }
    Stream.WriteBuffer(bytes.data(), int64_t(bytes.size()));
}

void TGifHeader::Prepare() {
    const int32_t globalBits = colorMap_.BitsPerPixel();
    const int32_t allBits = image_ ? image_->BitsPerPixel() : globalBits;
    const int32_t resolution = image_ ? image_->ColorResolution() : std::max(globalBits - 1, 0);
    uint8_t packed = 0;
    if (colorMap_.Count() > 0) packed = colorMap_.Sorted ? 0x88 : 0x80;
    packed |= uint8_t((resolution & 7) << 4);
    packed |= uint8_t(std::max((colorMap_.Count() > 0 ? globalBits : allBits) - 1, 0) & 7);
    Packed = packed;
}

void TGifHeader::SaveToStream(TStream& Stream) {
    Stream.WriteBuffer("GIF89a", 6);
    Prepare();
    PutWord(Stream, Width);
    PutWord(Stream, Height);
    PutByte(Stream, Packed);
    PutByte(Stream, BackgroundColorIndex);
    PutByte(Stream, AspectRatio);
    colorMap_.SaveToStream(Stream);
}

// ---- Extensions ----

void TGifExtension::SaveToStream(TStream& Stream) {
    PutByte(Stream, '!');
    PutByte(Stream, Label());
    SaveBody(Stream);
}

void TGifGraphicControlExtension::SaveBody(TStream& Stream) {
    PutByte(Stream, 4);
    PutByte(Stream, Packed);
    PutWord(Stream, Delay);
    PutByte(Stream, TransparentColorIndex);
    PutByte(Stream, 0);
}

void TGifTextExtension::SaveBody(TStream& Stream) {
    PutByte(Stream, 12);
    PutWord(Stream, Left);
    PutWord(Stream, Top);
    PutWord(Stream, GridWidth);
    PutWord(Stream, GridHeight);
    PutByte(Stream, CharWidth);
    PutByte(Stream, CharHeight);
    PutByte(Stream, ForegroundColorIndex);
    PutByte(Stream, BackgroundColorIndex);
    WriteStrings(Stream, Text);
}

void TGifCommentExtension::SaveBody(TStream& Stream) { WriteStrings(Stream, Text); }

void TGifApplicationExtension::SaveBody(TStream& Stream) {
    PutByte(Stream, 11);
    Stream.WriteBuffer(Identifier.data(), 11);
    SaveData(Stream);
}

void TGifApplicationExtension::SaveData(TStream& Stream) { PutByte(Stream, 0); }

void TGifLoopExtension::SaveData(TStream& Stream) {
    PutByte(Stream, 3);
    PutByte(Stream, 1);
    PutWord(Stream, Loops);
    if (BufferSize != 0) {
        PutByte(Stream, 5);
        PutByte(Stream, 2);
        PutWord(Stream, uint16_t(BufferSize));
        PutWord(Stream, uint16_t(BufferSize >> 16));
    }
    PutByte(Stream, 0);
}

void TGifUnknownAppExtension::SaveData(TStream& Stream) {
    for (const TGifBlock& block : Blocks) {
        const size_t n = std::min<size_t>(block.Data.size(), 255);
        if (n == 0) continue;
        PutByte(Stream, uint8_t(n));
        Stream.WriteBuffer(block.Data.data(), int64_t(n));
    }
    PutByte(Stream, 0);
}

void TGifExtensionList::SaveToStream(TStream& Stream) {
    for (const auto& extension : *this) extension->SaveToStream(Stream);
}

// ---- Frames, trailer, image ----

void TGifFrame::SaveToStream(TStream& Stream) {
    extensions_.SaveToStream(Stream);
    if (Empty()) return;
    const bool local = colorMap_.Count() > 0;
    uint8_t packed = Packed & 0x40;
    if (local)
        packed |= uint8_t(0x80 | (colorMap_.Sorted ? 0x20 : 0) | ((colorMap_.BitsPerPixel() - 1) & 7));
    else
        packed = Packed & (0x40 | 0x10 | 0x08);
    Packed = packed;
    PutByte(Stream, Separator = ',');
    PutWord(Stream, Left);
    PutWord(Stream, Top);
    PutWord(Stream, Width);
    PutWord(Stream, Height);
    PutByte(Stream, Packed);
    colorMap_.SaveToStream(Stream);
    int32_t bits, colors;
    if (local) {
        bits = colorMap_.BitsPerPixel();
        colors = colorMap_.Count();
    } else {
        bits = image_ ? image_->BitsPerPixel() : 8;
        colors = 1 << bits;
    }
    std::unique_ptr<TGifEncoder> encoder;
    if (image_ && image_->Compression == gcRLE)
        encoder = std::make_unique<TRLEEncoder>();
    else
        encoder = std::make_unique<TLZWEncoder>();
    if (Data.size() < size_t(Width) * Height) Fail("Invalid GIF data");
    encoder->Encode(Stream, bits, colors, Data.data(), Interlaced(), Width, Height);
}

void TGifFrameList::SaveToStream(TStream& Stream) {
    for (const auto& frame : *this) frame->SaveToStream(Stream);
}

void TGifTrailer::SaveToStream(TStream& Stream) { PutByte(Stream, ';'); }

void TGifImage::Write(TStream& Stream) {
    Progress(TProgressStage::psStarting, 0, "Saving...");
    header_.SaveToStream(Stream);
    images_.SaveToStream(Stream);
    TGifTrailer trailer(this);
    trailer.SaveToStream(Stream);
    Progress(TProgressStage::psEnding, 100, "Saving...");
}

// ---- The sub-block writer ----

TGifWriter::~TGifWriter() {
    try {
        FlushBlock();
    } catch (...) {
        // A failed write of the target was raised by the encoder already or is lost with it.
    }
}

void TGifWriter::FlushBlock() {
    if (size_ == 0) return;
    const uint8_t n = uint8_t(size_);
    size_ = 0;
    target_.WriteBuffer(&n, 1);
    target_.WriteBuffer(buffer_.data(), n);
}

int64_t TGifWriter::Read(void*, int64_t) { Fail("Invalid stream operation"); }
int64_t TGifWriter::Seek(int64_t, TSeekOrigin) { Fail("Invalid stream operation"); }

int64_t TGifWriter::Write(const void* Buffer, int64_t Count) {
    const auto* p = static_cast<const uint8_t*>(Buffer);
    for (int64_t i = 0; i < Count; ++i) WriteByte(p[i]);
    return Count;
}

// ---- Encoders ----

void TGifEncoder::Encode(TStream& Stream, int32_t BitsPerPixel, int32_t ColorCount, const uint8_t* Data,
                         bool Interlace, int32_t Width, int32_t Height) {
    initCodeSize_ = std::max(BitsPerPixel, 2);
    PutByte(Stream, uint8_t(initCodeSize_));
    clearCode_ = 1 << initCodeSize_;
    eofCode_ = clearCode_ + 1;
    baseCode_ = clearCode_ + 2;
    codeSize_ = initCodeSize_ + 1;
    maxCode_ = (1 << codeSize_) - 1;
    bitBuffer_ = 0;
    bitCount_ = 0;
    data_ = Data;
    colorCount_ = ColorCount;
    width_ = Width;
    height_ = Height;
    interlace_ = Interlace;
    {
        TGifWriter writer(Stream);
        writer_ = &writer;
        if (Data && Width >= 1 && Height >= 1) {
            StartTraversal();
            Compress();
        }
        Output(eofCode_);
        if (bitCount_ > 0) writer.WriteByte(uint8_t(bitBuffer_));
        bitCount_ = 0;
        writer.FlushBlock();
        writer_ = nullptr;
    }
    PutByte(Stream, 0);
}

void TGifEncoder::Output(int32_t Code) {
    bitBuffer_ |= uint32_t(Code) << bitCount_;
    bitCount_ += codeSize_;
    while (bitCount_ >= 8) {
        writer_->WriteByte(uint8_t(bitBuffer_));
        bitBuffer_ >>= 8;
        bitCount_ -= 8;
    }
}

void TGifEncoder::Clear() {
    justCleared_ = true;
    Output(clearCode_);
}

void TGifEncoder::StartTraversal() {
    pass_ = 0;
    row_ = 0;
}

bool TGifEncoder::NextRun(const uint8_t*& Pixels, int32_t& Count) {
    static constexpr int32_t kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    if (!interlace_) {
        if (row_ > 0) return false;
        row_ = 1;
        Pixels = data_;
        const int64_t n = int64_t(width_) * height_;
        if (n > INT32_MAX) Fail("Invalid GIF data");
        Count = int32_t(n);
    } else {
        while (row_ >= height_) {
            if (++pass_ > 3) return false;
            row_ = kStart[pass_];
        }
        Pixels = data_ + size_t(row_) * width_;
        Count = width_;
        row_ += kStep[pass_];
    }
    // Every pixel must name an entry of the table.
    if (colorCount_ < 256 && *std::max_element(Pixels, Pixels + Count) >= colorCount_)
        Fail("Color not in color table");
    return true;
}

// ---- LZW ----

void TLZWEncoder::ClearTable() {
    std::fill(table_.begin(), table_.end(), kEmpty);
    nextCode_ = baseCode_;
}

void TLZWEncoder::OutputCode(int32_t Code) {
    Output(Code);
    if (Code == clearCode_) {
        codeSize_ = initCodeSize_ + 1;
        maxCode_ = (1 << codeSize_) - 1;
    } else if (nextCode_ > maxCode_) {
        ++codeSize_;
        maxCode_ = codeSize_ >= 12 ? 4096 : (1 << codeSize_) - 1;
    }
}

void TLZWEncoder::Compress() {
    table_.assign(kHashSize, kEmpty);
    ClearTable();
    OutputCode(clearCode_);
    const uint8_t* pixels;
    int32_t count;
    if (!NextRun(pixels, count)) return;
    int32_t prefix = pixels[0];
    int32_t at = 1;
    uint32_t* table = table_.data();
    for (;;) {
        for (; at < count; ++at) {
            const int32_t pixel = pixels[at];
            const auto key = uint32_t(prefix << 8 | pixel);
            uint32_t slot = Slot(prefix, pixel);
            uint32_t entry;
            while ((entry = table[slot]) != kEmpty && entry >> 12 != key) slot = (slot + 1) & (kHashSize - 1);
            if (entry != kEmpty) {
                prefix = int32_t(entry & 0xFFF);
                continue;
            }
            OutputCode(prefix);
            prefix = pixel;
            if (nextCode_ >= 4095) {
                ClearTable();
                OutputCode(clearCode_);
            } else {
                table[slot] = key << 12 | uint32_t(nextCode_++);
            }
        }
        if (!NextRun(pixels, count)) break;
        at = 0;
    }
    OutputCode(prefix);
}

// ---- Run-length ----

uint32_t ISqrt(uint32_t X) {
    if (X < 2) return X;
    uint32_t r = 1;
    for (uint32_t v = X; v; v >>= 2) r <<= 1;
    for (;;) {
        const uint32_t v = (X / r + r) / 2;
        if (v == r || v == r + 1) return r;
        r = v;
    }
}

int32_t TRLEEncoder::ComputeTriangleCount(int32_t Count, int32_t NRepCodes) const {
    int32_t cost = 0;
    const int32_t perRep = NRepCodes * (NRepCodes + 1) / 2;
    if (perRep > 0) {
        cost = Count / perRep * NRepCodes;
        Count %= perRep;
    }
    if (Count > 0) {
        int32_t n = int32_t(ISqrt(uint32_t(Count)));
        while (int64_t(n) * (n + 1) >= 2 * int64_t(Count)) --n;
        while (int64_t(n) * (n + 1) < 2 * int64_t(Count)) ++n;
        cost += n;
    }
    return cost;
}

void TRLEEncoder::RLEClear() {
    Clear();
    codeSize_ = initCodeSize_ + 1;
    bumpLimit_ = initBump_;
    clearLimit_ = initClearLimit_;
    outCount_ = 0;
    heldLength_ = 0;
}

void TRLEEncoder::PlainOutput(int32_t Code) {
    justCleared_ = false;
    Output(Code);
    ++outCount_;
    if (outCount_ >= bumpLimit_) {
        ++codeSize_;
        bumpLimit_ += 1 << (codeSize_ - 1);
    }
    if (outCount_ >= clearLimit_) RLEClear();
}

void TRLEEncoder::ResetClearLimit() {
    clearLimit_ = initClearLimit_;
    if (outCount_ >= clearLimit_) RLEClear();
}

void TRLEEncoder::FlushFromClear(int32_t Pixel, int32_t Count) {
    clearLimit_ = maxOut_;
    heldPixel_ = Pixel;
    int32_t k = 1;
    while (Count > 0) {
        if (k == 1) {
            heldLength_ = 1;
            PlainOutput(Pixel);
            --Count;
        } else if (Count >= k) {
            heldLength_ = k;
            PlainOutput(baseCode_ + k - 2);
            Count -= k;
        } else {
            ++heldLength_;
            PlainOutput(Count == 1 ? Pixel : baseCode_ + Count - 2);
            Count = 0;
        }
        k = outCount_ == 0 ? 1 : k + 1;
    }
    ResetClearLimit();
}

void TRLEEncoder::FlushClearOrRepeat(int32_t Pixel, int32_t Count) {
    const int32_t withClear = 1 + ComputeTriangleCount(Count, maxOut_);
    if (withClear < Count) {
        RLEClear();
        FlushFromClear(Pixel, Count);
    } else {
        for (; Count > 0; --Count) PlainOutput(Pixel);
    }
}

void TRLEEncoder::FlushWithTable(int32_t Pixel, int32_t Count) {
    int32_t repeats = Count / heldLength_;
    int32_t leftover = Count % heldLength_;
    int32_t cost = repeats + (leftover ? 1 : 0);
    if (outCount_ + cost > maxOut_) {
        repeats = maxOut_ - outCount_;
        leftover = Count - repeats * heldLength_;
        cost = repeats + 1 + ComputeTriangleCount(leftover, maxOut_);
    }
    if (1 + ComputeTriangleCount(Count, maxOut_) < cost) {
        RLEClear();
        FlushFromClear(Pixel, Count);
        return;
    }
    clearLimit_ = maxOut_;
    for (; repeats > 0; --repeats) PlainOutput(baseCode_ + heldLength_ - 2);
    if (leftover) {
        if (justCleared_)
            FlushFromClear(Pixel, leftover);
        else
            PlainOutput(leftover == 1 ? Pixel : baseCode_ + leftover - 2);
    }
    ResetClearLimit();
}

void TRLEEncoder::FlushRun(int32_t Pixel, int32_t Count) {
    if (Count == 1)
        PlainOutput(Pixel);
    else if (justCleared_)
        FlushFromClear(Pixel, Count);
    else if (heldLength_ < 2 || heldPixel_ != Pixel)
        FlushClearOrRepeat(Pixel, Count);
    else
        FlushWithTable(Pixel, Count);
}

void TRLEEncoder::Compress() {
    initBump_ = clearCode_ - 1;
    initClearLimit_ = initCodeSize_ > 3 ? clearCode_ - 2 : 9;
    maxOut_ = 4095 - baseCode_;
    heldPixel_ = -1;
    RLEClear();
    int32_t runPixel = -1, runLength = 0;
    const uint8_t* pixels;
    int32_t count;
    while (NextRun(pixels, count)) {
        for (int32_t i = 0; i < count; ++i) {
            const int32_t pixel = pixels[i];
            if (pixel == runPixel) {
                ++runLength;
                continue;
            }
            if (runLength > 0) FlushRun(runPixel, runLength);
            runPixel = pixel;
            runLength = 1;
        }
    }
    if (runLength > 0) FlushRun(runPixel, runLength);
}

// ---- Colour table optimisation ----

bool TGifColorMap::OptimizeByUse(const std::vector<TGifFrame*>& Frames) {
    Sorted = true;
    std::array<int64_t, 256> uses{};
    for (const TGifFrame* frame : Frames)
        for (const uint8_t pixel : frame->Data) ++uses[pixel];
    std::array<int32_t, 256> order;
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.begin() + count_,
                     [&](int32_t A, int32_t B) { return uses[size_t(A)] > uses[size_t(B)]; });
    if (std::is_sorted(order.begin(), order.begin() + count_)) return true;
    std::array<uint8_t, 256> map;
    std::iota(map.begin(), map.end(), 0);
    for (int32_t i = 0; i < count_; ++i) map[size_t(order[size_t(i)])] = uint8_t(i);
    for (TGifFrame* frame : Frames) {
        for (uint8_t& pixel : frame->Data) pixel = map[pixel];
        TGifGraphicControlExtension* gce = frame->GraphicControlExtension();
        if (frame->Transparent() && gce) gce->TransparentColorIndex = map[gce->TransparentColorIndex];
        frame->FreeRendering();
    }
    const std::array<TGifColor, 256> old = colors_;
    int32_t used = count_;
    for (int32_t i = 0; i < count_; ++i) {
        colors_[size_t(i)] = old[size_t(order[size_t(i)])];
        if (uses[size_t(order[size_t(i)])] == 0 && used == count_) used = i;
    }
    count_ = used;
    return true;
}

bool TGifGlobalColorMap::Optimize() {
    TGifImage* image = header_.Image();
    if (Count() < 2 || !image || image->Empty()) return false;
    std::vector<TGifFrame*> frames;
    for (const auto& frame : image->Images())
        if (&frame->ActiveColorMap() == this) frames.push_back(frame.get());
    return OptimizeByUse(frames);
}

bool TGifLocalColorMap::Optimize() {
    if (Count() < 2) return false;
    return OptimizeByUse({&frame_});
}

}  // namespace gif
