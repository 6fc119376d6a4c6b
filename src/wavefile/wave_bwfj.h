#pragma once
// Cue markers of broadcast WAV files: the "cue " points with their "plst"
// segments and the "labl"/"file" texts of the "LIST"/"adtl" chunk.

#include <cstdint>
#include <string>
#include <vector>

#include "common/basic_file.h"
#include "wavefile/byte_source.h"

namespace sonivate {

// Limits of the reader.
inline constexpr std::int32_t kMaxCuePoints = 100;
inline constexpr std::int32_t kMaxCueTextBytes = 512;

struct CueMarker {
    std::int32_t HasFile = 0;       // 1 when a "file" sub-chunk for this cue point was read
    std::int32_t SampleOffset = 0;  // position in sample frames from the start of the data
    std::int32_t PlayLength = 0;    // length of the matching "plst" segment, 0 when none
    std::int32_t Loops = 0;         // loop count of the matching "plst" segment, 0 when none
    std::int32_t CueID = 0;         // the cue point's identifier
    std::int32_t MediaType = 0;     // media type of the matching "file" sub-chunk, 0 when none
    std::string Label;              // "labl" text (UTF-8), "" when none
    std::string FileText;           // "file" data read as text (UTF-8), "" when none

    bool operator==(const CueMarker&) const = default;
};

// Reads the cue points of pFilename (or of the open pHandle, which stays
// open) into pMarkers, one record per cue point in "cue " order. Returns the
// number of cue points; 0 when there are none or they cannot be read. With no
// usable "cue " chunk pMarkers holds a single empty record; when a cue point
// cannot be read it holds one record per announced point, filled up to there.
// A missing "plst" or "adtl" list, or a failed read in them, only ends the
// reading early: the result is still the count. A fixed-size field that runs
// past the end of the file counts as a failed read.
std::int32_t ReadCueMarkers(const std::string& pFilename, FileHandle pHandle, std::vector<CueMarker>& pMarkers);

// The same over any byte source.
std::int32_t ReadCueMarkers(const ByteSource& pSource, std::vector<CueMarker>& pMarkers);

}  // namespace sonivate
