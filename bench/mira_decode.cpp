// The same 1024 x 768 photo-like picture (bench/photo.h, its colours without the alpha) as three
// 24-bit Mira files, decoded by TMiraFrameList::LoadFromStream, beside the picture as an RGB PNG
// (libpng, level 6, adaptive filters) decoded by libpng's png_read_image: a classic file
// ("Mira105") in 32 x 32 blocks, written below, and the XML form with zlib rows and with a JPEG
// image plane (quality 85), both written by our writer (argument: 0 blocks, 1 rows, 2 JPEG).
// BM_RatioToLibpng decodes with both in turn in each iteration, so that a busy machine slows both
// alike, and reports our time as a multiple of libpng's ("x_libpng"); the JPEG plane's time is
// libjpeg's own.
#include "core/zstreams.h"
#include "graphics/miras.h"
#include "bench/libpng_peer.h"
#include "bench/photo.h"
#include "platform/clock.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kW = 1024, kH = 768, kBlock = 32;
constexpr const char* kKinds[] = {"classic blocks", "XML rows", "XML JPEG"};

const std::vector<uint8_t>& Photo() {
    static const std::vector<uint8_t> photo = MakePhotoRGBA(kW, kH);
    return photo;
}

// The photo's colours as a 24-bit bitmap.
void DrawPhoto(TDIB& Image) {
    for (int y = 0; y < kH; ++y) {
        uint8_t* row = Image.ScanLine(y);
        for (int x = 0; x < kW; ++x) {
            const uint8_t* p = Photo().data() + 4 * (size_t(y) * kW + x);
            row[3 * x] = p[2], row[3 * x + 1] = p[1], row[3 * x + 2] = p[0];
        }
    }
}

template <class T>
void Put(std::string& Out, T Value) {
    Out.append(reinterpret_cast<const char*>(&Value), sizeof Value);
}

// A classic file of version 105: the 40-byte header record, one frame of one layer whose image
// plane is a zlib stream of the block table (every block stored) and the blocks' rows, no alpha
// plane, no rectangles.
std::string ClassicBlockFile(const TDIB& Image) {
    const int nx = (kW + kBlock - 1) / kBlock, ny = (kH + kBlock - 1) / kBlock;
    TMemoryStream plane;
    for (int k = 0; k < nx * ny; ++k) {
        const int32_t entry[2] = {-1, 0};
        plane.WriteBuffer(entry, sizeof entry);
    }
    for (int k = 0; k < nx * ny; ++k) {
        const int x = k % nx * kBlock, y = k / nx * kBlock, w = std::min(kBlock, kW - x), h = std::min(kBlock, kH - y);
        for (int row = 0; row < h; ++row) plane.WriteBuffer(Image.ScanLineReadOnly(y + row) + 3 * x, 3 * w);
    }
    CompressStream(plane, clDefault);
    std::string out = "Mira105";
    Put<int32_t>(out, 40);
    for (const int32_t v : {105, kW, kH, 24, 1}) Put(out, v);
    out += std::string("\x01\x00\x00\x00", 4);  // SyncPal, Randomized, CompType 0 (zlib), padding
    for (const int32_t v : {0, kBlock, kBlock}) Put(out, v);  // BGColor, block size
    out += std::string(4, '\0');                              // NotFillBG, CompLevel, padding
    Put<int32_t>(out, 0);                                     // the frame: no name
    Put<int32_t>(out, -1);                                    // no transparent colour
    Put<int32_t>(out, 100);                                   // delay
    out += std::string(5, '\0');                              // disposal, skipped bytes
    for (const int32_t v : {1, kW, kH, 24}) Put(out, v);      // one layer of the picture's size
    out += std::string(8, '\0') + '\x01';                     // the layer: visible
    Put<int32_t>(out, -1);                                    // no key
    Put<int32_t>(out, 255);                                   // opaque
    out += '\0';                                              // alpha not in use
    Put<int32_t>(out, 0);                                     // no name
    Put<int32_t>(out, int32_t(plane.Size()));
    out.append(reinterpret_cast<const char*>(plane.Memory()), size_t(plane.Size()));
    for (int i = 0; i < 3; ++i) Put<int32_t>(out, 0);  // no alpha plane, two empty rectangle lists
    return out;
}

// The photo through our writer: CompType 0 (zlib rows) or 2 (a JPEG image plane).
std::string XmlFile(const TDIB& Image, int32_t CompType) {
    TMiraFrameList list(0);
    TMiraFrame& frame = *list.AddFrame();
    frame.TransPixel = -1;
    frame.SetupImage(kW, kH, 24, nullptr, 0);
    frame.AddLayer()->Image.CopyRectTo(0, 0, {0, 0, kW, kH}, Image);
    TMemoryStream out;
    list.SaveToStream(out, CompType, 85);
    return std::string(reinterpret_cast<const char*>(out.Memory()), size_t(out.Size()));
}

const std::string& File(int64_t Kind) {
    static const std::vector<std::string> files = [] {
        TDIB image;
        image.SetSize(kW, kH, 24);
        DrawPhoto(image);
        return std::vector<std::string>{ClassicBlockFile(image), XmlFile(image, 0), XmlFile(image, 2),
                                        WriteLibpng(Photo(), kW, kH, 0, false)};
    }();
    return files[size_t(Kind)];
}
const std::string& PngFile() { return File(3); }

// Our decode of a Mira file into its composed frame; the nanoseconds it took.
uint64_t DecodeOurs(const std::string& File, benchmark::State& State) {
    TMemoryStream stream;
    stream.WriteBuffer(File.data(), int64_t(File.size()));
    stream.SetPosition(0);
    TMiraFrameList list(0);
    const uint64_t start = platform::ClockNs();
    list.LoadFromStream(stream, false, false, false);
    const uint64_t time = platform::ClockNs() - start;
    if (list.Count() != 1 || list.GetFrame(0)->Image.Width() != kW) State.SkipWithError("decode failed");
    benchmark::DoNotOptimize(list.GetFrame(0)->Image.PBitsReadOnly());
    return time;
}

void Label(benchmark::State& State, const std::string& File) {
    State.SetLabel(std::string(kKinds[State.range(0)]) + ", " + std::to_string(File.size() / 1024) + " KiB; PNG " +
                   std::to_string(PngFile().size() / 1024) + " KiB");
    State.SetItemsProcessed(State.iterations() * kW * kH);
}

void BM_MiraLoadFromStream(benchmark::State& State) {
    for (auto _ : State) State.SetIterationTime(double(DecodeOurs(File(State.range(0)), State)) * 1e-9);
    Label(State, File(State.range(0)));
}

void BM_LibpngReadImage(benchmark::State& State) {
    for (auto _ : State) State.SetIterationTime(double(DecodeLibpng(PngFile(), kW, kH, State)) * 1e-9);
    State.SetItemsProcessed(State.iterations() * kW * kH);
}

void BM_RatioToLibpng(benchmark::State& State) {
    uint64_t ours = 0, theirs = 0;
    for (auto _ : State) {
        ours += DecodeOurs(File(State.range(0)), State);
        theirs += DecodeLibpng(PngFile(), kW, kH, State);
    }
    State.counters["x_libpng"] = double(ours) / double(std::max<uint64_t>(theirs, 1));
    State.counters["ours_ms"] = double(ours) * 1e-6 / double(State.iterations());
    State.counters["libpng_ms"] = double(theirs) * 1e-6 / double(State.iterations());
    Label(State, File(State.range(0)));
}

}  // namespace

BENCHMARK(BM_MiraLoadFromStream)->ArgName("kind")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_LibpngReadImage)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_RatioToLibpng)->ArgName("kind")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(20);
