// Bytes opened by the companion library's video decoder from memory: it refuses them or answers
// a picture size inside its limits, decodes its first pictures into BGRA, hands on whole frames
// of sound, and decodes again after a seek.
// Seed corpus: tiny films ffmpeg made (tests/tools/make_video_fixtures.py corpus).
#include "companion/avinput.h"
#include "companion/decoder_video.h"
#include "fuzz/harness.h"

#include <vector>

namespace {

// Pictures decoded at most, and the largest picture converted, so that no input spends long.
constexpr int MaxPictures = 8;
constexpr int64_t MaxConvertedPixels = 1 << 18;

void Decode(TVideoDecoder& Decoder, std::vector<uint8_t>& Pixels) {
    for (int i = 0; i < MaxPictures && Decoder.DecodeFrame(); ++i) {
        fuzz::Check(Decoder.FrameDurationMs() >= 1 && Decoder.FrameDurationMs() <= 1000);
        if (!Pixels.empty()) Decoder.ConvertFrame(*Decoder.TakeFrame(), Pixels.data(), Decoder.Width() * 4);
    }
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    std::unique_ptr<TVideoDecoder> decoder = TVideoDecoder::Open(BytesStream(std::vector<uint8_t>(Data, Data + Size)));
    if (!decoder) return 0;
    const int64_t pixels = int64_t(decoder->Width()) * decoder->Height();
    fuzz::Check(decoder->Width() >= 1 && decoder->Height() >= 1 && decoder->Width() <= MaxFrameSide &&
                decoder->Height() <= MaxFrameSide && pixels <= MaxFramePixels);
    const int frameBytes = decoder->SoundShape().frameBytes();
    decoder->OnSound = [&](const uint8_t*, int64_t Frames) { fuzz::Check(frameBytes > 0 && Frames > 0); };
    std::vector<uint8_t> picture(pixels <= MaxConvertedPixels ? size_t(pixels) * 4 : 0);
    Decode(*decoder, picture);
    decoder->Seek(decoder->LengthMs() / 2);
    Decode(*decoder, picture);
    return 0;
}
