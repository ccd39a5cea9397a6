#include "companion/avinput.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstring>

namespace {

constexpr int IoBufferSize = 32768;

class TBytesStream : public TStream {
public:
    explicit TBytesStream(std::vector<uint8_t> Bytes) : FBytes(std::move(Bytes)) {}
    int64_t Read(void* Buffer, int64_t Count) override {
        const int64_t n = std::clamp<int64_t>(int64_t(FBytes.size()) - FAt, 0, std::max<int64_t>(Count, 0));
        if (n > 0) std::memcpy(Buffer, FBytes.data() + FAt, size_t(n));
        FAt += n;
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
        const int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? FAt : int64_t(FBytes.size());
        return FAt = std::max<int64_t>(base + Offset, 0);
    }
    int64_t Size() override { return int64_t(FBytes.size()); }

private:
    std::vector<uint8_t> FBytes;
    int64_t FAt = 0;
};

}  // namespace

std::unique_ptr<TStream> BytesStream(std::vector<uint8_t> Bytes) {
    return std::make_unique<TBytesStream>(std::move(Bytes));
}

TAvInput::TAvInput(std::unique_ptr<TStream> Source) : FSource(std::move(Source)) {}

TAvInput::~TAvInput() {
    avformat_close_input(&FFormat);
    if (FIo) av_freep(&FIo->buffer);
    avio_context_free(&FIo);
}

bool TAvInput::Open(const char* Format) {
    av_log_set_level(AV_LOG_QUIET);
    auto* buffer = static_cast<uint8_t*>(av_malloc(IoBufferSize));
    if (!buffer) return false;
    FIo = avio_alloc_context(buffer, IoBufferSize, 0, this, ReadBytes, nullptr, SeekBytes);
    FFormat = avformat_alloc_context();
    if (!FIo || !FFormat) {
        if (!FIo) av_free(buffer);
        return false;
    }
    FFormat->pb = FIo;
    FFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
    const AVInputFormat* format = Format ? av_find_input_format(Format) : nullptr;
    // A failed open frees the context.
    if (avformat_open_input(&FFormat, nullptr, format, nullptr) < 0) return false;
    return avformat_find_stream_info(FFormat, nullptr) >= 0;
}

int TAvInput::ReadBytes(void* Opaque, uint8_t* Buffer, int Size) {
    auto& self = *static_cast<TAvInput*>(Opaque);
    const int64_t n = self.FSource->Read(Buffer, Size);
    return n > 0 ? int(n) : AVERROR_EOF;
}

int64_t TAvInput::SeekBytes(void* Opaque, int64_t Offset, int Whence) {
    TStream& source = *static_cast<TAvInput*>(Opaque)->FSource;
    const int64_t size = source.Size();
    if (Whence & AVSEEK_SIZE) return size;
    const int64_t base = (Whence & 3) == SEEK_CUR ? source.Position() : (Whence & 3) == SEEK_END ? size : 0;
    if (base + Offset < 0 || base + Offset > size) return -1;
    return source.Seek(base + Offset, soBeginning);
}
