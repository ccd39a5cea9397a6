// Bytes opened by the companion library's decoders as Ogg Vorbis, as RIFF WAVE (through the
// player's stream callbacks) and as Windows Media: each decoder refuses them or gives whole
// frames of 1 or 2 channels, an Ogg or WAVE decoder never more than the length it states, and
// seeks stay inside the sound.
// Seed corpus: the files of tests/data/companion and tests/data/wave/s16_stereo.wav.
#include "companion/decoder.h"
#include "companion/player.h"
#include "fuzz/harness.h"
#include "media/velabind.h"

#include <algorithm>

namespace {

// Frames read at most from one sound, so that a stated length of hours costs no time.
constexpr int64_t MaxFrames = 1 << 16;

void Play(TDecoder& Decoder, bool ExactLength) {
    const TPcmShape shape = Decoder.Shape();
    fuzz::Check((shape.channels == 1 || shape.channels == 2) && (shape.bits == 8 || shape.bits == 16));
    std::vector<uint8_t> buffer(size_t(4096 * shape.frameBytes()));
    int64_t read = 0;
    for (int64_t n; read < MaxFrames && (n = Decoder.Read(buffer.data(), 4096)) > 0;) read += n;
    fuzz::Check(!ExactLength || read <= Decoder.Length());
    Decoder.Seek(Decoder.Length() / 2);
    fuzz::Check(Decoder.Position() >= 0 && Decoder.Position() <= Decoder.Length());
    Decoder.Read(buffer.data(), 4096);
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    Player.getSize = VelaStreamGetSize;
    Player.read = VelaStreamRead;
    Player.getPos = VelaStreamGetPos;
    Player.setPos = VelaStreamSetPos;
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    if (std::unique_ptr<TDecoder> ogg = OpenOggDecoder(&stream)) Play(*ogg, true);
    stream.SetPosition(0);
    if (std::unique_ptr<TDecoder> wave = OpenWaveDecoder(&stream)) Play(*wave, true);
    if (std::unique_ptr<TDecoder> wm = OpenWindowsMediaDecoder(std::vector<uint8_t>(Data, Data + Size))) Play(*wm, false);
    return 0;
}
