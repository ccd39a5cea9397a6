// A 1024 x 768 photo-like picture (gradients, discs and noise from a fixed seed, a soft alpha)
// written by libpng at zlib level 6 with its adaptive filters as RGB, RGBA, an 8-bit palette and
// 8-bit grey, plain and Adam7 (argument: kind * 2 + interlaced), then decoded by TPngReadStream
// into a bitmap (and an alpha bitmap) and by libpng's png_read_image into rows of the file's own
// samples (RGB, RGBA, indices, grey). BM_RatioToLibpng decodes with both in turn in each iteration,
// so that a busy machine slows both alike, and reports our time as a multiple of libpng's
// ("x_libpng").
#include "graphics/pngpics.h"
#include "bench/photo.h"
#include "platform/clock.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kW = 1024, kH = 768;
constexpr const char* kKinds[] = {"rgb", "rgba", "palette", "grey"};


// The picture as a PNG of Kind (0 RGB, 1 RGBA, 2 palette of 3-3-2 colours, 3 grey).
std::string WritePng(int Kind, bool Interlaced) {
    static const std::vector<uint8_t> picture = MakePhotoRGBA(kW, kH);
    static const int types[] = {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA, PNG_COLOR_TYPE_PALETTE, PNG_COLOR_TYPE_GRAY};
    static const int channels[] = {3, 4, 1, 1};
    std::vector<uint8_t> samples(size_t(kW) * kH * channels[Kind]);
    for (size_t i = 0; i < size_t(kW) * kH; ++i) {
        const uint8_t* p = picture.data() + 4 * i;
        if (Kind < 2)
            std::memcpy(samples.data() + i * channels[Kind], p, size_t(channels[Kind]));
        else
            samples[i] = Kind == 2 ? uint8_t((p[0] & 0xE0) | (p[1] >> 5) << 2 | p[2] >> 6)
                                   : uint8_t((p[0] * 77 + p[1] * 150 + p[2] * 29) >> 8);
    }
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) std::abort();
    png_set_write_fn(
        png, &out, [](png_structp p, png_bytep data, png_size_t n) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), n);
        },
        nullptr);
    png_set_IHDR(png, info, kW, kH, 8, types[Kind], Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = {png_byte((i & 0xE0) | (i & 0xE0) >> 3 | i >> 6), png_byte((i & 0x1C) << 3 | (i & 0x1C) | (i & 0x1C) >> 3),
                      png_byte((i & 3) * 85)};
    if (Kind == 2) png_set_PLTE(png, info, palette, 256);
    png_set_compression_level(png, 6);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    png_write_info(png, info);
    std::vector<png_bytep> rows(kH);
    for (int y = 0; y < kH; ++y) rows[y] = samples.data() + size_t(y) * kW * channels[Kind];
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

const std::string& File(int64_t Arg) {
    static std::vector<std::string> files = [] {
        std::vector<std::string> all;
        for (int i = 0; i < 8; ++i) all.push_back(WritePng(i / 2, i % 2));
        return all;
    }();
    return files[size_t(Arg)];
}

// Our decode into a bitmap and an alpha bitmap; the nanoseconds it took.
uint64_t DecodeOurs(const std::string& File, benchmark::State& State) {
    TMemoryStream stream;
    stream.WriteBuffer(File.data(), int64_t(File.size()));
    stream.SetPosition(0);
    TDIB bitmap, alpha;
    TPngReadStream reader;
    const uint64_t start = platform::ClockNs();
    reader.LoadStream(&bitmap, &alpha, stream);
    const uint64_t time = platform::ClockNs() - start;
    benchmark::DoNotOptimize(bitmap.PBitsReadOnly());
    if (bitmap.Width() != kW || bitmap.Height() != kH) State.SkipWithError("decode failed");
    return time;
}

// libpng's decode into rows of the file's samples; the nanoseconds it took.
uint64_t DecodeLibpng(const std::string& File, benchmark::State& State) {
    struct TSource {
        const std::string* Data;
        size_t At;
    } source{&File, 0};
    std::vector<uint8_t> pixels(size_t(kW) * kH * 4);
    std::vector<png_bytep> rows(kH);
    const uint64_t start = platform::ClockNs();
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        State.SkipWithError("libpng failed");
        return 0;
    }
    png_set_read_fn(png, &source, [](png_structp p, png_bytep out, png_size_t n) {
        auto* s = static_cast<TSource*>(png_get_io_ptr(p));
        if (s->At + n > s->Data->size()) png_error(p, "short");
        std::memcpy(out, s->Data->data() + s->At, n);
        s->At += n;
    });
    png_read_info(png, info);
    if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    for (int y = 0; y < kH; ++y) rows[y] = pixels.data() + size_t(y) * rowBytes;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    const uint64_t time = platform::ClockNs() - start;
    benchmark::DoNotOptimize(pixels.data());
    return time;
}

void Label(benchmark::State& State) {
    State.SetLabel(std::string(kKinds[State.range(0) / 2]) + (State.range(0) % 2 ? " interlaced" : "") + ", " +
                   std::to_string(File(State.range(0)).size() / 1024) + " KiB");
    State.SetItemsProcessed(State.iterations() * kW * kH);
}

void BM_PngReadStream(benchmark::State& State) {
    for (auto _ : State) State.SetIterationTime(double(DecodeOurs(File(State.range(0)), State)) * 1e-9);
    Label(State);
}

void BM_LibpngReadImage(benchmark::State& State) {
    for (auto _ : State) State.SetIterationTime(double(DecodeLibpng(File(State.range(0)), State)) * 1e-9);
    Label(State);
}

void BM_RatioToLibpng(benchmark::State& State) {
    uint64_t ours = 0, theirs = 0;
    for (auto _ : State) {
        ours += DecodeOurs(File(State.range(0)), State);
        theirs += DecodeLibpng(File(State.range(0)), State);
    }
    State.counters["x_libpng"] = double(ours) / double(std::max<uint64_t>(theirs, 1));
    State.counters["ours_ms"] = double(ours) * 1e-6 / double(State.iterations());
    State.counters["libpng_ms"] = double(theirs) * 1e-6 / double(State.iterations());
    Label(State);
}

}  // namespace

BENCHMARK(BM_PngReadStream)->ArgName("kind")->DenseRange(0, 7)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_LibpngReadImage)->ArgName("kind")->DenseRange(0, 7)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_RatioToLibpng)->ArgName("kind")->DenseRange(0, 7)->Unit(benchmark::kMillisecond)->Iterations(20);
