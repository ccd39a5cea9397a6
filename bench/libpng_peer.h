#pragma once
// libpng as the peer of the image benchmarks: a photo-like picture written by libpng (level 6, its
// adaptive filters) as RGB, RGBA, an 8-bit palette or 8-bit grey, and libpng's decode of a file
// into rows of its own samples, timed.
#include "platform/clock.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// The picture (red, green, blue and alpha bytes, top row first) as a PNG of Kind (0 RGB, 1 RGBA,
// 2 palette of 3-3-2 colours, 3 grey).
inline std::string WriteLibpng(const std::vector<uint8_t>& Picture, int Width, int Height, int Kind, bool Interlaced) {
    static const int types[] = {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA, PNG_COLOR_TYPE_PALETTE, PNG_COLOR_TYPE_GRAY};
    static const int channels[] = {3, 4, 1, 1};
    std::vector<uint8_t> samples(size_t(Width) * Height * channels[Kind]);
    for (size_t i = 0; i < size_t(Width) * Height; ++i) {
        const uint8_t* p = Picture.data() + 4 * i;
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
    png_set_IHDR(png, info, Width, Height, 8, types[Kind], Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = {png_byte((i & 0xE0) | (i & 0xE0) >> 3 | i >> 6), png_byte((i & 0x1C) << 3 | (i & 0x1C) | (i & 0x1C) >> 3),
                      png_byte((i & 3) * 85)};
    if (Kind == 2) png_set_PLTE(png, info, palette, 256);
    png_set_compression_level(png, 6);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    png_write_info(png, info);
    std::vector<png_bytep> rows(Height);
    for (int y = 0; y < Height; ++y) rows[y] = samples.data() + size_t(y) * Width * channels[Kind];
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// libpng's decode of a Width x Height file into rows of the file's samples; the nanoseconds it took.
inline uint64_t DecodeLibpng(const std::string& File, int Width, int Height, benchmark::State& State) {
    struct TSource {
        const std::string* Data;
        size_t At;
    } source{&File, 0};
    std::vector<uint8_t> pixels(size_t(Width) * Height * 4);
    std::vector<png_bytep> rows(Height);
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
    for (int y = 0; y < Height; ++y) rows[y] = pixels.data() + size_t(y) * rowBytes;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    const uint64_t time = platform::ClockNs() - start;
    benchmark::DoNotOptimize(pixels.data());
    return time;
}
