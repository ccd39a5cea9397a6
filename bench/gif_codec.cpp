// A 1024 x 768 animation of 30 frames (the photo-like picture in 3-3-2 colour indices, moved a few
// pixels per frame, on one 256-colour global table) written by giflib's EGifSpew, then decoded by
// our reader and by giflib's DGifSlurp, and encoded again from the same frames by our LZW writer
// and by EGifSpew. BM_RatioToGiflib runs both sides of each job in turn in every iteration, so that
// a busy machine slows both alike, and reports our time as a multiple of giflib's ("x_giflib").
#include "bench/photo.h"
#include "graphics/gifpics.h"
#include "platform/clock.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kW = 1024, kH = 768, kFrames = 30;

using TFrames = std::vector<std::vector<uint8_t>>;

const TFrames& Frames() {
    static const TFrames frames = [] {
        const std::vector<uint8_t> photo = MakePhotoRGBA(kW, kH);
        TFrames all;
        for (int f = 0; f < kFrames; ++f) {
            std::vector<uint8_t> indices(size_t(kW) * kH);
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) {
                    const uint8_t* p = &photo[(size_t(y) * kW + size_t((x + 7 * f) % kW)) * 4];
                    indices[size_t(y) * kW + size_t(x)] = uint8_t((p[0] & 0xE0) | (p[1] & 0xE0) >> 3 | p[2] >> 6);
                }
            all.push_back(std::move(indices));
        }
        return all;
    }();
    return frames;
}

GifColorType Color332(int I) {
    return {uint8_t((I >> 5) * 255 / 7), uint8_t((I >> 2 & 7) * 255 / 7), uint8_t((I & 3) * 255 / 3)};
}

// giflib's encode of the frames; the nanoseconds EGifSpew took.
uint64_t EncodeGiflib(std::string& Out) {
    Out.clear();
    const TFrames& frames = Frames();
    int error = 0;
    GifFileType* gif = EGifOpen(&Out, [](GifFileType* g, const GifByteType* data, int n) {
        static_cast<std::string*>(g->UserData)->append(reinterpret_cast<const char*>(data), size_t(n));
        return n;
    }, &error);
    gif->SWidth = kW;
    gif->SHeight = kH;
    gif->SColorResolution = 8;
    gif->SBackGroundColor = 0;
    gif->SColorMap = GifMakeMapObject(256, nullptr);
    for (int i = 0; i < 256; ++i) gif->SColorMap->Colors[i] = Color332(i);
    for (const auto& indices : frames) {
        SavedImage* image = GifMakeSavedImage(gif, nullptr);
        image->ImageDesc = {0, 0, kW, kH, false, nullptr};
        image->RasterBits = static_cast<GifByteType*>(malloc(indices.size()));
        std::memcpy(image->RasterBits, indices.data(), indices.size());
    }
    const uint64_t start = platform::ClockNs();
    EGifSpew(gif);
    return platform::ClockNs() - start;
}

const std::string& GifFile() {
    static const std::string file = [] {
        std::string out;
        EncodeGiflib(out);
        return out;
    }();
    return file;
}

uint64_t DecodeGiflib(benchmark::State& State) {
    struct TSource {
        const std::string* Data;
        size_t At;
    } source{&GifFile(), 0};
    int error = 0;
    const uint64_t start = platform::ClockNs();
    GifFileType* gif = DGifOpen(&source, [](GifFileType* g, GifByteType* out, int n) {
        auto* s = static_cast<TSource*>(g->UserData);
        const size_t count = std::min<size_t>(size_t(n), s->Data->size() - s->At);
        std::memcpy(out, s->Data->data() + s->At, count);
        s->At += count;
        return int(count);
    }, &error);
    if (DGifSlurp(gif) != GIF_OK || gif->ImageCount != kFrames) State.SkipWithError("giflib decode failed");
    benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
    DGifCloseFile(gif, &error);
    return platform::ClockNs() - start;
}

uint64_t DecodeOurs(benchmark::State& State) {
    TMemoryStream stream;
    stream.WriteBuffer(GifFile().data(), int64_t(GifFile().size()));
    stream.SetPosition(0);
    const uint64_t start = platform::ClockNs();
    {
        gif::TGifImage image;
        image.Read(stream);
        if (image.Images().Count() != kFrames || image.Images()[kFrames - 1].Data != Frames()[kFrames - 1])
            State.SkipWithError("decode failed");
    }
    return platform::ClockNs() - start;
}

// Our image of the same frames, made once; the encode writes it.
gif::TGifImage& OurImage() {
    static gif::TGifImage* image = [] {
        auto* made = new gif::TGifImage;
        made->Header().Width = kW;
        made->Header().Height = kH;
        for (int i = 0; i < 256; ++i) {
            const GifColorType c = Color332(i);
            made->Header().ColorMap().Add({c.Red, c.Green, c.Blue});
        }
        for (const auto& indices : Frames()) {
            auto* frame = made->Images().Add(std::make_unique<gif::TGifFrame>(made));
            frame->SetSize(kW, kH);
            frame->Data = indices;
        }
        return made;
    }();
    return *image;
}

uint64_t EncodeOurs(std::string& Out) {
    gif::TGifImage& image = OurImage();
    const uint64_t start = platform::ClockNs();
    TMemoryStream stream;
    image.Write(stream);
    const uint64_t time = platform::ClockNs() - start;
    Out.assign(reinterpret_cast<const char*>(stream.Memory()), size_t(stream.Size()));
    return time;
}

void Label(benchmark::State& State) {
    State.SetLabel(std::to_string(kFrames) + " frames, giflib's file " + std::to_string(GifFile().size() / 1024) +
                   " KiB");
    State.SetItemsProcessed(State.iterations() * kW * kH * kFrames);
}

void BM_RatioToGiflib_Decode(benchmark::State& State) {
    uint64_t ours = 0, theirs = 0;
    for (auto _ : State) {
        ours += DecodeOurs(State);
        theirs += DecodeGiflib(State);
    }
    State.counters["x_giflib"] = double(ours) / double(std::max<uint64_t>(theirs, 1));
    State.counters["ours_ms"] = double(ours) * 1e-6 / double(State.iterations());
    State.counters["giflib_ms"] = double(theirs) * 1e-6 / double(State.iterations());
    Label(State);
}

void BM_RatioToGiflib_Encode(benchmark::State& State) {
    uint64_t ours = 0, theirs = 0;
    std::string a, b;
    for (auto _ : State) {
        ours += EncodeOurs(a);
        theirs += EncodeGiflib(b);
    }
    State.counters["x_giflib"] = double(ours) / double(std::max<uint64_t>(theirs, 1));
    State.counters["ours_ms"] = double(ours) * 1e-6 / double(State.iterations());
    State.counters["giflib_ms"] = double(theirs) * 1e-6 / double(State.iterations());
    State.counters["size_x_giflib"] = double(a.size()) / double(std::max<size_t>(b.size(), 1));
    Label(State);
}

}  // namespace

BENCHMARK(BM_RatioToGiflib_Decode)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_RatioToGiflib_Encode)->Unit(benchmark::kMillisecond)->Iterations(10);
