#pragma once
// The file list's row icons: a strip of 16 x 16 pixel cells, icon n at
// x = 16 n, its image in the row y = 0 and its mask in the row y = 16. A
// row's icon is drawn by ANDing the mask (white keeps what is behind, black
// clears it) and then XORing the image (black where the mask is white).

#include <cstdint>

#include "uikit/picture.h"

namespace sonivate {

inline constexpr std::int32_t kListIconSize = 16;  // pixels

// Icons of the strip, by IconType.
enum ListIcon : std::int32_t {
    kListIconDocument = 0,  // a plain sheet: new rows
    kListIconWave = 1,      // a sheet with a waveform: the listed sound files
    kListIconFolder = 2,
    kListIconSpeaker = 3,
    // The outcome of a row's last run, drawn over the wave sheet.
    kListIconDone = 4,           // a green tick: written (or measured, with output off)
    kListIconSkipped = 5,        // an amber bar: left alone on purpose (clip, too quiet, in use, ...)
    kListIconFailed = 6,         // a red cross: the file could not be measured or written
    kListIconStopped = 7,        // a grey square: the run was stopped at this file
    kListIconMarkerMissing = 8,  // an amber "!": a chosen marker is missing
    kListIconCount = 9,
};

// Makes pStrip kListIconCount icons wide and two rows high at pPixelRatio and
// paints every image and mask.
void PaintListIcons(Picture& pStrip, double pPixelRatio);

}  // namespace sonivate
