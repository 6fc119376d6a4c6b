#include "controls/widgets/sound_devices.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace sonivate {
namespace {

// snd_device_name_get_hint hands out malloc'd strings.
struct FreeHint {
    void operator()(char* pText) const { std::free(pText); }
};
using HintText = std::unique_ptr<char, FreeHint>;

HintText Hint(const void* pHint, const char* pId) { return HintText(snd_device_name_get_hint(pHint, pId)); }

// The hardware device of each PCM ("hw:CARD=x,DEV=n") stands once for every
// plug-in and alias the sound system also lists for it.
constexpr const char* kHardwarePrefix = "hw:";

}  // namespace

std::vector<std::string> ListSoundDevices(bool pIsInput) {
    std::vector<std::string> names;
    const char* const direction = pIsInput ? "Input" : "Output";
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        void** hints = nullptr;
        if (snd_device_name_hint(card, "pcm", &hints) != 0 || hints == nullptr) continue;
        for (void** hint = hints; *hint != nullptr; ++hint) {
            const HintText name = Hint(*hint, "NAME");
            if (!name || std::strncmp(name.get(), kHardwarePrefix, std::strlen(kHardwarePrefix)) != 0) continue;
            // No IOID means the device plays and records.
            const HintText ioid = Hint(*hint, "IOID");
            if (ioid && std::strcmp(ioid.get(), direction) != 0) continue;
            const HintText description = Hint(*hint, "DESC");
            std::string text = description ? description.get() : name.get();
            if (const auto line = text.find('\n'); line != std::string::npos) text.resize(line);
            names.push_back(text);
        }
        snd_device_name_free_hint(hints);
    }
    return names;
}

}  // namespace sonivate
