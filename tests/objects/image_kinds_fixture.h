#pragma once
// A scene for the animated image kinds: a fake clock, a 60-frame film for ".vmt" sources, and an
// image cache whose pictures are made here: each registered name gives frames of 8 x 4 pixels
// with the delays given, frame k filled with the colour 0x10 * (k + 1) in every channel.
#include "graphics/miras.h"
#include "objects/vitemex_mira.h"
#include "objects/vitemex_tile.h"
#include "objects/vitems_kinds.h"
#include "script/params_funcs.h"
#include "script/params_parser.h"
#include "script/params_vars.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

class TFrameSource : public TMiraSource {
public:
    std::map<std::string, std::vector<int32_t>> Delays;  // by lower-case name

    bool FileExists(const std::string& File, bool) override { return Delays.count(AnsiLowerCase(File)) != 0; }
    void Load(TMiraFrameList& List, const std::string& File) override {
        int k = 0;
        for (int32_t delay : Delays.at(AnsiLowerCase(File))) {
            TMiraFrame* frame = List.AddFrame();
            frame->SetupImage(8, 4, 32, nullptr, 0);
            frame->Delay = delay;
            const uint32_t grey = 0x10 * ++k * 0x010101u;
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 8; ++x) frame->Image.SetPixel(x, y, grey);
        }
    }
};

class TImageClock : public TScriptHost {
public:
    uint32_t LoopTime() override { return Clock; }
    uint32_t FrameTime() override { return Tick; }
    uint32_t Clock = 0, Tick = 15;
};

class TSixtyFrameFilm : public TVelaFilm {
public:
    int32_t GetLength() const override { return 60; }
};

class ImageKindsTest : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        CreateParamMan();  // last-frame waits are expressions
        CreateSysFuncMan();
        auto host = std::make_unique<TImageClock>();
        Host = host.get();
        SetScriptHost(std::move(host));
        SetFilmFactory([]() -> std::unique_ptr<TVelaFilm> { return std::make_unique<TSixtyFrameFilm>(); });
        VelaInitialize();
        RegisterObjectKind(LT_IMAGES, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaImages(&Owner); });
        RegisterObjectKind(LT_TILE, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaTile(&Owner); });
        Bases->SetWidth(64);
        Bases->SetHeight(32);
        Bases->SetColor(0);
        MiraMan = new TMiraCollection();
        auto source = std::make_unique<TFrameSource>();
        Source = source.get();
        MiraMan->SetSource(std::move(source));
    }
    void TearDown() override {
        VelaFinalize();
        delete MiraMan;
        MiraMan = nullptr;
        SetFilmFactory(nullptr);
        FreeSysFuncMan();
        FreeParamMan();
        FreeScriptServices();
    }
    template <typename T>
    T* Make(uint8_t Code, const std::string& Name) {
        auto* obj = static_cast<T*>(Bases->CreateObject(Code));
        obj->SetParent(Bases->GetBase(0));
        obj->SetName(Name);
        return obj;
    }
    void Tick(uint32_t Ms) {
        Host->Clock += Ms;
        Host->Tick = Ms;
        Bases->Step();
    }
    int Queued(uint8_t Kind) {
        int n = 0;
        for (int i = 0; i < Bases->GetEvents().Count(); ++i) n += Bases->GetEvents().Items(i)->Kind == Kind;
        return n;
    }
    uint32_t Pixel(int X, int Y) {
        Bases->GetBase(0)->InvalidateAll();
        Bases->Prepare();
        return Bases->GetSurface()->GetPixel(X, Y);
    }

    TImageClock* Host = nullptr;
    TFrameSource* Source = nullptr;
};
