#pragma once
// Frame players: images that show one frame of an image list at a time and step it by the
// frames' delays (TVelaCustomImages), and the script's animated image object (TVelaImages, a
// ".mra" picture or a ".vmt" film).
//
// Frame mode steps the frames each tick, catching up over frames a long tick skipped (not with
// two frames or fewer), holds the last frame for its delay plus the last-frame wait, then loops
// (Repeat), asks to be freed (AutoScrap) or queues OnPlayEnd. Motion mode: a film drives the
// object (the control's motion) and the index and count are the film's, in 1/60 s.
#include "objects/vitemex_image.h"
#include "objects/vitemex_imagelist.h"
#include "script/params_parser.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TVelaCustomImages : public TVelaCustomImage {
public:
    using TVelaCustomImage::TVelaCustomImage;

    // The list being shown; nullptr when none.
    virtual TVelaImageList* CurrentImageList() const { return nullptr; }

    // The film's frame in motion mode, else the frame shown (-1 none).
    int32_t GetIndex() const override;
    // Motion mode: the film's time becomes V frames at 60 per second; else shows frame V.
    void SetIndex(int32_t V) override;
    int32_t GetCount() const override;
    // Grey added (positive) or taken away (negative) on the frame shown.
    int32_t GetBrightness() const override { return Brightness; }
    void SetBrightness(int32_t V) override;
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override { Paused = V; }
    // False once a non-repeating animation holds its last frame with its time used up.
    bool GetPlaying() const override;
    // Run when the last frame of a list of two or more comes up; its integer result is added to
    // that frame's time. Empty adds nothing.
    TVelaParser& GetLastFrameWait() { return LastFrameWait; }
    // Milliseconds left on the frame shown.
    int32_t GetRemaining() const { return Remaining; }

    // After the picture's step, the frame step (frame mode, visible, not paused); true when the
    // frames ran out and AutoScrap asks for the object to go.
    bool Step() override;
    void FreePrivateDIBs() override;
    void MakePrivateDIBs() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

protected:
    // The frame switch: shows frame V of the current list (nothing outside it) and adds its
    // delay to the time left; the same index changes nothing.
    void ShowFrame(int32_t V);
    // The holder of the frame shown; nullptr when none.
    TVelaImageData* ShownItem() const;
    // A frame shown is the picture to size by, never the source's name: a source that gave no
    // frames (of a kind the lists do not load, or missing) leaves the object 0 x 0, so that the
    // placeholder of its own surface is never drawn.
    bool HasPicture() const override { return ShownItem() || SurfaceOverride; }
    // Every list the object owns (their private copies follow the device).
    virtual std::vector<TVelaImageList*> OwnImageLists() const { return {}; }
    // Shows the picture of a frame, and its alpha layer, over the object's own.
    void ShowPictures(const TVelaImageData& Item);
    // Takes the lists' pictures off the object before they are let go of.
    void DropPictures();
    int32_t FrameIndex = -1;

private:
    // Run at the last frame with its time used up: loops, answers true to be freed, or queues
    // OnPlayEnd (never a second one while one is queued).
    bool FramesRanOut();

    int32_t Remaining = 0;
    int32_t Brightness = 0;
    bool Paused = false;
    TVelaParser LastFrameWait;
};

// The script's image object: one image list per image state (one here).
class TVelaImages : public TVelaCustomImages {
public:
    explicit TVelaImages(TVelaBaseList* AOwner, bool UniqueName = true);
    // Takes the cached frames off the object before the lists hand them back.
    ~TVelaImages() override;
    uint8_t GetCompoType() const override { return LT_IMAGES; }

    TVelaImageList* CurrentImageList() const override;
    // The image state shown, and how many there are.
    virtual int32_t CurrentState() const { return 0; }
    virtual int32_t StateCount() const { return 1; }

    std::string GetSource() const override { return Source; }
    // A ".mra" picture from the image cache, a ".vmt" film played on the object, or (another
    // extension) nothing at a size of 0 x 0.
    void SetSource(const std::string& S) override;
    bool GetRepeat() const override { return Repeat; }
    // On: shows frame 0 when no frame is shown, restarts a film that has finished.
    void SetRepeat(bool V) override;
    bool GetAutoscrap() const override { return Autoscrap; }
    void SetAutoscrap(bool V) override { Autoscrap = V; }
    std::string GetOnplayend() const override { return OnPlayEnd; }
    void SetOnplayend(const std::string& S) override { OnPlayEnd = S; }
    std::string GetOnidle() const override { return OnIdle; }
    void SetOnidle(const std::string& S) override { OnIdle = S; }

    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

protected:
    std::vector<TVelaImageList*> OwnImageLists() const override;
    // The list of image state S; nullptr past the lists made.
    TVelaImageList* StateList(int32_t S) const;
    std::vector<std::unique_ptr<TVelaImageList>> ImageLists;

private:
    bool Repeat = false, Autoscrap = false;
    std::string Source, OnPlayEnd, OnIdle;
};
