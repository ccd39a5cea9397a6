#pragma once
// Screen transitions ("wipes"): the picture shown while the object root flips from one layer to
// the other. A transition draws into Dest between OldPicture (shown at the start) and
// NewPicture (shown at the end); it never owns the three surfaces.
//
// Calling order: CreateWipe; the root stores Length and calls SetReverse; the caller may
// override the parameters (SetParam), give a mask image name (SetName) and set ChangedOnly,
// then calls Prepare once; every tick it sets Elapsed (0 or above), presents UpdateRect and
// calls Step. Progress is Elapsed against Length in the caller's unit; the integer formulas
// multiply first, then divide by Length, truncating, in 32-bit arithmetic. No easing.
//
// Every Step first sets UpdateRect to Dest's bounds; with Length <= Elapsed it draws nothing
// and answers finished (true); so does a Length of 0 or below, so no Step divides by it.
#include "core/header.h"

#include <cstdint>
#include <memory>
#include <string>

class TCustomDIBX;

class TCustomWipe {
public:
    // All other fields start zero or empty. Subclasses allocate here what depends only on the
    // three surfaces.
    TCustomWipe(TCustomDIBX& ADest, TCustomDIBX& AOldPicture, TCustomDIBX& ANewPicture);
    TCustomWipe(const TCustomWipe&) = delete;
    TCustomWipe& operator=(const TCustomWipe&) = delete;
    virtual ~TCustomWipe() = default;

    bool Reverse = false;      // direction; each transition says what it reverses
    std::string MaskName;      // mask image in the file system (mask-image transitions only)
    bool ChangedOnly = false;  // the shrinking, growing and crumbling kinds move changed pixels only
    TCustomDIBX* Dest;
    TCustomDIBX* OldPicture;
    TCustomDIBX* NewPicture;
    int32_t Length = 0;
    int32_t Elapsed = 0;
    int32_t Param[2] = {0, 0};
    TRect UpdateRect{0, 0, 0, 0};

    virtual void SetReverse(bool Value);
    // Param[Index]; 0 for an index other than 0 and 1.
    virtual int32_t GetParam(int32_t Index) const;
    // Stores Param[Index]; other indexes are ignored. Overridden where a parameter is clamped or
    // has derived state.
    virtual void SetParam(int32_t Index, int32_t Value);
    virtual void SetName(const std::string& Name);
    // Builds what depends on the parameters, name and flag; may raise (a mask image that does
    // not decode), and the transition must then not be stepped.
    virtual void Prepare() {}
    // Draws the picture for Elapsed into Dest; true when finished. The base draws nothing.
    virtual bool Step();

protected:
    // The common start of every Step: UpdateRect := Dest's bounds; whether Length <= Elapsed.
    bool StepFinished();
};

// The transition of a type of the catalogue (1..38, TWipeType), created on the three surfaces,
// then given the type's two default parameters through its own SetParam. nullptr for type 0,
// a type outside 1..38 and a type whose class is not built in.
std::unique_ptr<TCustomWipe> CreateWipe(int32_t Type, TCustomDIBX& Dest, TCustomDIBX& OldPicture,
                                        TCustomDIBX& NewPicture);
