#pragma once
// A short cause for a system error, to follow a row's reason text:
// "no space left on the device" rather than a bare "write failed".

namespace sonivate::platform {

// The cause behind pError (an errno value) in English or Japanese; never
// null. Errors without a text of their own get a general one that still
// carries the number ("system error 123" / "システムエラー 123"), from a
// per-thread buffer that the next call on the same thread overwrites.
// 0 gives "".
const char* ErrnoCause(int pError, bool pJapanese);

}  // namespace sonivate::platform
