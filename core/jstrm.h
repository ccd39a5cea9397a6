#pragma once
// Character-aware operations on Shift-JIS (code page 932) text. A character is one byte, or a
// lead byte with the byte after it; a lead byte that ends the string is a character by itself.
// Positions are 1-based; character indices count characters, byte indices count bytes.
// Neither byte of a double-byte character is ever taken for a delimiter, space or backslash.
#include <bitset>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Bytes of the character starting at 0-based offset p: 2 for a lead byte with a byte after it.
size_t CharSize(std::string_view S, size_t p);

// Byte position where character CharIndex begins: 1 for CharIndex <= 1, Length(S) + 1 when S
// has fewer characters.
int JStrCharToByte(const std::string& S, int CharIndex);

// Whether the byte at ByteIndex is the second byte of a double-byte character. Raises
// EVelaError "Illegal Index" when ByteIndex is outside 1..Length(S).
bool JStrIsTrailByte(std::string_view S, int ByteIndex);

// The first occurrence of Pattern in S at or after From; nullptr when there is none. glibc's
// memmem takes time linear in S and Pattern however they repeat.
const char* FindBytes(const std::string& S, size_t From, const std::string& Pattern);

// Occurrences of a pattern that start on a character, the characters counted from where the
// search starts. memmem finds each occurrence; one that starts on the second byte of a
// character makes the search go on through the pattern's borders (Knuth, Morris and Pratt)
// without going back, so that however the text and the pattern repeat, a search takes time in
// proportion to the text it passes and the pattern.
class TCharStartSearch {
public:
    explicit TCharStartSearch(const std::string& Pattern) : pattern_(Pattern) {}
    // 0-based offset of the first occurrence in S at or after From (taken for a character's
    // start); npos when there is none.
    size_t Find(const std::string& S, size_t From);

private:
    // borders_[i]: the length of the longest proper prefix of pattern_[0..i] that ends it too.
    void MakeBorders();

    const std::string& pattern_;
    std::vector<size_t> borders_;  // made at the first occurrence off a character's start
};

// Character index of the first occurrence of SubStr in S that starts on a character; 0 when
// absent or when SubStr is empty.
int JStrPos(const std::string& SubStr, const std::string& S);

int JStrLength(const std::string& S);

// Count characters from character Index. The first character is looked at before the count is
// tested: with Index <= 1 a Count below 1 still gives the first character.
std::string JStrCopy(const std::string& S, int Index, int Count);

// Inserts Source before character Index (below 1: before the first; past the end: appended).
void JStrInsert(const std::string& Source, std::string& S, int Index);

// Deletes Count characters from character Index (below 1: from the first).
void JStrDelete(std::string& S, int Index, int Count);

// The bytes of a delimiter text, each looked up at once however long the text; a caller cutting
// many tokens makes it once.
class TDelimiterSet {
public:
    explicit TDelimiterSet(std::string_view Delimiters);
    bool Has(char Byte) const { return bytes_[static_cast<uint8_t>(Byte)]; }

private:
    std::bitset<256> bytes_;
};

// Cuts the text before the first character whose first byte is one of Delimiters off S,
// together with that delimiter, and returns it. Without a match (or with no delimiters) all of
// S is the token. S is a view, so that cutting a long text into many tokens takes time in
// proportion to it.
std::string_view JStrSplitToken(std::string_view& S, const TDelimiterSet& Delimiters);

// Remove ASCII spaces and full-width spaces (81 40) from the start / end; tabs and line ends stay.
void JStrTrimLeft(std::string& S);
void JStrTrimRight(std::string& S);
std::string JStrTrim(const std::string& S);
// The part of S that JStrTrim keeps, as a view into S.
std::string_view JStrTrimmed(std::string_view S);

// Code of character CharIndex: the byte, or lead * 256 + trail; 0 past the end or for an empty S.
int JStrCharAt(const std::string& S, int CharIndex);

// The one- or two-byte string of a character code (0 gives the one byte 0).
std::string JStrFromCode(int Code);

// Half-width ASCII and katakana to their full-width forms (with the voiced and semi-voiced marks
// joined to the kana before them); other single bytes are dropped, double-byte characters kept.
std::string JStrHanToZen(const std::string& S);

// Full-width characters that JStrHanToZen produces back to their half-width forms; single bytes
// are kept, other double-byte characters dropped.
std::string JStrZenToHan(const std::string& S);
