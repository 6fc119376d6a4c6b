#pragma once
// Delivery profiles: a target loudness with its tolerance and the peak and
// short-term limits a delivery standard sets, and the verdict on a file.

#include <optional>
#include <string>
#include <vector>

namespace sonivate::cli {

struct DeliveryProfile {
    std::string name;
    double target = 0.0;                 // LUFS (= LKFS)
    double tolerance = 0.0;              // LU either side of the target
    double maxTruePeak = 0.0;            // dBTP
    std::optional<double> maxShortTerm;  // LUFS
};

// The built-in profiles: ebu-r128, ebu-r128-s1, atsc-a85, arib-tr-b32.
std::optional<DeliveryProfile> BuiltInProfile(const std::string& pName);
std::vector<std::string> BuiltInProfileNames();

// A house profile from a file: JSON ({"name": ..., "target": ...,
// "tolerance": ..., "true_peak_max": ..., "short_term_max": ...}) or ini
// lines name=, target=, tolerance=, true_peak_max=, short_term_max= (a
// section header and ; or # comments allowed). target, tolerance and
// true_peak_max are required. Empty with pError set on failure.
std::optional<DeliveryProfile> LoadProfileFile(const std::string& pPath, std::string& pError);

struct Verdict {
    bool pass = true;
    std::vector<std::string> reasons;  // loudness_low, loudness_high, true_peak_over, short_term_over
};

// pLoudness LKFS, pTruePeak dBTP, pMaxShortTerm LUFS (empty: shorter than a
// window, no short-term limit can fail).
Verdict Judge(const DeliveryProfile& pProfile, double pLoudness, double pTruePeak, std::optional<double> pMaxShortTerm);

}  // namespace sonivate::cli
