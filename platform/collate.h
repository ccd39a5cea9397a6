#pragma once
// The order in which a Japanese system sorts text, case respected: letters by their base letter
// first, so that case only breaks ties (a < A < b < B); digits before letters, one by one
// ("1" < "10" < "9"); full-width and half-width forms of a character side by side; kana in
// their reading order, hiragana and katakana together, kanji after them; spaces and
// punctuation counting only when nothing else tells two texts apart.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The collation keys of Texts (code page 932): keys compare, byte by byte, as the texts sort.
// Texts the order holds equal (apart only by punctuation or width) get equal keys; those sort
// the shorter first ("coop" before "co-op"), then by their bytes, so only the same bytes tie.
// Sorting by keys made once costs one conversion a text instead of two a comparison.
struct TCollationKeys {
    std::string Bytes;        // the keys one after the other
    std::vector<size_t> Ends;  // where each text's key ends in Bytes
    std::string_view Key(size_t Index) const {
        const size_t start = Index > 0 ? Ends[Index - 1] : 0;
        return std::string_view(Bytes).substr(start, Ends[Index] - start);
    }
};
TCollationKeys CollationKeysCp932(const std::vector<std::string>& Texts);

}  // namespace platform
