#include "cli/run_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <thread>

#include "app/file_list.h"
#include "cli/cli_text.h"
#include "common/decimal_text.h"
#include "platform/errno_text.h"

namespace sonivate::cli {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::int32_t kFewestJobs = 1;
constexpr std::int32_t kMostJobs = 256;
// Room for the shortest round-trip text of any double.
constexpr size_t kShortestDoubleChars = 32;

}  // namespace

const std::map<std::string, std::int32_t> kFromChoices = {{"file-start", kRangeFileStart},
                                                          {kRangeStartEntries[0], kRangeFileStart},
                                                          {"BC$START", kRangeBcStart},
                                                          {"BC$STANDBY", kRangeBcStandby}};
const std::map<std::string, std::int32_t> kToChoices = {{"file-end", kRangeFileEnd},
                                                        {kRangeEndEntries[0], kRangeFileEnd},
                                                        {"BC$STOP", kRangeBcStop},
                                                        {"BC$END", kRangeBcEnd}};

// The lowest ceiling and the most reduction the options accept: below,
// a typo rather than a delivery limit.
constexpr double kLowestCeilingDBTP = -20.0;
constexpr double kMostReductionDB = 20.0;

void AddRunChoiceOptions(CLI::App& pApp, RunChoiceOptions& pOptions) {
    std::vector<std::string> fromNames, toNames;
    for (const auto& [name, value] : kFromChoices) fromNames.push_back(name);
    for (const auto& [name, value] : kToChoices) toNames.push_back(name);
    pApp.add_option("--from", pOptions.from, "Range start: file-start, BC$START or BC$STANDBY")
        ->check(CLI::IsMember(fromNames));
    pApp.add_option("--to", pOptions.to, "Range end: file-end, BC$STOP or BC$END")->check(CLI::IsMember(toNames));
    pOptions.targetOption = pApp.add_option("--target", pOptions.target,
                                            "Target loudness in LKFS (default -24.0, or the profile's target)");
    pApp.add_flag("--allow-clip", pOptions.allowClip, "Also write files whose gain would clip (--on-clip write)");
    pApp.add_option("--on-clip", pOptions.onClip,
                    "A file whose gain would take its copy over the ceiling: skip (not written; the default), write "
                    "(clipped), lower (the gain lowered to the ceiling), limit (the full gain through a true-peak "
                    "limiter)")
        ->check(CLI::IsMember({"skip", "write", "lower", "limit"}));
    pApp.add_option("--ceiling", pOptions.ceiling,
                    "True-peak ceiling for lower and limit, dBTP (default: the profile's maximum, else -1.0)")
        ->check(CLI::Range(kLowestCeilingDBTP, 0.0));
    pApp.add_option("--max-reduction", pOptions.maxReduction,
                    "The most gain reduction limit may apply, dB (default 6); a file needing more is not written")
        ->check(CLI::Range(0.0, kMostReductionDB));
    pApp.add_option("--tolerance", pOptions.toleranceLU,
                    "A file whose gain is within this many LU of 0 is left as it is: its copy is the source byte for "
                    "byte, and in place it is not touched (default 0: every gain is applied)")
        ->check(CLI::Range(0.0, kMostToleranceLU));
    pApp.add_option("--jobs", pOptions.jobs,
                    "Files processed in parallel, 1 to 256 (default: the number of processors)")
        ->check(CLI::Range(kFewestJobs, kMostJobs));
    AddExtrasOptions(pApp, pOptions.extras);
    pApp.add_option("--bext-loudness", pOptions.bextLoudness,
                    "A copy's BWF loudness fields: update (a version 2 bext describes the copy; the default), keep "
                    "(the source's bytes), upgrade (also a version 0/1 bext becomes version 2)")
        ->check(CLI::IsMember({"keep", "update", "upgrade"}));
}

BextLoudnessMode BextModeOf(const RunChoiceOptions& pOptions) {
    return BextLoudnessModeOf(pOptions.bextLoudness).value_or(kDefaultBextLoudnessMode);
}

ClipAction OnClipOf(const RunChoiceOptions& pOptions) {
    if (const std::optional<ClipAction> action = ClipActionOfCode(pOptions.onClip)) return *action;
    return pOptions.allowClip ? ClipAction::Write : ClipAction::Skip;
}

double CeilingOf(const RunChoiceOptions& pOptions) {
    if (pOptions.ceiling) return *pOptions.ceiling;
    if (pOptions.extras.profile) return pOptions.extras.profile->maxTruePeak;
    return kDefaultCeilingDBTP;
}

bool ResolveRunChoices(RunChoiceOptions& pOptions) {
    if (!ResolveProfile(pOptions.extras)) return false;
    if (pOptions.allowClip && !pOptions.onClip.empty() && pOptions.onClip != ClipActionCode(ClipAction::Write)) {
        std::fprintf(stderr, "sonivate-cli: --allow-clip and --on-clip %s contradict each other\n",
                     pOptions.onClip.c_str());
        return false;
    }
    // A profile sets the target unless one is given.
    if (pOptions.extras.profile && (pOptions.targetOption == nullptr || pOptions.targetOption->count() == 0))
        pOptions.target = ShortestText(pOptions.extras.profile->target);
    const std::optional<double> target = ParseDecimal(pOptions.target);
    if (!target) {
        std::fprintf(stderr, "sonivate-cli: --target: not a number: %s\n", pOptions.target.c_str());
        return false;
    }
    if (!TargetLKFSAllowed(*target)) {
        std::fprintf(stderr, "sonivate-cli: --target: %s LKFS is outside %g to %g LKFS\n", pOptions.target.c_str(),
                     kLowestTargetLKFS, kHighestTargetLKFS);
        return false;
    }
    return true;
}

std::int32_t JobCount(std::int32_t pRequested) {
    return pRequested > 0 ? pRequested : static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
}

std::string ShortestText(double pValue) {
    char text[kShortestDoubleChars];
    const auto end = std::to_chars(text, text + sizeof text, pValue).ptr;
    return std::string(text, end);
}

void NoteMissingMarker(const std::string& pPath, const char* pMarker, bool pStart) {
    if (Language() == MessageLanguage::Japanese)
        std::fprintf(stderr, "sonivate-cli: %s: マーカー %s がありません。%sを使います\n", Printable(pPath).c_str(),
                     pMarker, pStart ? kRangeStartEntries[kRangeFileStart] : kRangeEndEntries[kRangeFileEnd]);
    else
        std::fprintf(stderr,
                     "sonivate-cli: %s: no %s marker (or an unreadable cue chunk); the range %s at the file %s\n",
                     Printable(pPath).c_str(), pMarker, pStart ? "starts" : "ends", pStart ? "start" : "end");
}

Json NumberOrNull(bool pHave, double pValue) { return pHave ? Json(pValue) : Json(nullptr); }

Json ReasonJson(RowReason pReason) { return pReason == RowReason::None ? Json(nullptr) : Json(ReasonCode(pReason)); }
std::string ReasonWithCause(RowReason pReason, int pError) {
    std::string text = Say(pReason);
    if (pError != 0 && (pReason == RowReason::WriteFailed || pReason == RowReason::OutputUnavailable))
        text += std::string(Language() == MessageLanguage::Japanese ? "（" : " (") +
                platform::ErrnoCause(pError, Language() == MessageLanguage::Japanese) +
                (Language() == MessageLanguage::Japanese ? "）" : ")");
    return text;
}

Json ReasonTextJson(RowReason pReason, int pError) {
    return pReason == RowReason::None ? Json(nullptr) : Json(ReasonWithCause(pReason, pError));
}

std::optional<FileVerdicts> RowVerdicts(const RowResult* pResult, const ExtrasChoice& pExtras) {
    return sonivate::RowVerdicts(pResult, pExtras.profile ? &*pExtras.profile : nullptr);
}

void AddChosenKeys(Json& pRow, const RowResult* pResult, const ExtrasChoice& pExtras) {
    if (pExtras.noExtras) return;
    const bool measured = pResult != nullptr && pResult->Measured && pResult->Broadcast;
    AddBroadcastKeys(pRow, measured ? ValuesOf(*pResult->Broadcast) : BroadcastValues{});
    if (!pExtras.profile) return;
    const std::optional<FileVerdicts> verdicts = RowVerdicts(pResult, pExtras);
    AddVerdictKeys(pRow, *pExtras.profile, verdicts ? &*verdicts : nullptr);
}

// What a row's copy step did about a gain over the ceiling, when the run may
// do something other than skip: the action taken (null: none needed, or not
// written), the gain written (dB), the limiter's largest reduction (dB) and
// how long it reduced by more than 0.1 dB and 1 dB (s), and for a row
// refused as limit_exceeded the reduction it would have needed (dB).
void AddClipKeys(Json& pRow, const RowResult* pResult) {
    const bool written = pResult != nullptr && pResult->Written;
    const bool acted = written && pResult->ClipStep != ClipTaken::None;
    pRow["clip_action"] = acted ? Json(ClipTakenCode(pResult->ClipStep)) : Json(nullptr);
    pRow["applied_gain"] = NumberOrNull(written, written ? pResult->AppliedGain : 0.0);
    const bool limited = written && pResult->Limiter.has_value();
    pRow["max_reduction"] = NumberOrNull(limited, limited ? pResult->Limiter->MaxReductionDB : 0.0);
    pRow["limited_seconds_0_1db"] = NumberOrNull(limited, limited ? pResult->Limiter->SecondsAbove01dB : 0.0);
    pRow["limited_seconds_1db"] = NumberOrNull(limited, limited ? pResult->Limiter->SecondsAbove1dB : 0.0);
    const bool exceeded = pResult != nullptr && pResult->Reason == RowReason::LimitExceeded;
    pRow["needed_reduction"] = NumberOrNull(exceeded, exceeded ? pResult->NeededReductionDB : 0.0);
}

}  // namespace sonivate::cli
