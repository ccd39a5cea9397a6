#pragma once
// Character-aware operations on Shift-JIS (code page 932) text. A character is one byte, or a
// lead byte with the byte after it; a lead byte that ends the string is a character by itself.
// Positions are 1-based; character indices count characters, byte indices count bytes.
// Neither byte of a double-byte character is ever taken for a delimiter, space or backslash.
#include <cstddef>
#include <string>
#include <string_view>

// Bytes of the character starting at 0-based offset p: 2 for a lead byte with a byte after it.
size_t CharSize(std::string_view S, size_t p);

// Byte position where character CharIndex begins: 1 for CharIndex <= 1, Length(S) + 1 when S
// has fewer characters.
int JStrCharToByte(const std::string& S, int CharIndex);

// Whether the byte at ByteIndex is the second byte of a double-byte character. Raises
// EVelaError "Illegal Index" when ByteIndex is outside 1..Length(S).
bool JStrIsTrailByte(const std::string& S, int ByteIndex);

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

// Cuts the text before the first byte that equals any byte of Delimiters off S, together with
// that delimiter, and returns it. Without a match (or with no delimiters) all of S is the token.
// S is a view, so that cutting a long text into many tokens takes time in proportion to it.
std::string_view JStrSplitToken(std::string_view& S, std::string_view Delimiters);

// Remove ASCII spaces and full-width spaces (81 40) from the start / end; tabs and line ends stay.
void JStrTrimLeft(std::string& S);
void JStrTrimRight(std::string& S);
std::string JStrTrim(const std::string& S);

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
