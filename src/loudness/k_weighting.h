#pragma once
// K-weighting (ITU-R BS.1770: high-shelf pre-filter, then the RLB high-pass)
// and the 400 ms block sums of one pair of channels of a PCM stream.
//
// Units: samples are integers in the file's own scale (16-bit: -32768..32767,
// 24-bit: -8388608..8388607); every stage output is rounded back to an
// integer; block sums are sums of squared K-weighted integers, no scaling.
//
// The results are defined to the bit by the order of the double operations
// below; this file is compiled without floating-point contraction so that no
// multiply-add is ever fused.

#include <cstdint>
#include <vector>

namespace sonivate {

// A block is this many hops long (400 ms of 100 ms hops).
inline constexpr std::int32_t kHopsPerBlock = 4;

// The sums of squared K-weighted sample values of one block, per channel.
struct PairBlockSums {
    double Left = 0.0;
    double Right = 0.0;
};

// Filter state and open block sums of two channels (the same channel twice
// for a mono stream), carried from one piece of the stream to the next.
//
// Blocks are 4 hops long and start every hop, counted from the first frame
// given to Process: block j covers frames j*hop .. j*hop + 4*hop - 1. Each
// block's sum starts at 0.0 on its first frame and adds that frame's square,
// then the next frame's, in time order, so a block that spans two pieces is
// summed exactly as if the stream had been one piece.
class KWeightedPair {
public:
    // pHopFrames: frames between block starts (>= 1). pBytesPerSample: 2 or 3
    // (little-endian two's complement). pFrameBytes: bytes per frame.
    // pLeftOffset, pRightOffset: byte offsets of the two channels inside a
    // frame; equal offsets measure one channel as both.
    KWeightedPair(std::int32_t pHopFrames, std::int32_t pBytesPerSample, std::int32_t pFrameBytes,
                  std::int32_t pLeftOffset, std::int32_t pRightOffset);

    // Filters the next pFrames frames of the stream, stored at pRaw, and
    // appends to pBlocks the sums of every block that ends within them, in
    // time order. pRaw must hold pFrames * pFrameBytes bytes.
    void Process(const std::uint8_t* pRaw, std::int32_t pFrames, std::vector<PairBlockSums>& pBlocks);

    // The largest absolute unweighted sample value seen on either channel so
    // far (32768 for a 16-bit sample of -32768); 0 before any frame.
    std::int32_t Peak() const;

private:
    template <int BytesPerSample>
    void Run(const std::uint8_t* pRaw, std::int32_t pFrames, std::vector<PairBlockSums>& pBlocks);

    std::int32_t mHop;
    std::int32_t mBytesPerSample;
    std::int32_t mFrameBytes;
    std::int32_t mLeftOffset;
    std::int32_t mRightOffset;

    // Per stage and channel (index 0 left, 1 right): the last two unrounded
    // outputs and the last two integer inputs.
    struct Stage {
        alignas(16) double y1[2] = {0.0, 0.0};
        alignas(16) double y2[2] = {0.0, 0.0};
        alignas(16) double x1[2] = {0.0, 0.0};
        alignas(16) double x2[2] = {0.0, 0.0};
    };
    Stage mPre;
    Stage mRlb;

    // The four blocks open at any time; mOpen[3] is the newest (started at
    // the current hop), mOpen[0] the oldest (started three hops earlier).
    struct alignas(16) Sums {
        double v[2] = {0.0, 0.0};
    };
    Sums mOpen[4];
    std::int32_t mHopFill = 0;   // frames of the current hop already seen
    std::int64_t mHopsDone = 0;  // whole hops completed
    alignas(16) double mPeak[2] = {0.0, 0.0};
};

}  // namespace sonivate
