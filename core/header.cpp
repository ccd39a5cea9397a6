#include "core/header.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

void WriteStreamString(TStream& Stream, const std::string& S) {
    WriteStreamInt(Stream, static_cast<int32_t>(S.size()));
    if (!S.empty()) Stream.WriteBuffer(S.data(), static_cast<int64_t>(S.size()));
}

void ReadStreamString(TStream& Stream, std::string& S) {
    int32_t count = ReadStreamInt(Stream);
    if (count < 0 || count > Stream.Remaining()) throw EReadError();
    S.resize(static_cast<size_t>(count));
    if (count > 0) Stream.ReadBuffer(S.data(), count);
}

std::string ReadStreamString(TStream& Stream) {
    std::string s;
    ReadStreamString(Stream, s);
    return s;
}

namespace {
// Scalars are stored in the processor's little-endian layout.
template <typename T>
void WriteScalar(TStream& Stream, T Value, int64_t Bytes = sizeof(T)) {
    Stream.WriteBuffer(&Value, Bytes);
}
template <typename T>
T ReadScalar(TStream& Stream, int64_t Bytes = sizeof(T)) {
    T value{};
    Stream.ReadBuffer(&value, Bytes);
    return value;
}
}  // namespace

void WriteStreamInt(TStream& Stream, int32_t Value) { WriteScalar(Stream, Value); }
void WriteStreamWord(TStream& Stream, uint16_t Value) { WriteScalar(Stream, Value); }
void WriteStreamByte(TStream& Stream, uint8_t Value) { WriteScalar(Stream, Value); }
void WriteStreamDouble(TStream& Stream, double Value) { WriteScalar(Stream, Value); }
void WriteStreamExtended(TStream& Stream, long double Value) { WriteScalar(Stream, Value, 10); }

int32_t ReadStreamInt(TStream& Stream) { return ReadScalar<int32_t>(Stream); }
uint16_t ReadStreamWord(TStream& Stream) { return ReadScalar<uint16_t>(Stream); }
uint8_t ReadStreamByte(TStream& Stream) { return ReadScalar<uint8_t>(Stream); }
double ReadStreamDouble(TStream& Stream) { return ReadScalar<double>(Stream); }
long double ReadStreamExtended(TStream& Stream) { return ReadScalar<long double>(Stream, 10); }

int64_t CopyStreamData(TStream& Dest, TStream& Source, int64_t Count) {
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.Size();
    }
    if (Count <= 0) return 0;
    if (auto* memory = dynamic_cast<TMemoryStream*>(&Source)) {
        // A memory source is written in one piece, never beyond its end.
        int64_t n = std::min(Count, memory->Remaining());
        if (n > 0) Dest.WriteBuffer(memory->Memory() + memory->Position(), n);
        memory->Seek(n, soCurrent);
        return n;
    }
    // One large buffer, smaller in 1 MiB steps when memory is short.
    constexpr int64_t kMaxBuffer = 10 * 1024 * 1024, kStep = 1024 * 1024;
    int64_t bufferSize = std::min(Count, kMaxBuffer);
    std::unique_ptr<uint8_t[]> buffer;
    while (!buffer) {
        buffer.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bufferSize)]);
        if (buffer) break;
        bufferSize = std::max<int64_t>(bufferSize - kStep, 0);
        if (bufferSize == 0) throw std::bad_alloc();
    }
    int64_t copied = 0;
    while (copied < Count) {
        int64_t n = Source.Read(buffer.get(), std::min(bufferSize, Count - copied));
        if (n <= 0) break;
        Dest.WriteBuffer(buffer.get(), n);
        copied += n;
    }
    return copied;
}
