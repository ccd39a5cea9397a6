#pragma once
// Mask transitions: an 8-bit mask as wide as Dest says per pixel how much of the new picture
// shows (0 old, 255 new, between a blend). Each rule only decides how its mask looks at a
// level; TWipeMask rebuilds the mask when the level changes and composes the two pictures
// through it, mask row y mod GetMaskLines serving picture row y (a short mask repeats down the
// picture).
//
// The ramp rule of the stripe, curtain and grid masks: an element whose delay d is at most the
// level gets min(255, (level - d) * 255 div Param[1]), one whose delay is above it gets 0;
// Param[1] is the softness (levels from 0 to 255), and HardEdge is set when it is below 2.
#include "text/wipes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TDIBX;

// Grey - 255 per pixel of the mask image LoadWipeMaskImage reads (-255 everywhere when it has
// none), row by row.
struct TWipeThresholds {
    std::vector<int32_t> Values;

    void Load(int32_t Width, int32_t Height, const std::string& Name, bool Negative);
};

class TWipeMask : public TCustomWipe {
public:
    // Mask starts empty and LastLevel at -1.
    TWipeMask(TCustomDIBX& ADest, TCustomDIBX& AOldPicture, TCustomDIBX& ANewPicture);
    ~TWipeMask() override;

    std::unique_ptr<TDIBX> Mask;
    int32_t LastLevel = -1;  // level of the mask last built
    bool HardEdge = false;   // every mask value is 0 or 255: pixels are copied, not blended

    // Param[0] := max(Value, 2), Param[1] := max(Value, 1).
    void SetParam(int32_t Index, int32_t Value) override;
    // Mask := Dest's width x GetMaskLines at 8 bits, all 0. Overrides call this first.
    void Prepare() override;
    // Rebuilds the mask; when it changed composes Dest: m = 0 the old pixel, 255 the new one,
    // between (new * m + old * (255 - m)) shr 8 per channel (per bit field at 15 and 16 bits,
    // the 16-bit red field at one bit less precision); with HardEdge any m above 0 is the new
    // pixel. Answers false until finished; an unchanged mask draws nothing.
    bool Step() override;
    // Rebuilds the mask for Elapsed; false (the mask untouched) when its level did not change.
    virtual bool BuildMask() { return false; }
    // Rows of the mask; the base: Dest's height.
    virtual int32_t GetMaskLines() const;

protected:
    // Elapsed * Scale div Length, worked out in 64 bits and kept within 0 .. the int32 maximum.
    int32_t Level(int64_t Scale) const;
    // The ramp rule's value for an element of delay Delay at Level.
    int32_t RampValue(int32_t Level, int64_t Delay) const;
    // Whether Level equals LastLevel; else stores it.
    bool SameLevel(int32_t Level);

private:
    void ComposePacked();
    void ComposeDrawMask();
};

// Vertical stripes of Param[0] columns opening sideways: level = Elapsed * ((P0 - 1) * 2 + P1)
// div Length; column x has delay 2 * (x mod P0) (reversed 2 * (P0 - 1 - x mod P0)). One row.
class TWipeBlindH : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    bool BuildMask() override;
    int32_t GetMaskLines() const override { return 1; }
};

// Horizontal stripes of Param[0] rows opening downwards: row y of the stripe has delay 2 * y
// (reversed 2 * (P0 - 1 - y)); the mask is one stripe high, at most the surface's height.
class TWipeBlindV : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    bool BuildMask() override;
    int32_t GetMaskLines() const override;
};

// Groups of Param[0] columns opening in a staggered sweep: G groups, level = Elapsed *
// ((G - 1 + P0 - 1) * 16 + P1) div Length; column i (W - 1 - x reversed) has delay
// (i div P0 + i mod P0) * 16. Both parameters are at least 1. One row.
class TWipeOrderHMask : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    void SetParam(int32_t Index, int32_t Value) override;
    bool BuildMask() override;
    int32_t GetMaskLines() const override { return 1; }

protected:
    // Writes the value of element i (of Count along the sweep) into the mask.
    virtual void SetElement(int32_t Index, uint8_t Value);
    virtual int32_t ElementCount() const;
};

// The same over rows, each mask row filled with its value.
class TWipeOrderVMask : public TWipeOrderHMask {
public:
    using TWipeOrderHMask::TWipeOrderHMask;
    int32_t GetMaskLines() const override;

protected:
    void SetElement(int32_t Index, uint8_t Value) override;
    int32_t ElementCount() const override;
};

class TWipeCurtainH : public TWipeOrderHMask {
public:
    using TWipeOrderHMask::TWipeOrderHMask;
};

class TWipeCurtainV : public TWipeOrderVMask {
public:
    using TWipeOrderVMask::TWipeOrderVMask;
};

// Square cells of Param[0] pixels growing from their centres while they brighten, ranked by
// their distance from the top-left cell (nearest(Hypot(cx, cy)); reversed from the bottom-right
// one); level = Elapsed * ((N - 1) * 4 + P1) div Length for N ranks, delay 4 * rank.
class TWipeGrid : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    bool BuildMask() override;

protected:
    // The number of ranks over Columns x Rows cells, and the rank of cell (X, Y).
    virtual int32_t RankCount(int32_t Columns, int32_t Rows) const;
    virtual int32_t CellRank(int32_t X, int32_t Y, int32_t Columns, int32_t Rows) const;
};

// Cells ranked by column; the mask is one row of cells high (at most Dest's height).
class TWipeGridH : public TWipeGrid {
public:
    using TWipeGrid::TWipeGrid;
    int32_t GetMaskLines() const override;

protected:
    int32_t RankCount(int32_t Columns, int32_t Rows) const override;
    int32_t CellRank(int32_t X, int32_t Y, int32_t Columns, int32_t Rows) const override;
};

// Cells ranked by row.
class TWipeGridV : public TWipeGrid {
public:
    using TWipeGrid::TWipeGrid;

protected:
    int32_t RankCount(int32_t Columns, int32_t Rows) const override;
    int32_t CellRank(int32_t X, int32_t Y, int32_t Columns, int32_t Rows) const override;
};

// Random dots in a fixed 64 x 64 tile: the order is the seeded generator's draws (seed 12341,
// pool 4096); level k = (Elapsed shl 12) div Length; the first k dots show the new picture.
// Always a hard edge; Reverse has no effect.
class TWipeDither : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    std::vector<int32_t> Dots;  // the dot order, as positions row * 64 + column in the tile

    void Prepare() override;
    bool BuildMask() override;
    int32_t GetMaskLines() const override { return 64; }
};

// Pixels switch in the order of a grey mask image (bright first, each over 256 levels):
// mask = clamp(k + g - 511, 0, 255) for k = (Elapsed shl 9) div Length + 255 and the image's
// grey g (inverted when Reverse). Without an image g is 0 everywhere and the whole picture
// cross-fades in the second half of the time.
class TWipeShadow : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    TWipeThresholds Thresholds;  // per Dest pixel

    void Prepare() override;
    bool BuildMask() override;
};

// A clock hand sweeping from Param[0] degrees (0 up, clockwise on the screen; anticlockwise
// when Reverse): the swept sector shows the new picture.
class TWipeClockhand : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    double LastAngle = 0;
    double StartAngle = 0;

    // Param[0] unclamped; it also sets StartAngle and LastAngle.
    void SetParam(int32_t Index, int32_t Value) override;
    bool BuildMask() override;
};

// A fan opening both ways around Param[0] degrees to a full turn. Reverse has no effect.
class TWipeFan : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    double LastAngle = 0;

    // Param[0] unclamped; it also sets LastAngle to the centre direction.
    void SetParam(int32_t Index, int32_t Value) override;
    bool BuildMask() override;
};

// Two opposite fans around Param[0] degrees, each opening to half a turn.
class TWipeWFan : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    double LastAngle = 0;

    void SetParam(int32_t Index, int32_t Value) override;
    bool BuildMask() override;
};

// A disc growing from the centre to the corners (reversed: the old picture shrinking into it).
class TWipeCircle : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    int32_t LastRadius = 0;

    bool BuildMask() override;
};

// Blocks of Param[0] pixels (at least 10, at most the surface) appearing along a clockwise
// spiral inwards from the top-left corner (reversed: outwards from the centre).
class TWipeBlockCoil : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    int32_t LastBlock = -1;
    std::vector<TRect> Blocks;  // in the order they appear

    void SetParam(int32_t Index, int32_t Value) override;
    void Prepare() override;
    bool BuildMask() override;
};

// Blocks of Param[0] pixels appearing in an order drawn from the shared generator.
class TWipeBlockRandom : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    int32_t LastBlock = -1;
    std::vector<TRect> Blocks;

    void SetParam(int32_t Index, int32_t Value) override;
    void Prepare() override;
    bool BuildMask() override;
};

// Makes Grey a Width x Height 8-bit surface with a grey colour table, all 0; when the project
// holds the image Name (read through the file manager, decoded by its lower-cased extension),
// its first frame, inverted when Negative, is tiled over Grey from the top-left corner, each
// pixel becoming the nearest grey. A missing image (or an empty name, or an image 0 pixels
// wide or high) tiles nothing; one that exists but does not decode raises the loader's error.
void LoadWipeMaskImage(TDIBX& Grey, int32_t Width, int32_t Height, const std::string& Name, bool Negative);

