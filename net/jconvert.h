#pragma once
// EUC-JP text as fetched over the network, turned into the Shift-JIS the player works in. The
// conversion is arithmetic over the JIS X 0208 rows, as the bytes come: no table, and nothing the
// input holds is refused.
#include <cstdint>
#include <string>
#include <string_view>

// A JIS X 0208 pair (each byte 0x21..0x7E) as its two Shift-JIS bytes.
std::string JisToSjis(uint8_t C1, uint8_t C2);

// EUC-JP to Shift-JIS: a byte 0x81..0xFE leads a pair (0x8E a half-width katakana, copied as its
// one following byte; 0x8F is an ordinary lead); a 0 byte becomes a space; every other byte is
// copied. A lead byte in the last position pairs with 0, and a last 0x8E gives 0.
std::string EucToSjis(std::string_view Source);
