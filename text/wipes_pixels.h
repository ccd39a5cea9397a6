#pragma once
// Per-pixel effect transitions: the spotlight ring, the mask-image flares, the blurs, the
// shrinking and growing pictures, the ripple and the crumbling picture. What depends only on
// the surfaces or parameters (distance, angle and flare tables, blurred copies, difference
// masks, the order of the pieces) is built before the first Step; Step only reads it.
//
// The per-pixel loops (spotlight, flares, ripple) work on locked memory at 8, 15, 16, 24 and 32
// bits and need OldPicture and NewPicture of Dest's size and bit count; otherwise they draw
// nothing. Their grey is added (or subtracted) per channel with saturation: GreyRamp16 at 15
// and 16 bits, GreyRamp32 at 32 bits, (i, i, i) per byte at 24 bits; at 8 bits the picture's
// own pixel shows without grey.
//
// W and H are Dest's width and height, E and L Elapsed and Length, nearest() rounds halves to
// even and Hypot(a, b) is the square root of a^2 + b^2.
#include <cstdint>
#include <memory>
#include <vector>

#include "text/wipes.h"
#include "text/wipes_mask.h"

class TDIBX;

// Mask := 255 where pictures A and B differ, 0 where they are equal, over the area all three
// share: whole double words at 32 bits, three bytes at 24, words at 15 and 16. Pictures of other
// depths, or of two different depths, leave the mask unchanged.
void BuildDifferenceMask(TCustomDIBX& Mask, TCustomDIBX& A, TCustomDIBX& B);

// A bright ring spreading from the centre (Reverse: from the corners): pixel of distance d at
// level k = E * MaxLevel div L lies in the ring while d <= k < d + 512, brightening to white over
// 256 levels, switching to the new picture at full white and coming back over the next 256.
class TWipeSpot : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    // d = nearest(Hypot(x - W div 2, y - H div 2)) per pixel, row by row, or R - d when
    // reversed, R being nearest(Hypot(W div 2, H div 2)).
    std::vector<int32_t> DistanceTable;
    int32_t MaxLevel = 0;  // R + 512

    // Stores Reverse and builds the table.
    void SetReverse(bool Value) override;
    bool Step() override;
};

// Pixels flare to white one by one in the order of a grey mask image (bright first), switching
// to the new picture at full white; a pixel of grey g flares from k = 512 - g to k = 1022 - g
// for k = E * 768 div L + 255. Without an image every pixel flares together in the last third.
class TWipeShadowWhite : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    TWipeThresholds Thresholds;  // per Dest pixel
    uint16_t FlareTable[1024] = {};   // 0 up to 255, i - 256 up to 767, then 511

    // Reads the mask image MaskName (inverted when Reverse) as TWipeShadow does.
    void Prepare() override;
    bool Step() override;

protected:
    // Whether the flare subtracts the grey (through black).
    virtual bool Darkens() const { return false; }
};

// The same through black.
class TWipeShadowBlack : public TWipeShadowWhite {
public:
    using TWipeShadowWhite::TWipeShadowWhite;

protected:
    bool Darkens() const override { return true; }
};

// The old picture shrinks into the centre while it fades and turns Param[0] / 256 of a full
// turn (the other way when Reverse). With ChangedOnly only the pixels that differ from the new
// picture move.
class TWipeSmall : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    ~TWipeSmall() override;
    std::unique_ptr<TDIBX> DifferenceMask;  // only with ChangedOnly

    void Prepare() override;
    bool Step() override;
};

// The new picture grows out of the centre while it turns back to upright.
class TWipeBig : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    ~TWipeBig() override;
    std::unique_ptr<TDIBX> DifferenceMask;

    void Prepare() override;
    bool Step() override;
};

// A ripple front spreading from the centre: inside a band of WaveTable's length the new
// picture shows displaced along the radius by the wave (Param[0] pixels at most); the old
// picture lies beyond the front, the new one behind the band. One quarter is computed and
// mirrored into the four. Reverse has no effect.
class TWipeRipple : public TCustomWipe {
public:
    // Builds the quarter tables for Dest's size and the wave for amplitude 5.
    TWipeRipple(TCustomDIBX& ADest, TCustomDIBX& AOldPicture, TCustomDIBX& ANewPicture);

    // Over the top-left quarter (W div 2 x H div 2, row by row): the rounded distance from the
    // centre, and the direction from it as cosine and sine with 16 fraction bits.
    std::vector<uint16_t> DistanceTable;
    std::vector<int32_t> CosTable, SinTable;
    // min(W div 2, H div 2) * 2 div 3 entries: four sawtooth teeth (i mod q) * Param[0] div q
    // for q = entries div 4; all 0 when q is 0.
    std::vector<int32_t> WaveTable;

    // Param[0] also rebuilds the wave.
    void SetParam(int32_t Index, int32_t Value) override;
    bool Step() override;

private:
    void BuildWave(int32_t Amplitude);
};

// Blur the old picture, flare it to white, come back from white on the blurred new picture and
// sharpen it. The grey peaks at 252, so the white is not complete. The pictures are blurred when
// the transition is created, with radius min(W, H) div 20; 15- and 16-bit pictures are blurred
// at 24 bits and brought back to their own depth.
class TWipeBlurWhite : public TCustomWipe {
public:
    TWipeBlurWhite(TCustomDIBX& ADest, TCustomDIBX& AOldPicture, TCustomDIBX& ANewPicture);
    ~TWipeBlurWhite() override;

    std::unique_ptr<TDIBX> BlurredOld, BlurredNew;

    bool Step() override;

protected:
    virtual bool Darkens() const { return false; }
};

// The same through black.
class TWipeBlurBlack : public TWipeBlurWhite {
public:
    using TWipeBlurWhite::TWipeBlurWhite;

protected:
    bool Darkens() const override { return true; }
};

class TWipeCrack;

// One square piece of the crumbling picture: the old picture's square at (Column, Row) in
// pieces of Param[0] pixels.
class TWipeCrackDraw {
public:
    TWipeCrack* Owner = nullptr;
    int32_t Column = 0, Row = 0;
    int32_t Start = 0;  // crack time the piece starts to move
    int32_t Speed = 0;  // horizontal pixels per 100 units of crack time
    // 0 nothing to draw, 1 the whole square, 2 the square through the owner's mask.
    uint8_t Kind = 0;

    // Draws the piece at crack time T: at home before Start, then drifting sideways by
    // Speed * dt div 100 while it rises (112 pixels at most, at dt = 150) and falls ever faster
    // (dt * (5 dt - 1500) div 1000 below home). True when it has fallen below Dest.
    bool Draw(int32_t T);
};

// The old picture breaks into squares of Param[0] pixels (at least 16) that jump and fall away
// one after another, Param[1] units of crack time apart (at least 0), in an order drawn from the
// shared generator. With ChangedOnly only what differs from the new picture falls. Pieces leave
// as they fall, so frames must come with Elapsed never decreasing.
class TWipeCrack : public TCustomWipe {
public:
    TWipeCrack(TCustomDIBX& ADest, TCustomDIBX& AOldPicture, TCustomDIBX& ANewPicture);
    ~TWipeCrack() override;

    std::vector<std::unique_ptr<TWipeCrackDraw>> Pieces;  // a fallen piece leaves nullptr
    int32_t FallTime = 0;                                 // crack time a piece needs to fall out of sight
    int32_t LastStart = 0;                                // start of the last piece
    std::unique_ptr<TDIBX> Mask;

    // Clamps the parameters, builds the mask and draws the order of the pieces.
    void Prepare() override;
    bool Step() override;

private:
    uint8_t PieceKind(int32_t X, int32_t Y) const;
};
