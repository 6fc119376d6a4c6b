#pragma once
// Compressed audio carried as PCM (SMPTE ST 337: Dolby E, AC-3 and the
// like in the sample words of a channel pair). Such a file is no programme
// audio: measuring or scaling it would destroy the bit stream, so callers
// ask here first.
//
// Each data burst opens with the sync words Pa and Pb, then Pc (burst
// info: the data type in its bits 0 to 4) and Pd (the burst's length).
// The words stand in the most significant bits of the sample:
//
//   word size   Pa         Pb         as stored in a 24-bit sample
//   16 bits     0xF872     0x4E1F     shifted up by 8, low byte ignored
//   20 bits     0x6F872    0x54E1F    shifted up by 4, low 4 bits ignored
//   24 bits     0x96F872   0xA54E1F   the whole sample
//
// A 16-bit file can only carry 16-bit words. The preamble stands either
// across a channel pair (channels 2k and 2k+1 counted from 0, as the two
// subframes of one AES3 frame: Pa and Pb in one frame, Pc and Pd in the
// next) or in consecutive samples of one channel.
//
// One matching preamble proves little (a 32-bit pattern turns up in hours of
// noise); a stream is confirmed when kConfirmingBursts bursts of the same
// word size and placement follow each other, each within
// kLongestBurstGapFrames of the one before. The scan stops at the first
// confirmed stream.

#include <cstdint>
#include <span>
#include <vector>

#include "wavefile/byte_source.h"
#include "wavefile/wave_format.h"

namespace sonivate {

enum class EncodedAudioStatus : std::int32_t {
    Scanned = 0,     // the audio was read (up to a confirmed stream, or to the end)
    NotScanned = 1,  // not a valid record of 16- or 24-bit PCM with at least one channel
    ReadFailed = 2,  // a read of the data chunk failed: the verdict covers what was read before
};

enum class BurstPlacement : std::int32_t {
    None = 0,
    ChannelPair = 1,    // Pa, Pb in channels Channel and Channel + 1 of one frame
    SingleChannel = 2,  // Pa, Pb, Pc, Pd in consecutive frames of Channel
};

struct EncodedAudioVerdict {
    EncodedAudioStatus Status = EncodedAudioStatus::NotScanned;
    bool Found = false;  // a confirmed stream of bursts
    // Of the confirmed stream (or the longest run of bursts seen when none
    // was confirmed); Channel 0-based, the pair's first channel for a pair.
    BurstPlacement Placement = BurstPlacement::None;
    std::int32_t Channel = -1;
    std::int32_t WordBits = 0;          // 16, 20 or 24
    std::int32_t DataType = -1;         // Pc bits 0 to 4 of the first burst of the stream
    std::int32_t Bursts = 0;            // bursts in that run, at most kConfirmingBursts
    std::int64_t FirstBurstFrame = -1;  // frame of the run's first Pa, counted from the scan's first frame
    std::int64_t FramesScanned = 0;
};

// Scans audio pushed in pieces of any size (a frame cut between two pieces
// is taken once whole), so that a read shared with the meter can answer too.
class EncodedAudioScanner {
public:
    static constexpr std::int32_t kConfirmingBursts = 3;
    // Longer than the burst period of every data type (Dolby E at 23.976
    // frames per second: 2002 frames at 48 kHz).
    static constexpr std::int64_t kLongestBurstGapFrames = 8192;

    // Starts a scan of interleaved little-endian PCM: pChannels >= 1,
    // pBitsPerSample 16 or 24. False (and nothing scanned) otherwise.
    bool Begin(std::int32_t pChannels, std::int32_t pBitsPerSample);
    // The next bytes as stored in the data chunk. True once a stream is
    // confirmed; later pushes are then ignored.
    bool Push(std::span<const std::uint8_t> pBytes);
    // Ends the scan: bursts whose last words never came stay unconfirmed.
    const EncodedAudioVerdict& Verdict() const { return mVerdict; }
    bool Found() const { return mVerdict.Found; }

private:
    // A Pa seen: the words of its channel and the next one in the frames
    // that follow are collected until the burst can be judged.
    struct Candidate {
        std::int64_t Frame = 0;
        std::int32_t Channel = 0;
        std::int32_t WordBits = 0;
        std::int32_t Words = 0;     // frames collected, 0 to 4
        std::int32_t Own[4] = {};   // this channel's words, frames Frame .. Frame + 3
        std::int32_t Next[4] = {};  // the next channel's words, where there is one
    };
    struct Stream {
        BurstPlacement Placement = BurstPlacement::None;
        std::int32_t Channel = -1;
        std::int32_t WordBits = 0;
        std::int32_t DataType = -1;
        std::int32_t Bursts = 0;
        std::int64_t FirstFrame = -1;
        std::int64_t LastFrame = -1;
    };

    void ScanFrames(const std::uint8_t* pRaw, std::int64_t pFrames);
    void Collect(std::int64_t pFrame, const std::int32_t* pWords);
    void Judge(const Candidate& pCandidate);
    void AddBurst(BurstPlacement pPlacement, std::int32_t pChannel, std::int32_t pWordBits, std::int32_t pPc,
                  std::int64_t pFrame);

    bool mBegun = false;
    std::int32_t mChannels = 0;
    std::int32_t mBytesPerSample = 0;
    std::int32_t mFrameBytes = 0;
    std::int64_t mFrame = 0;  // frames scanned
    std::vector<std::uint8_t> mHeld;
    std::vector<std::int32_t> mWords;  // one frame's samples as 24-bit words
    std::vector<Candidate> mCandidates;
    std::vector<Stream> mStreams;
    EncodedAudioVerdict mVerdict;
};

// Scans the data chunk of the file whose record is pInfo (a valid record of
// ReadWaveHeader or CheckWave over pSource): frames 0 to FramesInFile, or
// the first pMaxFrames of them when pMaxFrames > 0. Reads in pieces of a
// few hundred kilobytes and stops at the first confirmed stream.
EncodedAudioVerdict DetectEncodedAudio(const ByteSource& pSource, const WaveFormatInfo& pInfo,
                                       std::int64_t pMaxFrames = 0);

// Whether the file carries a confirmed stream; pStatus, when given,
// receives the scan's status (false with NotScanned or ReadFailed means
// "not known", not "none").
bool HasEncodedAudio(const ByteSource& pSource, const WaveFormatInfo& pInfo, EncodedAudioStatus* pStatus = nullptr);

// "scanned", "not_scanned", "read_failed".
const char* EncodedAudioStatusName(EncodedAudioStatus pStatus);

}  // namespace sonivate
