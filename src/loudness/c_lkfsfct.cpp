#include "loudness/c_lkfsfct.h"

#include <algorithm>
#include <cmath>

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
using bs1770::ChannelWeights;
using bs1770::kAbsoluteGateLKFS;
using bs1770::kFullScale16;
using bs1770::kFullScale24;
using bs1770::kLeftOut;
using bs1770::kLoudnessOffsetDB;
using bs1770::kRelativeGateLU;
constexpr double kLowestLKFS = -70.0;

constexpr double kSearchFirstStepDB = 1.0;
constexpr double kSearchStepDivisor = 1.2;
constexpr double kSearchToleranceDB = 0.001;
constexpr std::int32_t kSearchMaxEvaluations = 101;

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

std::int32_t C_LKFSFCT::HopLength(std::int32_t pSampleRate) {
    const double hop = std::nearbyint(pSampleRate * kHopSeconds);
    if (!(hop >= 1.0) || hop * kHopsPerBlock > 2147483647.0) return 0;
    return static_cast<std::int32_t>(hop);
}

std::int32_t C_LKFSFCT::MeasureLKFS(const std::string& pFilename, std::int64_t pStartAddr, std::int64_t pEndAddr) {
    c_ProcCanceled.store(0);
    const std::int32_t done = Trapped<std::int32_t>(0, [&]() -> std::int32_t {
        ScopedHandle opened(OpenFileHandle(pFilename, kOpenRead));
        if (opened.handle == 0) return 0;
        return MeasureLKFS(HandleSource(opened.handle), pStartAddr, pEndAddr);
    });
    if (done == 0) Reset();
    return done;
}

std::int32_t C_LKFSFCT::MeasureLKFS(const ByteSource& pSource, std::int64_t pStartAddr, std::int64_t pEndAddr) {
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
    guard.done = Trapped(false, [&] { return Measure(pSource, pStartAddr, pEndAddr); });
    return guard.done ? 1 : 0;
}

bool C_LKFSFCT::Measure(const ByteSource& pSource, std::int64_t pStartAddr, std::int64_t pEndAddr) {
    const WaveFormatInfo info = ReadWaveHeader(pSource);
    if (info.Valid == 0 || info.NumSamples < 1) return false;

    std::int32_t fullScale = 0;
    if (info.BitsPerSample == 16)
        fullScale = kFullScale16;
    else if (info.BitsPerSample == 24)
        fullScale = kFullScale24;
    else
        return false;
    c_FullScale = fullScale;
    const std::vector<double> weights = ChannelWeights(info.Channels);
    if (weights.empty()) return false;

    const std::int32_t hop = HopLength(info.SampleRate);
    if (hop < 1) return false;
    const std::int32_t blockLen = kHopsPerBlock * hop;
    c_BlockLen = blockLen;
    const std::int64_t readFrames = static_cast<std::int64_t>(info.SampleRate) * kReadSeconds;

    // The range, limited to the frames present: a data chunk may declare more
    // than the file holds, and behind it may stand other chunks.
    const std::int64_t frameBytes = info.BlockAlign;
    const std::int64_t available = FramesPresent(info, info.FileSize);
    const std::int64_t start = std::max<std::int64_t>(pStartAddr, 0);
    const std::int64_t end = std::min<std::int64_t>(pEndAddr > 0 ? pEndAddr : info.NumSamples, available);
    if (end - start < blockLen) return false;
    const std::int32_t length = CheckedNarrow<std::int32_t>(end - start);
    // Four slots per whole block length: never fewer than the blocks that fit.
    const std::int32_t slots = kHopsPerBlock * (length / blockLen);

    c_BlockPower.assign(static_cast<size_t>(slots), 0.0);
    c_BlockLKFS.assign(static_cast<size_t>(slots), 0.0);

    const std::int32_t bytesPerSample = info.BitsPerSample / 8;
    std::vector<KWeightedPair> pairs;
    if (info.Channels == 1) {
        pairs.emplace_back(hop, bytesPerSample, info.BlockAlign, 0, 0);
    } else {
        for (std::int32_t c = 0; c < info.Channels; c += 2)
            pairs.emplace_back(hop, bytesPerSample, info.BlockAlign, c * bytesPerSample, (c + 1) * bytesPerSample);
    }
    std::vector<std::vector<PairBlockSums>> cut(pairs.size());

    const std::int64_t bufferFrames = std::min<std::int64_t>(readFrames, length);
    std::vector<std::uint8_t> raw(static_cast<size_t>(CheckedNarrow<std::int32_t>(bufferFrames * frameBytes)));

    std::int64_t position = start;
    std::int32_t block = 0;
    while (block < slots) {
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
        const auto bytes = static_cast<std::int32_t>(frames * frameBytes);
        const std::int64_t got = pSource.ReadAt(info.DataOffset + position * frameBytes, raw.data(), bytes);
        if (got != bytes) return false;
        if (MeasurePiece)
            MeasurePiece(info, std::span<const std::uint8_t>(raw.data(), static_cast<size_t>(bytes)),
                         position == start);

        // Each pair keeps its filter state and its open block sums from one
        // read to the next, so the three blocks that straddle two reads come
        // out first, summed frame by frame as if the audio had been one
        // piece; the blocks inside the read follow in time order.
        for (size_t p = 0; p < pairs.size(); ++p) {
            cut[p].clear();
            pairs[p].Process(raw.data(), static_cast<std::int32_t>(frames), cut[p]);
        }
        for (size_t k = 0; k < cut[0].size() && block < slots; ++k) {
            // Weighted channel sum in file order; with two channels of weight
            // 1.0 this is exactly PL + PR.
            double power = 0.0;
            for (size_t p = 0; p < pairs.size(); ++p) {
                const double left = weights[2 * p];
                const double right = weights[2 * p + 1];
                if (left != kLeftOut) power += left * cut[p][k].Left;
                if (right != kLeftOut) power += right * cut[p][k].Right;
            }
            c_BlockPower[static_cast<size_t>(block)] = power;
            c_BlockLKFS[static_cast<size_t>(block)] = BlockLoudness(power);
            ++block;
        }
        position += frames;
    }

    c_NumBlock = block;
    std::int32_t peak = 0;
    for (const KWeightedPair& pair : pairs) peak = std::max(peak, pair.Peak());
    c_PeakValue = LinearToDB(static_cast<double>(peak) / fullScale);
    c_MaxLKFSValue = 0.0;
    c_LKFSValue = CalcLKFS(0.0);
    return true;
}

void C_LKFSFCT::Reset() {
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
