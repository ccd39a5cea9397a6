// PCM sound in memory and RIFF WAVE files.
#include "media/wave.h"

#include <algorithm>
#include <cstring>

namespace {

const char* const BadWave = "不正な Wave です";

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// An 8-byte chunk header.
void WriteChunkHeader(TStream& Stream, const char* Id, uint32_t Size) {
    uint8_t header[8];
    std::memcpy(header, Id, 4);
    PutLe32(header + 4, Size);
    Stream.WriteBuffer(header, 8);
}

}  // namespace

void MakePCMWaveFormat(TWaveFormatEx& Format, uint32_t SamplesPerSec, uint16_t BitsPerSample, uint16_t Channels) {
    Format.wFormatTag = WAVE_FORMAT_PCM;
    Format.nChannels = Channels;
    Format.nSamplesPerSec = SamplesPerSec;
    Format.wBitsPerSample = BitsPerSample;
    Format.nBlockAlign = uint16_t(Channels * (BitsPerSample / 8));
    Format.nAvgBytesPerSec = Format.nBlockAlign * SamplesPerSec;
    Format.cbSize = 0;
}

TWaveFormatEx WaveFormatOf(const std::vector<uint8_t>& Format) {
    TWaveFormatEx result;
    std::memcpy(&result, Format.data(), std::min(Format.size(), sizeof result));
    return result;
}

std::vector<uint8_t> WaveFormatBytes(const TWaveFormatEx& Format) {
    std::vector<uint8_t> bytes(sizeof Format);
    std::memcpy(bytes.data(), &Format, sizeof Format);
    return bytes;
}

// ---- TCustomWaveStream ----

int64_t TCustomWaveStream::Read(void* Buffer, int64_t Count) {
    const int64_t size = GetSize();
    if (size >= 0) {
        FPosition = std::min(FPosition, size);
        Count = std::min(Count, size - FPosition);
    }
    if (Count <= 0) return 0;
    const int64_t read = ReadWave(Buffer, Count);
    FPosition += read;
    return read;
}

int64_t TCustomWaveStream::Write(const void* Buffer, int64_t Count) {
    const int64_t size = GetSize();
    if (size >= 0) FPosition = std::min(FPosition, size);
    if (Count <= 0) return 0;
    const int64_t written = WriteWave(Buffer, Count);
    FPosition += written;
    return written;
}

int64_t TCustomWaveStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    const int64_t size = std::max<int64_t>(GetSize(), 0);
    const int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? FPosition : size;
    FPosition = std::clamp(base + Offset, int64_t(0), size);
    return FPosition;
}

// ---- TWaveStream ----

TWaveStream::TWaveStream(TStream& Stream) : FStream(Stream), FFirstPosition(Stream.Position()) {}

TWaveStream::~TWaveStream() {
    try {
        Close();
    } catch (const std::exception&) {
        // A header that cannot be completed leaves the file as it is.
    }
}

void TWaveStream::Open(bool WriteMode) {
    if (FOpened) throw EWaveStreamError("ストリームはすでに開かれています");
    FReading = !WriteMode;
    FPosition = 0;
    FDataSize = 0;
    if (FReading)
        ReadHeader();
    else
        WriteHeader();
    FOpened = true;
}

void TWaveStream::Close() {
    if (!FOpened) return;
    FOpened = false;
    if (FReading) return;
    // The pad byte after odd data is not counted in the data chunk's size.
    FStream.Seek(FDataStart + FDataSize, soBeginning);
    if (FDataSize % 2) {
        const uint8_t pad = 0;
        FStream.WriteBuffer(&pad, 1);
    }
    const int64_t end = FStream.Position();
    FStream.Seek(FFirstPosition, soBeginning);
    FStream.WriteBuffer("RIFF", 4);
    uint8_t size[4];
    PutLe32(size, uint32_t(end - FFirstPosition - 8));
    FStream.WriteBuffer(size, 4);
    FStream.WriteBuffer("WAVE", 4);
    FStream.Seek(FDataHeaderPos, soBeginning);
    WriteChunkHeader(FStream, "data", uint32_t(FDataSize));
    FStream.Seek(end, soBeginning);
}

void TWaveStream::ReadHeader() {
    FStream.Seek(FFirstPosition, soBeginning);
    uint8_t header[12];
    if (FStream.Read(header, 12) != 12 || std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0)
        throw EWaveStreamError(BadWave);
    bool format = false, data = false;
    Format().clear();
    // Each chunk is checked against the bytes there before anything is read or kept of it;
    // an odd-sized chunk is followed by a pad byte.
    for (;;) {
        uint8_t chunk[8];
        if (FStream.Read(chunk, 8) != 8) break;
        const uint32_t size = Le32(chunk + 4);
        if (Le32(chunk) == 0) break;
        const int64_t start = FStream.Position();
        if (size > FStream.Remaining()) throw EWaveStreamError(BadWave);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            // The largest format record: 18 bytes and as many extra bytes as its u16 count says.
            if (size > 18 + 0xFFFF) throw EWaveStreamError(BadWave);
            SetFormatSize(int32_t(size));
            FStream.ReadBuffer(Format().data(), size);
            format = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            FDataSize = size;
            FDataStart = start;
            data = true;
        }
        FStream.Seek(start + size + (size % 2 && FStream.Size() > start + size ? 1 : 0), soBeginning);
    }
    // A PCM record without its bits, or a file without data, plays nothing.
    if (!format || !data || GetFormatSize() < 16) throw EWaveStreamError(BadWave);
}

void TWaveStream::WriteHeader() {
    if (GetFormatSize() <= 0) throw EWaveStreamError("Format が不正です");
    FStream.Seek(FFirstPosition, soBeginning);
    const uint8_t placeholder[12] = {};
    FStream.WriteBuffer(placeholder, 12);
    WriteChunkHeader(FStream, "fmt ", uint32_t(GetFormatSize()));
    FStream.WriteBuffer(GetFormat().data(), GetFormatSize());
    if (GetFormatSize() % 2) {
        const uint8_t pad = 0;
        FStream.WriteBuffer(&pad, 1);
    }
    FDataHeaderPos = FStream.Position();
    WriteChunkHeader(FStream, "data", 0);
    FDataStart = FStream.Position();
}

void TWaveStream::CheckOpened() const {
    if (!FOpened) throw EWaveStreamError("ストリームは開かれていません");
}

int64_t TWaveStream::GetSize() { return FOpened ? FDataSize : 0; }

int64_t TWaveStream::ReadWave(void* Buffer, int64_t Count) {
    CheckOpened();
    FStream.Seek(FDataStart + FPosition, soBeginning);
    return FStream.Read(Buffer, std::min(Count, FDataSize - FPosition));
}

int64_t TWaveStream::WriteWave(const void* Buffer, int64_t Count) {
    CheckOpened();
    if (FReading) return 0;
    FStream.Seek(FDataStart + FPosition, soBeginning);
    const int64_t written = FStream.Write(Buffer, Count);
    FDataSize = std::max(FDataSize, FPosition + written);
    return written;
}

// ---- TWave ----

void TWave::SetSize(int64_t Value) {
    Value = std::max<int64_t>(Value, 0);
    const int64_t capacity = (Value + CapacityStep - 1) / CapacityStep * CapacityStep;
    if (capacity != Capacity()) FData.resize(size_t(capacity));
    FSize = Value;
}

void TWave::SetPCMFormat(uint32_t SamplesPerSec, uint16_t BitsPerSample, uint16_t Channels) {
    TWaveFormatEx format;
    MakePCMWaveFormat(format, SamplesPerSec, BitsPerSample, Channels);
    Format = WaveFormatBytes(format);
}

void TWave::LoadFromStream(TStream& Stream) {
    TWaveStream wave(Stream);
    wave.Open(false);
    // The data chunk was checked against the bytes there.
    std::vector<uint8_t> format = wave.GetFormat();
    TWave loaded;
    loaded.SetSize(wave.GetSize());
    wave.ReadBuffer(loaded.Data(), loaded.Size());
    loaded.Format = std::move(format);
    *this = std::move(loaded);
}

void TWave::SaveToStream(TStream& Stream) const {
    TWaveStream wave(Stream);
    wave.Format() = Format;
    wave.Open(true);
    wave.WriteBuffer(Data(), Size());
    wave.Close();
}
