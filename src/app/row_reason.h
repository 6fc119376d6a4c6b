#pragma once
// Why a file was not listed, not measured or not written: a value that every
// face of the tool shows the same way, with a stable code for scripts and a
// text in Japanese and in English for people.

#include <cstdint>
#include <string>

#include "wavefile/wave_check.h"
#include "wavefile/wave_format.h"

namespace sonivate {

enum class RowReason : std::int32_t {
    None = 0,
    // The intake.
    NotPcm,             // not linear PCM
    UnsupportedFormat,  // not 48000 Hz with 16 or 24 bits
    TooShort,           // under one second
    NotRegular,         // a folder, FIFO, device or socket
    Unreadable,         // permission denied
    CannotOpen,         // any other reason the file cannot be opened
    Missing,            // no such file
    NoWorkingFolder,    // a relative path while the working folder cannot be determined
    NotWave,            // not a RIFF/WAVE, RF64 or BW64 file
    NoData,             // no data chunk
    SizeMismatch,       // the chunk sizes cannot be right (wrapped 32-bit sizes, a data size past the file)
    // The measurement.
    NotMeasured,     // the range holds less than one block, or reading failed
    Stopped,         // the operator stopped the run
    EmptyRange,      // the range is empty: a start marker past the end, or a stop before the start
    TooQuiet,        // no block above the absolute gate (-70 LKFS): measured, never written
    OutOfMemory,     // the measurement or the copy could not get its buffers
    IncompleteData,  // the data chunk is shorter than its header says: measured, never replaced in place
    // The output.
    WouldClip,  // clip avoidance on and the gain would clip
    // 19 was surround_not_written, no longer given (5.1 and 7.1 are
    // written); the values after it keep their numbers.
    OtherFileHasName = 20,  // the output name belongs to a file other than the source
    NameUsedInRun,          // an earlier row of this run wrote a copy under that name
    HardLinked,             // in place, but the source has other names
    SourceChanged,          // the source changed between its measurement and its copy
    Locked,                 // another run holds the source
    SourceInUse,            // another program has the source open for writing (or holds a lock on it)
    SourceOfRun,            // the output name is another source of this run (or a file it has not read yet)
    WriteFailed,            // a read, write, sync, close or rename failed
    TargetExists,           // a copy to a new name, and the name is taken
    // Appended, so that the values above keep their numbers.
    OutputUnavailable,     // the run's output folder cannot be used (removed, replaced, unreadable): nothing written
    NotReached,            // the run ended (stopped, or ended by an error) before this row
    InternalError,         // an unexpected error ended this row's work; the run went on
    LimitExceeded,         // the limiter would need more gain reduction than allowed: not written
    UnknownChannelLayout,  // more than two channels in no layout the weights are known for: not measured
    EncodedAudio,          // compressed audio carried as PCM (SMPTE ST 337): any gain would destroy it
};
static_assert(static_cast<std::int32_t>(RowReason::WouldClip) + 2 ==
                  static_cast<std::int32_t>(RowReason::OtherFileHasName),
              "the retired value stays unused");

// The reason for a file CheckWave does not pass; None for WaveProblem::None.
RowReason ReasonOfWave(WaveProblem pProblem);
// The same for a whole check: also a layout with no known weights.
RowReason ReasonOfCheck(const WaveCheck& pCheck);

// Why a source could not be opened for reading (pError: the open's errno):
// Missing, NotRegular (also a link where none may be followed), Unreadable
// or CannotOpen.
RowReason ReasonOfOpenError(int pError);

enum class MessageLanguage { Japanese, English };

// "not_pcm", "locked", ...; "" for None.
const char* ReasonCode(RowReason pReason);
// The text an operator reads; "" for None.
const char* ReasonText(RowReason pReason, MessageLanguage pLanguage);

// Japanese when the locale's first interface language is Japanese, English
// otherwise, by Qt's rule (the window's): the first entry of LANGUAGE,
// whatever the messages locale (the first of LC_ALL, LC_MESSAGES and LANG
// that is set and not empty), "C" and "POSIX" too; an empty entry stands for
// the messages locale unless that is C, POSIX or unset, and then the next
// entry decides. Without LANGUAGE (or without an entry) the messages locale
// decides. Japanese names begin with "ja".
MessageLanguage LanguageOfLocale();

}  // namespace sonivate
