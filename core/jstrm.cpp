#include "core/jstrm.h"

#include "core/sysutils.h"
#include "platform/errors.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace {

constexpr std::string_view kFullWidthSpace = "\x81\x40";

uint8_t ByteAt(const std::string& S, size_t p) { return static_cast<uint8_t>(S[p]); }

// Half-width bytes First..Last become the full-width codes Base, Base + Step, ...
struct HanRange {
    uint8_t First, Last;
    uint16_t Base;
    uint8_t Step;
};
constexpr HanRange kHanToZen[] = {
    {0x30, 0x39, 0x824F, 1},  // digits
    {0x41, 0x5A, 0x8260, 1},  // A-Z
    {0x61, 0x7A, 0x8281, 1},  // a-z
    {0x20, 0x20, 0x8140, 0},  // space
    {0x21, 0x21, 0x8149, 0},  // !
    {0x22, 0x22, 0x8168, 0},  // "
    {0x23, 0x23, 0x8194, 0},  // #
    {0x24, 0x24, 0x8190, 0},  // $
    {0x25, 0x25, 0x8193, 0},  // %
    {0x26, 0x26, 0x8195, 0},  // &
    {0x27, 0x27, 0x8166, 0},  // '
    {0x28, 0x28, 0x8169, 0},  // (
    {0x29, 0x29, 0x816A, 0},  // )
    {0x2A, 0x2A, 0x8196, 0},  // *
    {0x2B, 0x2B, 0x817B, 0},  // +
    {0x2C, 0x2C, 0x8143, 0},  // ,
    {0x2D, 0x2D, 0x817C, 0},  // -
    {0x2E, 0x2E, 0x8144, 0},  // .
    {0x2F, 0x2F, 0x815E, 0},  // /
    {0x3A, 0x3A, 0x8146, 0},  // :
    {0x3B, 0x3B, 0x8147, 0},  // ;
    {0x3C, 0x3C, 0x8183, 0},  // <
    {0x3D, 0x3D, 0x8181, 0},  // =
    {0x3E, 0x3E, 0x8184, 0},  // >
    {0x3F, 0x3F, 0x8148, 0},  // ?
    {0x40, 0x40, 0x8197, 0},  // @
    {0x5B, 0x5B, 0x816D, 0},  // [
    {0x5C, 0x5C, 0x818F, 0},  // backslash, shown as the yen sign
    {0x5D, 0x5D, 0x816E, 0},  // ]
    {0x5E, 0x5E, 0x814F, 0},  // ^
    {0x5F, 0x5F, 0x8151, 0},  // _
    {0x60, 0x60, 0x8165, 0},  // `
    {0x7B, 0x7B, 0x816F, 0},  // {
    {0x7C, 0x7C, 0x8162, 0},  // |
    {0x7D, 0x7D, 0x8170, 0},  // }
    {0x7E, 0x7E, 0x8160, 0},  // ~
    {0xA1, 0xA1, 0x8142, 0},  // 。
    {0xA2, 0xA2, 0x8175, 0},  // 「
    {0xA3, 0xA3, 0x8176, 0},  // 」
    {0xA4, 0xA4, 0x8141, 0},  // 、
    {0xA5, 0xA5, 0x8145, 0},  // ・
    {0xA6, 0xA6, 0x8392, 0},  // ヲ
    {0xA7, 0xAB, 0x8340, 2},  // ァィゥェォ
    {0xAC, 0xAE, 0x8383, 2},  // ャュョ
    {0xAF, 0xAF, 0x8362, 0},  // ッ
    {0xB0, 0xB0, 0x815B, 0},  // ー
    {0xB1, 0xB5, 0x8341, 2},  // アイウエオ
    {0xB6, 0xBF, 0x834A, 2},  // カ..ソ
    {0xC0, 0xC1, 0x835E, 2},  // タチ
    {0xC2, 0xC4, 0x8363, 2},  // ツテト
    {0xC5, 0xC9, 0x8369, 1},  // ナ..ノ
    {0xCA, 0xCE, 0x836E, 3},  // ハ..ホ
    {0xCF, 0xD0, 0x837D, 1},  // マミ
    {0xD1, 0xD3, 0x8380, 1},  // ムメモ
    {0xD4, 0xD6, 0x8384, 2},  // ヤユヨ
    {0xD7, 0xDB, 0x8389, 1},  // ラ..ロ
    {0xDC, 0xDC, 0x838F, 0},  // ワ
    {0xDD, 0xDD, 0x8393, 0},  // ン
    {0xDE, 0xDE, 0x814A, 0},  // ゛
    {0xDF, 0xDF, 0x814B, 0},  // ゜
};

constexpr uint8_t kVoicedMark = 0xDE, kSemiVoicedMark = 0xDF;

// Full-width code of a half-width byte, 0 when it has none.
uint16_t ZenCode(uint8_t b) {
    for (const auto& r : kHanToZen)
        if (b >= r.First && b <= r.Last) return static_cast<uint16_t>(r.Base + (b - r.First) * r.Step);
    return 0;
}

// Kana that take the voiced mark (カ..ト, ハ..ホ; ウ does not), and those that take the semi-voiced one.
bool TakesVoicedMark(uint8_t b) { return (b >= 0xB6 && b <= 0xC4) || (b >= 0xCA && b <= 0xCE); }
bool TakesSemiVoicedMark(uint8_t b) { return b >= 0xCA && b <= 0xCE; }

// Every full-width code that JStrHanToZen produces, mapped back to its half-width bytes.
const std::unordered_map<uint16_t, std::string>& HanOfZen() {
    static const auto table = [] {
        std::unordered_map<uint16_t, std::string> t;
        for (const auto& r : kHanToZen) {
            for (int b = r.First; b <= r.Last; ++b) {
                const char c = static_cast<char>(b);
                const uint16_t code = ZenCode(static_cast<uint8_t>(b));
                t.emplace(code, std::string(1, c));
                if (TakesVoicedMark(static_cast<uint8_t>(b)))
                    t.emplace(code + 1, std::string{c, static_cast<char>(kVoicedMark)});
                if (TakesSemiVoicedMark(static_cast<uint8_t>(b)))
                    t.emplace(code + 2, std::string{c, static_cast<char>(kSemiVoicedMark)});
            }
        }
        t.emplace(0x8167, "\"");  // the opening double quote folds to the same ASCII quote
        return t;
    }();
    return table;
}

}  // namespace

size_t CharSize(std::string_view S, size_t p) { return IsLeadByte(S[p]) && p + 1 < S.size() ? 2 : 1; }

int JStrCharToByte(const std::string& S, int CharIndex) {
    size_t p = 0;
    for (; CharIndex > 1 && p < S.size(); --CharIndex) p += CharSize(S, p);
    return static_cast<int>(p) + 1;
}

bool JStrIsTrailByte(std::string_view S, int ByteIndex) {
    if (ByteIndex < 1 || static_cast<size_t>(ByteIndex) > S.size()) throw EVelaError("Illegal Index");
    // The byte after a non-lead byte always starts a character, so the lead bytes running back
    // from just before ByteIndex pair up from their start.
    size_t run = 0;
    for (size_t i = static_cast<size_t>(ByteIndex) - 1; i > 0 && IsLeadByte(S[i - 1]); --i) ++run;
    return run % 2 == 1;
}

const char* FindBytes(const std::string& S, size_t From, const std::string& Pattern) {
    return static_cast<const char*>(memmem(S.data() + From, S.size() - From, Pattern.data(), Pattern.size()));
}

size_t TCharStartSearch::Find(const std::string& S, size_t From) {
    const size_t m = pattern_.size();
    const char* hit = m > 0 && From <= S.size() ? FindBytes(S, From, pattern_) : nullptr;
    if (!hit) return std::string::npos;
    size_t charStart = From;
    for (size_t end = static_cast<size_t>(hit - S.data()) + m;;) {  // end: just past an occurrence
        while (charStart < end - m) charStart += CharSize(S, charStart);
        if (charStart == end - m) return charStart;
        if (borders_.empty()) MakeBorders();
        size_t matched = borders_[m - 1];
        for (; end < S.size() && matched < m; ++end) {
            while (matched > 0 && S[end] != pattern_[matched]) matched = borders_[matched - 1];
            if (S[end] == pattern_[matched]) ++matched;
        }
        if (matched < m) return std::string::npos;
    }
}

void TCharStartSearch::MakeBorders() {
    borders_.assign(pattern_.size(), 0);
    for (size_t i = 1, k = 0; i < pattern_.size(); ++i) {
        while (k > 0 && pattern_[i] != pattern_[k]) k = borders_[k - 1];
        if (pattern_[i] == pattern_[k]) ++k;
        borders_[i] = k;
    }
}

int JStrPos(const std::string& SubStr, const std::string& S) {
    const size_t at = TCharStartSearch(SubStr).Find(S, 0);
    return at == std::string::npos ? 0 : JStrLength(S.substr(0, at)) + 1;
}

int JStrLength(const std::string& S) {
    int count = 0;
    for (size_t p = 0; p < S.size(); p += CharSize(S, p)) ++count;
    return count;
}

std::string JStrCopy(const std::string& S, int Index, int Count) {
    std::string out;
    // 64-bit so that a huge Count (copy "to the end") cannot wrap around.
    const int64_t end = int64_t{Index} + Count;
    int64_t c = 1;
    for (size_t p = 0; p < S.size(); ++c) {
        const size_t n = CharSize(S, p);
        if (c >= Index) out.append(S, p, n);
        p += n;
        if (c + 1 >= end) break;
    }
    return out;
}

void JStrInsert(const std::string& Source, std::string& S, int Index) {
    S.insert(static_cast<size_t>(JStrCharToByte(S, Index)) - 1, Source);
}

void JStrDelete(std::string& S, int Index, int Count) {
    const size_t p = static_cast<size_t>(JStrCharToByte(S, Index)) - 1;
    size_t e = p;
    for (int i = 0; i < Count && e < S.size(); ++i) e += CharSize(S, e);
    if (p < S.size()) S.erase(p, e - p);
}

TDelimiterSet::TDelimiterSet(std::string_view Delimiters) {
    for (const char c : Delimiters) bytes_.set(static_cast<uint8_t>(c));
}

std::string_view JStrSplitToken(std::string_view& S, const TDelimiterSet& Delimiters) {
    size_t p = 0;
    for (; p < S.size(); p += CharSize(S, p))
        if (Delimiters.Has(S[p])) break;
    const std::string_view token = S.substr(0, p);
    S.remove_prefix(std::min(p + 1, S.size()));
    return token;
}

namespace {

// S without the spaces at its start / end.
std::string_view TrimmedLeft(std::string_view S) {
    for (;;) {
        if (!S.empty() && S.front() == ' ')
            S.remove_prefix(1);
        else if (S.starts_with(kFullWidthSpace))
            S.remove_prefix(2);
        else
            return S;
    }
}

std::string_view TrimmedRight(std::string_view S) {
    while (!S.empty()) {
        if (JStrIsTrailByte(S, static_cast<int>(S.size()))) {
            if (!S.ends_with(kFullWidthSpace)) break;
            S.remove_suffix(2);
        } else {
            if (S.back() != ' ') break;
            S.remove_suffix(1);
        }
    }
    return S;
}

}  // namespace

void JStrTrimLeft(std::string& S) { S.erase(0, S.size() - TrimmedLeft(S).size()); }

void JStrTrimRight(std::string& S) { S.resize(TrimmedRight(S).size()); }

std::string JStrTrim(const std::string& S) { return std::string(JStrTrimmed(S)); }

std::string_view JStrTrimmed(std::string_view S) { return TrimmedRight(TrimmedLeft(S)); }

int JStrCharAt(const std::string& S, int CharIndex) {
    const size_t p = static_cast<size_t>(JStrCharToByte(S, CharIndex)) - 1;
    if (p >= S.size()) return 0;
    return CharSize(S, p) == 2 ? ByteAt(S, p) * 256 + ByteAt(S, p + 1) : ByteAt(S, p);
}

std::string JStrFromCode(int Code) {
    const uint32_t code = static_cast<uint32_t>(Code) & 0xFFFF;
    if (code > 255) return {static_cast<char>(code >> 8), static_cast<char>(code & 255)};
    return std::string(1, static_cast<char>(code));
}

std::string JStrHanToZen(const std::string& S) {
    std::string out;
    for (size_t p = 0; p < S.size();) {
        const uint8_t b = ByteAt(S, p);
        if (IsLeadByte(b)) {  // kept as it is, even a lead byte cut off at the end
            const size_t n = CharSize(S, p);
            out.append(S, p, n);
            p += n;
            continue;
        }
        ++p;
        uint16_t code = ZenCode(b);
        if (code == 0) continue;
        const uint8_t next = p < S.size() ? ByteAt(S, p) : 0;
        if (next == kVoicedMark && TakesVoicedMark(b)) {
            code += 1;
            ++p;
        } else if (next == kSemiVoicedMark && TakesSemiVoicedMark(b)) {
            code += 2;
            ++p;
        }
        out += JStrFromCode(code);
    }
    return out;
}

std::string JStrZenToHan(const std::string& S) {
    const auto& table = HanOfZen();
    std::string out;
    for (size_t p = 0; p < S.size();) {
        const size_t n = CharSize(S, p);
        if (!IsLeadByte(S[p])) {
            out += S[p];
        } else if (n == 2) {
            const auto found = table.find(static_cast<uint16_t>(ByteAt(S, p) * 256 + ByteAt(S, p + 1)));
            if (found != table.end()) out += found->second;
        }  // a lead byte cut off at the end has no half-width form either
        p += n;
    }
    return out;
}
