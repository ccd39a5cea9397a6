// The abstract stream's own operations, in a unit of their own: the RIFF WAVE reader, which the
// companion library links too, needs nothing else of the streams.
#include "core/streams.h"

int64_t TStream::Size() {
    int64_t pos = Seek(0, soCurrent);
    int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

int64_t TStream::Remaining() {
    int64_t left = Size() - Position();
    return left > 0 ? left : 0;
}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
    if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError();
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
    if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError();
}

void TStream::WriteBuffers(std::span<const std::span<const std::byte>> Pieces) {
    for (const std::span<const std::byte> piece : Pieces) WriteBuffer(piece.data(), static_cast<int64_t>(piece.size()));
}
