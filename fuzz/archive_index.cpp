// Archive indexes from arbitrary bytes: read from memory, then opened as a file (which also
// chooses between a carrier trailer and the index at the start), a few entries read, and the
// whole collection written again and read back. Only the engine's own errors may come out, and
// a refused archive leaves its collection empty. The memory budget is 1 MiB beyond what the
// process holds, so that an entry inflating past it is refused as the player refuses one past the
// title's.
#include "core/membudget.h"
#include "core/vrfiles.h"
#include "fuzz/harness.h"

#include <algorithm>

namespace {

using fuzz::Check;

void ReadSomeEntries(TVrFileCollection& Collection) {
    for (int i = 0; i < std::min(Collection.Count(), 4); ++i) {
        const std::string name = Collection.GetFile(i).Name();
        try {
            TMemoryStream plain;
            Collection.ReadFile(plain, name);
        } catch (const EVelaError&) {
        }
        if (auto range = Collection.OpenRangeStream(name)) {
            char bytes[64];
            range->Read(bytes, sizeof bytes);
        }
    }
    TStringList names;
    Collection.GetFileList("", names);
}

// A collection written out reads back with the same names in the same order.
void WriteAndReadBack(TVrFileCollection& Collection) {
    TNxBigMemoryStream written;
    try {
        WriteIndex(Collection, written);
    } catch (const EVelaError&) {
        return;  // an entry whose data is damaged
    }
    TVrFileCollection back;
    written.SetPosition(0);
    ReadIndex(back, written);
    int n = 0;
    for (int i = 0; i < Collection.Count(); ++i) {
        if (Collection.GetFile(i).Name() == kVrSentinelName) continue;
        Check(back.GetFile(n++).Name() == Collection.GetFile(i).Name());
    }
    Check(back.Count() == n + 1);
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    SetMemoryLimit(MemoryCharged() + (int64_t(1) << 20));
    {
        TNxBigMemoryStream stream;
        stream.Write(Data, static_cast<int64_t>(Size));
        stream.SetPosition(0);
        TVrFileCollection collection;
        try {
            ReadIndex(collection, stream);
        } catch (const EVelaError&) {
            Check(collection.Count() == 0);
        }
    }
    const std::string file = fuzz::WorkFile("input.dat");
    fuzz::StreamOf(Data, Size).SaveToFile(file);
    TVrFileCollection collection;
    try {
        collection.Open(file);
    } catch (const EVelaError&) {
        Check(collection.Count() == 0 && !collection.ArchiveStream());
        return 0;
    }
    ReadSomeEntries(collection);
    WriteAndReadBack(collection);
    return 0;
}
