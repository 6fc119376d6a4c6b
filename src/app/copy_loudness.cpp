#include "app/copy_loudness.h"

#include <algorithm>
#include <cerrno>

#include "common/basic_file.h"
#include "common/numeric.h"
#include "loudness/bs1770.h"
#include "loudness/broadcast_measures.h"
#include "loudness/c_lkfsfct.h"
#include "platform/fd_path.h"
#include "wavefile/byte_source.h"
#include "wavefile/wave_mmio.h"
#include "writer/edit_wave.h"

namespace sonivate {
namespace {

constexpr const char* kKeepName = "keep";
constexpr const char* kUpdateName = "update";
constexpr const char* kUpgradeName = "upgrade";

using bs1770::kAbsoluteGateLKFS;

// Down to this integrated loudness (LUFS) the writer's rounding of 16-bit
// samples (noise near -96 LUFS) moves no figure, the quietest short-term
// values the range depends on included, by a visible part of 0.01; a
// quieter copy is measured.
constexpr double kQuietestComputedLUFS = -40.0;

// The writer's gain: what it applies for pGainDB.
double WrittenGain(double pGainDB) { return std::max(pGainDB, kEditGainFloorDB); }

// A level pGainDB dB higher; digital silence stays silent.
double Raised(double pLevel, double pGainDB) { return pLevel <= kSilenceDB ? pLevel : pLevel + pGainDB; }

std::optional<double> Raised(const std::optional<double>& pLevel, double pGainDB) {
    if (!pLevel) return std::nullopt;
    return Raised(*pLevel, pGainDB);
}

bool AnyBlockAboveGate(const C_LKFSFCT& pMeter) {
    const std::vector<double>& blocks = pMeter.BlockLKFS();
    const auto count = static_cast<std::size_t>(std::max(pMeter.NumBlock(), 0));
    return std::any_of(blocks.begin(), blocks.begin() + static_cast<std::ptrdiff_t>(std::min(count, blocks.size())),
                       [](double pBlock) { return pBlock > kAbsoluteGateLKFS; });
}

std::optional<double> GatedLoudness(const C_LKFSFCT& pMeter) {
    if (!AnyBlockAboveGate(pMeter)) return std::nullopt;
    return pMeter.LKFSValue();
}

// The fields' bytes lie outside the audio of the copy: a chunk walk that
// went wrong must never make this write into the samples.
bool OutsideAudio(const ByteSource& pCopy, const BextChunk& pChunk) {
    const WaveLayout layout = ReadWaveLayout(pCopy);
    if (layout.Info.Valid == 0) return false;
    const std::int64_t audioBegin = layout.Info.DataOffset;
    const std::int64_t audioEnd = audioBegin + layout.Info.DataLength;
    const std::int64_t fieldsBegin = pChunk.PayloadAt + kBextVersionAt;
    const std::int64_t fieldsEnd = pChunk.PayloadAt + kBextLoudnessAt + kBextLoudnessBytes;
    return fieldsEnd <= audioBegin || fieldsBegin >= audioEnd;
}

}  // namespace

const char* BextLoudnessModeName(BextLoudnessMode pMode) {
    switch (pMode) {
        case BextLoudnessMode::Keep:
            return kKeepName;
        case BextLoudnessMode::Update:
            return kUpdateName;
        case BextLoudnessMode::Upgrade:
            return kUpgradeName;
    }
    return kUpdateName;
}

std::optional<BextLoudnessMode> BextLoudnessModeOf(std::string_view pName) {
    for (const BextLoudnessMode mode : {BextLoudnessMode::Keep, BextLoudnessMode::Update, BextLoudnessMode::Upgrade})
        if (pName == BextLoudnessModeName(mode)) return mode;
    return std::nullopt;
}

SourceLoudness SourceLoudnessOf(const C_LKFSFCT& pMeter, const BroadcastMeasures* pExtras, std::int64_t pStart,
                                std::int64_t pEnd) {
    SourceLoudness source;
    source.Start = pStart;
    source.End = pEnd;
    source.LKFS = pMeter.LKFSValue();
    source.SamplePeak = pMeter.PeakValue();
    const std::vector<double>& powers = pMeter.BlockPower();
    const auto blocks = std::min(static_cast<std::size_t>(std::max(pMeter.NumBlock(), 0)), powers.size());
    source.BlockPowers.assign(powers.begin(), powers.begin() + static_cast<std::ptrdiff_t>(blocks));
    source.BlockLen = pMeter.BlockLen();
    source.FullScale = pMeter.FullScale();
    if (pExtras != nullptr && pExtras->Begun()) {
        source.BroadcastTaken = true;
        source.TruePeak = pExtras->TruePeak();
        source.LoudnessRange = pExtras->LoudnessRange();
        source.MaxMomentary = pExtras->MaxMomentary();
        source.MaxShortTerm = pExtras->MaxShortTerm();
        source.ShortTermSeries = pExtras->ShortTermSeries();
    }
    return source;
}

std::optional<CopyFigures> ComputeCopyFigures(const SourceLoudness& pSource, double pGainDB) {
    const double gain = WrittenGain(pGainDB);
    // Saturated samples are no longer the source's times the gain.
    if (gain + pSource.SamplePeak > 0.0) return std::nullopt;
    if (pSource.BlockPowers.empty() || pSource.BlockLen <= 0 || pSource.FullScale <= 0) return std::nullopt;
    if (!pSource.BroadcastTaken) return std::nullopt;
    if (pSource.LoudnessRange && pSource.ShortTermSeries.empty()) return std::nullopt;

    // Block powers are sums of squares: they scale with the gain's square.
    const double factor = DBToLinear(gain);
    std::vector<double> powers = pSource.BlockPowers;
    for (double& power : powers) power *= factor * factor;
    C_LKFSFCT meter;
    meter.LoadBlockPowers(powers, pSource.BlockLen, pSource.FullScale);

    CopyFigures copy;
    copy.Integrated = GatedLoudness(meter);
    if (!copy.Integrated || *copy.Integrated < kQuietestComputedLUFS) return std::nullopt;
    copy.TruePeak = Raised(pSource.TruePeak, gain);
    copy.MaxMomentary = Raised(pSource.MaxMomentary, gain);
    copy.MaxShortTerm = Raised(pSource.MaxShortTerm, gain);
    if (pSource.LoudnessRange) {
        std::vector<double> series = pSource.ShortTermSeries;
        for (double& value : series) value = Raised(value, gain);
        copy.LoudnessRange = BroadcastMeasures::LoudnessRangeOf(series);
    }
    return copy;
}

std::optional<CopyFigures> MeasureCopyFigures(int pCopyFd, const SourceLoudness& pSource, ProgressHost* pHost,
                                              bool& pStopped) {
    pStopped = false;
    C_LKFSFCT meter(pHost != nullptr ? pHost->RunPump() : platform::HeadlessPump());
    BroadcastMeasures extras;
    extras.Listen(meter);
    if (pHost != nullptr)
        meter.MeasureLKFSProg = [pHost](float pRate, std::int32_t& pCancel) { HandleProgress(*pHost, pRate, pCancel); };
    // A view of the caller's descriptor: never closed here.
    if (meter.MeasureLKFS(HandleSource(HandleOfDescriptor(pCopyFd)), pSource.Start, pSource.End) == 0) {
        pStopped = pHost != nullptr && pHost->StopRequested();
        return std::nullopt;
    }
    CopyFigures copy;
    copy.Integrated = GatedLoudness(meter);
    copy.SamplePeak = meter.PeakValue();
    if (extras.Begun()) {
        copy.TruePeak = extras.TruePeak();
        copy.LoudnessRange = extras.LoudnessRange();
        copy.MaxMomentary = extras.MaxMomentary();
        copy.MaxShortTerm = extras.MaxShortTerm();
    }
    return copy;
}

BextLoudness BextLoudnessOf(const CopyFigures& pFigures) {
    BextLoudness fields;
    fields.LoudnessValue = BextHundredths(pFigures.Integrated);
    fields.LoudnessRange = BextHundredths(pFigures.LoudnessRange);
    fields.MaxTruePeakLevel = BextHundredths(pFigures.TruePeak);
    fields.MaxMomentaryLoudness = BextHundredths(pFigures.MaxMomentary);
    fields.MaxShortTermLoudness = BextHundredths(pFigures.MaxShortTerm);
    return fields;
}

namespace {

// The copy's bext chunk when its loudness fields are to be written per
// pMode: the chunk, and the version it gets (empty: keep its own). False
// when nothing is to be written.
int CopyChunkFor(const HandleSource& pCopy, BextLoudnessMode pMode, BextChunk& pChunk,
                 std::optional<std::uint16_t>& pVersion, bool& pWrite) {
    pWrite = false;
    if (pMode == BextLoudnessMode::Keep) return 0;
    if (const int error = ReadBextChunk(pCopy, pChunk); error != 0) return error;
    if (!pChunk.Present || !pChunk.HoldsLoudness) return 0;
    if (pChunk.Version < kBextLoudnessVersion) {
        if (pMode != BextLoudnessMode::Upgrade) return 0;
        pVersion = kBextLoudnessVersion;
    }
    pWrite = OutsideAudio(pCopy, pChunk);
    return 0;
}

// The copy's bext chunk that pMode rewrites, read through a view of the
// caller's descriptor (never closed here): 0 with pWrite false when there
// is nothing to rewrite, else an errno.
int CopyChunkOfDescriptor(int pCopyFd, BextLoudnessMode pMode, BextChunk& pChunk,
                          std::optional<std::uint16_t>& pVersion, bool& pWrite) {
    pWrite = false;
    if (pMode == BextLoudnessMode::Keep) return 0;
    if (pCopyFd < 0) return EBADF;
    return CopyChunkFor(HandleSource(HandleOfDescriptor(pCopyFd)), pMode, pChunk, pVersion, pWrite);
}

}  // namespace

int WriteCopyLoudness(int pCopyFd, const std::optional<CopyFigures>& pFigures, BextLoudnessMode pMode) {
    BextChunk chunk;
    std::optional<std::uint16_t> version;
    bool write = false;
    if (const int error = CopyChunkOfDescriptor(pCopyFd, pMode, chunk, version, write); error != 0 || !write)
        return error;
    return WriteBextLoudness(HandleOfDescriptor(pCopyFd), chunk, pFigures ? BextLoudnessOf(*pFigures) : BextLoudness{},
                             version);
}

int MeasureCopyLoudness(int pCopyFd, const SourceLoudness& pSource, BextLoudnessMode pMode, ProgressHost* pHost) {
    BextChunk chunk;
    std::optional<std::uint16_t> version;
    bool write = false;
    if (const int error = CopyChunkOfDescriptor(pCopyFd, pMode, chunk, version, write); error != 0 || !write)
        return error;
    bool stopped = false;
    const std::optional<CopyFigures> measured = MeasureCopyFigures(pCopyFd, pSource, pHost, stopped);
    if (stopped) return ECANCELED;
    return WriteBextLoudness(HandleOfDescriptor(pCopyFd), chunk, measured ? BextLoudnessOf(*measured) : BextLoudness{},
                             version);
}

int UpdateCopyLoudness(int pCopyFd, const SourceLoudness& pSource, double pGainDB, BextLoudnessMode pMode,
                       ProgressHost* pHost) {
    BextChunk chunk;
    std::optional<std::uint16_t> version;
    bool write = false;
    if (const int error = CopyChunkOfDescriptor(pCopyFd, pMode, chunk, version, write); error != 0 || !write)
        return error;

    BextLoudness fields;  // all "not known" unless figures arrive
    if (const std::optional<CopyFigures> computed = ComputeCopyFigures(pSource, pGainDB)) {
        fields = BextLoudnessOf(*computed);
    } else {
        bool stopped = false;
        const std::optional<CopyFigures> measured = MeasureCopyFigures(pCopyFd, pSource, pHost, stopped);
        if (stopped) return ECANCELED;
        if (measured) fields = BextLoudnessOf(*measured);
    }
    return WriteBextLoudness(HandleOfDescriptor(pCopyFd), chunk, fields, version);
}

}  // namespace sonivate
