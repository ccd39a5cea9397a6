// The string functions: numbers as text, and strings taken apart by bytes or by Shift-JIS
// characters (the J forms). Positions are 1-based.
#include "core/jstrm.h"
#include "core/sysutils.h"
#include "script/params_funcs_families.h"

#include <algorithm>
#include <string>

namespace {

// The longest string a function builds; a script asking for more gets an error instead of an
// allocation of gigabytes.
constexpr int64_t MaxResultLength = 64 * 1024 * 1024;
// The most digits a number may be padded to.
constexpr int64_t MaxPrecision = 4096;

void CheckResultLength(int64_t Length, const char* Func) {
    if (Length > MaxResultLength) throw EParamError(std::string(Func) + ":文字列が長すぎます");
}

[[noreturn]] void RaiseFormatError(const std::string& FormatText) {
    throw EParamError("書式文字列 '" + FormatText + "' は正しくないか引数の型と一致しません");
}

// Digits with zeros in front up to Precision digits, and the minus sign before the zeros.
std::string ZeroPadded(bool Negative, std::string Digits, int64_t Precision) {
    if (Precision > static_cast<int64_t>(Digits.size()))
        Digits.insert(0, static_cast<size_t>(Precision) - Digits.size(), '0');
    return Negative ? '-' + Digits : Digits;
}

// IntToStr(N [, Digits]): Digits is the text of a precision, decimal digits only.
void FnIntToStr(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const int32_t n = Args[0]->AsInt();
    int64_t precision = 0;
    if (Args.size() > 1) {
        const std::string digits = Args[1]->AsStr();
        for (char c : digits) {
            if (c < '0' || c > '9') RaiseFormatError("%." + digits + "d");
            precision = precision * 10 + (c - '0');
            if (precision > MaxPrecision) RaiseFormatError("%." + digits + "d");
        }
    }
    const int64_t value = n;
    Dest.SetAsStr(ZeroPadded(value < 0, std::to_string(value < 0 ? -value : value), precision));
}

// IntToHex(N, Digits): N as unsigned upper-case hexadecimal; a Digits below 1 pads nothing.
void FnIntToHex(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const auto n = static_cast<uint32_t>(Args[0]->AsInt());
    const int32_t digits = Args[1]->AsInt();
    if (digits > MaxPrecision) RaiseFormatError("%.*x");
    Dest.SetAsStr(ZeroPadded(false, Format("%X", n), digits));
}

void FnLength(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsInt(static_cast<int32_t>(Args[0]->AsStr().size()));
}

void FnJLength(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsInt(JStrLength(Args[0]->AsStr())); }

// The byte length of S as the default count of a copy or delete that runs to the end.
int32_t LengthOf(const std::string& S) { return static_cast<int32_t>(std::min<size_t>(S.size(), INT32_MAX)); }

// Copy(S, Index [, Count]): an Index below 1 counts as 1, the Count is cut to what remains.
void FnCopy(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const std::string s = Args[0]->AsStr();
    const int64_t index = std::max<int64_t>(Args[1]->AsInt(), 1);
    const int64_t count = OptionalInt(Args, 2, LengthOf(s));
    const auto length = static_cast<int64_t>(s.size());
    if (index > length || count < 1) return Dest.SetAsStr("");
    Dest.SetAsStr(s.substr(static_cast<size_t>(index - 1), static_cast<size_t>(std::min(count, length - index + 1))));
}

void FnJCopy(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const std::string s = Args[0]->AsStr();
    Dest.SetAsStr(JStrCopy(s, Args[1]->AsInt(), OptionalInt(Args, 2, LengthOf(s))));
}

// Delete(var S, Index [, Count]): S written back even when nothing was deleted. No result.
void FnDelete(TParamCollectionItem&, TSysFuncArgs Args) {
    std::string s = Args[0]->AsStr();
    const int64_t index = Args[1]->AsInt();
    const int64_t count = OptionalInt(Args, 2, LengthOf(s));
    const auto length = static_cast<int64_t>(s.size());
    if (index >= 1 && index <= length && count >= 1)
        s.erase(static_cast<size_t>(index - 1), static_cast<size_t>(std::min(count, length - index + 1)));
    Args[0]->SetStr(s);
}

void FnJDelete(TParamCollectionItem&, TSysFuncArgs Args) {
    std::string s = Args[0]->AsStr();
    JStrDelete(s, Args[1]->AsInt(), OptionalInt(Args, 2, JStrLength(s)));
    Args[0]->SetStr(s);
}

// Insert(Source, var S, Index): before byte Index, at the front below 1, appended past the end.
void FnInsert(TParamCollectionItem&, TSysFuncArgs Args) {
    const std::string source = Args[0]->AsStr();
    std::string s = Args[1]->AsStr();
    const int64_t index = std::clamp<int64_t>(Args[2]->AsInt(), 1, static_cast<int64_t>(s.size()) + 1);
    s.insert(static_cast<size_t>(index - 1), source);
    Args[1]->SetStr(s);
}

void FnJInsert(TParamCollectionItem&, TSysFuncArgs Args) {
    const std::string source = Args[0]->AsStr();
    std::string s = Args[1]->AsStr();
    JStrInsert(source, s, Args[2]->AsInt());
    Args[1]->SetStr(s);
}

// CompareStr(S1, S2): the difference of the first differing bytes, else of the lengths.
void FnCompareStr(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const std::string a = Args[0]->AsStr(), b = Args[1]->AsStr();
    const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (ia != a.end() && ib != b.end())
        return Dest.SetAsInt(static_cast<uint8_t>(*ia) - static_cast<uint8_t>(*ib));
    Dest.SetAsInt(static_cast<int32_t>(static_cast<int64_t>(a.size()) - static_cast<int64_t>(b.size())));
}

void FnCompareText(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsInt(AnsiCompareText(Args[0]->AsStr(), Args[1]->AsStr()));
}

void FnPos(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const std::string sub = Args[0]->AsStr(), s = Args[1]->AsStr();
    const char* at = sub.empty() ? nullptr : FindBytes(s, 0, sub);
    Dest.SetAsInt(at ? static_cast<int32_t>(at - s.data()) + 1 : 0);
}

// JPos(Sub, S): the character index of the first occurrence of Sub in S that starts on a
// character; 0 when there is none or Sub is empty.
void FnJPos(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsInt(JStrPos(Args[0]->AsStr(), Args[1]->AsStr()));
}

// Trim(S): bytes of value 32 or less off both ends.
void FnTrim(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsStr(std::string(TrimBlanks(Args[0]->AsStr())));
}

void FnJTrim(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsStr(JStrTrim(Args[0]->AsStr())); }

// FixStr(S): a lead byte left alone at the end is dropped; a one-byte string stays.
void FnFixStr(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    std::string s = Args[0]->AsStr();
    const int l = static_cast<int>(s.size());
    if (l >= 2 && !(IsLeadByte(s[l - 2]) && !JStrIsTrailByte(s, l - 1)) && IsLeadByte(s[l - 1])) s.pop_back();
    Dest.SetAsStr(s);
}

// S with its single-byte letters in one case. Double-byte characters stay as they are, full-width
// letters too (those fold only where names are compared), and so do their trail bytes.
std::string SingleByteCase(std::string S, bool Lower) {
    for (size_t i = 0; i < S.size(); ++i) {
        const char c = S[i];
        if (IsLeadByte(c)) ++i;
        else if (Lower && c >= 'A' && c <= 'Z') S[i] = static_cast<char>(c + ('a' - 'A'));
        else if (!Lower && c >= 'a' && c <= 'z') S[i] = static_cast<char>(c - ('a' - 'A'));
    }
    return S;
}

void FnLowerCase(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsStr(SingleByteCase(Args[0]->AsStr(), true)); }

void FnUpperCase(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsStr(SingleByteCase(Args[0]->AsStr(), false)); }

// IsDelimiter(Delimiters, S, Index): the byte at Index is a one-byte character in Delimiters.
void FnIsDelimiter(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const std::string delimiters = Args[0]->AsStr(), s = Args[1]->AsStr();
    const int32_t index = Args[2]->AsInt();
    Dest.SetAsBool(index >= 1 && static_cast<size_t>(index) <= s.size() && !IsLeadByte(s[index - 1]) &&
                   !JStrIsTrailByte(s, index) && delimiters.find(s[index - 1]) != std::string::npos);
}

// StringOfChar(S, Count): the whole of S, Count times.
void FnStringOfChar(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const std::string s = Args[0]->AsStr();
    const int32_t count = Args[1]->AsInt();
    if (count < 1 || s.empty()) return Dest.SetAsStr("");
    CheckResultLength(static_cast<int64_t>(s.size()) * count, "StringOfChar");
    // Doubled while it fits, then the rest copied from its front.
    const size_t length = s.size() * static_cast<size_t>(count);
    std::string out;
    out.reserve(length);
    out.append(s);
    while (out.size() <= length / 2) out.append(out);
    out.append(out, 0, length - out.size());
    Dest.SetAsStr(out);
}

// StringReplace(S, Old, New [, ReplaceAll [, IgnoreCase]]): the search runs on copies upper-cased
// as UpperCase does when case is ignored (the same length as the originals), on S and Old
// themselves otherwise; the result is built from S.
void FnStringReplace(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const std::string s = Args[0]->AsStr(), oldText = Args[1]->AsStr(), newText = Args[2]->AsStr();
    const bool replaceAll = OptionalBool(Args, 3, false), ignoreCase = OptionalBool(Args, 4, false);
    if (oldText.empty()) return Dest.SetAsStr(s);
    const std::string upperS = ignoreCase ? SingleByteCase(s, false) : std::string();
    const std::string upperOld = ignoreCase ? SingleByteCase(oldText, false) : std::string();
    const std::string& searched = ignoreCase ? upperS : s;
    const std::string& pattern = ignoreCase ? upperOld : oldText;
    TCharStartSearch search(pattern);
    std::string out;
    size_t from = 0;
    for (size_t at; (at = search.Find(searched, from)) != std::string::npos;) {
        CheckResultLength(static_cast<int64_t>(out.size() + (at - from) + newText.size()), "StringReplace");
        out.append(s, from, at - from).append(newText);
        from = at + pattern.size();
        if (!replaceAll) break;
    }
    CheckResultLength(static_cast<int64_t>(out.size() + (s.size() - from)), "StringReplace");
    Dest.SetAsStr(out.append(s, from));
}

constexpr TSysFuncEntry kFuncs[] = {
    {"IntToStr", FnIntToStr},         {"IntToHex", FnIntToHex},       {"Length", FnLength},
    {"JLength", FnJLength},           {"Copy", FnCopy},               {"JCopy", FnJCopy},
    {"Delete", FnDelete},             {"JDelete", FnJDelete},         {"Insert", FnInsert},
    {"JInsert", FnJInsert},           {"CompareStr", FnCompareStr},   {"CompareText", FnCompareText},
    {"Pos", FnPos},                   {"JPos", FnJPos},               {"Trim", FnTrim},
    {"JTrim", FnJTrim},               {"FixStr", FnFixStr},           {"LowerCase", FnLowerCase},
    {"UpperCase", FnUpperCase},       {"IsDelimiter", FnIsDelimiter}, {"StringOfChar", FnStringOfChar},
    {"StringReplace", FnStringReplace},
};

}  // namespace

std::span<const TSysFuncEntry> StrSysFuncs() { return kFuncs; }
