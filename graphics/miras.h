#pragma once
// The frame list: the in-memory form of a layered, animated picture. Each frame is a stack of
// layers of one size and depth composed over the background colour into the frame image (with an
// optional 8-bit alpha surface). Pictures are read from Mira files (".mra") and, as one-frame
// lists, from PNG and BMP/DIB files; frames are copied into drawing surfaces from here.
//
// Colours are $00BBGGRR (red low); pixel values are raw values of the frame image.
#include "core/header.h"
#include "core/streams.h"
#include "graphics/dibsfc.h"
#include "graphics/dibx.h"

#include <cstdint>
#include <string>
#include <vector>

class TMiraFrame;
class TMiraFrameList;

class TMiraLayer {
public:
    explicit TMiraLayer(TMiraFrame* Owner) : Owner(Owner) {}

    TMiraFrame* Owner;
    std::string Name;
    // Same size and depth as the frame image; its Alpha is the layer's alpha plane.
    TDIBSurface Image;
    bool Visible = true;
    int32_t TransColor = -1;  // transparent pixel value of Image, -1 none
    int32_t Alpha = 255;      // opacity 0..255
    bool AlphaOn = false;     // the alpha plane is used when composing
};

class TMiraFrame : public TObjList<TMiraLayer> {
public:
    explicit TMiraFrame(TMiraFrameList* Owner) : Owner(Owner) {}

    int32_t Delay = 100;  // milliseconds
    TDIBSurface Image;    // the composed frame image and its alpha surface
    // The transparent colour as a pixel value of Image (negative: none) and in colour form
    // (the colour of that pixel, -1 none).
    int32_t TransPixel = 0;
    int32_t TransColor = -1;
    TMiraFrameList* Owner;
    std::string Name;
    // Content rectangles, handed to drawing surfaces as their Rects1 and Rects2.
    std::vector<TRect> Rects1, Rects2;
    uint8_t Disposal = 0;  // kept and written back, not interpreted

    TMiraLayer* GetLayer(int32_t Index) const { return Items(Index); }
    bool HasAlpha() const { return Image.Alpha != nullptr; }
    // Of the first layer's image when there are layers, else of Image; 15 for a 5-5-5 image.
    int32_t GetWidth() const;
    int32_t GetHeight() const;
    int32_t GetDepth() const;

    // Dest takes the frame's size at its own bits per pixel and the frame's pixels (see
    // CopyToDIBX), then the two rectangle lists; a memory surface becomes a plain memory image.
    void DrawToDIBX(TCustomDIBX& Dest) const;
    // With alpha: Dest becomes an 8-bit image of the frame's size holding the alpha rows.
    void AlphaToDIBX(TCustomDIBX& Dest) const;
    void AlphaToDIB(TDIB& Dest) const;
    // Crops Image (and its alpha) to the pixels that are not transparent: Rect is the content
    // rectangle in the old image, or the whole image when nothing was cropped. The rectangle
    // lists are clipped to the content and moved with it; those outside it are dropped.
    void CropToContent(TRect& Rect);
    // Without an alpha surface: one of 255, 0 where a pixel equals TransPixel. WithLayers, every
    // layer without alpha likewise by its TransColor, or TransPixel when that is negative.
    void AlphaFromTransColor(bool WithLayers);

    // ---- The steps of reading a frame, in this order ----
    // Image becomes Width x Height at BitCount (as TDIBSurface::SetSize takes it) with Colors
    // (ColorCount entries, the rest grey) as its colour table at 8 bits or fewer; TransColor
    // follows TransPixel; the whole image takes the list's background colour. A size that
    // CheckImageSize refuses, or a depth other than 1, 4, 8, 15, 16, 24, 32, raises EInvalidGraphic.
    void SetupImage(int32_t Width, int32_t Height, int32_t BitCount, const TRGBQuad* Colors, int32_t ColorCount);
    // A new layer, appended, whose image has the frame image's size, depth and colour table.
    TMiraLayer* AddLayer();
    // Draws layer Index into Image when it is visible. First is true until the first visible
    // layer of the frame has been composed (the caller starts it at true).
    void ComposeLayer(int32_t Index, bool& First);
    // Prepares the composed frame for display (transparency to alpha, the list's ReduceBits or
    // indexed images widened to 24 bits); with KeepLayers the layers follow.
    void PrepareForDisplay(bool KeepLayers);

private:
    void CopyLayer(const TDIBSurface& Layer);
};

class TMiraFrameList : public TObjList<TMiraFrame> {
public:
    // IdentCode keys the shuffled row and block order of Mira files.
    explicit TMiraFrameList(uint32_t IdentCode) : IdentCode(IdentCode) {}

    int32_t BGColor = 0;
    int32_t Version = 0;     // of the last classic Mira stream read
    int32_t ReduceBits = 0;  // depth a load for display reduces frames to; 0 or less none
    uint32_t IdentCode;
    bool NotFillBG = false;  // the first visible layer replaces the background

    TMiraFrame* AddFrame();
    // EListError "Error:TMiraFrameList.GetFrame" outside 0 .. Count - 1.
    TMiraFrame* GetFrame(int32_t Index) const;
    void AlphaFromTransColor(bool WithLayers);

    // By the lower-cased extension: ".mra" (LoadFromStream), ".png", ".bmp" and ".dib" (one
    // frame); another extension loads nothing.
    void LoadFromFile(const std::string& FileName, bool FirstOnly, bool KeepLayers, bool ForDisplay);
    // The same rule for content already read into Stream, FileName giving the extension.
    void LoadFromStreamByName(TStream& Stream, const std::string& FileName, bool FirstOnly, bool KeepLayers,
                              bool ForDisplay);
    // One-frame lists (the list is cleared first). A PNG's transparent colour becomes the
    // frame's TransColor (a palette index as that entry's colour) and TransPixel the pixel value
    // holding it (-1 when no value does); a 32-bit BMP gives an alpha surface and a 24-bit image.
    // A load that fails leaves the list empty.
    void LoadPNGFromStream(TStream& Stream);
    void LoadBMPFromStream(TStream& Stream);

    // ---- The Mira format (graphics/miras_format.cpp) ----
    // Either Mira form from Stream's position, replacing the frames. FirstOnly keeps only the
    // first frame of a classic stream; KeepLayers keeps the layers after composition;
    // ForDisplay prepares each frame for display.
    void LoadFromStream(TStream& Stream, bool FirstOnly, bool KeepLayers, bool ForDisplay);
    // The XML form "MiraX200"; CompType 0 zlib, 1 none, 2 JPEG at quality CompLevel.
    void SaveToStream(TStream& Stream, int32_t CompType, int32_t CompLevel) const;
    // CompType 0, CompLevel 70; a failed save leaves an existing file whole. The program path's
    // folder, or a place beneath a held folder.
    void SaveToFile(const std::string& FileName) const;
    void SaveToFile(const platform::fs::Beneath& Target) const;

    // After the last frame is read: without KeepLayers every frame drops its layers.
    void EndLoad(bool KeepLayers);
};

// Dest takes Source's size at Dest's own bits per pixel and Source's pixels: 24- and 32-bit
// rows into 32 bits straight (the fourth byte 0), every other pair by colour (the nearest entry
// of Dest's colour table at 8 bits or fewer, else the fields of Dest's masks). Nothing is copied
// when Dest's pixels cannot be reached.
void CopyToDIBX(const TDIB& Source, TCustomDIBX& Dest);
