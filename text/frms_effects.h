#pragma once
// Particle tracks, which drive a particle emitter (its bounds, alpha, sprite, motion kind, three
// parameters and spawn ranges), and fire tracks, which drive a fire (its place, field size,
// magnification and power). A chain of tracks of one of these kinds shares one object: the
// chain's first track makes it, the later ones drive it, and it goes once the time leaves a track
// that no other continues.
#include "text/frms_boxes.h"

#include <cstdint>
#include <string>
#include <vector>

// The rectangle tracks whose chain shares the first track's object.
class TSharedRectFrameList : public TRectFrameList {
public:
    using TRectFrameList::TRectFrameList;

    // The chain's object: a continued track lets go of any object of its own and answers the
    // first track's.
    TVelaObject* GetObject() const override;
    // Lets go of the chain's object.
    void Release() override;

protected:
    // The chain's first track: up the parents of the same kind.
    TSharedRectFrameList& ChainHead();
    const TSharedRectFrameList& ChainHead() const;
    // Outside the track: unless in motion mode, the chain's last track lets go of the chain's
    // object when T lies outside the whole chain; false. Inside: makes the chain's object unless in motion mode, and
    // answers the control to drive (the chain's object or the motion target; nullptr none).
    bool Enter(int32_t T, TVelaControl*& Target);
    // A new object of the kind on the chain's first track.
    virtual TVelaControl* NewObject(TVelaBaseList& Root) const = 0;
};

// Kind 6: a particle emitter. Alpha 0 stands for 255.
class TParticleFrameList : public TSharedRectFrameList {
public:
    // One frame, one tick, begin and end size the film's stage.
    explicit TParticleFrameList(TFilmManager& Film);
    // Frees the emitter's sprite film, then lets go of the emitter.
    ~TParticleFrameList() override;

    uint8_t GetKind() const override { return FK_PARTICLE; }
    // The sprite (".mra" picture or ".vmt" film); another name lets go of the emitter.
    std::string GetFileName() const override { return Sprite; }
    void SetFileName(const std::string& S) override;
    // Alpha, Center, Spread and Emit1..Emit4.
    int32_t GetInt(TTrackProp Prop, bool End) const override;
    void SetInt(TTrackProp Prop, bool End, int32_t Value) override;
    // Param1..Param3.
    double GetFloat(TTrackProp Prop, bool End) const override;
    void SetFloat(TTrackProp Prop, bool End, double Value) override;
    // Emit1 and Emit2 have modes of their own.
    uint8_t GetMode(TTrackProp Prop, int Axis = 0) const override;
    void SetMode(TTrackProp Prop, int Axis, uint8_t Value) override;

    bool ApplyAt(int32_t T) override;
    // The sprite, and the media of a sprite film.
    void CollectFileNames(std::vector<std::string>& List) override;
    void SaveToStream(TStream& Stream, const std::string& BaseFolder) const override;
    void LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) override;

    uint8_t PartMotion = 0;
    int32_t PartIndex = 0;

protected:
    TVelaControl* NewObject(TVelaBaseList& Root) const override;

private:
    std::string Sprite;
    int32_t Alpha[2]{0, 0}, Center[2]{100, 100}, Spread[2]{1, 1};
    int32_t Emit[4][2]{{0, 0}, {0, 0}, {1, 1}, {1, 1}};
    uint8_t EmitMode[2]{0, 0};
    double Param[3][2]{};
};

// Kind 7: a fire.
class TFireFrameList : public TSharedRectFrameList {
public:
    // One frame, one tick, a field a quarter of the stage wide and 30 high.
    explicit TFireFrameList(TFilmManager& Film);

    uint8_t GetKind() const override { return FK_FIRE; }
    // ZoomX and ZoomY, each with its mode.
    double GetFloat(TTrackProp Prop, bool End) const override;
    void SetFloat(TTrackProp Prop, bool End, double Value) override;
    uint8_t GetMode(TTrackProp Prop, int Axis = 0) const override;
    void SetMode(TTrackProp Prop, int Axis, uint8_t Value) override;

    bool ApplyAt(int32_t T) override;
    void SaveToStream(TStream& Stream, const std::string& BaseFolder) const override;
    void LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) override;

    int32_t Power = 100;

protected:
    TVelaControl* NewObject(TVelaBaseList& Root) const override;

private:
    double Zoom[2][2]{{4, 4}, {4, 4}};  // x then y, begin then end
    uint8_t ZoomMode[2]{0, 0};
};
