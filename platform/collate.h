#pragma once
// The order in which a Japanese system sorts text, case respected: letters by their base letter
// first, so that case only breaks ties (a < A < b < B); digits before letters, one by one
// ("1" < "10" < "9"); full-width and half-width forms of a character side by side; kana in
// their reading order, hiragana and katakana together, kanji after them; spaces and
// punctuation counting only when nothing else tells two texts apart.
#include <string_view>

namespace platform {

// -1, 0 or 1: how A sorts against B, both code page 932. Texts the order holds equal (apart
// only by punctuation or width) sort the shorter first ("coop" before "co-op"), then by their
// bytes, so only the same bytes compare equal.
int CollateCp932(std::string_view A, std::string_view B);

}  // namespace platform
