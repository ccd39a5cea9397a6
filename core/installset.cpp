#include "core/installset.h"

#include "core/header.h"
#include "core/sysutils.h"

namespace {

// "is" and three decimal digits; a stream without "is" is read from its start as version 0,
// and digits that are not a number give 0.
int ReadVersion(TStream& Stream) {
    int64_t start = Stream.Position();
    char magic[2];
    if (Stream.Read(magic, 2) != 2 || magic[0] != 'i' || magic[1] != 's') {
        Stream.SetPosition(start);
        return 0;
    }
    char digits[3];
    Stream.ReadBuffer(digits, 3);
    int version = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return 0;
        version = version * 10 + (c - '0');
    }
    return version;
}

// Values of version 100 and later take 8 bytes; older ones 4, read into the low half.
int64_t ReadValue(TStream& Stream, int Version) {
    if (Version < 100) return static_cast<uint32_t>(ReadStreamInt(Stream));
    int64_t value;
    Stream.ReadBuffer(&value, 8);
    return value;
}

void WriteValue(TStream& Stream, int64_t Value) { Stream.WriteBuffer(&Value, 8); }

// An int32 count, then each string. Every string takes at least its 4-byte length.
void ReadNames(TStream& Stream, TStringList& Names, bool SkipEmpty) {
    Names.Clear();
    const int32_t count = ReadStreamCount(Stream, 4);
    for (int32_t i = 0; i < count; ++i) {
        std::string name = ReadStreamString(Stream);
        if (!SkipEmpty || !name.empty()) Names.Add(name);
    }
}

void WriteNames(TStream& Stream, const TStringList& Names) {
    WriteStreamInt(Stream, Names.Count());
    for (int i = 0; i < Names.Count(); ++i) WriteStreamString(Stream, Names.Strings(i));
}

}  // namespace

void TVelaInstallSet::SetEntryCount(int32_t Count) {
    if (Count < 0) RaiseListIndexError(Count);
    EntryValues.resize(static_cast<size_t>(Count), {});
}

int TVelaInstallSet::AddEntry(const std::string& Name) {
    int index = IndexOfEntry(Name);
    return index >= 0 ? index : EntryNames.Add(Name);
}

void TVelaInstallSet::SaveToStream(TStream& Stream) const {
    Stream.WriteBuffer("is108", 5);
    WriteStreamInt(Stream, DiscNumber);
    for (const auto* s : {&SetId, &String3, &String4, &String5}) WriteStreamString(Stream, *s);
    WriteStreamByte(Stream, ByteA);
    WriteStreamString(Stream, String7);
    WriteStreamByte(Stream, ByteB);
    WriteStreamInt(Stream, EntryCount());
    WriteStreamString(Stream, String10);
    WriteStreamInt(Stream, Int11);
    WriteStreamByte(Stream, ByteC);
    WriteStreamByte(Stream, ByteD);
    WriteStreamString(Stream, String14);
    WriteStreamString(Stream, String15);
    for (const auto& entry : EntryValues)
        for (int64_t value : entry) WriteValue(Stream, value);
    for (int64_t value : {Value17, Value18, Value19, Value20}) WriteValue(Stream, value);
    WriteStreamByte(Stream, ByteE);
    WriteStreamByte(Stream, ByteF);
    WriteNames(Stream, EntryNames);
    WriteStreamByte(Stream, FullyInstalled);
    WriteStreamByte(Stream, ByteG);
    WriteStreamByte(Stream, ByteH);
    WriteNames(Stream, OtherNames);
    for (const auto* s : {&String28, &String29, &String30}) WriteStreamString(Stream, *s);
}

void TVelaInstallSet::LoadFromStream(TStream& Stream) {
    int version = ReadVersion(Stream);
    TVelaInstallSet loaded(*this);
    loaded.ReadFields(Stream, version);
    *this = std::move(loaded);
}

void TVelaInstallSet::ReadFields(TStream& Stream, int Version) {
    DiscNumber = ReadStreamInt(Stream);
    for (auto* s : {&SetId, &String3, &String4, &String5}) ReadStreamString(Stream, *s);
    ByteA = ReadStreamByte(Stream);
    ReadStreamString(Stream, String7);
    ByteB = ReadStreamByte(Stream);
    // The values follow a few fields later; each entry needs four of them.
    const int32_t count = ReadStreamCount(Stream, 4 * (Version < 100 ? 4 : 8));
    SetEntryCount(count);
    ReadStreamString(Stream, String10);
    Int11 = ReadStreamInt(Stream);
    ByteC = ReadStreamByte(Stream);
    ByteD = ReadStreamByte(Stream);
    ReadStreamString(Stream, String14);
    ReadStreamString(Stream, String15);
    for (auto& entry : EntryValues)
        for (int64_t& value : entry) value = ReadValue(Stream, Version);
    for (auto* value : {&Value17, &Value18, &Value19, &Value20}) *value = ReadValue(Stream, Version);
    ByteE = ReadStreamByte(Stream);
    if (Version >= 101) ByteF = ReadStreamByte(Stream);
    if (Version >= 102) ReadNames(Stream, EntryNames, true);
    if (Version >= 103) FullyInstalled = ReadStreamByte(Stream);
    if (Version >= 104) ByteG = ReadStreamByte(Stream);
    if (Version >= 105) ByteH = ReadStreamByte(Stream);
    if (Version >= 106) ReadNames(Stream, OtherNames, false);
    if (Version >= 107) ReadStreamString(Stream, String28);
    if (Version >= 108)
        for (auto* s : {&String29, &String30}) ReadStreamString(Stream, *s);
}

void TVelaInstallSet::SaveToFile(const std::string& FileName) const {
    WriteFileReplacing(FileName, [this](TStream& File) { SaveToStream(File); });
}

void TVelaInstallSet::LoadFromFile(const std::string& FileName) {
    TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}
