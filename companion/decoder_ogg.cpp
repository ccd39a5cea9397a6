// Ogg Vorbis through libvorbisfile, reading the player's stream through the callbacks; the
// stream seeks, so the length is known and seeks land on the exact frame.
#include "companion/decoder.h"
#include "companion/pcm16.h"
#include "companion/player.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace {

size_t ReadSource(void* Buffer, size_t Size, size_t Count, void* Source) {
    if (Size == 0) return 0;
    const int64_t bytes = std::min<uint64_t>(uint64_t(Size) * Count, INT32_MAX);
    return size_t(static_cast<TPlayerStream*>(Source)->Read(Buffer, bytes)) / Size;
}

int SeekSource(void* Source, ogg_int64_t Offset, int Whence) {
    auto& stream = *static_cast<TPlayerStream*>(Source);
    const TSeekOrigin origin = Whence == SEEK_SET ? soBeginning : Whence == SEEK_CUR ? soCurrent : soEnd;
    const int64_t target = (origin == soBeginning ? 0 : origin == soCurrent ? stream.Position() : stream.Size()) + Offset;
    return target >= 0 && stream.Seek(target, soBeginning) == target ? 0 : -1;
}

long TellSource(void* Source) { return long(static_cast<TPlayerStream*>(Source)->Position()); }

class TOggDecoder : public TDecoder {
public:
    explicit TOggDecoder(void* Stream) : FSource(Stream) {}
    ~TOggDecoder() override {
        if (FOpened) ov_clear(&FFile);
    }

    bool Open() {
        const ov_callbacks callbacks{ReadSource, SeekSource, nullptr, TellSource};
        FOpened = ov_open_callbacks(&FSource, &FFile, nullptr, 0, callbacks) == 0;
        if (!FOpened || !ov_seekable(&FFile)) return false;
        const vorbis_info* info = ov_info(&FFile, -1);
        if (!info || info->channels < 1 || info->channels > 2 || info->rate < 100 || info->rate > 200000) return false;
        FShape = {uint32_t(info->rate), 16, uint16_t(info->channels)};
        FLength = ov_pcm_total(&FFile, -1);
        return FLength >= 0;
    }

protected:
    // The decoder's float samples are converted straight into Buffer, eight at a time where
    // ov_read converts one by one: the same bytes, and the conversion was a tenth of the decoding.
    int64_t ReadFrames(uint8_t* Buffer, int64_t Count) override {
        const int frames = int(std::min<int64_t>(Count, INT_MAX));
        for (;;) {
            int link = 0;
            float** pcm = nullptr;
            const long got = ov_read_float(&FFile, &pcm, frames, &link);
            if (got == OV_HOLE) continue;  // a gap in the data: go on after it
            if (got <= 0) return 0;
            // A chained stream whose next link has another shape ends here.
            const vorbis_info* info = ov_info(&FFile, link);
            if (!info || uint32_t(info->rate) != FShape.rate || info->channels != FShape.channels) return 0;
            ToPcm16(pcm, FShape.channels, got, Buffer);
            return got;
        }
    }
    void SeekFrame(int64_t Frame) override { ov_pcm_seek(&FFile, Frame); }

private:
    TPlayerStream FSource;
    OggVorbis_File FFile{};
    bool FOpened = false;
};

}  // namespace

std::unique_ptr<TDecoder> OpenOggDecoder(void* Stream) {
    auto decoder = std::make_unique<TOggDecoder>(Stream);
    if (!decoder->Open()) return nullptr;
    return decoder;
}
