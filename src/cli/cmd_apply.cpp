// sonivate-cli apply: one gain-adjusted copy of one WAV file, the gain applied
// to a frame range and every other byte copied.

#include <CLI/CLI.hpp>
#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "app/copy_loudness.h"
#include "app/output_copy.h"
#include "app/write_adjusted_wave.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "platform/file_names.h"
#include "cli/stop_signals.h"
#include "common/paths.h"
#include "platform/posix_file.h"
#include "wavefile/byte_source.h"
#include "wavefile/encoded_audio.h"
#include "wavefile/wave_check.h"
#include "wavefile/wave_mmio.h"

namespace sonivate::cli {
namespace {

// Step texts and percentages on one stderr line, drawn only when a person
// is watching (stderr is a terminal).
class TerminalProgress : public ProgressHost {
public:
    TerminalProgress() : mTerminal(platform::StandardErrorIsTerminal()) {}

    void ShowStatus(const std::string& pText) override {
        mStatus = pText;
        mPercent = -1;
        Draw("");
    }
    void SetProgress(std::int32_t pValue) override {
        const std::int32_t percent = pValue * 100 / kProgressScale;
        if (percent == mPercent) return;
        mPercent = percent;
        Draw(" " + std::to_string(percent) + "%");
    }
    bool StopRequested() const override { return StopSignalled(); }

    void Finish() {
        if (mDrawn) std::fputs("\r\033[K", stderr);
        mDrawn = false;
    }

private:
    void Draw(const std::string& pSuffix) {
        if (!mTerminal) return;
        std::fprintf(stderr, "\r\033[K%s%s", mStatus.c_str(), pSuffix.c_str());
        std::fflush(stderr);
        mDrawn = true;
    }

    bool mTerminal;
    bool mDrawn = false;
    std::string mStatus;
    std::int32_t mPercent = -1;
};

// Why no gain may touch the audio of a readable file: channels whose
// loudspeakers cannot be placed, or compressed audio carried as PCM (any
// gain destroys its bit stream). The length and the rate are the caller's
// choice here: only the layout and the contents are judged.
RowReason RefusalOfAudio(const ByteSource& pSource, const WaveFormatInfo& pInfo) {
    WaveRequirements anyLength;
    anyLength.SampleRate = pInfo.SampleRate;
    anyLength.ShortestMs = 0;
    const WaveCheck check = CheckWave(pSource, anyLength);
    if (const RowReason reason = ReasonOfCheck(check); reason != RowReason::None) return reason;
    if (DetectEncodedAudio(pSource, check.Info()).Found) return RowReason::EncodedAudio;
    return RowReason::None;
}

struct ApplyOptions {
    double gain = 0.0;
    std::int64_t start = 0;
    std::optional<std::int64_t> end;
    std::string source;
    std::string target;
    std::string bextLoudness = BextLoudnessModeName(kDefaultBextLoudnessMode);
};

int Apply(const ApplyOptions& pOptions) {
    if (!std::isfinite(pOptions.gain)) {
        std::fprintf(stderr, "sonivate-cli apply: --gain must be a finite number of dB\n");
        return kExitUsage;
    }
    if (pOptions.start < 0 || pOptions.end.value_or(0) < 0) {
        std::fprintf(stderr, "sonivate-cli apply: --start and --end are frame indices and cannot be negative\n");
        return kExitUsage;
    }
    const StopOnSignals signals;
    // The copy is written where no name reaches it and takes TARGET only
    // when complete, and only while that name is free: a partial copy never
    // stands under any name, and an existing file is never touched. The
    // source is opened once; its header, audio and identity are read there.
    SourceHold source;
    if (const RowReason refused = source.Acquire(pOptions.source); refused != RowReason::None) {
        ReportPath(pOptions.source, refused);
        return kExitFailed;
    }
    const HandleSource bytes(HandleOfDescriptor(source.Descriptor()));
    const WaveFormatInfo info = ReadWaveHeader(bytes);
    if (info.Valid == 0) {
        std::fprintf(stderr, "sonivate-cli apply: %s: not a readable WAV file of linear PCM (16 or 24 bit)\n",
                     pOptions.source.c_str());
        return kExitFailed;
    }
    if (const RowReason refused = RefusalOfAudio(bytes, info); refused != RowReason::None) {
        std::fprintf(stderr, "sonivate-cli apply: %s: %s; nothing was written\n", Printable(pOptions.source).c_str(),
                     Say(refused));
        return kExitFailed;
    }
    const std::int64_t end = pOptions.end.value_or(info.NumSamples);
    if (end < pOptions.start) {
        std::fprintf(stderr, "sonivate-cli apply: --end %lld lies before --start %lld\n", static_cast<long long>(end),
                     static_cast<long long>(pOptions.start));
        return kExitUsage;
    }

    const BextLoudnessMode mode = BextLoudnessModeOf(pOptions.bextLoudness).value_or(kDefaultBextLoudnessMode);
    TerminalProgress progress;
    // The copy's bext loudness fields describe the copy: measured from it
    // over the range the gain went on, when it has such fields.
    SourceLoudness range;
    range.Start = pOptions.start;
    range.End = end;
    const CopyOutcome copy =
        WriteCopySafely(source, pOptions.target, TargetRule::NewName, pOptions.start, end, pOptions.gain, progress,
                        nullptr, [&](int pCopyFd) { return MeasureCopyLoudness(pCopyFd, range, mode, &progress); });
    progress.Finish();
    if (copy.Written) return kExitOk;
    if (copy.Reason == RowReason::TargetExists || copy.Reason == RowReason::OtherFileHasName) {
        std::fprintf(stderr, "sonivate-cli apply: %s already exists; choose a new name (it was left untouched)\n",
                     Printable(pOptions.target).c_str());
        return kExitUsage;
    }
    std::fprintf(stderr, "sonivate-cli apply: %s: %s%s%s; nothing was left under that name\n",
                 Printable(pOptions.target).c_str(), Say(copy.Reason), copy.Error != 0 ? ": " : "",
                 copy.Error != 0 ? std::strerror(copy.Error) : "");
    return copy.Reason == RowReason::Stopped ? kExitInterrupted : kExitFailed;
}

}  // namespace

Command AddApplyCommand(CLI::App& pParent) {
    auto options = std::make_shared<ApplyOptions>();
    Command command;
    CLI::App* app = pParent.add_subcommand(
        "apply", "Write a copy of a WAV file with a gain applied to a frame range; every other byte is copied");
    app->add_option("--gain", options->gain, "Gain in dB (gains of -60 dB and below act as -60 dB)")->required();
    app->add_option("--start", options->start, "First frame of the range (default 0)");
    app->add_option("--end", options->end, "Frame after the range (default: the end of the audio)");
    app->add_option("--bext-loudness", options->bextLoudness,
                    "The copy's BWF loudness fields: update (a version 2 bext describes the copy; the default), keep "
                    "(the source's bytes), upgrade (also a version 0/1 bext becomes version 2)")
        ->check(CLI::IsMember({"keep", "update", "upgrade"}));
    app->add_option("SOURCE", options->source, "The WAV file to copy")->required();
    app->add_option("TARGET", options->target, "The copy; must not exist yet")->required();
    app->footer(
        "Exit status: 0 written, 1 failed (a partial copy is removed), 2 usage error or TARGET exists,\n"
        "130 stopped by SIGINT or SIGTERM (the partial copy is removed).");
    command.app = app;
    command.run = [options] { return Apply(*options); };
    return command;
}

}  // namespace sonivate::cli
