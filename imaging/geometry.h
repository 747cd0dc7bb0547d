#pragma once
// Whole-bitmap geometry: proportional scaling into a box over a background
// (drawn by the canvas's stretched draw, no filtering), rotation by whole
// degrees, flip and mirror. Source and target are different bitmaps; passing
// the same one works on a copy of it.

#include <cstdint>

#include "host/graphics/bitmap.h"
#include "host/graphics/types.h"
#include "imaging/types.h"

namespace snapkit {

// Dst becomes NewWidth x NewHeight filled with BkColor, with Src drawn
// stretched into it: a landscape source (wider than high) fitted to the
// width, any other to the height, keeping the aspect ratio; the other side
// may overflow and is clipped. With Center the drawing is centred. A source
// smaller in both directions is enlarged the same way, or with KeepSmall
// drawn unscaled and centred. A null Dst does nothing; a target of 0 pixels
// in either direction, or an empty source, leaves only the background.
void StretchResize(host::TBitmap& Src, host::TBitmap* Dst, std::int32_t NewWidth,
                   std::int32_t NewHeight, bool Center, host::TColor BkColor, bool KeepSmall);

// Fits Src into MaxWidth x MaxHeight. FitMode 0, or a source smaller than
// the box in both directions, copies Src. 1 fits a landscape source to the
// width and any other to the height; 2 fits the width; 3 the height; the
// target then shrinks to the fitted picture on that axis. A side that needs
// no fitting under 2 and 3 keeps the source's size. Other modes draw the
// source unscaled into a MaxWidth x MaxHeight target. Offsets never go
// negative; a null Dst does nothing.
void FitResize(host::TBitmap& Src, host::TBitmap* Dst, std::int32_t MaxWidth,
               std::int32_t MaxHeight, bool Center, host::TColor BkColor, std::int32_t FitMode);

// Turns Src by Angle degrees (clockwise on screen for positive angles)
// about the source pixel (CenterX, CenterY), without interpolation. With
// Expand the target grows to hold the whole turned picture; otherwise it
// keeps Src's size. Pixels from outside the source get BkColor (0x00BBGGRR).
// Both bitmaps become 24 bits per pixel. Progress runs once per target row.
void RotateBitmap(host::TBitmap& Src, host::TBitmap& Dst, std::int32_t Angle, std::int32_t CenterX,
                  std::int32_t CenterY, bool Expand, host::TColor BkColor,
                  TImageProgressProc Progress = nullptr);

// Upside down, and left to right; both bitmaps become 24 bits per pixel.
// Progress counts down, once per row.
void FlipBitmap(host::TBitmap& Src, host::TBitmap& Dst, TImageProgressProc Progress = nullptr);
void MirrorBitmap(host::TBitmap& Src, host::TBitmap& Dst, TImageProgressProc Progress = nullptr);

// Converts Src to 24 bits per pixel and gives Dst that format and Src's size.
void SetBitmapsEql(host::TBitmap& Src, host::TBitmap& Dst);

}  // namespace snapkit
