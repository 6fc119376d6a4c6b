#pragma once
// C_EditWave: appends a frame range of a WAV file to a target file with a
// gain applied, in blocks of at most kEditBlockBytes (the unit of progress
// and stop requests). Frames with a gain are read, scaled and written in
// cache-sized pieces, a helper thread reading a few pieces ahead; frames
// copied unchanged go from file to file inside the kernel. Reads and writes are positioned: no handle's file position
// is used or moved.
//
// Layouts processed: linear PCM of 16 or 24 bits in 1 to kEditMaxChannels
// channels (mono, stereo, 5.1, 7.1). Mono and stereo take a gain per
// channel; wider layouts one gain for every channel (different left and
// right gains are refused). The 8-bit layouts are refused (result 0) before
// anything is written.
//
// Sample rule, per channel sample x with that channel's gain argument a (dB):
//   g      = LinearToDB(DBToLinear(a)), raised to kEditGainFloorDB when below
//   factor = DBToLinear(g)
//   y      = x * factor, rounded to a 32-bit float
//   16-bit: |y| < 32767 -> y rounded half to even, else +-32767
//   24-bit: |y| < 16777215 -> y rounded half to even, else +-16777215,
//           then saturated to -8388608 .. 8388607
// A mono frame uses the left gain. With a gain envelope
// (loudness/true_peak_limiter.h) frame n of the range takes
//   factor = DBToLinear(g) * envelope(n)
// instead, every channel alike; where the envelope is exactly 1 that is the
// factor of the constant gain, so those frames come out bit for bit as in
// the copy without an envelope. When both gains come out as exactly 0.0
// the frames are copied byte for byte (a 16-bit -32768 is kept).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/basic_file.h"
#include "loudness/true_peak_limiter.h"
#include "platform/event_pump.h"
#include "wavefile/wave_format.h"

namespace sonivate {

// Upper bound of one block, in bytes; a block holds kEditBlockBytes div
// BlockAlign frames (2097152 for Stereo16bit, 1398101 for Stereo24bit).
inline constexpr std::int32_t kEditBlockBytes = 8388608;

// The widest frame written: 7.1.
inline constexpr std::int32_t kEditMaxChannels = 8;

// Gains below this (dB) act as this: the writer attenuates but never silences.
inline constexpr double kEditGainFloorDB = -60.0;

class C_EditWave {
public:
    // pPump: the run's message pump, which gets one pass before and after
    // every block. It must outlive the object.
    explicit C_EditWave(platform::EventPump& pPump = platform::HeadlessPump()) : mPump(&pPump) {}

    // Raised after every block: pRate is the fraction of the range written
    // so far (above 0 up to 1); a handler that sets pCancel to non-zero
    // stops the call after that block.
    std::function<void(float pRate, std::int32_t& pCancel)> Prog;

    // 0 at the start of each EditWav call, 1 after a Prog handler asked to
    // stop. Any non-zero value, set from anywhere (an event handler, another
    // thread), stops a running call after its current block.
    std::int32_t Canceled() const { return mCanceled.load(std::memory_order_relaxed); }
    void SetCanceled(std::int32_t pValue) { mCanceled.store(pValue, std::memory_order_relaxed); }

    // The names given to the last EditWav call.
    const std::string& SourceFN() const { return mSourceFN; }
    const std::string& TargetFN() const { return mTargetFN; }

    // Statistics of the level-check mode, which this system never switches
    // on: always 0 (levels as sample values, the *DB ones in dB).
    std::int32_t MaxPeak() const { return 0; }
    std::int32_t MaxRMS() const { return 0; }
    std::int32_t NormRMS() const { return 0; }
    float MaxPeakDB() const { return 0.0f; }
    float MaxRMSDB() const { return 0.0f; }
    float NormRMSDB() const { return 0.0f; }

    // Appends the frames [pFrom, pTo) of the source's data chunk to the end
    // of the target, with the sample rule above.
    //
    // Files: pSourceFH / pTargetFH when non-zero, otherwise pSourceFN opened
    // for reading / pTargetFN opened for reading and writing (created when
    // missing, never truncated). Handles given stay open; like every
    // transfer, a failed read or write closes the handle and sets the
    // variable to 0, which is why they are taken by reference. Handles the
    // call opened itself are closed before it returns and never stored in
    // the caller's variables.
    //
    // Range (frame indices into the data chunk): pFrom 0 or less means frame
    // 0; pTo 0 or less means the end of the data. The end is limited to the
    // frames actually present (FramesPresent), so trailing chunks are never
    // read as audio. An empty range writes nothing, raises no Prog and
    // succeeds.
    //
    // pAdjustdbL / pAdjustdbR: gains in dB of the left channel (or the only
    // one) and the right channel.
    //
    // Accepted and ignored (always off in this system): level-threshold
    // trimming (pUseTh, pThIn, pThOut dB, pStartMargin / pEndMargin ms,
    // pForceMargin), normalisation (pUseNorm, pNormLevel dB, pNormMode,
    // pRMSmsec ms, pRMSdb dB, pClip), fades (pFadeInSample /
    // pFadeOutSample frames) and level checking (pCheckLevel). pNoTrim is
    // treated as on whatever its value: the target's RIFF and data sizes are
    // never touched.
    //
    // Result: 1 when the whole range was appended; 0 otherwise: invalid
    // source, unsupported layout, a file that cannot be opened, a failed or
    // short read or write, cancel, or a trapped run-time error. Blocks
    // appended before a failure stay in the target.
    std::int32_t EditWav(const std::string& pSourceFN, const std::string& pTargetFN, FileHandle& pSourceFH,
                         FileHandle& pTargetFH, std::int64_t pFrom, std::int64_t pTo, bool pUseTh, float pThIn,
                         float pThOut, std::int32_t pStartMargin, std::int32_t pEndMargin, bool pForceMargin,
                         bool pUseNorm, float pNormLevel, std::int32_t pNormMode, std::int32_t pRMSmsec, float pRMSdb,
                         bool pClip, double pAdjustdbL, double pAdjustdbR, std::int32_t pFadeInSample,
                         std::int32_t pFadeOutSample, bool pCheckLevel, bool pNoTrim);

    // The call the output run makes: open handles, one gain (dB) on both
    // channels, every option off. Same result as above.
    std::int32_t EditWav(FileHandle& pSourceFH, FileHandle& pTargetFH, std::int64_t pFrom, std::int64_t pTo,
                         double pAdjustdb);

    // The same with the source's format record already read (ReadWaveHeader
    // of pSourceFH), for a caller that cuts one file into several spans and
    // walks its header once.
    std::int32_t EditWav(const WaveFormatInfo& pSourceInfo, FileHandle& pSourceFH, FileHandle& pTargetFH,
                         std::int64_t pFrom, std::int64_t pTo, double pAdjustdb);

    // The limited copy: as above, frame n of the range [pFrom, pTo) scaled by
    // pAdjustdb and pEnvelope (made for exactly that range, pEnvelope.Frames()
    // == its length after the limits above; otherwise result 0). See
    // writer/limited_gain.h for the envelope and the gain to pass.
    std::int32_t EditWav(const WaveFormatInfo& pSourceInfo, FileHandle& pSourceFH, FileHandle& pTargetFH,
                         std::int64_t pFrom, std::int64_t pTo, double pAdjustdb, const GainEnvelope& pEnvelope);

private:
    // The block loop over an open source whose format record is pInfo.
    std::int32_t EditOpen(const WaveFormatInfo& pInfo, FileHandle& pSource, FileHandle& pTarget, bool pOwnTarget,
                          const std::string& pTargetFN, std::int64_t pFrom, std::int64_t pTo, double pAdjustdbL,
                          double pAdjustdbR, const GainEnvelope* pEnvelope);

    // The buffer scaled pieces pass through, made on first use and kept for
    // every later call on this object: a file cut into spans allocates it
    // once. Never cleared, as every byte written from it was read into it first.
    unsigned char* Piece(std::size_t pBytes);

    platform::EventPump* mPump;
    std::atomic<std::int32_t> mCanceled{0};
    std::unique_ptr<unsigned char[]> mPiece;
    std::size_t mPieceBytes = 0;
    std::string mSourceFN;
    std::string mTargetFN;
};

}  // namespace sonivate
