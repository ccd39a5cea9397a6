#pragma once
// The cinema: plays a ".vmt" film in a rectangle of the scene. A film with a wipe, a track kept
// for the other layer or a background colour plays in the cinema's own nested root, whose
// layers draw into that root's picture; the changed areas are copied onto the scene layer. Any
// other film plays in the scene's root with the cinema as the object its tracks hang under, and
// the cinema takes the film's size.
#include "objects/vitems.h"

#include <cstdint>
#include <memory>
#include <string>

class TFilmManager;
class TVelaCinema;

// The root of the scene inside a cinema: made without an owner, it knows its cinema.
class TVelaBaseListCinema : public TVelaBaseList {
public:
    explicit TVelaBaseListCinema(TVelaCinema& ACinema) : Cinema(ACinema) {}
    TVelaCinema& Cinema;
};

class TVelaCinema : public TVelaControl {
public:
    explicit TVelaCinema(TVelaBaseList* AOwner, bool UniqueName = true);
    ~TVelaCinema() override;
    uint8_t GetCompoType() const override { return LT_CINEMA; }

    std::string GetSource() const override { return Source; }
    // A changed source frees the film and loads the one it names, when that file exists; the
    // film then starts from its first frame. A film that fails to load leaves none, and the
    // error goes on to the caller.
    void SetSource(const std::string& S) override;
    // The frame shown, or the one a new position will show on the next step; 0 without a film.
    int32_t GetIndex() const override;
    void SetIndex(int32_t V) override;
    int32_t GetCount() const override;
    bool GetPlaying() const override;
    bool GetRepeat() const override { return Repeat; }
    void SetRepeat(bool V) override;
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override;
    void SetAnipaused(bool V) override;
    int32_t GetVolume() const override { return Volume; }
    // Negative volumes count as 0.
    void SetVolume(int32_t V) override;
    // The size of the nested scene as well.
    void SetWidth(int32_t V) override;
    void SetHeight(int32_t V) override;
    bool GetAutoscrap() const override { return AutoScrap; }
    void SetAutoscrap(bool V) override { AutoScrap = V; }
    bool GetRewindonload() const override { return RewindOnLoad; }
    void SetRewindonload(bool V) override { RewindOnLoad = V; }
    bool GetMuteonload() const override { return MuteOnLoad; }
    void SetMuteonload(bool V) override { MuteOnLoad = V; }
    std::string GetOnplayend() const override { return OnPlayEnd; }
    void SetOnplayend(const std::string& S) override { OnPlayEnd = S; }
    std::string GetOnidle() const override { return OnIdle; }
    void SetOnidle(const std::string& S) override { OnIdle = S; }

    // Plays the film on by the tick's frame time, reports its end once (or asks to be freed when
    // AutoScrap is set), steps the nested scene and passes its changed areas to the scene layer.
    bool Step() override;
    // Draws the nested scene where the scene layer is redrawn and copies it there.
    void Prepare() override;
    // Children whose name marks a system object (a film's objects) are never hit.
    TVelaObject* HitTest(TPoint P, uint32_t Mask) override;
    void FreePrivateDIBs() override;
    void MakePrivateDIBs() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

    TVelaBaseListCinema& GetOwnRoot() { return *OwnRoot; }
    TFilmManager* GetFilm() const { return Film.get(); }
    // Film time in ms.
    int32_t GetElapsed() const { return Elapsed; }
    bool GetEnded() const { return Ended; }

    static constexpr int32_t FrameRate = 60;

private:
    // Loads Source into a new film and puts it on its stage.
    void LoadFilm();
    // The film starts again from its first frame, applied on the next step.
    void Restart();
    // The frame Elapsed falls on.
    int32_t ElapsedFrame() const { return RoundFrame(Elapsed); }
    static int32_t RoundFrame(int32_t Ms);
    // Applies the film at Frame.
    void ApplyFrame(int32_t Frame);
    // The film plays in the nested root.
    bool OwnStage() const;
    // Redraws the nested scene where it or the scene layer changed, once a tick.
    void DrawOwnRoot();
    // R moved from the nested scene's coordinates to the scene's (Sign 1) or back (Sign -1).
    TRect MapRect(const TRect& R, int Sign) const;

    std::unique_ptr<TVelaBaseListCinema> OwnRoot;
    std::unique_ptr<TFilmManager> Film;
    std::string Source;
    int32_t Elapsed = 0;
    bool Repeat = false, Paused = false, AutoScrap = false;
    std::string OnPlayEnd, OnIdle;
    bool Ended = false;
    int32_t ApplyCountdown = 0;
    int32_t Volume = 1000;
    bool RewindOnLoad = false, MuteOnLoad = false;
    bool OwnDrawn = false;  // the nested scene was drawn since the last step
};
