#pragma once
// The choices a run is made with: the range (two drop-downs of markers),
// the target loudness, the output switch with its folder and clip
// avoidance, and what becomes of the copies' bext loudness fields. Read by
// the run and the intake through this room only; stored at shutdown and
// read back at start-up.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "app/copy_loudness.h"

class QComboBox;
class QLineEdit;
class QWidget;

namespace sonivate {

class UC_Check;
class UC_PathText;

// The target of a first start, and the one the details fall back on.
inline constexpr const char* kDefaultTarget = "-24.0";

// The choices as the last shutdown stored them (nullopt: not readable, the
// control keeps its empty state).
struct StoredChoices {
    std::optional<std::string> RangeFrom;
    std::optional<std::string> RangeTo;
    std::optional<std::string> Target;
    std::int32_t WavOutput = 0;
    std::optional<std::string> SoundPath;
    std::int32_t NoClip = 1;
    BextLoudnessMode BextLoudness = kDefaultBextLoudnessMode;
    static StoredChoices Load();
};

// The controls of the choices, as the layout built them.
struct ChoiceControls {
    std::array<QComboBox*, 2> ComboFromTo{};
    QLineEdit* TextTargetLKFS = nullptr;
    UC_Check* CheckWavOutput = nullptr;
    UC_PathText* TextSoundPath = nullptr;
    UC_Check* CheckNoClip = nullptr;
};

class WindowChoices {
public:
    // pOwner: the window the message boxes stand over.
    WindowChoices(const ChoiceControls& pControls, BextLoudnessMode pBextLoudness, QWidget* pOwner);
    WindowChoices(const WindowChoices&) = delete;
    WindowChoices& operator=(const WindowChoices&) = delete;

    // The range entries chosen (their index; -1 none) and their texts.
    std::int32_t RangeStartChoice() const;
    std::int32_t RangeEndChoice() const;
    std::string RangeStartText() const;
    std::string RangeEndText() const;
    // The target as typed, its digits made ASCII.
    std::string TargetLKFSText() const;
    // Sets the target box (a profile's target, LKFS, one decimal).
    void SetTarget(double pTargetLKFS);
    bool WavOutput() const;
    std::string SoundPath() const;
    bool NoClip() const;
    BextLoudnessMode BextLoudness() const { return mBextLoudness; }
    void SetBextLoudness(BextLoudnessMode pMode) { mBextLoudness = pMode; }

    // Before a run: the target is a number in range (or a message, the box
    // focused, false); the output folder named exists or is made (or false).
    bool TargetReady();
    bool OutputFolderReady();
    // Locked during a run; unlocked, the folder box and clip avoidance
    // follow the output switch.
    void Lock(bool pLocked);
    void UpdateOutputControls();

    // Stores the choices (a target that is no number keeps the stored one),
    // and apart from them the bext choice (the list's menu sets it).
    void Store() const;
    void StoreBextLoudness() const;

private:
    ChoiceControls mControls;
    BextLoudnessMode mBextLoudness;
    QWidget* mOwner;
};

}  // namespace sonivate
