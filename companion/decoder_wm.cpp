// Windows Media sound (the audio of an ASF file: ".wma", ".asf", ".wmv") through libavformat,
// libavcodec and libswresample, from the file's bytes in memory. The sound is converted to
// 16-bit PCM at its own rate, more than two channels mixed down to two.
#include "companion/avinput.h"
#include "companion/decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>

namespace {

class TWindowsMediaDecoder : public TDecoder {
public:
    explicit TWindowsMediaDecoder(std::vector<uint8_t> Bytes) : FInput(BytesStream(std::move(Bytes))) {}
    ~TWindowsMediaDecoder() override {
        av_frame_free(&FFrame);
        av_packet_free(&FPacket);
        swr_free(&FResampler);
        avcodec_free_context(&FCodec);
    }

    bool Open() {
        // Only the Windows Media container is read, whatever else the bytes look like.
        if (!FInput.Open("asf")) return false;
        FFormat = FInput.Context();
        const AVCodec* codec = nullptr;
        FStream = av_find_best_stream(FFormat, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (FStream < 0 || !codec) return false;
        const AVStream& stream = *FFormat->streams[FStream];
        FCodec = avcodec_alloc_context3(codec);
        if (!FCodec || avcodec_parameters_to_context(FCodec, stream.codecpar) < 0 ||
            avcodec_open2(FCodec, codec, nullptr) < 0)
            return false;
        const int channels = FCodec->ch_layout.nb_channels;
        if (channels < 1 || FCodec->sample_rate < 100 || FCodec->sample_rate > 200000) return false;
        FShape = {uint32_t(FCodec->sample_rate), 16, uint16_t(std::min(channels, 2))};
        AVChannelLayout out;
        av_channel_layout_default(&out, FShape.channels);
        const bool converts = swr_alloc_set_opts2(&FResampler, &out, AV_SAMPLE_FMT_S16, FCodec->sample_rate,
                                                  &FCodec->ch_layout, FCodec->sample_fmt, FCodec->sample_rate, 0,
                                                  nullptr) >= 0 &&
                              swr_init(FResampler) >= 0;
        av_channel_layout_uninit(&out);
        FPacket = av_packet_alloc();
        FFrame = av_frame_alloc();
        if (!converts || !FPacket || !FFrame) return false;
        const int64_t duration = stream.duration != AV_NOPTS_VALUE
                                     ? av_rescale_q(stream.duration, stream.time_base, {1, FCodec->sample_rate})
                                     : av_rescale(FFormat->duration, FCodec->sample_rate, AV_TIME_BASE);
        FLength = std::max<int64_t>(duration, 0);
        return true;
    }

protected:
    int64_t ReadFrames(uint8_t* Buffer, int64_t Count) override {
        const int frame = FShape.frameBytes();
        while (FPendingAt >= FPending.size())
            if (!DecodeMore()) return 0;
        const int64_t frames = std::min<int64_t>(Count, int64_t(FPending.size() - FPendingAt) / frame);
        std::memcpy(Buffer, FPending.data() + FPendingAt, size_t(frames * frame));
        FPendingAt += size_t(frames * frame);
        return frames;
    }

    // Seeks to the packet at or before Frame, then drops what is decoded before it.
    void SeekFrame(int64_t Frame) override {
        const AVStream& stream = *FFormat->streams[FStream];
        const int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
        const int64_t at = start + av_rescale_q(Frame, {1, FCodec->sample_rate}, stream.time_base);
        if (av_seek_frame(FFormat, FStream, at, AVSEEK_FLAG_BACKWARD) < 0)
            av_seek_frame(FFormat, FStream, start, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
        avcodec_flush_buffers(FCodec);
        swr_close(FResampler);
        swr_init(FResampler);
        FPending.clear();
        FPendingAt = 0;
        FDraining = FDrained = false;
        FSeekTarget = Frame;
        FDrop = 0;
    }

private:
    // Decodes the next frame into FPending; false at the end of the sound.
    bool DecodeMore() {
        FPending.clear();
        FPendingAt = 0;
        for (;;) {
            const int received = avcodec_receive_frame(FCodec, FFrame);
            if (received == 0) {
                Convert();
                av_frame_unref(FFrame);
                if (!FPending.empty()) return true;
                continue;
            }
            if (received != AVERROR(EAGAIN) || FDraining) return Flush();
            if (av_read_frame(FFormat, FPacket) < 0) {
                FDraining = true;
                avcodec_send_packet(FCodec, nullptr);
                continue;
            }
            if (FPacket->stream_index == FStream) avcodec_send_packet(FCodec, FPacket);
            av_packet_unref(FPacket);
        }
    }

    // The frame in FFrame as 16-bit PCM, without what comes before the frame a seek asked for
    // (known from the first frame decoded after it).
    void Convert() {
        if (FSeekTarget >= 0) {
            const AVStream& stream = *FFormat->streams[FStream];
            const int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
            const int64_t at = FFrame->best_effort_timestamp;
            FDrop = at == AV_NOPTS_VALUE ? 0
                                         : FSeekTarget - av_rescale_q(at - start, stream.time_base, {1, FCodec->sample_rate});
            FSeekTarget = -1;
        }
        Append(const_cast<const uint8_t**>(FFrame->extended_data), FFrame->nb_samples);
        const int64_t frames = std::clamp<int64_t>(FDrop, 0, int64_t(FPending.size()) / FShape.frameBytes());
        FPending.erase(FPending.begin(), FPending.begin() + frames * FShape.frameBytes());
        FDrop -= frames;
    }

    // What the converter still holds once the decoder is drained.
    bool Flush() {
        if (FDrained) return false;
        FDrained = true;
        Append(nullptr, 0);
        return !FPending.empty();
    }

    void Append(const uint8_t** Input, int Samples) {
        const int room = swr_get_out_samples(FResampler, Samples);
        if (room <= 0) return;
        const size_t at = FPending.size();
        FPending.resize(at + size_t(room) * FShape.frameBytes());
        uint8_t* out = FPending.data() + at;
        const int got = swr_convert(FResampler, &out, room, Input, Samples);
        FPending.resize(at + size_t(std::max(got, 0)) * FShape.frameBytes());
    }

    TAvInput FInput;
    AVFormatContext* FFormat = nullptr;
    AVCodecContext* FCodec = nullptr;
    SwrContext* FResampler = nullptr;
    AVPacket* FPacket = nullptr;
    AVFrame* FFrame = nullptr;
    int FStream = -1;
    std::vector<uint8_t> FPending;  // converted frames not yet read
    size_t FPendingAt = 0;
    bool FDraining = false, FDrained = false;
    int64_t FSeekTarget = -1;  // after a seek: the frame the sound goes on from
    int64_t FDrop = 0;         // frames still to drop before it
};

}  // namespace

std::unique_ptr<TDecoder> OpenWindowsMediaDecoder(std::vector<uint8_t> Bytes) {
    auto decoder = std::make_unique<TWindowsMediaDecoder>(std::move(Bytes));
    if (!decoder->Open()) return nullptr;
    return decoder;
}
