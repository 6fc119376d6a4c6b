#pragma once
// The loudness meter of one file: programme loudness per ITU-R BS.1770
// (K-weighting, 400 ms blocks every 100 ms, absolute gate -70 LKFS, relative
// gate -10 LU) and the sample peak, over a range of sample frames.
//
// One object per file: MeasureLKFS fills the block arrays and the values,
// CalcLKFS and AsymptoteLKFS work on them afterwards without reading the
// file again. MeasureLKFS reads a byte source (an open file, memory) once
// and pushes every piece it reads through Push, and to MeasurePiece for
// measures that share the read; Begin, Push and Finish also take audio
// that the caller reads or makes itself.
//
// Units: loudness in LKFS, levels and gains in dB, peak in dBFS (0 dBFS is
// the full-scale value 32767 or 8388607, so a sample of -32768 reads a
// little above 0). Positions and lengths are sample frames (one sample per
// channel), never single samples or bytes.
//
// Channels: one channel is measured as the same signal on two channels.
// Two channels: block power = PL + PR, the sums of the squared K-weighted
// left and right values. 5.1 and 7.1 (channel_layout.h: the file's channel
// mask, or without one the usual WAV order L R C LFE Ls Rs and
// L R C LFE Lb Rb Ls Rs): block power = the weighted sum G1*P1 + G2*P2 + ...
// over the channels in file order, with G = 1.0 for L, R, C and the 7.1
// back channels Lb, Rb, G = 1.41 for the surrounds Ls, Rs (60 to 120
// degrees azimuth), LFE left out. With G = 1.0 throughout, the two-channel
// power is exactly PL + PR, so every loudness formula below reads the same
// for all layouts. Other channel counts, and 6 or 8 channels whose mask
// cannot be placed (ChannelLayout::Unknown), are not measured.
//
// Failure values: MeasureLKFS and Finish 0 (object reset: no blocks, every
// value 0); Begin false (object reset); Push false when no measurement is
// open; CalcLKFS and AsymptoteLKFS 0 when there are no blocks.

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "loudness/frame_stream.h"
#include "loudness/k_weighting.h"
#include "platform/event_pump.h"
#include "wavefile/channel_layout.h"

namespace sonivate {

struct WaveFormatInfo;
class ByteSource;
class LoudnessState;

class C_LKFSFCT {
public:
    // pPump: the run's message pump, which the meter lets breathe for 10 ms
    // after every piece it reads (YieldForUi). It must outlive the object.
    explicit C_LKFSFCT(platform::EventPump& pPump = platform::HeadlessPump());
    C_LKFSFCT(const C_LKFSFCT&) = delete;
    C_LKFSFCT& operator=(const C_LKFSFCT&) = delete;

    // Stop request. A non-zero value stops a running measurement at its next
    // progress point; MeasureLKFS clears it when it starts, so a request made
    // before the call is dropped. May be set from another thread.
    void ProcCanceled(std::int32_t pValue);
    std::int32_t ProcCanceled() const;

    // Integrated loudness of the last measurement, LKFS; 0 after a failure.
    double LKFSValue() const;
    // Always 0: nothing sets it.
    double MaxLKFSValue() const;
    // Sample peak of the last measurement, dBFS; -110 for digital silence, 0
    // after a failure.
    double PeakValue() const;

    // Measures the frames [pStartAddr, pEndAddr) of the data chunk of the WAV
    // file pFilename (16 or 24 bit; 1, 2, 6 or 8 channels). pEndAddr <= 0
    // means the end of the data; a negative pStartAddr counts as 0. The range
    // is limited to the frames the file holds (the data chunk's declared
    // length and the file's size), so trailing chunks are never read as
    // audio. Returns 1 when the measurement completed, 0 when it failed (not
    // a WAV file, no frames, another bit depth or channel count, a range
    // shorter than one 400 ms block or longer than 2147483647 frames, a
    // failed or short read) or was stopped; the object is then reset.
    std::int32_t MeasureLKFS(const std::string& pFilename, std::int64_t pStartAddr, std::int64_t pEndAddr);
    // The same over a WAV file in pSource (an open file through HandleSource,
    // or bytes in memory), with the same results, failures, progress events,
    // stop requests and pauses; the path form opens the file and calls this.
    // Reads are positioned: a handle's file position is neither used nor
    // moved, and the source is never closed here.
    std::int32_t MeasureLKFS(const ByteSource& pSource, std::int64_t pStartAddr, std::int64_t pEndAddr);

    // Audio pushed by the caller instead of read here. Begin starts a
    // measurement of the layout of pInfo (Channels, BitsPerSample,
    // SampleRate; BlockAlign 0 or Channels * BitsPerSample / 8) and drops the
    // last one's results. pFrames > 0 announces the frames to come (at least
    // one block, at most 2147483647): the block arrays get MeasureLKFS's
    // slots and frames pushed beyond pFrames are left out; pFrames <= 0
    // leaves the length open and the arrays grow with the blocks. False for
    // a layout or length the meter does not take.
    bool Begin(const WaveFormatInfo& pInfo, std::int64_t pFrames);
    // The same for channels of the layout pLayout (its channel count must be
    // pInfo.Channels): the weights of a file whose mask ReadChannelLayout
    // placed. The form above takes DefaultChannelLayout(pInfo.Channels).
    bool Begin(const WaveFormatInfo& pInfo, std::int64_t pFrames, ChannelLayout pLayout);
    // The next bytes of interleaved little-endian PCM as stored in the data
    // chunk, cut anywhere (a frame split between two pushes is held back
    // until it is whole). The blocks, NumBlock and CalcLKFS follow each
    // push; LKFSValue and PeakValue wait for Finish. False when no
    // measurement is open.
    bool Push(std::span<const std::uint8_t> pBytes);
    // Ends the pushed measurement: PeakValue, LKFSValue and AsymptoteLKFS
    // then read as after MeasureLKFS. 1 when at least one block is complete;
    // 0 otherwise (object reset). Later pushes are refused until Begin.
    std::int32_t Finish();
    // Whole frames pushed since Begin (and taken: not beyond an announced length).
    std::int64_t FramesPushed() const;

    // Gated loudness of the measured blocks after adding pAdd dB to each,
    // LKFS, never below -70; -70 when no block passes the gates; 0 without
    // blocks.
    double CalcLKFS(double pAdd) const;

    // The gain in dB that brings CalcLKFS to within 0.001 dB of pTarget
    // (LKFS), searched from the first guess pTarget - LKFSValue in steps of
    // 1 dB, 1/1.2 dB, 1/1.44 dB, ... toward the target: at most 101
    // evaluations, and when none is close enough, the gain after the 101st
    // step (not evaluated again). 0 without blocks. pAdjustments, when
    // given, receives the number of steps taken.
    double AsymptoteLKFS(double pTarget, std::int32_t* pAdjustments = nullptr) const;

    // Raised before each 16-second read with the fraction of the range read
    // so far (0 to 1). Setting pCancel non-zero stops the measurement.
    std::function<void(float pRate, std::int32_t& pCancel)> MeasureLKFSProg;

    // Optional: handed every piece of audio the measurement reads, in order,
    // as stored in the data chunk of the file described by pInfo; pFirst for
    // the first piece of a measurement. Lets other measures share the read.
    std::function<void(const WaveFormatInfo& pInfo, std::span<const std::uint8_t> pBytes, bool pFirst)> MeasurePiece;

    // The blocks of the last measurement. Slots 0 to NumBlock() - 1 hold the
    // blocks in time order; the arrays may have more slots (all 0), and
    // after a failure they hold one slot of 0.
    std::int32_t NumBlock() const;
    // Sum of the squared K-weighted sample values of the block (weighted over
    // the channels as described above); full-scale units squared.
    const std::vector<double>& BlockPower() const;
    // Loudness of each block, LKFS; -110.691 for a silent block.
    const std::vector<double>& BlockLKFS() const;
    // Block length N in frames (19200 at 48000 Hz); 0 before a measurement.
    std::int32_t BlockLen() const;
    // Full-scale sample value of the measured file: 32767 or 8388607.
    std::int32_t FullScale() const;
    // The channel layout of the measurement in progress or the last one
    // (set before the first piece is read); Unknown before the first and
    // after a failure to start.
    ChannelLayout Layout() const;

    // Replaces the blocks by pPowers as if a measurement had produced them,
    // with block length pBlockLen frames and full scale pFullScale: the
    // block loudness values and LKFSValue follow from them, PeakValue is 0.
    // For checking the gates and the search on known block values.
    void LoadBlockPowers(std::span<const double> pPowers, std::int32_t pBlockLen, std::int32_t pFullScale);

    // Frames between block starts at pSampleRate: 0.1 s, computed with the
    // single-precision value of 0.1 and rounded (4800 at 48000 Hz); 0 for a
    // rate too small or too large to measure.
    static std::int32_t HopLength(std::int32_t pSampleRate);

private:
    friend class LoudnessState;

    template <class Body>
    std::int32_t Guarded(Body&& pMeasure);
    bool Measure(const ByteSource& pSource, std::int64_t pStartAddr, std::int64_t pEndAddr);
    // Begin's layout checks and fresh state, length open; false for a layout
    // the meter does not take.
    bool StartLayout(const WaveFormatInfo& pInfo, ChannelLayout pLayout);
    // Limits the measurement to pFrames frames and gives the block arrays
    // their slots.
    void Announce(std::int32_t pFrames);
    void AddFrames(const std::uint8_t* pRaw, std::int64_t pFrames);
    void Reset();
    double BlockLoudness(double pPower) const;
    double GroupLoudness(double pPowerSum, std::int64_t pCount, double pAdd) const;

    platform::EventPump* c_Pump;
    std::atomic<std::int32_t> c_ProcCanceled{0};
    std::int32_t c_NumBlock = 0;
    std::vector<double> c_BlockLKFS;
    std::vector<double> c_BlockPower;
    double c_LKFSValue = 0.0;
    double c_MaxLKFSValue = 0.0;
    double c_PeakValue = 0.0;
    std::int32_t c_FullScale = 0;
    std::int32_t c_BlockLen = 0;
    ChannelLayout c_Layout = ChannelLayout::Unknown;

    // The measurement in progress (Begin to Finish).
    bool c_Begun = false;
    std::int32_t c_FrameBytes = 0;
    std::int64_t c_FrameLimit = -1;  // announced length; -1: open
    std::int64_t c_FramesPushed = 0;
    std::int32_t c_PeakSample = 0;  // largest absolute sample so far, file scale
    std::vector<double> c_Weights;
    std::vector<KWeightedPair> c_Pairs;
    std::vector<std::vector<PairBlockSums>> c_Cut;  // per pair, the blocks one step ends
    FrameStream c_Stream;
};

}  // namespace sonivate
