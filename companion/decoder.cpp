// What every decoder shares, and RIFF WAVE through the player's own reader.
#include "companion/decoder.h"

#include "companion/player.h"
#include "media/wave.h"

#include <algorithm>

int64_t TDecoder::Read(uint8_t* Buffer, int64_t Count) {
    int64_t done = 0;
    while (done < Count) {
        const int64_t got = ReadFrames(Buffer + done * FShape.frameBytes(), Count - done);
        if (got <= 0) break;
        done += got;
    }
    FPosition += done;
    return done;
}

void TDecoder::Seek(int64_t Frame) {
    FPosition = std::clamp<int64_t>(Frame, 0, FLength);
    SeekFrame(FPosition);
}

namespace {

// The data chunk of a RIFF WAVE file, played as it is stored.
class TWaveDecoder : public TDecoder {
public:
    explicit TWaveDecoder(void* Stream) : FSource(Stream), FWave(FSource) {}

    bool Open() {
        try {
            FWave.Open(false);
        } catch (const EVelaError&) {
            return false;
        }
        const TWaveFormatEx format = WaveFormatOf(FWave.GetFormat());
        FShape = {format.nSamplesPerSec, format.wBitsPerSample, format.nChannels};
        const bool pcm = format.wFormatTag == WAVE_FORMAT_PCM && (FShape.bits == 8 || FShape.bits == 16) &&
                         (FShape.channels == 1 || FShape.channels == 2) && format.nBlockAlign == FShape.frameBytes() &&
                         FShape.rate >= 100 && FShape.rate <= 200000;
        FLength = pcm ? FWave.GetSize() / FShape.frameBytes() : 0;
        return pcm;
    }

protected:
    int64_t ReadFrames(uint8_t* Buffer, int64_t Count) override {
        const int64_t frame = FShape.frameBytes();
        Count = std::min(Count, FLength - FWave.Position() / frame);
        if (Count <= 0) return 0;
        try {
            return FWave.Read(Buffer, Count * frame) / frame;
        } catch (const EVelaError&) {
            return 0;
        }
    }
    void SeekFrame(int64_t Frame) override { FWave.Seek(Frame * FShape.frameBytes(), soBeginning); }

private:
    TPlayerStream FSource;
    TWaveStream FWave;
};

}  // namespace

std::unique_ptr<TDecoder> OpenWaveDecoder(void* Stream) {
    auto decoder = std::make_unique<TWaveDecoder>(Stream);
    if (!decoder->Open()) return nullptr;
    return decoder;
}
