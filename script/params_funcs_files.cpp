// The file and path functions: content files tested and read through the file manager, and
// Windows paths taken apart. A "\" or ":" that is the second byte of a double-byte character
// never counts as a delimiter.
#include "core/jstrm.h"
#include "core/stringlist.h"
#include "core/sysutils.h"
#include "core/vrfiles_manager.h"
#include "script/params_funcs_families.h"
#include "script/services.h"

#include <string>

namespace {

void FnFileExists(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const std::string name = Args[0]->AsStr();
    Dest.SetAsBool(!name.empty() && VrFileManager && VrFileManager->FileExists(name));
}

// LoadTextFile(var A, Name): one element per line of the text, which ends at its first NUL.
// Without a line (or the file) A stays as it was and the result is false.
void FnLoadTextFile(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsBool(false);
    const std::string name = Args[1]->AsStr();
    if (!ScriptHost().FileExists(name) || !VrFileManager) return;
    TMemoryStream stream;
    VrFileManager->ReadFile(stream, name);
    const std::vector<std::string_view> lines =
        TextFileLines({reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size())});
    if (lines.empty()) return;
    Args[0]->SetDims({static_cast<int32_t>(lines.size())});
    for (size_t i = 0; i < lines.size(); ++i) Args[0]->SetStrAt(static_cast<int32_t>(i), std::string(lines[i]));
    Dest.SetAsBool(true);
}

void FnExtractFilePath(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsStr(ExtractFilePath(Args[0]->AsStr())); }

void FnExtractFileName(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsStr(ExtractFileName(Args[0]->AsStr())); }

void FnExtractFileExt(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsStr(ExtractFileExt(Args[0]->AsStr())); }

// Whether byte Index (1-based) of S is a "\" standing as a character of its own.
bool BackslashAt(const std::string& S, int32_t Index) {
    return Index >= 1 && static_cast<size_t>(Index) <= S.size() && S[Index - 1] == '\\' && !JStrIsTrailByte(S, Index);
}

void FnIsPathDelimiter(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsBool(BackslashAt(Args[0]->AsStr(), Args[1]->AsInt()));
}

void FnAddBackSlash(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const std::string s = Args[0]->AsStr();
    Dest.SetAsStr(BackslashAt(s, static_cast<int32_t>(s.size())) ? s : s + '\\');
}

void FnChangeFileExt(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsStr(ChangeFileExt(Args[0]->AsStr(), Args[1]->AsStr()));
}

constexpr TSysFuncEntry kFuncs[] = {
    {"FileExists", FnFileExists},           {"LoadTextFile", FnLoadTextFile},
    {"ExtractFilePath", FnExtractFilePath}, {"ExtractFileName", FnExtractFileName},
    {"ExtractFileExt", FnExtractFileExt},   {"IsPathDelimiter", FnIsPathDelimiter},
    {"AddBackSlash", FnAddBackSlash},       {"ChangeFileExt", FnChangeFileExt},
};

}  // namespace

std::span<const TSysFuncEntry> FileSysFuncs() { return kFuncs; }
