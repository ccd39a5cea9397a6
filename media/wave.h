#pragma once
// PCM sound in memory and RIFF "WAVE" files: the format record, a sound held in memory
// (TWave), and the wave streams that read and write the data of a RIFF WAVE file over another
// stream (TWaveStream).
#include "core/streams.h"
#include "platform/errors.h"

#include <cstdint>
#include <vector>

class EWaveStreamError : public EVelaError {
public:
    using EVelaError::EVelaError;
};

// The stored wave format record (WAVEFORMATEX, 18 bytes little-endian).
#pragma pack(push, 1)
struct TWaveFormatEx {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(TWaveFormatEx) == 18);
inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

void MakePCMWaveFormat(TWaveFormatEx& Format, uint32_t SamplesPerSec, uint16_t BitsPerSample, uint16_t Channels);
// The first bytes of a stored format record as a TWaveFormatEx, the missing fields 0, and a
// record's 18 stored bytes.
TWaveFormatEx WaveFormatOf(const std::vector<uint8_t>& Format);
std::vector<uint8_t> WaveFormatBytes(const TWaveFormatEx& Format);

// A stream of wave data: positions count bytes of the data alone; seeks land inside 0..size,
// and reads and writes start at most at the size, reads cut at it.
class TCustomWaveStream : public TStream {
public:
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t Size() override { return GetSize(); }

    // The data's size; -1 when unknown.
    virtual int64_t GetSize() = 0;
    virtual const std::vector<uint8_t>& GetFormat() = 0;
    virtual int32_t GetFormatSize() = 0;
    virtual void SetFormatSize(int32_t Value) = 0;

protected:
    // Move Count bytes of data at FPosition.
    virtual int64_t ReadWave(void* Buffer, int64_t Count) = 0;
    virtual int64_t WriteWave(const void* Buffer, int64_t Count) = 0;
    int64_t FPosition = 0;
};

// A wave stream that keeps its format record itself.
class TCustomWaveStream2 : public TCustomWaveStream {
public:
    const std::vector<uint8_t>& GetFormat() override { return FFormat; }
    int32_t GetFormatSize() override { return int32_t(FFormat.size()); }
    void SetFormatSize(int32_t Value) override { FFormat.assign(size_t(Value > 0 ? Value : 0), 0); }
    void SetWaveFormat(const TWaveFormatEx& Format) { FFormat = WaveFormatBytes(Format); }
    std::vector<uint8_t>& Format() { return FFormat; }

private:
    std::vector<uint8_t> FFormat;
};

// The data of a RIFF WAVE file in another stream, from the position that stream had when this
// one was made. Open reads the chunk list (reading) or writes the header (writing); closing a
// stream opened for writing completes the header.
class TWaveStream : public TCustomWaveStream2 {
public:
    explicit TWaveStream(TStream& Stream);
    ~TWaveStream() override;
    void Open(bool WriteMode);
    void Close();
    bool Opened() const { return FOpened; }
    int64_t GetSize() override;

protected:
    int64_t ReadWave(void* Buffer, int64_t Count) override;
    int64_t WriteWave(const void* Buffer, int64_t Count) override;

private:
    void ReadHeader();
    void WriteHeader();
    void CheckOpened() const;
    TStream& FStream;
    int64_t FFirstPosition;
    bool FOpened = false, FReading = false;
    int64_t FDataStart = 0;
    int64_t FDataSize = 0;        // reading: the data chunk's size; writing: the bytes written
    int64_t FDataHeaderPos = 0;   // writing
};

// A PCM sound in memory.
class TWave {
public:
    // Bytes used; the capacity grows in steps of CapacityStep.
    static constexpr int64_t CapacityStep = 8096;
    int64_t Size() const { return FSize; }
    int64_t Capacity() const { return int64_t(FData.size()); }
    void SetSize(int64_t Value);
    uint8_t* Data() { return FData.data(); }
    const uint8_t* Data() const { return FData.data(); }
    std::vector<uint8_t> Format;  // the stored format record
    TWaveFormatEx FormatEx() const { return WaveFormatOf(Format); }
    void SetPCMFormat(uint32_t SamplesPerSec, uint16_t BitsPerSample, uint16_t Channels);

    // A RIFF WAVE file at the stream's position.
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream) const;

private:
    std::vector<uint8_t> FData;
    int64_t FSize = 0;
};
