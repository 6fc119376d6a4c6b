#pragma once
// The icon strips of the owner-drawn controls, drawn by our own code at start
// time. A strip holds its icons side by side: icon n is the square cell at
// x = size x n, its image in the row at y = 0 and its mask in the row at
// y = size. The pair is meant for the classic transparent blit: the mask
// (black where the icon is, white elsewhere) combined with AND, then the image
// (black where transparent) combined with XOR.

#include <cstdint>

#include <QtGlobal>

#include "uikit/picture.h"

namespace sonivate {

// Button strip icons, 18 x 18 logical pixels each.
inline constexpr std::int32_t kButtonIconSize = 18;
inline constexpr std::int32_t kButtonIconCount = 26;

// The button icons, by index:
//   0 to start, 1 play, 2 pause, 3 stop, 4 zoom in, 5 zoom out, 6 mark in,
//   7 mark out, 8..11 the lit forms of 0..3, 12 record, 13 record lit,
//   14 loop, 15 rewind, 16 fast forward, 17 to end, 18..20 the lit forms of
//   15..17, 21 speaker, 22 speaker muted, 23, 24 the lit forms of 21, 22,
//   25 eject.
// Plain icons are an engraved dark glyph with a light edge, in greys chosen
// against a button face of grey 210, so that a strip can tint them to its own
// face colour (component / 210); lit icons keep their colours.
inline constexpr std::int32_t kButtonIconFaceGrey = 210;
bool IsLitButtonIcon(std::int32_t pIndex);

// 468 x 36 logical pixels, at pDevicePixelRatio device pixels per logical one.
Picture MakeButtonIconStrip(qreal pDevicePixelRatio = 1.0);

// File list icons, 16 x 16 logical pixels each:
//   0 document, 1 wave file, 2 folder, 3 warning.
inline constexpr std::int32_t kListIconSize = 16;
inline constexpr std::int32_t kListIconCount = 4;

// 64 x 32 logical pixels, at pDevicePixelRatio device pixels per logical one.
Picture MakeListIconStrip(qreal pDevicePixelRatio = 1.0);

}  // namespace sonivate
