#include "loudness/c_lkfsfct.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/basic_file.h"
#include "common/error_trap.h"
#include "common/numeric.h"
#include "loudness/bs1770.h"
#include "loudness/k_weighting.h"
#include "platform/event_pump.h"
#include "wavefile/byte_source.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {
namespace {

// The hop is 0.1 s computed with 0.1 as a 32-bit float (widened exactly).
constexpr double kHopSeconds = 0.10000000149011612;
constexpr std::int32_t kReadSeconds = 16;
// The pause after each progress event that lets a window handle its messages.
constexpr std::int32_t kProgressYieldMs = 10;

// Block loudness: 10*log10(mean square / full scale^2) - 0.691, LKFS.
using bs1770::kAbsoluteGateLKFS;
using bs1770::kFullScale16;
using bs1770::kFullScale24;
using bs1770::kLeftOut;
using bs1770::kLoudnessOffsetDB;
using bs1770::kRelativeGateLU;
using bs1770::LayoutWeights;
constexpr double kLowestLKFS = -70.0;

constexpr double kSearchFirstStepDB = 1.0;
constexpr double kSearchStepDivisor = 1.2;
constexpr double kSearchToleranceDB = 0.001;
constexpr std::int32_t kSearchMaxEvaluations = 101;

// Frames one pass of the filters takes from a push: bounds the blocks a pass
// collects and keeps counts in 32 bits.
constexpr std::int64_t kPushStepFrames = std::int64_t{1} << 24;

// Four slots per whole block length of a range: never fewer than the blocks
// that fit.
std::int32_t SlotsFor(std::int64_t pFrames, std::int32_t pBlockLen) {
    return static_cast<std::int32_t>(kHopsPerBlock * (pFrames / pBlockLen));
}

}  // namespace

C_LKFSFCT::C_LKFSFCT(platform::EventPump& pPump) : c_Pump(&pPump) {}

void C_LKFSFCT::ProcCanceled(std::int32_t pValue) { c_ProcCanceled.store(pValue); }
std::int32_t C_LKFSFCT::ProcCanceled() const { return c_ProcCanceled.load(); }
double C_LKFSFCT::LKFSValue() const { return c_LKFSValue; }
double C_LKFSFCT::MaxLKFSValue() const { return c_MaxLKFSValue; }
double C_LKFSFCT::PeakValue() const { return c_PeakValue; }
std::int32_t C_LKFSFCT::NumBlock() const { return c_NumBlock; }
const std::vector<double>& C_LKFSFCT::BlockPower() const { return c_BlockPower; }
const std::vector<double>& C_LKFSFCT::BlockLKFS() const { return c_BlockLKFS; }
std::int32_t C_LKFSFCT::BlockLen() const { return c_BlockLen; }
std::int32_t C_LKFSFCT::FullScale() const { return c_FullScale; }
ChannelLayout C_LKFSFCT::Layout() const { return c_Layout; }

std::int32_t C_LKFSFCT::HopLength(std::int32_t pSampleRate) {
    const double hop = std::nearbyint(pSampleRate * kHopSeconds);
    if (!(hop >= 1.0) || hop * kHopsPerBlock > 2147483647.0) return 0;
    return static_cast<std::int32_t>(hop);
}

std::int64_t C_LKFSFCT::FramesPushed() const { return c_FramesPushed; }

template <class Body>
std::int32_t C_LKFSFCT::Guarded(Body&& pMeasure) {
    c_ProcCanceled.store(0);
    // Resets the object unless the measurement completed, also when an
    // untrapped error leaves early.
    struct ResetUnlessDone {
        C_LKFSFCT& meter;
        bool done = false;
        ~ResetUnlessDone() {
            if (!done) meter.Reset();
        }
    } guard{*this};
    guard.done = Trapped(false, pMeasure);
    return guard.done ? 1 : 0;
}

std::int32_t C_LKFSFCT::MeasureLKFS(const std::string& pFilename, std::int64_t pStartAddr, std::int64_t pEndAddr) {
    return Guarded([&] {
        const ScopedHandle opened(OpenFileHandle(pFilename, kOpenRead));
        if (opened.handle == 0) return false;
        return Measure(HandleSource(opened.handle), pStartAddr, pEndAddr);
    });
}

std::int32_t C_LKFSFCT::MeasureLKFS(const ByteSource& pSource, std::int64_t pStartAddr, std::int64_t pEndAddr) {
    return Guarded([&] { return Measure(pSource, pStartAddr, pEndAddr); });
}

bool C_LKFSFCT::Measure(const ByteSource& pSource, std::int64_t pStartAddr, std::int64_t pEndAddr) {
    const WaveLayout layout = ReadWaveLayout(pSource);
    const WaveFormatInfo& info = layout.Info;
    if (info.Valid == 0 || info.NumSamples < 1) return false;

    // The range, limited to the frames present: a data chunk may declare more
    // than the file holds, and behind it may stand other chunks.
    const std::int64_t frameBytes = info.BlockAlign;
    const std::int64_t available = FramesPresent(info, info.FileSize);
    const std::int64_t start = std::max<std::int64_t>(pStartAddr, 0);
    const std::int64_t end = std::min<std::int64_t>(pEndAddr > 0 ? pEndAddr : info.NumSamples, available);
    if (!StartLayout(info, ReadChannelLayout(pSource, layout)) || end - start < c_BlockLen) return false;
    const std::int32_t length = CheckedNarrow<std::int32_t>(end - start);
    Announce(length);
    const std::int32_t hop = HopLength(info.SampleRate);
    const std::int32_t slots = SlotsFor(length, c_BlockLen);
    const std::int64_t readFrames = static_cast<std::int64_t>(info.SampleRate) * kReadSeconds;

    const std::int64_t bufferFrames = std::min<std::int64_t>(readFrames, length);
    std::vector<std::uint8_t> raw(static_cast<size_t>(CheckedNarrow<std::int32_t>(bufferFrames * frameBytes)));

    std::int64_t position = start;
    while (c_NumBlock < slots) {
        std::int32_t cancel = 0;
        if (MeasureLKFSProg) {
            const double done = static_cast<double>(position - start) / static_cast<double>(end - start);
            MeasureLKFSProg(static_cast<float>(done), cancel);
        }
        c_Pump->YieldForUi(kProgressYieldMs);
        if (c_ProcCanceled.load() != 0 || cancel != 0) {
            c_ProcCanceled.store(0);
            return false;
        }

        const std::int64_t remaining = end - position;
        if (remaining < hop) break;  // a last piece shorter than one hop is never read
        const std::int64_t frames = std::min(remaining, readFrames);
        const std::int64_t bytes = frames * frameBytes;
        if (pSource.ReadAt(info.DataOffset + position * frameBytes, raw.data(), bytes) != bytes) return false;
        const std::span<const std::uint8_t> piece(raw.data(), static_cast<size_t>(bytes));
        if (MeasurePiece) MeasurePiece(info, piece, position == start);
        Push(piece);
        position += frames;
    }
    return Finish() == 1;
}

bool C_LKFSFCT::Begin(const WaveFormatInfo& pInfo, std::int64_t pFrames) {
    return Begin(pInfo, pFrames, DefaultChannelLayout(pInfo.Channels));
}

bool C_LKFSFCT::Begin(const WaveFormatInfo& pInfo, std::int64_t pFrames, ChannelLayout pLayout) {
    const bool begun = Trapped(false, [&] {
        if (!StartLayout(pInfo, pLayout)) return false;
        if (pFrames <= 0) return true;
        if (pFrames < c_BlockLen || pFrames > std::numeric_limits<std::int32_t>::max()) return false;
        Announce(static_cast<std::int32_t>(pFrames));
        return true;
    });
    if (!begun) Reset();
    return begun;
}

bool C_LKFSFCT::StartLayout(const WaveFormatInfo& pInfo, ChannelLayout pLayout) {
    c_Begun = false;
    c_Layout = ChannelLayout::Unknown;
    std::int32_t fullScale = 0;
    if (pInfo.BitsPerSample == 16)
        fullScale = kFullScale16;
    else if (pInfo.BitsPerSample == 24)
        fullScale = kFullScale24;
    else
        return false;
    c_FullScale = fullScale;
    if (ChannelCountOf(pLayout) != pInfo.Channels) return false;
    const std::vector<double> weights = LayoutWeights(pLayout);
    if (weights.empty()) return false;
    const std::int32_t bytesPerSample = pInfo.BitsPerSample / 8;
    const std::int32_t frameBytes = pInfo.Channels * bytesPerSample;
    if (pInfo.BlockAlign != 0 && pInfo.BlockAlign != frameBytes) return false;
    const std::int32_t hop = HopLength(pInfo.SampleRate);
    if (hop < 1) return false;
    c_BlockLen = kHopsPerBlock * hop;

    c_BlockPower.clear();
    c_BlockLKFS.clear();
    c_NumBlock = 0;
    c_LKFSValue = 0.0;
    c_MaxLKFSValue = 0.0;
    c_PeakValue = 0.0;
    c_Weights = weights;
    c_Pairs.clear();
    if (pInfo.Channels == 1) {
        c_Pairs.emplace_back(hop, bytesPerSample, frameBytes, 0, 0);
    } else {
        for (std::int32_t c = 0; c < pInfo.Channels; c += 2)
            c_Pairs.emplace_back(hop, bytesPerSample, frameBytes, c * bytesPerSample, (c + 1) * bytesPerSample);
    }
    c_Cut.assign(c_Pairs.size(), {});
    c_FrameBytes = frameBytes;
    c_Stream.Reset(frameBytes);
    c_FrameLimit = -1;
    c_FramesPushed = 0;
    c_PeakSample = 0;
    c_Layout = pLayout;
    c_Begun = true;
    return true;
}

void C_LKFSFCT::Announce(std::int32_t pFrames) {
    const std::int32_t slots = SlotsFor(pFrames, c_BlockLen);
    c_BlockPower.assign(static_cast<size_t>(slots), 0.0);
    c_BlockLKFS.assign(static_cast<size_t>(slots), 0.0);
    c_FrameLimit = pFrames;
}

bool C_LKFSFCT::Push(std::span<const std::uint8_t> pBytes) {
    if (!c_Begun) return false;
    c_Stream.Feed(pBytes, [this](const std::uint8_t* pRaw, std::int64_t pFrames) { AddFrames(pRaw, pFrames); });
    return true;
}

void C_LKFSFCT::AddFrames(const std::uint8_t* pRaw, std::int64_t pFrames) {
    if (c_FrameLimit >= 0) pFrames = std::min(pFrames, c_FrameLimit - c_FramesPushed);
    while (pFrames > 0) {
        const auto frames = static_cast<std::int32_t>(std::min<std::int64_t>(pFrames, kPushStepFrames));
        // Each pair keeps its filter state and its open block sums from one
        // step to the next, so the blocks that straddle two steps come out
        // first, summed frame by frame as if the audio had been one piece;
        // the blocks inside the step follow in time order.
        for (size_t p = 0; p < c_Pairs.size(); ++p) {
            c_Cut[p].clear();
            c_Pairs[p].Process(pRaw, frames, c_Cut[p]);
        }
        for (size_t k = 0; k < c_Cut[0].size(); ++k) {
            // Weighted channel sum in file order; with two channels of weight
            // 1.0 this is exactly PL + PR.
            double power = 0.0;
            for (size_t p = 0; p < c_Pairs.size(); ++p) {
                const double left = c_Weights[2 * p];
                const double right = c_Weights[2 * p + 1];
                if (left != kLeftOut) power += left * c_Cut[p][k].Left;
                if (right != kLeftOut) power += right * c_Cut[p][k].Right;
            }
            const auto block = static_cast<size_t>(c_NumBlock);
            if (block < c_BlockPower.size()) {
                c_BlockPower[block] = power;
                c_BlockLKFS[block] = BlockLoudness(power);
            } else {
                c_BlockPower.push_back(power);
                c_BlockLKFS.push_back(BlockLoudness(power));
            }
            ++c_NumBlock;
        }
        for (const KWeightedPair& pair : c_Pairs) c_PeakSample = std::max(c_PeakSample, pair.Peak());
        pRaw += static_cast<std::int64_t>(frames) * c_FrameBytes;
        pFrames -= frames;
        c_FramesPushed += frames;
    }
}

std::int32_t C_LKFSFCT::Finish() {
    if (!c_Begun || c_NumBlock < 1) {
        Reset();
        return 0;
    }
    c_Begun = false;
    c_PeakValue = LinearToDB(static_cast<double>(c_PeakSample) / c_FullScale);
    c_MaxLKFSValue = 0.0;
    c_LKFSValue = CalcLKFS(0.0);
    return 1;
}

void C_LKFSFCT::Reset() {
    c_Begun = false;
    c_NumBlock = 0;
    c_BlockLKFS.assign(1, 0.0);
    c_BlockPower.assign(1, 0.0);
    c_LKFSValue = 0.0;
    c_MaxLKFSValue = 0.0;
    c_PeakValue = 0.0;
}

double C_LKFSFCT::BlockLoudness(double pPower) const {
    return LinearToDB(std::sqrt(pPower / c_BlockLen) / c_FullScale) - kLoudnessOffsetDB;
}

double C_LKFSFCT::GroupLoudness(double pPowerSum, std::int64_t pCount, double pAdd) const {
    const double meanSquare = pPowerSum / (static_cast<double>(pCount) * c_BlockLen);
    return pAdd + LinearToDB(std::sqrt(meanSquare) / c_FullScale) - kLoudnessOffsetDB;
}

double C_LKFSFCT::CalcLKFS(double pAdd) const {
    return Trapped(0.0, [&] {
        if (c_NumBlock < 1) return 0.0;
        const auto count = static_cast<size_t>(c_NumBlock);
        double sum = 0.0;
        std::int64_t admitted = 0;
        for (size_t i = 0; i < count; ++i) {
            if (pAdd + c_BlockLKFS[i] > kAbsoluteGateLKFS) {
                sum += c_BlockPower[i];
                ++admitted;
            }
        }
        if (admitted == 0) return kLowestLKFS;
        // The relative gate never lies below the absolute one.
        const double gate = std::max(GroupLoudness(sum, admitted, pAdd) - kRelativeGateLU, kAbsoluteGateLKFS);
        sum = 0.0;
        admitted = 0;
        for (size_t i = 0; i < count; ++i) {
            if (pAdd + c_BlockLKFS[i] > gate) {
                sum += c_BlockPower[i];
                ++admitted;
            }
        }
        if (admitted == 0) return kLowestLKFS;
        return std::max(GroupLoudness(sum, admitted, pAdd), kLowestLKFS);
    });
}

double C_LKFSFCT::AsymptoteLKFS(double pTarget, std::int32_t* pAdjustments) const {
    if (pAdjustments) *pAdjustments = 0;
    double gain = 0.0;
    Trap([&] {
        if (c_NumBlock < 1) return;
        gain = pTarget - c_LKFSValue;
        double step = kSearchFirstStepDB;
        for (std::int32_t adjustments = 1;; ++adjustments) {
            const double loudness = CalcLKFS(gain);
            if (!(std::fabs(loudness - pTarget) > kSearchToleranceDB)) return;
            gain = loudness < pTarget ? gain + step : gain - step;
            step /= kSearchStepDivisor;
            if (pAdjustments) *pAdjustments = adjustments;
            if (adjustments >= kSearchMaxEvaluations) return;  // the last step is not evaluated
        }
    });
    return gain;
}

void C_LKFSFCT::LoadBlockPowers(std::span<const double> pPowers, std::int32_t pBlockLen, std::int32_t pFullScale) {
    c_BlockLen = pBlockLen;
    c_FullScale = pFullScale;
    c_NumBlock = CheckedNarrow<std::int32_t>(pPowers.size());
    c_BlockPower.assign(pPowers.begin(), pPowers.end());
    c_BlockLKFS.resize(pPowers.size());
    for (size_t i = 0; i < pPowers.size(); ++i) c_BlockLKFS[i] = BlockLoudness(pPowers[i]);
    c_PeakValue = 0.0;
    c_MaxLKFSValue = 0.0;
    c_LKFSValue = CalcLKFS(0.0);
}

}  // namespace sonivate
