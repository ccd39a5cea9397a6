#pragma once
// The image cache (MiraMan): every picture scene objects, film tracks, text images and control
// parts draw from, decoded once per key into drawing surfaces (one per frame) and shared by its
// users. Each user takes an entry under an opaque token of its own and hands it back; the
// entry goes with its last user.
//
// Keys are the file name, then "?m" for the mask variant (the colour key turned into an 8-bit
// mask on every frame) and then "?t" for the trimmed variant (each frame cropped to its
// content, the crop's corner kept as the frame's offset). Keys compare without regard to case.
//
// Blend values of every image draw: 0..254 blended, 255 copied, 256..511 added with intensity
// value - 256.
#include "core/hash.h"
#include "core/header.h"
#include "core/streams.h"
#include "graphics/dibx.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class TMiraCollection;
class TMiraFrameList;

// A new picture surface: display-backed when the screen manager exists and does not draw
// through memory surfaces, else a memory surface; 1 x 1 at the screen's bits per pixel.
std::unique_ptr<TCustomDIBX> NewImageSurface();

// SrcRect of Source onto Dest at (X, Y) by the blend value: with Mask (8 bits, 0 transparent)
// the masked draws and no colour key, without it the colour key when Source has one.
void DrawBlended(TCustomDIBX& Dest, int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect,
                 TCustomDIBX* Mask, bool MirrorX, bool MirrorY, int32_t Alpha);

// One decoded frame of an entry.
class TMiraItemFrame {
public:
    TMiraItemFrame() : Surface(NewImageSurface()) {}
    TMiraItemFrame(const TMiraItemFrame&) = delete;
    TMiraItemFrame& operator=(const TMiraItemFrame&) = delete;

    std::unique_ptr<TCustomDIBX> Surface;  // its TransparentColor is the raw key, -1 none
    std::unique_ptr<TDIBX> Mask;           // 8 bits, 0 transparent .. 255 opaque; nullptr none
    int32_t TransColor = -1;               // 0x00BBGGRR, -1 none
    int32_t Delay = 0;                     // ms, at least 1 (0 only in a missing file's placeholder)
    int32_t OffsetX = 0, OffsetY = 0;      // place of the pixels in the full picture (trimmed variant)

    int32_t GetDelay() const { return Delay; }
    // An empty memory Mask when there is none.
    void NeedMask();
    // Drops the display objects of a display-backed Surface (a memory surface keeps its pixels).
    void FreeSurface();
    // SrcRect of the frame at (X, Y) by the blend value (DrawBlended with the frame's Mask).
    void Draw(TCustomDIBX& Dest, int32_t X, int32_t Y, const TRect& SrcRect, bool MirrorX, bool MirrorY,
              int32_t Alpha) const;
    // SrcRect repeated over DestRect, starting at (OffsetX, OffsetY) inside the tile; offsets
    // are taken modulo the tile size (negative ones too). The mirror flags mirror the whole
    // tiling and each piece.
    void DrawTiled(TCustomDIBX& Dest, const TRect& DestRect, const TRect& SrcRect, int32_t OffsetX, int32_t OffsetY,
                   bool MirrorX, bool MirrorY, int32_t Alpha) const;
};

// One cache entry; its Name is its key.
class TMiraItem : public THashCollectionItem {
public:
    // Takes the key and decodes the picture it names into Frames (the old frames go first). A
    // file the content test does not find gives one invisible 8 x 8 placeholder frame; errors
    // of reading and decoding pass on, leaving the frames made so far.
    void SetName(const std::string& Value) override;

    std::unordered_set<const void*> Users;
    int32_t Duration = 0;            // sum of the frames' delays (ms)
    TObjList<TMiraItemFrame> Frames;
    int32_t Width = 0, Height = 0;   // of frame 0's full picture as decoded

    int GetFrameCount() const { return Frames.Count(); }
    TMiraItemFrame* GetFrame(int Index) const { return Frames.Items(Index); }
    // Takes User off the users; the entry is freed (and leaves its collection) when none is
    // left. A token that is not a user changes nothing.
    void Release(const void* User);
    void FreeSurfaces();
    // Decodes the file again into the frames the file and the entry both have: those with a
    // colour key or alpha, or all of them when Recreate (which also makes each Surface anew).
    // Delays and sizes stay; a file no longer found or without frames keeps the old frames.
    void Reload(bool Recreate);

protected:
    // Leaves the spare list with the collection.
    void Deleting() override;

private:
    TMiraCollection& Owner() const;
    // The file name of the key and its variant flags.
    std::string FileName(bool& MaskVariant, bool& TrimVariant) const;
    // The file decoded by the collection's source, the mask variant with its colour keys
    // turned into alpha.
    std::unique_ptr<TMiraFrameList> Decode(const std::string& File, bool MaskVariant) const;
};

// Where the cache's pictures come from; tests put their own in to watch the decodes.
class TMiraSource {
public:
    virtual ~TMiraSource() = default;
    // Whether File can be read: the project's content test for a new entry, the file
    // manager's when Reloading.
    virtual bool FileExists(const std::string& File, bool Reloading);
    // Reads File through the file manager into List, decoded by its lower-cased extension.
    virtual void Load(TMiraFrameList& List, const std::string& File);
};

class TMiraCollection : public THashCollection {
public:
    TMiraCollection();
    ~TMiraCollection() override;

    std::unordered_set<TMiraItem*> Spare;  // entries without users that Purge may drop
    uint8_t ImageMode = 0;                 // 1: every frame list gets the screen's depth as ReduceBits
    uint32_t IdentCode = 0;                // the running project's identification code for the frame lists

    TMiraItem& GetItem(int Index) const { return static_cast<TMiraItem&>(Items(Index)); }
    // The entry of Name with the variants, made (and decoded) when there is none, with User on
    // its users. Errors of the decode pass on.
    TMiraItem& Acquire(const void* User, const std::string& Name, bool MaskVariant, bool TrimVariant);
    // Frees the spare entries of the four keys of Name; entries with users stay.
    void Purge(const std::string& Name);
    // A new mode decodes every entry again (the caller redraws the layers).
    void SetMode(uint8_t Value);
    // Around a loss of the display device: the surfaces go, then come back with Reload(true).
    void FreeSurfaces();
    void Reload(bool Recreate);
    // ImageMode as one byte; read only from version 101 on.
    void SaveToStream(TStream& Stream) const;
    void LoadFromStream(TStream& Stream, int32_t Version);

    TMiraSource& GetSource() const { return *Source; }
    void SetSource(std::unique_ptr<TMiraSource> Value) { Source = std::move(Value); }

    static std::string MakeKey(const std::string& Name, bool MaskVariant, bool TrimVariant);

private:
    std::unique_ptr<TMiraSource> Source;
};

// The cache of the run, made and freed by the object layer's start-up and shut-down.
extern TMiraCollection* MiraMan;
