#include "wavefile/wave_bwfj.h"

namespace sonivate {

std::int32_t ReadCueMarkers(const std::string&, FileHandle, std::vector<CueMarker>& pMarkers) {
    pMarkers.assign(1, CueMarker{});
    return 0;
}

}  // namespace sonivate
