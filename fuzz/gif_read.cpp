// GIF files from arbitrary bytes. A first walk reads the header and, for each frame, its
// extensions and descriptor, and leaves inputs with a frame of more than MaxPixels pixels (the
// reader itself takes frames as large as the file's size can describe). The whole image is then
// read; an image that reads is written with both encoders (unless a pixel lies past its table)
// and must read back with the same frames (unless a kept application block would be read as
// another kind). Every failure is one of the engine's own errors.
// Seed corpus: the fixtures of tests/data/gif (tests/tools/make_gif_fixtures.py).
#include "fuzz/harness.h"
#include "graphics/gifpics.h"

namespace {

using fuzz::Check;
using namespace gif;

constexpr int64_t MaxPixels = 512 * 512;

// False when some frame would be larger than MaxPixels.
bool FramesSmall(TMemoryStream& Stream) {
    TGifImage image;
    image.Header().LoadFromStream(Stream);
    uint8_t b;
    while (Stream.Read(&b, 1) == 1) {
        if (b == 0) continue;
        if (b != '!' && b != ',') break;
        Stream.Seek(-1, soCurrent);
        TGifFrame scratch(&image);
        scratch.Extensions().LoadFromStream(Stream);
        uint8_t descriptor[10];
        if (Stream.Read(descriptor, 10) != 10) break;
        int64_t width = descriptor[5] | descriptor[6] << 8, height = descriptor[7] | descriptor[8] << 8;
        if (width == 0 || height == 0) {
            width = image.Header().Width;
            height = image.Header().Height;
        }
        if (width * height > MaxPixels) return false;
        Stream.Seek(-10, soCurrent);
        scratch.LoadFromStream(Stream);
    }
    return true;
}

// A block of a 10-byte identifier keeps the byte after it as data; written back with 11 bytes its
// identifier may name a registered kind, which then reads the data differently.
bool Rewritable(const TGifImage& Image) {
    for (const auto& frame : Image.Images())
        for (const auto& extension : frame->Extensions())
            if (extension->Kind() == &TGifUnknownAppExtension::Class &&
                FindAppExtensionClass(static_cast<const TGifApplicationExtension&>(*extension).Identifier))
                return false;
    return true;
}

std::vector<std::vector<uint8_t>> FramesOf(const TGifImage& Image) {
    std::vector<std::vector<uint8_t>> frames;
    for (const auto& frame : Image.Images())
        if (!frame->Empty()) frames.push_back(frame->Data);
    return frames;
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    try {
        if (!FramesSmall(stream)) return 0;
    } catch (const EVelaError&) {
        return 0;
    }
    stream.SetPosition(0);
    TGifImage image;
    int32_t warnings = 0;
    image.OnWarning = [&](TGifImage&, int32_t, const std::string&) { ++warnings; };
    try {
        image.Read(stream);
    } catch (const EVelaError&) {
        return 0;
    }
    Check(stream.Position() <= int64_t(Size));
    for (const auto& frame : image.Images())
        Check(frame->Empty() || frame->Data.size() == size_t(frame->Width) * frame->Height);
    if (!Rewritable(image)) return 0;
    for (const TGifCompression kind : {gcLZW, gcRLE}) {
        image.Compression = kind;
        TMemoryStream written;
        try {
            image.Write(written);
        } catch (const GIFException&) {
            continue;  // a pixel past its colour table
        }
        written.SetPosition(0);
        TGifImage back;
        back.Read(written);
        Check(FramesOf(back) == FramesOf(image));
    }
    return 0;
}
