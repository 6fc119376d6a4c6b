#pragma once
// What run and watch share: the choices that decide how a file is measured
// and written (range, target, clip avoidance, parallel jobs, the broadcast
// measures and a delivery profile), and how one file's outcome appears in
// JSON.

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "app/measurement_run.h"
#include "cli/broadcast_output.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace sonivate::cli {

// The range choices as the command line spells them, with the window's own
// entry texts accepted too; the values are kRange... entry indices.
extern const std::map<std::string, std::int32_t> kFromChoices;
extern const std::map<std::string, std::int32_t> kToChoices;

struct RunChoiceOptions {
    std::string from = "file-start";
    std::string to = "file-end";
    std::string target = "-24.0";   // LKFS, as typed
    bool allowClip = false;         // --allow-clip: the same as --on-clip write
    std::string onClip;             // skip, write, lower, limit; empty: skip (or write with --allow-clip)
    std::optional<double> ceiling;  // dBTP; none: the profile's true-peak maximum, else -1.0
    double maxReduction = kDefaultMaxReductionDB;  // dB
    double toleranceLU = 0.0;                      // a gain within it leaves the file as it is; 0: none
    std::int32_t jobs = 0;                         // 0: the number of processors
    ExtrasChoice extras;
    std::string bextLoudness = "update";  // keep, update or upgrade
    CLI::Option* targetOption = nullptr;  // set by AddRunChoiceOptions
};

// The widest --tolerance (LU): beyond it a file is no longer "on target" by
// any delivery's measure.
inline constexpr double kMostToleranceLU = 3.0;

// --from, --to, --target, --allow-clip, --jobs, --no-extras, --profile and
// --profile-file on pApp.
void AddRunChoiceOptions(CLI::App& pApp, RunChoiceOptions& pOptions);

// After parsing: loads the profile, lets it set the target unless one was
// given, and checks that the target is a number. false after a message on
// stderr.
bool ResolveRunChoices(RunChoiceOptions& pOptions);

// What a row whose gain would reach the ceiling does, and the ceiling
// (valid after ResolveRunChoices).
ClipAction OnClipOf(const RunChoiceOptions& pOptions);
double CeilingOf(const RunChoiceOptions& pOptions);

// The jobs asked for, or the number of processors (at least 1).
std::int32_t JobCount(std::int32_t pRequested);

// The shortest text that reads back as pValue, in any locale.
std::string ShortestText(double pValue);

// A chosen marker the file lacks: the note on stderr, in the locale's language.
void NoteMissingMarker(const std::string& pPath, const char* pMarker, bool pStart);

nlohmann::ordered_json NumberOrNull(bool pHave, double pValue);
// The chosen bext mode (valid after ResolveRunChoices).
BextLoudnessMode BextModeOf(const RunChoiceOptions& pOptions);
// The reason's code and text; null for None. A failed write names its
// cause (pError, an errno) after the text.
nlohmann::ordered_json ReasonJson(RowReason pReason);
nlohmann::ordered_json ReasonTextJson(RowReason pReason, int pError = 0);
// The reason's text with the cause of pError, in the locale's language.
std::string ReasonWithCause(RowReason pReason, int pError);

// The verdicts on a measured row; empty without a profile or figures.
std::optional<FileVerdicts> RowVerdicts(const RowResult* pResult, const ExtrasChoice& pExtras);

// The broadcast keys after the others, as chosen: the figures (null when not
// measured) and, with a profile, the verdicts.
void AddChosenKeys(nlohmann::ordered_json& pRow, const RowResult* pResult, const ExtrasChoice& pExtras);

// What a row's copy step did about a gain over the ceiling, when the run may
// do something other than skip (run and watch alike).
void AddClipKeys(nlohmann::ordered_json& pRow, const RowResult* pResult);

}  // namespace sonivate::cli
