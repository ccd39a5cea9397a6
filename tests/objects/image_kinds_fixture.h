#pragma once
// A scene for the animated image kinds: a fake clock, a 60-frame film for ".vmt" sources, the
// variable table that last-frame waits run against, and an image cache of pictures made in
// memory (tests/objects/picture_source.h).
#include "core/streams.h"
#include "objects/vitemex_tile.h"
#include "objects/vitems_kinds.h"
#include "script/params_funcs.h"
#include "script/params_vars.h"
#include "tests/common/fixture.h"
#include "tests/objects/picture_source.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

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
        CreateParamMan();
        CreateSysFuncMan();
        auto host = std::make_unique<TImageClock>();
        Host = host.get();
        SetScriptHost(std::move(host));
        VelaInitialize();
        SetFilmFactory([]() -> std::unique_ptr<TVelaFilm> { return std::make_unique<TSixtyFrameFilm>(); });
        Cache = std::make_unique<TPictureCache>();
        RegisterObjectKind(LT_IMAGES, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaImages(&Owner); });
        Bases->SetWidth(64);
        Bases->SetHeight(32);
        Bases->SetColor(0);
    }
    void TearDown() override {
        Bases->Clear();  // the objects hand their pictures back to the test's cache
        Cache.reset();
        VelaFinalize();
        SetFilmFactory(nullptr);
        FreeSysFuncMan();
        FreeParamMan();
        FreeScriptServices();
    }
    template <typename T>
    T* Make(const std::string& Name) {
        auto* obj = new T(Bases);
        obj->SetParent(Bases->GetBase(0));
        obj->SetName(Name);
        return obj;
    }
    void Tick(uint32_t Ms) {
        Host->Clock += Ms;
        Host->Tick = Ms;
        Bases->Step();
    }
    uint32_t Pixel(int X, int Y) {
        Bases->GetBase(0)->InvalidateAll();
        Bases->Prepare();
        return Bases->GetSurface()->GetPixel(X, Y);
    }
    // Each version's record of Kind (tests/tools/image_kind_records.py) reads to its end into a
    // new T, which saves the newest form of what that version holds.
    template <typename T>
    static void ExpectRecords(const std::string& Kind) {
        const std::vector<ReferenceRecord> records = ReferenceRecords("image_kind_records.py", {Kind});
        for (const ReferenceRecord& r : records) {
            SCOPED_TRACE(r.version);
            T loaded(Bases);
            ExpectReadsAsReferenced(loaded, r);
        }
        EXPECT_EQ(records.size(), 7u);  // each side of every gate
    }

    TImageClock* Host = nullptr;
    std::unique_ptr<TPictureCache> Cache;
};
