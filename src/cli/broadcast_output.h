#pragma once
// What measure and run share about the broadcast measures: the options that
// choose them and a delivery profile, the verdicts on a file, and how the
// figures and verdicts appear in JSON and in the tables.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "app/delivery_profile.h"

namespace CLI {
class App;
}  // namespace CLI

namespace sonivate::cli {

struct ExtrasChoice {
    bool noExtras = false;
    std::string profileName;
    std::string profileFile;
    std::optional<DeliveryProfile> profile;  // after Resolve
};

// --no-extras, --profile NAME and --profile-file FILE on pApp; a profile
// needs the extras, and only one profile may be given.
void AddExtrasOptions(CLI::App& pApp, ExtrasChoice& pChoice);

// Loads the chosen profile; false after a message on stderr when the
// profile file cannot be used.
bool ResolveProfile(ExtrasChoice& pChoice);

using OrderedJson = nlohmann::ordered_json;

// true_peak, lra, max_momentary, max_short_term (null when empty).
void AddBroadcastKeys(OrderedJson& pObject, const BroadcastValues& pValues);
// profile, verdict_source, verdict_output ("pass" or "fail") and
// verdict_reasons ({"source": [...], "output": [...]}); the verdict keys are
// null when pVerdicts is null (the file was not measured).
void AddVerdictKeys(OrderedJson& pObject, const DeliveryProfile& pProfile, const FileVerdicts* pVerdicts);

// downmix_true_peak (null when the layout has no downmix) and, with a
// profile, verdict_notes ({"source": [...], "output": [...]}). Appended
// after a row's other keys, so the columns scripts read keep their places.
void AddDownmixKeys(OrderedJson& pObject, const BroadcastValues& pValues, const DeliveryProfile* pProfile,
                    const FileVerdicts* pVerdicts);

// "pass", or "fail (reason reason ...)".
std::string VerdictText(const Verdict& pVerdict);
// A level with two decimals; "-" when empty.
std::string LevelCell(const std::optional<double>& pValue);

}  // namespace sonivate::cli
