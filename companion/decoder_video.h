#pragma once
// The decoder of a video file (any container and codecs libavformat and libavcodec read): its
// pictures one at a time as 32-bit BGRA, and its sound as 16-bit PCM at its own rate (more
// than two channels mixed down to two) handed on as it is decoded, on one timeline in ms from
// the file's start. Used by one thread at a time.
#include "companion/decoder.h"
#include "core/streams.h"

#include <cstdint>
#include <functional>
#include <memory>

struct AVChannelLayout;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;
struct SwsContext;
class TAvInput;

// The largest picture side accepted, and the most pixels of one picture.
inline constexpr int32_t MaxFrameSide = 8192;
inline constexpr int64_t MaxFramePixels = int64_t(4096) * 4096;

// A decoded picture taken out of its decoder, in the decoder's own format; freed with its bytes.
struct TFrameFree {
    void operator()(AVFrame* Frame) const;
};
using TDecodedFrame = std::unique_ptr<AVFrame, TFrameFree>;
// The bytes that Frame holds.
size_t FrameBytes(const AVFrame& Frame);

class TVideoDecoder {
public:
    ~TVideoDecoder();
    TVideoDecoder(const TVideoDecoder&) = delete;
    TVideoDecoder& operator=(const TVideoDecoder&) = delete;
    // nullptr for data without a picture stream it can decode, or with a picture size outside
    // 1..MaxFrameSide or above MaxFramePixels. Raises std::bad_alloc or std::system_error when
    // the host refused it memory or a thread.
    static std::unique_ptr<TVideoDecoder> Open(std::unique_ptr<TStream> Source);

    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    int64_t LengthMs() const { return FLengthMs; }
    // The sound's shape; no channels when the file has no sound the decoder can play.
    const TPcmShape& SoundShape() const { return FSound; }

    // Reads on to the next picture: false at the end of the pictures. The sound read on the
    // way goes to OnSound first: whole frames, gap-free from the start (or the last seek's
    // target) on, late parts dropped and gaps filled with silence.
    bool DecodeFrame();
    // The picture decoded last: its time and how long it shows.
    int64_t FrameMs() const { return FFrameMs; }
    int64_t FrameDurationMs() const { return FFrameDurationMs; }
    // Takes that picture out of the decoder, to be converted when it is wanted. Raises
    // std::bad_alloc when the host refused it memory.
    TDecodedFrame TakeFrame();
    // Converts Frame, a picture taken from this decoder, into Pixels: Height rows of Width
    // 32-bit pixels, Pitch bytes apart; false, Pixels left as they were, when it cannot.
    bool ConvertFrame(const AVFrame& Frame, uint8_t* Pixels, int32_t Pitch);
    // Goes back to the key frame at or before Ms; the pictures before Ms are decoded again
    // (the caller skips them); the sound goes on from Ms.
    void Seek(int64_t Ms);

    std::function<void(const uint8_t* Pcm, int64_t Frames)> OnSound;

private:
    explicit TVideoDecoder(std::unique_ptr<TStream> Source);
    bool OpenStreams();
    bool OpenSound(int Stream);
    bool SetUpResampler(const AVChannelLayout& Layout, int Format);
    // Sends the packet to its decoder; for the sound, takes out what it decoded.
    bool ReceivePicture();
    void DecodeSound(const AVPacket* Packet);
    void EmitSound(int64_t AtMs);
    int64_t MsOf(int64_t Timestamp, int Stream) const;

    std::unique_ptr<TAvInput> FInput;
    AVCodecContext* FVideo = nullptr;
    AVCodecContext* FAudio = nullptr;
    SwsContext* FScaler = nullptr;
    SwrContext* FResampler = nullptr;
    AVPacket* FPacket = nullptr;
    AVFrame* FPicture = nullptr;
    AVFrame* FSamples = nullptr;
    int FVideoStream = -1, FAudioStream = -1;
    int32_t FWidth = 0, FHeight = 0;
    int64_t FLengthMs = 0, FStartMs = 0;
    int64_t FFrameMs = 0, FFrameDurationMs = 40, FDefaultDurationMs = 40;
    bool FEof = false, FVideoDrained = false;
    bool FHeld = false;  // the picture in FPicture is the next DecodeFrame's
    TPcmShape FSound{0, 16, 0};
    int FInFormat = -1, FInChannels = 0;  // what the converter takes
    int64_t FSoundFrames = 0;     // frames handed on since SoundFromMs
    int64_t FSoundFromMs = 0;     // where the sound handed on starts
    std::vector<uint8_t> FPcm;
};
