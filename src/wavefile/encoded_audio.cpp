#include "wavefile/encoded_audio.h"

#include <algorithm>

#include "common/error_trap.h"
#include "wavefile/pcm_codec.h"

namespace sonivate {
namespace {

// Sync words as they stand in a 24-bit sample, and the bits that carry them.
struct WordSize {
    std::int32_t Bits;
    std::uint32_t Mask;
    std::uint32_t Pa;
    std::uint32_t Pb;
    std::int32_t Shift;  // bits below the word in a 24-bit sample
};
constexpr WordSize kWordSizes[] = {
    {16, 0xFFFF00, 0xF872u << 8, 0x4E1Fu << 8, 8},
    {20, 0xFFFFF0, 0x6F872u << 4, 0x54E1Fu << 4, 4},
    {24, 0xFFFFFF, 0x96F872u, 0xA54E1Fu, 0},
};
constexpr std::uint32_t kSampleBits24 = 0xFFFFFF;
constexpr std::int32_t kDataTypeBits = 0x1F;
// Frames of a candidate's words needed to judge it: Pa and Pb (pair), Pc
// (pair: the next frame; one channel: two frames on).
constexpr std::int32_t kJudgedFrames = 3;
// What a scan reads at a time.
constexpr std::int64_t kPieceBytes = std::int64_t{256} << 10;

const WordSize* SizeOf(std::int32_t pBits) {
    for (const WordSize& size : kWordSizes)
        if (size.Bits == pBits) return &size;
    return nullptr;
}

// The word size whose Pa pWord is, or 0.
std::int32_t PaBits(std::uint32_t pWord) {
    for (const WordSize& size : kWordSizes)
        if ((pWord & size.Mask) == size.Pa) return size.Bits;
    return 0;
}

bool IsPb(std::uint32_t pWord, const WordSize& pSize) { return (pWord & pSize.Mask) == pSize.Pb; }

std::int32_t DataTypeOf(std::uint32_t pPc, const WordSize& pSize) {
    return static_cast<std::int32_t>((pPc & pSize.Mask) >> pSize.Shift) & kDataTypeBits;
}

}  // namespace

bool EncodedAudioScanner::Begin(std::int32_t pChannels, std::int32_t pBitsPerSample) {
    mBegun = false;
    mVerdict = EncodedAudioVerdict{};
    mCandidates.clear();
    mStreams.clear();
    mHeld.clear();
    mFrame = 0;
    if (pChannels < 1 || (pBitsPerSample != 16 && pBitsPerSample != 24)) return false;
    mChannels = pChannels;
    mBytesPerSample = pBitsPerSample / 8;
    mFrameBytes = mChannels * mBytesPerSample;
    mWords.assign(static_cast<size_t>(mChannels), 0);
    mVerdict.Status = EncodedAudioStatus::Scanned;
    mBegun = true;
    return true;
}

bool EncodedAudioScanner::Push(std::span<const std::uint8_t> pBytes) {
    if (!mBegun || mVerdict.Found) return mVerdict.Found;
    const std::uint8_t* at = pBytes.data();
    size_t left = pBytes.size();
    const auto frameBytes = static_cast<size_t>(mFrameBytes);
    if (!mHeld.empty()) {
        const size_t take = std::min(left, frameBytes - mHeld.size());
        mHeld.insert(mHeld.end(), at, at + take);
        at += take;
        left -= take;
        if (mHeld.size() < frameBytes) return false;
        ScanFrames(mHeld.data(), 1);
        mHeld.clear();
    }
    const size_t frames = left / frameBytes;
    ScanFrames(at, static_cast<std::int64_t>(frames));
    if (!mVerdict.Found) mHeld.assign(at + frames * frameBytes, at + left);
    return mVerdict.Found;
}

void EncodedAudioScanner::ScanFrames(const std::uint8_t* pRaw, std::int64_t pFrames) {
    std::int32_t* words = mWords.data();
    for (std::int64_t n = 0; n < pFrames && !mVerdict.Found; ++n, pRaw += mFrameBytes) {
        if (mBytesPerSample == 2) {
            for (std::int32_t c = 0; c < mChannels; ++c)
                words[c] = static_cast<std::int32_t>((static_cast<std::uint32_t>(Pcm16::DecodeOne(pRaw + 2 * c)) << 8) &
                                                     kSampleBits24);
        } else {
            for (std::int32_t c = 0; c < mChannels; ++c)
                words[c] = static_cast<std::int32_t>(static_cast<std::uint32_t>(Pcm24::DecodeOne(pRaw + 3 * c)) &
                                                     kSampleBits24);
        }
        for (std::int32_t c = 0; c < mChannels; ++c) {
            const std::int32_t bits = PaBits(static_cast<std::uint32_t>(words[c]));
            if (bits == 0) continue;
            Candidate candidate;
            candidate.Frame = mFrame;
            candidate.Channel = c;
            candidate.WordBits = bits;
            mCandidates.push_back(candidate);
        }
        if (!mCandidates.empty()) Collect(mFrame, words);
        ++mFrame;
        mVerdict.FramesScanned = mFrame;
    }
}

void EncodedAudioScanner::Collect(std::int64_t pFrame, const std::int32_t* pWords) {
    for (size_t i = 0; i < mCandidates.size();) {
        Candidate& candidate = mCandidates[i];
        if (candidate.Frame + candidate.Words == pFrame) {
            const std::int32_t k = candidate.Words++;
            candidate.Own[k] = pWords[candidate.Channel];
            candidate.Next[k] = candidate.Channel + 1 < mChannels ? pWords[candidate.Channel + 1] : 0;
        }
        if (candidate.Words < kJudgedFrames) {
            ++i;
            continue;
        }
        const Candidate judged = candidate;
        mCandidates.erase(mCandidates.begin() + static_cast<std::ptrdiff_t>(i));
        Judge(judged);
        if (mVerdict.Found) return;
    }
}

void EncodedAudioScanner::Judge(const Candidate& pCandidate) {
    const WordSize* size = SizeOf(pCandidate.WordBits);
    if (size == nullptr) return;
    const bool pairStart = pCandidate.Channel % 2 == 0 && pCandidate.Channel + 1 < mChannels;
    if (pairStart && IsPb(static_cast<std::uint32_t>(pCandidate.Next[0]), *size))
        AddBurst(BurstPlacement::ChannelPair, pCandidate.Channel, size->Bits,
                 DataTypeOf(static_cast<std::uint32_t>(pCandidate.Own[1]), *size), pCandidate.Frame);
    if (!mVerdict.Found && IsPb(static_cast<std::uint32_t>(pCandidate.Own[1]), *size))
        AddBurst(BurstPlacement::SingleChannel, pCandidate.Channel, size->Bits,
                 DataTypeOf(static_cast<std::uint32_t>(pCandidate.Own[2]), *size), pCandidate.Frame);
}

void EncodedAudioScanner::AddBurst(BurstPlacement pPlacement, std::int32_t pChannel, std::int32_t pWordBits,
                                   std::int32_t pDataType, std::int64_t pFrame) {
    auto stream = std::find_if(mStreams.begin(), mStreams.end(), [&](const Stream& pStream) {
        return pStream.Placement == pPlacement && pStream.Channel == pChannel && pStream.WordBits == pWordBits;
    });
    if (stream == mStreams.end()) {
        mStreams.push_back(Stream{pPlacement, pChannel, pWordBits});
        stream = mStreams.end() - 1;
    }
    if (stream->Bursts > 0 && pFrame - stream->LastFrame <= kLongestBurstGapFrames) {
        ++stream->Bursts;
    } else {
        stream->Bursts = 1;
        stream->FirstFrame = pFrame;
        stream->DataType = pDataType;
    }
    stream->LastFrame = pFrame;
    if (stream->Bursts <= mVerdict.Bursts) return;
    mVerdict.Placement = stream->Placement;
    mVerdict.Channel = stream->Channel;
    mVerdict.WordBits = stream->WordBits;
    mVerdict.DataType = stream->DataType;
    mVerdict.Bursts = stream->Bursts;
    mVerdict.FirstBurstFrame = stream->FirstFrame;
    mVerdict.Found = stream->Bursts >= kConfirmingBursts;
}

EncodedAudioVerdict DetectEncodedAudio(const ByteSource& pSource, const WaveFormatInfo& pInfo,
                                       std::int64_t pMaxFrames) {
    EncodedAudioVerdict verdict;
    EncodedAudioScanner scanner;
    if (pInfo.Valid == 0 || pInfo.Channels < 1 || pInfo.BlockAlign != pInfo.Channels * (pInfo.BitsPerSample / 8) ||
        !scanner.Begin(pInfo.Channels, pInfo.BitsPerSample))
        return verdict;
    const bool completed = Trapped(false, [&] {
        const std::int64_t frameBytes = pInfo.BlockAlign;
        const std::int64_t frames = pMaxFrames > 0 ? std::min(pInfo.FramesInFile, pMaxFrames) : pInfo.FramesInFile;
        const std::int64_t pieceFrames = std::max<std::int64_t>(kPieceBytes / frameBytes, 1);
        std::vector<std::uint8_t> piece(
            static_cast<size_t>(std::min(pieceFrames, std::max<std::int64_t>(frames, 1)) * frameBytes));
        for (std::int64_t at = 0; at < frames;) {
            const std::int64_t count = std::min(pieceFrames, frames - at);
            const std::int64_t bytes = count * frameBytes;
            if (pSource.ReadAt(pInfo.DataOffset + at * frameBytes, piece.data(), bytes) != bytes) return false;
            if (scanner.Push({piece.data(), static_cast<size_t>(bytes)})) break;
            at += count;
        }
        return true;
    });
    verdict = scanner.Verdict();
    if (!completed) verdict.Status = EncodedAudioStatus::ReadFailed;
    return verdict;
}

bool HasEncodedAudio(const ByteSource& pSource, const WaveFormatInfo& pInfo, EncodedAudioStatus* pStatus) {
    const EncodedAudioVerdict verdict = DetectEncodedAudio(pSource, pInfo);
    if (pStatus != nullptr) *pStatus = verdict.Status;
    return verdict.Found;
}

const char* EncodedAudioStatusName(EncodedAudioStatus pStatus) {
    switch (pStatus) {
        case EncodedAudioStatus::Scanned:
            return "scanned";
        case EncodedAudioStatus::NotScanned:
            return "not_scanned";
        case EncodedAudioStatus::ReadFailed:
            return "read_failed";
    }
    return "?";
}

}  // namespace sonivate
