#pragma once
// Cuts PCM bytes pushed in pieces of any size into runs of whole frames: a
// frame split between two pieces is held back until its last byte arrives,
// so what follows sees the stream exactly as if it had come in one piece.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

namespace sonivate {

class FrameStream {
public:
    // The widest frame measured: 8 channels of 3 bytes.
    static constexpr std::int32_t kMaxFrameBytes = 8 * 3;

    // Starts a stream of pFrameBytes-byte frames (1 to kMaxFrameBytes);
    // drops a frame held back.
    void Reset(std::int32_t pFrameBytes) {
        mFrameBytes = static_cast<std::size_t>(std::clamp(pFrameBytes, 1, kMaxFrameBytes));
        mHeld = 0;
    }

    // Hands pSink(const std::uint8_t* pRaw, std::int64_t pFrames) every run
    // of whole frames pBytes completes, in stream order.
    template <class Sink>
    void Feed(std::span<const std::uint8_t> pBytes, Sink&& pSink) {
        const std::uint8_t* at = pBytes.data();
        std::size_t left = pBytes.size();
        if (mHeld > 0) {
            const std::size_t take = std::min(left, mFrameBytes - mHeld);
            std::memcpy(mFrame + mHeld, at, take);
            mHeld += take;
            at += take;
            left -= take;
            if (mHeld < mFrameBytes) return;
            mHeld = 0;
            pSink(static_cast<const std::uint8_t*>(mFrame), std::int64_t{1});
        }
        const std::size_t frames = left / mFrameBytes;
        if (frames > 0) pSink(at, static_cast<std::int64_t>(frames));
        mHeld = left - frames * mFrameBytes;
        if (mHeld > 0) std::memcpy(mFrame, at + frames * mFrameBytes, mHeld);
    }

    // Bytes of an incomplete frame held back.
    std::int32_t Held() const { return static_cast<std::int32_t>(mHeld); }

private:
    std::size_t mFrameBytes = 1;
    std::size_t mHeld = 0;
    std::uint8_t mFrame[kMaxFrameBytes] = {};
};

}  // namespace sonivate
