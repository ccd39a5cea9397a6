// Encoding a 1024 x 768 photo-like picture (gradients, discs and noise from a fixed seed) as a PNG
// at compression level 6 with the adaptive row filters, as RGB and as RGBA, by our writer and by
// libpng's (png_set_compression_level(6), its default filter choice over all five filters).
// BM_RatioToLibpng encodes with both in turn in each iteration, so that a busy machine slows both
// alike, and reports our time as a multiple of libpng's ("x_rgb", "x_rgba") and our file size as
// a multiple of libpng's ("size_rgb", "size_rgba").
#include "bench/photo.h"
#include "graphics/pngpics.h"
#include "platform/clock.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <string>
#include <vector>

namespace {

constexpr int kW = 1024, kH = 768;

struct TPicture {
    TDIB Image, Alpha;  // Alpha holds 255 - alpha, as the writer takes it
    std::vector<uint8_t> RGB, RGBA;  // the same as rows from the top for libpng
};

TPicture MakePicture() {
    TPicture p;
    p.Image.SetSize(kW, kH, 24);
    p.Alpha.SetSize(kW, kH, 8);
    p.RGBA = MakePhotoRGBA(kW, kH);
    for (int y = 0; y < kH; ++y) {
        uint8_t* row = p.Image.ScanLine(y);
        uint8_t* alpha = p.Alpha.ScanLine(y);
        for (int x = 0; x < kW; ++x) {
            const uint8_t* rgba = &p.RGBA[(size_t(y) * kW + size_t(x)) * 4];
            row[3 * x] = rgba[2], row[3 * x + 1] = rgba[1], row[3 * x + 2] = rgba[0];
            alpha[x] = uint8_t(255 - rgba[3]);
            p.RGB.insert(p.RGB.end(), rgba, rgba + 3);
        }
    }
    return p;
}

const TPicture& Picture() {
    static const TPicture picture = MakePicture();
    return picture;
}

// Our PNG of the picture; its size in bytes.
int64_t EncodeOurs(bool WithAlpha) {
    TPngWriteStream writer;
    writer.CompressionLevel = 6;
    writer.FilterMode = 0;
    TMemoryStream out;
    writer.SaveStream(Picture().Image, WithAlpha ? &Picture().Alpha : nullptr, out);
    return out.Size();
}

// libpng's PNG of the picture at the same settings; its size in bytes (0 when it failed).
int64_t EncodeLibpng(bool WithAlpha) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<uint8_t> out;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    png_set_write_fn(
        png, &out,
        [](png_structp P, png_bytep Data, png_size_t Count) {
            auto* o = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(P));
            o->insert(o->end(), Data, Data + Count);
        },
        nullptr);
    png_set_compression_level(png, 6);
    png_set_IHDR(png, info, kW, kH, 8, WithAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const std::vector<uint8_t>& pixels = WithAlpha ? Picture().RGBA : Picture().RGB;
    const size_t stride = size_t(kW) * (WithAlpha ? 4 : 3);
    for (int y = 0; y < kH; ++y) png_write_row(png, pixels.data() + size_t(y) * stride);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return int64_t(out.size());
}

void BM_Ours(benchmark::State& State) {
    for (auto _ : State) benchmark::DoNotOptimize(EncodeOurs(State.range(0) != 0));
    State.SetItemsProcessed(State.iterations() * kW * kH);
}

void BM_Libpng(benchmark::State& State) {
    for (auto _ : State)
        if (EncodeLibpng(State.range(0) != 0) == 0) State.SkipWithError("libpng failed");
    State.SetItemsProcessed(State.iterations() * kW * kH);
}

void BM_RatioToLibpng(benchmark::State& State) {
    uint64_t ours[2] = {}, peer[2] = {};
    int64_t oursSize[2] = {}, peerSize[2] = {};
    for (auto _ : State) {
        for (int alpha = 0; alpha < 2; ++alpha) {
            uint64_t start = platform::ClockNs();
            oursSize[alpha] = EncodeOurs(alpha);
            ours[alpha] += platform::ClockNs() - start;
            start = platform::ClockNs();
            peerSize[alpha] = EncodeLibpng(alpha);
            peer[alpha] += platform::ClockNs() - start;
        }
    }
    if (peerSize[0] == 0 || peerSize[1] == 0) {
        State.SkipWithError("libpng failed");
        return;
    }
    State.counters["x_rgb"] = double(ours[0]) / double(peer[0]);
    State.counters["x_rgba"] = double(ours[1]) / double(peer[1]);
    State.counters["size_rgb"] = double(oursSize[0]) / double(peerSize[0]);
    State.counters["size_rgba"] = double(oursSize[1]) / double(peerSize[1]);
}

}  // namespace

BENCHMARK(BM_Ours)->ArgName("alpha")->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libpng)->ArgName("alpha")->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RatioToLibpng)->Unit(benchmark::kMillisecond)->Iterations(6);
