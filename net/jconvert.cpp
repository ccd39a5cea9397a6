// EUC-JP to Shift-JIS by the row arithmetic of JIS X 0208.
#include "net/jconvert.h"

std::string JisToSjis(uint8_t C1, uint8_t C2) {
    const uint8_t second = (C1 & 1) ? uint8_t(C2 + (C2 < 0x60 ? 0x1F : 0x20)) : uint8_t(C2 + 0x7E);
    const uint8_t first = uint8_t(((C1 + 1) >> 1) + (C1 < 0x5F ? 0x70 : 0xB0));
    return {char(first), char(second)};
}

std::string EucToSjis(std::string_view Source) {
    std::string out;
    out.reserve(Source.size());
    for (size_t i = 0; i < Source.size(); ++i) {
        const uint8_t b = uint8_t(Source[i]);
        if (b >= 0x81 && b <= 0xFE) {
            const uint8_t next = i + 1 < Source.size() ? uint8_t(Source[++i]) : 0;
            if (b == 0x8E)
                out += char(next);
            else
                out += JisToSjis(b & 0x7F, next & 0x7F);
        } else {
            out += b == 0 ? ' ' : char(b);
        }
    }
    return out;
}
