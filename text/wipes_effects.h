#pragma once
// Colour, slide and stretch transitions: each frame is composed from whole-picture operations of
// Dest (copies, alpha draws, saturating colour fills, shifted and stretched draws). Every Step
// recomputes its frame from Elapsed (E) and Length (L) alone, so frames may come in any order
// and repeat; before drawing it makes the whole of Dest drawable (UnionClipRect of its bounds).
// W and H are Dest's width and height, grey(n) the colour (n, n, n) as a pixel of Dest; every
// stretched draw passes blend 255 (a plain copy) unless said otherwise.
#include <memory>

#include "text/wipes.h"

class TDIBX;

// Cross-fade (alpha E * 256 div L over the old picture), the new picture sliding from the offset
// (Param[0], Param[1]) to its place.
class TWipeFade : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// The old picture brightens to white over the first half (grey(E * 511 div L) added), the new
// one comes out of white over the second.
class TWipeWhite : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// The same darkening to black (the grey subtracted).
class TWipeBlack : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// The new picture at once under a white flash that fades: grey(255 - E * 255 div L) added.
class TWipeFlash : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// The new picture pushes the old one out to the left (Reverse: to the right), W * E div L pixels.
class TWipeScrollH : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// The same upwards (Reverse: downwards).
class TWipeScrollV : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// One column smeared across: p = (2W - 1) * E div L; column p of the old picture stretched over
// columns 0..p (the rest of the old picture beside it), then from p = W on the new picture's
// column 2W - 1 - p retracting. Reverse mirrors the sweep (from the right edge).
class TWipeSudareH : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// The same over rows, from the top (Reverse: from the bottom).
class TWipeSudareV : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// As TWipeSudareH with a strip instead of one column: its width is widest at the start and end
// and one pixel at half time.
class TWipeRubberH : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

class TWipeRubberV : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// Rows turn over like slats, the top one first (Reverse: the bottom one): row i turns at angle
// E * 3pi/2 / L - (i / H) * pi/2, squeezed to cos(angle) * W about the centre, the old picture
// on the front and the new one on the back; rows not yet turning keep what Dest showed.
class TWipeTwistH : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// Columns turn over the same way, the left one first; neighbouring columns of the same height
// are drawn as one run.
class TWipeTwistV : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// Zooms into the point (Param[0], Param[1]) of the old picture over the first half and out of
// the same point of the new one over the second.
class TWipeZoomin : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// Pixelate, cross-fade coarse, de-pixelate: each picture is shrunk into WorkSurface and blown up
// over Dest, the blocks growing from about 4 to about 43 pixels and back.
class TWipeMosaic : public TCustomWipe {
public:
    // WorkSurface gets Dest's width, height and bit count.
    TWipeMosaic(TCustomDIBX& ADest, TCustomDIBX& AOldPicture, TCustomDIBX& ANewPicture);
    ~TWipeMosaic() override;

    std::unique_ptr<TDIBX> WorkSurface;

    bool Step() override;
};
