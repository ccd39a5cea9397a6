#include "companion/player.h"

#include <algorithm>
#include <climits>

TPlayerLink Player;

int64_t TPlayerStream::Read(void* Buffer, int64_t Count) {
    if (!Player.read || Count <= 0) return 0;
    const int32_t got = Player.read(FStream, Buffer, int32_t(std::min<int64_t>(Count, INT32_MAX)));
    return std::clamp<int64_t>(got, 0, Count);
}

int64_t TPlayerStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    if (!Player.setPos || !Player.getPos) return 0;
    const int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? Player.getPos(FStream) : Size();
    return Player.setPos(FStream, base + Offset);
}

int64_t TPlayerStream::Size() { return Player.getSize ? Player.getSize(FStream) : 0; }
