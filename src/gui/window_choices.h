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

#include "app/clip_action.h"
#include "app/copy_loudness.h"

class QComboBox;
class QLineEdit;
class QWidget;

namespace sonivate {

class UC_Check;
class UC_PathText;

// The target of a first start, and the one the details fall back on.
inline constexpr const char* kDefaultTarget = "-24.0";

// A tolerance (LU) as stored and shown: "0.1", "0.25", "0".
std::string ToleranceText(double pLU);

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
    // How a row whose copy would clip avoids it while clip avoidance is on
    // (Skip, Lower or Limit), and the tolerance around the target within
    // which a file is left as it is (LU, 0: off).
    ClipAction AvoidClip = ClipAction::Skip;
    double ToleranceLU = 0.0;
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
    WindowChoices(const ChoiceControls& pControls, const StoredChoices& pStored, QWidget* pOwner);
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
    // How clip avoidance avoids clipping (Skip, Lower or Limit; another
    // action is not taken), and what a run does: that choice with clip
    // avoidance on, Write (clipped) with it off.
    ClipAction AvoidClip() const { return mAvoidClip; }
    void SetAvoidClip(ClipAction pAction);
    ClipAction OnClip() const { return NoClip() ? mAvoidClip : ClipAction::Write; }
    // The tolerance around the target (LU, 0: off); a value below 0 or no
    // number is taken as 0.
    double ToleranceLU() const { return mToleranceLU; }
    void SetToleranceLU(double pLU);

    // Before a run: the target is a number in range (or a message, the box
    // focused, false); the output folder named exists or is made (or false).
    bool TargetReady();
    bool OutputFolderReady();
    // Locked during a run; unlocked, the folder box and clip avoidance
    // follow the output switch.
    void Lock(bool pLocked);
    void UpdateOutputControls();

    // Stores the choices (a target that is no number keeps the stored one),
    // and apart from them the choices the list's menu sets (bext, the clip
    // avoidance's action, the tolerance).
    void Store() const;
    void StoreBextLoudness() const;
    void StoreMenuChoices() const;

private:
    ChoiceControls mControls;
    BextLoudnessMode mBextLoudness;
    ClipAction mAvoidClip = ClipAction::Skip;
    double mToleranceLU = 0.0;
    QWidget* mOwner;
};

}  // namespace sonivate
