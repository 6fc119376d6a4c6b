#include "cli/broadcast_output.h"

#include <CLI/CLI.hpp>
#include <cstdio>

#include "common/formatting.h"

namespace sonivate::cli {
namespace {

// Decimals of the table's levels, as for the loudness and peak columns.
constexpr std::int32_t kLevelDecimals = 2;

OrderedJson Optional(const std::optional<double>& pValue) {
    return pValue ? OrderedJson(*pValue) : OrderedJson(nullptr);
}

OrderedJson Reasons(const Verdict& pVerdict) {
    OrderedJson list = OrderedJson::array();
    for (const std::string& reason : pVerdict.reasons) list.push_back(reason);
    return list;
}

}  // namespace

void AddExtrasOptions(CLI::App& pApp, ExtrasChoice& pChoice) {
    auto* noExtras =
        pApp.add_flag("--no-extras", pChoice.noExtras,
                      "Integrated loudness and sample peak only: no true peak, LRA, momentary or short-term");
    auto* profileName = pApp.add_option("--profile", pChoice.profileName, "Delivery profile to judge against")
                            ->check(CLI::IsMember(BuiltInProfileNames()));
    auto* profileFile = pApp.add_option("--profile-file", pChoice.profileFile,
                                        "Delivery profile from an ini or JSON file (target, tolerance, "
                                        "true_peak_max, short_term_max)")
                            ->excludes(profileName);
    profileName->excludes(noExtras);
    profileFile->excludes(noExtras);
}

bool ResolveProfile(ExtrasChoice& pChoice) {
    if (!pChoice.profileName.empty()) pChoice.profile = BuiltInProfile(pChoice.profileName);
    if (pChoice.profileFile.empty()) return true;
    std::string error;
    pChoice.profile = LoadProfileFile(pChoice.profileFile, error);
    if (pChoice.profile) return true;
    std::fprintf(stderr, "sonivate-cli: --profile-file: %s\n", error.c_str());
    return false;
}

void AddBroadcastKeys(OrderedJson& pObject, const BroadcastValues& pValues) {
    pObject["true_peak"] = Optional(pValues.truePeak);
    pObject["lra"] = Optional(pValues.lra);
    pObject["max_momentary"] = Optional(pValues.maxMomentary);
    pObject["max_short_term"] = Optional(pValues.maxShortTerm);
}

void AddVerdictKeys(OrderedJson& pObject, const DeliveryProfile& pProfile, const FileVerdicts* pVerdicts) {
    pObject["profile"] = pProfile.name;
    if (pVerdicts == nullptr) {
        pObject["verdict_source"] = nullptr;
        pObject["verdict_output"] = nullptr;
        pObject["verdict_reasons"] = nullptr;
        return;
    }
    pObject["verdict_source"] = pVerdicts->source.pass ? "pass" : "fail";
    pObject["verdict_output"] = !pVerdicts->HasOutput    ? OrderedJson(nullptr)
                                : pVerdicts->output.pass ? OrderedJson("pass")
                                                         : OrderedJson("fail");
    OrderedJson reasons;
    reasons["source"] = Reasons(pVerdicts->source);
    reasons["output"] = pVerdicts->HasOutput ? Reasons(pVerdicts->output) : OrderedJson(nullptr);
    pObject["verdict_reasons"] = reasons;
}

void AddDownmixKeys(OrderedJson& pObject, const BroadcastValues& pValues, const DeliveryProfile* pProfile,
                    const FileVerdicts* pVerdicts) {
    pObject["downmix_true_peak"] = Optional(pValues.downmixTruePeak);
    if (pProfile == nullptr) return;
    if (pVerdicts == nullptr) {
        pObject["verdict_notes"] = nullptr;
        return;
    }
    OrderedJson notes;
    notes["source"] = pVerdicts->source.notes;
    notes["output"] = pVerdicts->HasOutput ? OrderedJson(pVerdicts->output.notes) : OrderedJson(nullptr);
    pObject["verdict_notes"] = notes;
}

std::string VerdictText(const Verdict& pVerdict) {
    if (pVerdict.pass) return "pass";
    std::string text = "fail (";
    for (size_t i = 0; i < pVerdict.reasons.size(); ++i) text += (i ? " " : "") + pVerdict.reasons[i];
    return text + ")";
}

std::string LevelCell(const std::optional<double>& pValue) {
    return pValue ? FormatFixed(*pValue, kLevelDecimals) : std::string("-");
}

}  // namespace sonivate::cli
