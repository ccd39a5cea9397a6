// Video files through libavformat, libavcodec, libswscale and libswresample, read through a
// stream of ours.
#include "companion/decoder_video.h"

#include "companion/avinput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

namespace {

// The threads a decoder of a film decodes on, the film's own among them: each film has a few,
// however many run at once and however many cores the machine has.
constexpr int DecoderThreads = 2;

// A decoder for the stream; nullptr for a codec it does not know or data it cannot start on.
// Raises std::bad_alloc or std::system_error when the host refused it memory or a thread.
AVCodecContext* OpenCodec(const AVStream& Stream) {
    const AVCodec* codec = avcodec_find_decoder(Stream.codecpar->codec_id);
    if (!codec) return nullptr;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (!context) throw std::bad_alloc();
    // Each thread on a slice of the same picture (no pictures decoded in parallel: no delay,
    // and the threads meet only under pthread locks).
    context->thread_count = DecoderThreads;
    context->thread_type = FF_THREAD_SLICE;
    int opened = avcodec_parameters_to_context(context, Stream.codecpar);
    if (opened >= 0) opened = avcodec_open2(context, codec, nullptr);
    if (opened >= 0) return context;
    avcodec_free_context(&context);
    if (opened == AVERROR(ENOMEM)) throw std::bad_alloc();
    if (opened == AVERROR(EAGAIN)) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return nullptr;
}

}  // namespace

TVideoDecoder::TVideoDecoder(std::unique_ptr<TStream> Source) : FInput(std::make_unique<TAvInput>(std::move(Source))) {}

TVideoDecoder::~TVideoDecoder() {
    av_frame_free(&FPicture);
    av_frame_free(&FSamples);
    av_packet_free(&FPacket);
    sws_freeContext(FScaler);
    swr_free(&FResampler);
    avcodec_free_context(&FVideo);
    avcodec_free_context(&FAudio);
}

std::unique_ptr<TVideoDecoder> TVideoDecoder::Open(std::unique_ptr<TStream> Source) {
    std::unique_ptr<TVideoDecoder> decoder(new TVideoDecoder(std::move(Source)));
    if (!decoder->FInput->Open(nullptr) || !decoder->OpenStreams()) return nullptr;
    return decoder;
}

bool TVideoDecoder::OpenStreams() {
    AVFormatContext* format = FInput->Context();
    FVideoStream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (FVideoStream < 0) return false;
    const AVStream& video = *format->streams[FVideoStream];
    FWidth = video.codecpar->width;
    FHeight = video.codecpar->height;
    if (FWidth < 1 || FHeight < 1 || FWidth > MaxFrameSide || FHeight > MaxFrameSide ||
        int64_t(FWidth) * FHeight > MaxFramePixels)
        return false;
    FVideo = OpenCodec(video);
    FPacket = av_packet_alloc();
    FPicture = av_frame_alloc();
    FSamples = av_frame_alloc();
    if (!FVideo) return false;
    if (!FPacket || !FPicture || !FSamples) throw std::bad_alloc();
    // The first picture is the start of the timeline; sound before it is not heard.
    if (video.start_time != AV_NOPTS_VALUE)
        FStartMs = av_rescale_q(video.start_time, video.time_base, {1, 1000});
    else if (format->start_time != AV_NOPTS_VALUE)
        FStartMs = format->start_time / 1000;
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        FLengthMs = format->duration / 1000;
    else if (video.duration != AV_NOPTS_VALUE && video.duration > 0)
        FLengthMs = av_rescale_q(video.duration, video.time_base, {1, 1000});
    const AVRational rate = video.avg_frame_rate.num > 0 ? video.avg_frame_rate : video.r_frame_rate;
    if (rate.num > 0 && rate.den > 0) FDefaultDurationMs = std::clamp<int64_t>(av_rescale(1000, rate.den, rate.num), 1, 1000);
    const int audio = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, FVideoStream, nullptr, 0);
    if (audio >= 0 && !OpenSound(audio)) {
        avcodec_free_context(&FAudio);
        swr_free(&FResampler);
        FSound = {0, 16, 0};
    }
    return true;
}

bool TVideoDecoder::OpenSound(int Stream) {
    FAudio = OpenCodec(*FInput->Context()->streams[Stream]);
    if (!FAudio) return false;
    const int channels = FAudio->ch_layout.nb_channels;
    if (channels < 1 || FAudio->sample_rate < 100 || FAudio->sample_rate > 200000) return false;
    FSound = {uint32_t(FAudio->sample_rate), 16, uint16_t(std::min(channels, 2))};
    FAudioStream = Stream;
    return SetUpResampler(FAudio->ch_layout, FAudio->sample_fmt);
}

// The converter from sound of Layout and Format at the sound's rate to 16-bit PCM of the
// sound's channels.
bool TVideoDecoder::SetUpResampler(const AVChannelLayout& Layout, int Format) {
    AVChannelLayout out;
    av_channel_layout_default(&out, FSound.channels);
    const bool converts = swr_alloc_set_opts2(&FResampler, &out, AV_SAMPLE_FMT_S16, int(FSound.rate), const_cast<AVChannelLayout*>(&Layout),
                                              AVSampleFormat(Format), int(FSound.rate), 0, nullptr) >= 0 &&
                          swr_init(FResampler) >= 0;
    av_channel_layout_uninit(&out);
    FInFormat = converts ? Format : -1;
    FInChannels = converts ? Layout.nb_channels : 0;
    return converts;
}

int64_t TVideoDecoder::MsOf(int64_t Timestamp, int Stream) const {
    return av_rescale_q(Timestamp, FInput->Context()->streams[Stream]->time_base, {1, 1000}) - FStartMs;
}

bool TVideoDecoder::DecodeFrame() {
    if (FHeld) {
        FHeld = false;
        return true;
    }
    for (;;) {
        if (ReceivePicture()) return true;
        if (FVideoDrained) return false;
        if (av_read_frame(FInput->Context(), FPacket) < 0) {
            // The end: what the decoders still hold comes out.
            FEof = true;
            avcodec_send_packet(FVideo, nullptr);
            if (FAudio) DecodeSound(nullptr);
            continue;
        }
        if (FPacket->stream_index == FVideoStream)
            avcodec_send_packet(FVideo, FPacket);
        else if (FPacket->stream_index == FAudioStream)
            DecodeSound(FPacket);
        av_packet_unref(FPacket);
    }
}

bool TVideoDecoder::ReceivePicture() {
    const int received = avcodec_receive_frame(FVideo, FPicture);
    if (received != 0) {
        if (received != AVERROR(EAGAIN) || FEof) FVideoDrained = true;
        return false;
    }
    const int64_t at = FPicture->best_effort_timestamp;
    FFrameMs = at != AV_NOPTS_VALUE ? MsOf(at, FVideoStream) : FFrameMs + FFrameDurationMs;
    const int64_t duration = FPicture->pkt_duration > 0
                                 ? av_rescale_q(FPicture->pkt_duration, FInput->Context()->streams[FVideoStream]->time_base, {1, 1000})
                                 : 0;
    FFrameDurationMs = duration > 0 ? std::min<int64_t>(duration, 1000) : FDefaultDurationMs;
    return true;
}

void TFrameFree::operator()(AVFrame* Frame) const { av_frame_free(&Frame); }

size_t FrameBytes(const AVFrame& Frame) {
    size_t bytes = 0;
    for (const AVBufferRef* buffer : Frame.buf)
        if (buffer) bytes += buffer->size;
    for (int i = 0; i < Frame.nb_extended_buf; ++i) bytes += Frame.extended_buf[i]->size;
    return bytes;
}

TDecodedFrame TVideoDecoder::TakeFrame() {
    TDecodedFrame frame(av_frame_alloc());
    if (!frame) throw std::bad_alloc();
    av_frame_move_ref(frame.get(), FPicture);
    return frame;
}

bool TVideoDecoder::ConvertFrame(const AVFrame& Frame, uint8_t* Pixels, int32_t Pitch) {
    FScaler = sws_getCachedContext(FScaler, Frame.width, Frame.height, AVPixelFormat(Frame.format), FWidth, FHeight,
                                   AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!FScaler || Frame.width < 1 || Frame.height < 1) return false;
    uint8_t* planes[4] = {Pixels, nullptr, nullptr, nullptr};
    const int pitches[4] = {Pitch, 0, 0, 0};
    return sws_scale(FScaler, Frame.data, Frame.linesize, 0, Frame.height, planes, pitches) > 0;
}

void TVideoDecoder::DecodeSound(const AVPacket* Packet) {
    if (avcodec_send_packet(FAudio, Packet) < 0 && Packet) return;
    while (avcodec_receive_frame(FAudio, FSamples) == 0) {
        const int64_t at = FSamples->best_effort_timestamp;
        // Damaged data can change the sound's shape midway: the converter follows its format and
        // channels; samples at another rate are left out.
        const bool fits = FSamples->sample_rate == int(FSound.rate) &&
                          ((FSamples->format == FInFormat && FSamples->ch_layout.nb_channels == FInChannels) ||
                           SetUpResampler(FSamples->ch_layout, FSamples->format));
        const int room = fits ? swr_get_out_samples(FResampler, FSamples->nb_samples) : 0;
        if (room > 0) {
            const int frameBytes = FSound.frameBytes();
            FPcm.resize(size_t(room) * frameBytes);
            uint8_t* out = FPcm.data();
            const int got = swr_convert(FResampler, &out, room, const_cast<const uint8_t**>(FSamples->extended_data),
                                        FSamples->nb_samples);
            FPcm.resize(size_t(std::max(got, 0)) * frameBytes);
            EmitSound(at != AV_NOPTS_VALUE ? MsOf(at, FAudioStream) : -1);
        }
        av_frame_unref(FSamples);
    }
}

// The first sound after the start or a seek is lined up with the timeline: what lies before
// its start is dropped, a gap before it is silence.
void TVideoDecoder::EmitSound(int64_t AtMs) {
    const int frameBytes = FSound.frameBytes();
    int64_t frames = int64_t(FPcm.size()) / frameBytes;
    const uint8_t* pcm = FPcm.data();
    if (FSoundFrames == 0 && AtMs >= 0) {
        // A stored time far off fills at most five seconds. One far before the start drops all of
        // this sound: the time is cut to just past it, so that the frames cannot overflow.
        const int64_t ms = std::clamp<int64_t>(AtMs - FSoundFromMs, -(frames * 1000 / FSound.rate + 1), 5000);
        const int64_t offset = ms * FSound.rate / 1000;
        if (offset < 0) {
            const int64_t drop = std::min(-offset, frames);
            pcm += drop * frameBytes;
            frames -= drop;
        } else if (offset > 0 && OnSound) {
            // At most a second of silence at once.
            const std::vector<uint8_t> silence(size_t(std::min<int64_t>(offset, FSound.rate)) * frameBytes, 0);
            for (int64_t left = offset; left > 0; left -= int64_t(silence.size()) / frameBytes) {
                const int64_t n = std::min<int64_t>(left, int64_t(silence.size()) / frameBytes);
                OnSound(silence.data(), n);
                FSoundFrames += n;
            }
        }
        if (frames == 0) return;
    }
    if (frames > 0 && OnSound) OnSound(pcm, frames);
    FSoundFrames += frames;
}

// Containers without an index (MPEG program streams) land anywhere near the time asked for: the
// seek goes back further until the first picture decoded is a key frame at or before Ms. The
// sound decoded on the way is handed on only for the attempt that holds.
void TVideoDecoder::Seek(int64_t Ms) {
    Ms = std::max<int64_t>(Ms, 0);
    AVFormatContext* format = FInput->Context();
    const AVStream& video = *format->streams[FVideoStream];
    std::vector<std::pair<std::vector<uint8_t>, int64_t>> sound;
    auto onSound = std::move(OnSound);
    OnSound = [&](const uint8_t* Pcm, int64_t Frames) {
        sound.emplace_back(std::vector<uint8_t>(Pcm, Pcm + Frames * FSound.frameBytes()), Frames);
    };
    for (int64_t back = 0;; back = back ? back * 2 : 500) {
        const int64_t from = Ms - back;
        const int64_t at = av_rescale_q(std::max<int64_t>(from, 0) + FStartMs, {1, 1000}, video.time_base);
        if (av_seek_frame(format, FVideoStream, at, AVSEEK_FLAG_BACKWARD) < 0) av_seek_frame(format, -1, 0, AVSEEK_FLAG_BYTE);
        avcodec_flush_buffers(FVideo);
        if (FAudio) {
            avcodec_flush_buffers(FAudio);
            swr_close(FResampler);
            swr_init(FResampler);
        }
        FEof = FVideoDrained = FHeld = false;
        FSoundFromMs = Ms;
        FSoundFrames = 0;
        sound.clear();
        if (!DecodeFrame()) break;
        FHeld = true;
        if (from <= 0 || (FPicture->key_frame && FFrameMs <= Ms)) break;
    }
    OnSound = std::move(onSound);
    if (OnSound)
        for (const auto& [pcm, frames] : sound) OnSound(pcm.data(), frames);
}
