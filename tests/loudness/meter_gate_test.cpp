// CalcLKFS and AsymptoteLKFS on known block values.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "loudness/c_lkfsfct.h"

namespace sonivate {
namespace {

constexpr std::int32_t kBlockLen = 19200;
constexpr std::int32_t kFullScale = 32767;

// The power of a block whose loudness is pLKFS.
double PowerOf(double pLKFS) {
    return kBlockLen * static_cast<double>(kFullScale) * kFullScale * std::pow(10.0, (pLKFS + 0.691) / 10.0);
}

void LoadLevels(C_LKFSFCT& pMeter, const std::vector<double>& pLKFS) {
    std::vector<double> powers;
    for (const double l : pLKFS) powers.push_back(PowerOf(l));
    pMeter.LoadBlockPowers(powers, kBlockLen, kFullScale);
}

TEST(Gates, RelativeGateDropsTheQuietBlock) {
    // All three pass -70; their energy mean is -21.739, so the relative gate
    // sits at -31.739 and only the two -20 blocks remain.
    C_LKFSFCT meter;
    LoadLevels(meter, {-20.0, -20.0, -40.0});
    EXPECT_NEAR(meter.BlockLKFS()[2], -40.0, 1e-9);
    EXPECT_NEAR(meter.LKFSValue(), -20.0, 1e-9);
    EXPECT_EQ(meter.CalcLKFS(0.0), meter.LKFSValue());
    // 30 dB up, the quiet block is still 20 LU under the others.
    EXPECT_NEAR(meter.CalcLKFS(30.0), 10.0, 1e-9);
}

TEST(Gates, AbsoluteGateAndTheFloorOfTheResult) {
    C_LKFSFCT silent;
    silent.LoadBlockPowers(std::vector<double>{0.0, 0.0, 0.0}, kBlockLen, kFullScale);
    EXPECT_EQ(silent.BlockLKFS()[0], -110.691);
    EXPECT_EQ(silent.LKFSValue(), -70.0);

    // A block under -70 counts once an offset lifts it over the gate.
    C_LKFSFCT quiet;
    LoadLevels(quiet, {-60.0, -71.0});
    EXPECT_NEAR(quiet.LKFSValue(), -60.0, 1e-9);
    EXPECT_NEAR(quiet.CalcLKFS(5.0), 5.0 + 10.0 * std::log10((std::pow(10.0, -6.0) + std::pow(10.0, -7.1)) / 2.0),
                1e-9);
    // The relative gate would sit at -75 here; held at -70 it keeps the -72
    // block out.
    C_LKFSFCT low;
    LoadLevels(low, {-65.0, -72.0});
    EXPECT_NEAR(low.LKFSValue(), -65.0, 1e-9);
}

TEST(Gates, BlockOfKWeightedSamplesAt3277) {
    C_LKFSFCT meter;
    // 3277 on both channels over all 19200 frames.
    meter.LoadBlockPowers(std::vector<double>{2.0 * kBlockLen * 3277.0 * 3277.0}, kBlockLen, kFullScale);
    EXPECT_NEAR(meter.BlockLKFS()[0], -17.680, 0.0005);
}

TEST(Search, TheAbsoluteGateMovesTheAnswerAwayFromTheFirstGuess) {
    // At +36 dB the -71 block passes the absolute gate and pulls the gated
    // loudness down, so the search has to climb further.
    C_LKFSFCT meter;
    LoadLevels(meter, {-60.0, -60.0, -71.0});
    EXPECT_NEAR(meter.LKFSValue(), -60.0, 1e-9);
    std::int32_t steps = -1;
    const double gain = meter.AsymptoteLKFS(-24.0, &steps);
    EXPECT_NEAR(gain, 37.592, 0.0005);
    EXPECT_EQ(steps, 24);
    EXPECT_LE(std::fabs(meter.CalcLKFS(gain) + 24.0), 0.001);
}

TEST(Search, FirstGuessStandsWhenTheGatesDoNotChange) {
    C_LKFSFCT meter;
    LoadLevels(meter, {-30.0, -28.0, -45.0, -31.0});
    std::int32_t steps = -1;
    EXPECT_EQ(meter.AsymptoteLKFS(meter.LKFSValue(), &steps), 0.0);
    EXPECT_EQ(steps, 0);
    EXPECT_EQ(meter.AsymptoteLKFS(-24.0, &steps), -24.0 - meter.LKFSValue());
    EXPECT_EQ(steps, 0);
}

TEST(Search, NothingMeasuredGivesZero) {
    C_LKFSFCT meter;
    EXPECT_EQ(meter.CalcLKFS(0.0), 0.0);
    EXPECT_EQ(meter.AsymptoteLKFS(-24.0), 0.0);
    EXPECT_EQ(meter.LKFSValue(), 0.0);
}

}  // namespace
}  // namespace sonivate
