#include "app/delivery_profile.h"

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/measurement_run.h"
#include "common/decimal_text.h"
#include "platform/small_file.h"

namespace sonivate {

namespace {
// The loudness a copy that no block of passes the gates is judged at (LKFS).
constexpr double kAbsoluteGateForVerdictLKFS = -70.0;
}  // namespace

bool TargetLKFSAllowed(double pTarget) { return pTarget >= kLowestTargetLKFS && pTarget <= kHighestTargetLKFS; }

namespace {

// EBU R 128 (2020): -23.0 LUFS, +-0.5 LU for programmes whose level can be
// set in advance, true peak -1 dBTP; R 128 s1 (short-form content) adds a
// maximum short-term loudness of -18 LUFS. ATSC A/85 (2013): -24 LKFS,
// +-2 dB, true peak -2 dBTP. ARIB TR-B32: -24 LKFS, +-1 dB, -1 dBTP.
const std::map<std::string, DeliveryProfile>& Profiles() {
    static const std::map<std::string, DeliveryProfile> profiles = {
        {"ebu-r128", {"ebu-r128", -23.0, 0.5, -1.0, std::nullopt}},
        {"ebu-r128-s1", {"ebu-r128-s1", -23.0, 0.5, -1.0, -18.0}},
        {"atsc-a85", {"atsc-a85", -24.0, 2.0, -2.0, std::nullopt}},
        {"arib-tr-b32", {"arib-tr-b32", -24.0, 1.0, -1.0, std::nullopt}},
    };
    return profiles;
}

// A profile is a few lines; anything larger is not one.
constexpr std::int64_t kMaxProfileBytes = 1 << 20;

// A point is the decimal separator in every locale: the window runs in the
// operator's, where strtod would stop at the point.
bool ReadNumber(const std::string& pText, double& pValue) {
    const std::optional<double> value = ParseDecimal(pText);
    if (!value) return false;
    pValue = *value;
    return true;
}

std::string Trim(const std::string& pText) {
    const auto first = pText.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return pText.substr(first, pText.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::optional<DeliveryProfile> BuiltInProfile(const std::string& pName) {
    const auto it = Profiles().find(pName);
    if (it == Profiles().end()) return std::nullopt;
    return it->second;
}

namespace {
// The built-in profiles by their standards' names.
struct ProfileName {
    const char* Code;
    const char* Shown;
};
constexpr ProfileName kProfileNames[] = {
    {"arib-tr-b32", "ARIB TR-B32"},
    {"ebu-r128", "EBU R 128"},
    {"ebu-r128-s1", "EBU R 128 s1"},
    {"atsc-a85", "ATSC A/85"},
};
}  // namespace

std::string ProfileDisplayName(const std::string& pName) {
    for (const ProfileName& name : kProfileNames)
        if (pName == name.Code) return name.Shown;
    return pName;
}

std::vector<std::string> BuiltInProfileNames() {
    std::vector<std::string> names;
    for (const auto& [name, profile] : Profiles()) names.push_back(name);
    return names;
}

std::optional<DeliveryProfile> LoadProfileFile(const std::string& pPath, std::string& pError) {
    std::string text;
    if (platform::ReadSmallFile(pPath, kMaxProfileBytes, text) != platform::ReadResult::Ok) {
        pError = "cannot read " + pPath;
        return std::nullopt;
    }
    std::map<std::string, std::string> fields;
    if (Trim(text).rfind('{', 0) == 0) {
        const auto json = nlohmann::json::parse(text, nullptr, false);
        if (json.is_discarded() || !json.is_object()) {
            pError = pPath + ": not a JSON object";
            return std::nullopt;
        }
        for (const auto& item : json.items())
            fields[item.key()] = item.value().is_string() ? item.value().get<std::string>() : item.value().dump();
    } else {
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            line = Trim(line);
            if (line.empty() || line[0] == ';' || line[0] == '#' || line[0] == '[') continue;
            const auto equals = line.find('=');
            if (equals == std::string::npos) {
                pError = pPath + ": not a key=value line: " + line;
                return std::nullopt;
            }
            fields[Trim(line.substr(0, equals))] = Trim(line.substr(equals + 1));
        }
    }
    DeliveryProfile profile;
    profile.name = fields.count("name") ? fields["name"] : pPath;
    const std::pair<const char*, double*> required[] = {
        {"target", &profile.target}, {"tolerance", &profile.tolerance}, {"true_peak_max", &profile.maxTruePeak}};
    for (const auto& [key, value] : required) {
        if (!fields.count(key) || !ReadNumber(fields[key], *value)) {
            pError = pPath + ": " + key + " missing or not a number";
            return std::nullopt;
        }
    }
    if (fields.count("short_term_max") && fields["short_term_max"] != "null") {
        double limit = 0.0;
        if (!ReadNumber(fields["short_term_max"], limit)) {
            pError = pPath + ": short_term_max is not a number";
            return std::nullopt;
        }
        profile.maxShortTerm = limit;
    }
    if (profile.tolerance < 0.0) {
        pError = pPath + ": tolerance is negative";
        return std::nullopt;
    }
    if (!TargetLKFSAllowed(profile.target)) {
        pError = pPath + ": target is outside -60 to 0 LUFS";
        return std::nullopt;
    }
    return profile;
}

Verdict Judge(const DeliveryProfile& pProfile, double pLoudness, double pTruePeak,
              std::optional<double> pMaxShortTerm) {
    Verdict verdict;
    if (pLoudness < pProfile.target - pProfile.tolerance) verdict.reasons.push_back(kReasonLoudnessLow);
    if (pLoudness > pProfile.target + pProfile.tolerance) verdict.reasons.push_back(kReasonLoudnessHigh);
    if (pTruePeak > pProfile.maxTruePeak) verdict.reasons.push_back(kReasonTruePeakOver);
    if (pProfile.maxShortTerm && pMaxShortTerm && *pMaxShortTerm > *pProfile.maxShortTerm)
        verdict.reasons.push_back(kReasonShortTermOver);
    verdict.pass = verdict.reasons.empty();
    return verdict;
}

BroadcastValues ValuesOf(const BroadcastFigures& pFigures) {
    return {pFigures.TruePeak, pFigures.LoudnessRange, pFigures.MaxMomentary, pFigures.MaxShortTerm,
            pFigures.DownmixTruePeak};
}

FileVerdicts JudgeFile(const DeliveryProfile& pProfile, double pLoudness, double pOutputLoudness, double pGain,
                       double pPeak, const BroadcastValues& pValues) {
    const double truePeak = pValues.truePeak.value_or(pPeak);
    const std::optional<double> outputShortTerm =
        pValues.maxShortTerm ? std::optional<double>(*pValues.maxShortTerm + pGain) : std::nullopt;
    FileVerdicts verdicts;
    verdicts.source = Judge(pProfile, pLoudness, truePeak, pValues.maxShortTerm);
    verdicts.output = Judge(pProfile, pOutputLoudness, truePeak + pGain, outputShortTerm);
    if (pValues.downmixTruePeak) {
        if (*pValues.downmixTruePeak > pProfile.maxTruePeak) verdicts.source.notes.push_back(kNoteDownmixTruePeakOver);
        if (*pValues.downmixTruePeak + pGain > pProfile.maxTruePeak)
            verdicts.output.notes.push_back(kNoteDownmixTruePeakOver);
    }
    return verdicts;
}

std::optional<FileVerdicts> RowVerdicts(const RowResult* pResult, const DeliveryProfile* pProfile) {
    if (pProfile == nullptr || pResult == nullptr || !pResult->Measured || !pResult->Broadcast) return std::nullopt;
    // The copy is written with the gain as shown.
    const double gain = ParseDecimal(pResult->GainText).value_or(0.0);
    FileVerdicts verdicts = JudgeFile(*pProfile, pResult->LKFS, pResult->Broadcast->OutputLKFS, gain, pResult->Peak,
                                      ValuesOf(*pResult->Broadcast));
    const std::optional<CopyFigures> copy = RowCopyFigures(*pResult);
    if (!copy) {
        verdicts.HasOutput = false;
        verdicts.output = Verdict{};
    } else if (pResult->CopyMeasured) {
        // Judged as the copy measures, never as the gain would have it.
        const double truePeak = copy->TruePeak.value_or(copy->SamplePeak.value_or(0.0));
        const std::vector<std::string> notes = verdicts.output.notes;
        verdicts.output =
            Judge(*pProfile, copy->Integrated.value_or(kAbsoluteGateForVerdictLKFS), truePeak, copy->MaxShortTerm);
        // The copy's downmix is not measured: a copy of the source's bytes
        // keeps the source's note, a lowered or limited one says nothing.
        if (pResult->WithinTolerance)
            verdicts.output.notes = verdicts.source.notes;
        else if (pResult->ClipStep == ClipTaken::Clipped)
            verdicts.output.notes = notes;
    }
    return verdicts;
}

}  // namespace sonivate
