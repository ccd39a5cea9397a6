#pragma once
// A headless scene for film tracks: the object layer with a 64 x 48 root, an image cache of
// pictures made in memory, and films written by tools/vfilm.py.
#include "objects/vitems.h"
#include "script/services.h"
#include "tests/common/fixture.h"
#include "tests/objects/picture_source.h"
#include "text/frms_boxes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

class FilmTracks : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        VelaInitialize();
        Cache = std::make_unique<TPictureCache>();
        Bases->SetWidth(64);
        Bases->SetHeight(48);
        Bases->SetColor(0);
        Film = std::make_unique<TFilmManager>();
        Film->SetTarget(Bases);
    }
    void TearDown() override {
        Film.reset();  // the tracks hand back their objects and pictures
        Bases->Clear();
        Cache.reset();
        VelaFinalize();
        FreeScriptServices();
    }

    // The film vfilm.py writes for Tracks (JSON) at Version, its stage the root's.
    static std::string FilmBytes(const std::string& Tracks, int32_t Version) {
        const std::string json = FreshHostFolder() + "film.json";
        std::ofstream(json) << "{\"version\": " << Version << ", \"width\": 64, \"height\": 48, \"tracks\": "
                            << Tracks << "}";
        const std::string hex = PythonOutput(VELA_VFILM, {"film", json, "-", "--hex"});
        return FromHex(hex.substr(0, hex.size() - 1));
    }
    // A film read from Bytes as "C:\FILMS\OPEN.VMT", its media left unloaded.
    static std::unique_ptr<TFilmManager> Read(const std::string& Bytes) {
        auto film = std::make_unique<TFilmManager>();
        film->NoActivation = true;
        TMemoryStream stream = StreamOf(Bytes);
        film->LoadFromStream(stream, FilmName);
        return film;
    }
    static std::string Written(const TFilmManager& Film) {
        TMemoryStream stream;
        Film.SaveToStream(stream, FilmName);
        return Bytes(stream);
    }
    static constexpr const char* FilmName = "C:\\FILMS\\OPEN.VMT";
    // Each track of the fixture's film applied at T.
    void ApplyAt(int32_t T) {
        for (int32_t i = 0; i < Film->Count(); ++i) Film->GetTrack(i)->ApplyAt(T);
    }
    template <class T>
    T& Add() {
        return static_cast<T&>(Film->Add(std::make_unique<T>(*Film)));
    }

    std::unique_ptr<TPictureCache> Cache;
    std::unique_ptr<TFilmManager> Film;
};
