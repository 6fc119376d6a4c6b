#pragma once
// Names of the machine's sound devices, as the device drop-downs list them.

#include <string>
#include <vector>

namespace sonivate {

// One name per hardware capture (pIsInput) or playback device, in card and
// device order: the card's description line as the sound system gives it
// ("HDA Intel PCH, ALC892 Analog"). Empty on a machine without sound cards or
// when the sound system cannot be asked.
std::vector<std::string> ListSoundDevices(bool pIsInput);

}  // namespace sonivate
