// Reading content: every entry of a 200 MiB archive (compressible text stored compressed, noise
// stored raw) through the file manager, the same files loose from disk through the manager's base
// folder, and zlib's uncompress alone on the compressed entries' stored bytes; the first and the
// last side by side (BM_RatioToZlib).
#include "core/sysutils.h"
#include "core/vrfiles_manager.h"
#include "platform/clock.h"
#include "platform/fs.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kFiles = 400;
constexpr int64_t kAverageSize = (int64_t{200} << 20) / kFiles;

// Script-like lines, as the text of a title.
std::string Text(size_t Size, std::mt19937& Random) {
    static const char* words[] = {"message", "window", "sound", "image", "wait", "jump", "select", "flag"};
    std::string text;
    char line[128];
    while (text.size() < Size) {
        std::snprintf(line, sizeof line, "%s %s x=%u y=%u; %s\r\n", words[Random() % 8], words[Random() % 8],
                      static_cast<unsigned>(Random() % 800), static_cast<unsigned>(Random() % 600),
                      words[Random() % 8]);
        text += line;
    }
    text.resize(Size);
    return text;
}

std::string Noise(size_t Size, std::mt19937& Random) {
    std::string noise(Size, '\0');
    for (char& c : noise) c = static_cast<char>(Random());
    return noise;
}

struct TCompressed {
    std::vector<Bytef> stored;
    uLongf plainSize;
};

// The loose files, the archive packed from them by our own writer, and the compressed entries'
// stored bytes; made once per run in the private temporary folder.
struct TData {
    std::string loose, archiveFolder, archive;
    std::vector<std::string> names;
    int64_t plainBytes = 0;
    std::vector<TCompressed> compressed;
    int64_t compressedPlainBytes = 0;

    TData() {
        std::atexit([] { platform::fs::RemoveTempFolder(); });
        const std::string root = platform::fs::TempFolder();
        loose = root + "loose\\";
        archiveFolder = root + "arc\\";
        archive = archiveFolder + "game.dat";
        for (const std::string& folder : {loose, loose + "text\\", loose + "noise\\", archiveFolder})
            platform::fs::CreateDirectory(folder);
        std::mt19937 random(5);
        for (int i = 0; i < kFiles; ++i) {
            const bool text = i % 2 == 0;
            const size_t size = static_cast<size_t>(kAverageSize / 4 + random() % (kAverageSize * 3 / 2));
            names.push_back(text ? Format("text\\t%03d.txt", i) : Format("noise\\n%03d.bin", i));
            const std::string bytes = text ? Text(size, random) : Noise(size, random);
            TFileStream(loose + names.back(), fmCreate).WriteBuffer(bytes.data(), static_cast<int64_t>(size));
            plainBytes += static_cast<int64_t>(size);
        }
        Pack();
    }

    void Pack() {
        TVrFileCollection source;
        source.Open(loose);
        for (const std::string& name : names) source.AddFile(name);
        {
            TNxBigFileStream out(archive, fmCreate);
            WriteIndex(source, out);
        }
        TVrFileCollection packed;
        packed.Open(archive);
        for (const std::string& name : names) {
            const TVrFile& file = packed.GetFile(packed.IndexOf(name));
            if (file.StoredRaw) continue;
            TMemoryStream stored;
            stored.LoadFromStream(*packed.OpenRangeStream(name));
            TFileStream plain(loose + name, fmOpenRead);
            compressed.push_back({std::vector<Bytef>(stored.Memory(), stored.Memory() + stored.Size()),
                                  static_cast<uLongf>(plain.Size())});
            compressedPlainBytes += plain.Size();
        }
    }
};

TData& TheData() {
    static TData data;
    return data;
}

void ReadEntries(TVrFileManager& Manager, TMemoryStream& Content) {
    for (const std::string& name : TheData().names) Manager.ReadFile(Content, name);
    benchmark::DoNotOptimize(Content.Memory());
}

void ReadAll(benchmark::State& State, TVrFileManager& Manager) {
    TMemoryStream content;
    for (auto _ : State) ReadEntries(Manager, content);
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * TheData().plainBytes);
}

// Arg 1: the base folder is the archive's folder, so every name is first looked for on disk
// there, as when a title runs from its folder; arg 0: no base folder.
void OpenArchive(benchmark::State& State, TVrFileManager& Manager) {
    TData& data = TheData();
    Manager.SetCdRoots({});
    if (State.range(0)) Manager.SetBaseFolder(data.archiveFolder);
    Manager.Add(data.archive);
}

void BM_ManagerReadArchive(benchmark::State& State) {
    TVrFileManager manager;
    OpenArchive(State, manager);
    ReadAll(State, manager);
}

void BM_ManagerReadLoose(benchmark::State& State) {
    TVrFileManager manager;
    manager.SetCdRoots({});
    manager.SetBaseFolder(TheData().loose);
    ReadAll(State, manager);
}

// Room for the largest compressed entry's plain bytes.
std::vector<Bytef> UncompressRoom() {
    uLongf largest = 0;
    for (const TCompressed& entry : TheData().compressed) largest = std::max(largest, entry.plainSize);
    return std::vector<Bytef>(largest);
}

void UncompressEntries(benchmark::State& State, std::vector<Bytef>& Out) {
    for (const TCompressed& entry : TheData().compressed) {
        uLongf size = entry.plainSize;
        if (uncompress(Out.data(), &size, entry.stored.data(), static_cast<uLong>(entry.stored.size())) != Z_OK ||
            size != entry.plainSize)
            State.SkipWithError("uncompress failed");
    }
    benchmark::ClobberMemory();
}

void BM_ZlibUncompressCompressedEntries(benchmark::State& State) {
    TData& data = TheData();
    std::vector<Bytef> out = UncompressRoom();
    for (auto _ : State) UncompressEntries(State, out);
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * data.compressedPlainBytes);
    State.counters["entries"] = static_cast<double>(data.compressed.size());
}

// Every entry through the manager (the archive opened as BM_ManagerReadArchive opens it) and
// zlib's uncompress of the compressed entries alone in turn in each iteration, so that a busy
// machine slows both alike; "x_zlib" is the manager's time over zlib's.
void BM_RatioToZlib(benchmark::State& State) {
    TVrFileManager manager;
    OpenArchive(State, manager);
    TMemoryStream content;
    std::vector<Bytef> out = UncompressRoom();
    uint64_t ours = 0, theirs = 0;
    for (auto _ : State) {
        const uint64_t start = platform::ClockNs();
        ReadEntries(manager, content);
        const uint64_t middle = platform::ClockNs();
        UncompressEntries(State, out);
        ours += middle - start;
        theirs += platform::ClockNs() - middle;
    }
    State.counters["x_zlib"] = static_cast<double>(ours) / static_cast<double>(std::max<uint64_t>(theirs, 1));
    State.counters["ours_ms"] = static_cast<double>(ours) * 1e-6 / static_cast<double>(State.iterations());
    State.counters["zlib_ms"] = static_cast<double>(theirs) * 1e-6 / static_cast<double>(State.iterations());
}

}  // namespace

BENCHMARK(BM_ManagerReadArchive)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManagerReadLoose)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibUncompressCompressedEntries)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RatioToZlib)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(5);
