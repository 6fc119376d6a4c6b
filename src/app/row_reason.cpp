#include "app/row_reason.h"

#include <cerrno>

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace sonivate {
namespace {

struct ReasonEntry {
    RowReason reason;
    const char* code;
    const char* japanese;
    const char* english;
};

// The intake's three texts are the window's own messages.
const ReasonEntry kReasons[] = {
    {RowReason::None, "", "", ""},
    {RowReason::NotPcm, "not_pcm", "正しいwavファイルではありません", "not a correct WAV file (not linear PCM)"},
    {RowReason::UnsupportedFormat, "unsupported_format", "48000Hz、16/24bitのwavファイルのみ対応しています",
     "only 48000 Hz, 16/24-bit WAV files are supported"},
    {RowReason::TooShort, "too_short", "短すぎます", "too short (under one second)"},
    {RowReason::NotRegular, "not_regular", "通常のファイルではありません",
     "not a regular file (a folder, FIFO, device or socket)"},
    {RowReason::Unreadable, "unreadable", "ファイルを読み込む権限がありません", "permission denied"},
    {RowReason::CannotOpen, "cannot_open", "ファイルを開けません", "cannot open the file"},
    {RowReason::Missing, "missing", "ファイルが見つかりません", "no such file"},
    {RowReason::NoWorkingFolder, "no_working_folder", "作業フォルダを特定できません",
     "the working folder cannot be determined"},
    {RowReason::NotWave, "not_wave", "wavファイルではありません", "not a WAV file (no RIFF/WAVE, RF64 or BW64 header)"},
    {RowReason::NoData, "no_data", "音声データがありません", "no audio data (no data chunk)"},
    {RowReason::SizeMismatch, "size_mismatch", "チャンクのサイズが正しくありません",
     "the chunk sizes cannot be right (a file over 4 GiB without RF64, or a data size past the end)"},
    {RowReason::NotMeasured, "not_measured", "計測できませんでした",
     "not measured (the range holds less than 400 ms of audio, or the file could not be read)"},
    {RowReason::Stopped, "stopped", "中止しました", "stopped"},
    {RowReason::EmptyRange, "empty_range", "計測範囲が空です",
     "the range is empty (the start marker lies at or after the end of the range)"},
    {RowReason::TooQuiet, "too_quiet", "無音に近いため書き出しません",
     "not written: no audio above the -70 LKFS gate (silence or room tone)"},
    {RowReason::OutOfMemory, "out_of_memory", "メモリが足りません", "not enough memory"},
    {RowReason::IncompleteData, "incomplete_data", "音声データが途中で終わっています",
     "the data chunk is shorter than its header says (truncated or still being written)"},
    {RowReason::WouldClip, "would_clip", "クリップするため書き出しません", "not written: the gain would clip"},
    {RowReason::OtherFileHasName, "other_file_has_name", "出力先の名前は別のファイルのものです",
     "not written: the output name belongs to another file"},
    {RowReason::NameUsedInRun, "name_used_in_run", "この実行で先に書き出したファイルと同じ名前です",
     "not written: an earlier file of this run was written under that name"},
    {RowReason::HardLinked, "hard_linked", "ハードリンクのあるファイルは置き換えません",
     "not written: the source has other hard links, which would keep the old audio"},
    {RowReason::SourceChanged, "source_changed", "処理中にファイルが変更されました",
     "not written: the source changed while it was processed"},
    {RowReason::Locked, "locked", "別の処理が使用中のファイルです", "not written: another run is processing the file"},
    {RowReason::SourceInUse, "source_in_use", "別のプログラムがファイルを開いています",
     "not written: another program has the file open for writing"},
    {RowReason::SourceOfRun, "source_of_run", "出力先の名前はこの実行の別のファイルです",
     "not written: the output name is another source of this run"},
    {RowReason::WriteFailed, "write_failed", "書き出しに失敗しました", "writing failed"},
    {RowReason::TargetExists, "target_exists", "同じ名前のファイルが既にあります", "the name is already taken"},
    {RowReason::OutputUnavailable, "output_unavailable", "出力先フォルダを使えません",
     "not written: the output folder cannot be used (removed, moved or unreadable)"},
    {RowReason::NotReached, "not_reached", "処理されませんでした", "not processed: the run ended before this file"},
    {RowReason::InternalError, "internal_error", "内部エラーが発生しました", "an internal error ended this file"},
    {RowReason::UnknownChannelLayout, "unknown_channel_layout", "チャンネル配置が不明なため測定しません",
     "the channel layout is not one the loudness weights are known for (5.1 or 7.1): not measured"},
    {RowReason::EncodedAudio, "encoded_audio", "圧縮音声（SMPTE ST 337）を含むため処理しません",
     "the audio carries compressed data (SMPTE ST 337, e.g. Dolby E): any gain would destroy it"},
    {RowReason::LimitExceeded, "limit_exceeded", "リミッターの許容量を超えるため書き出しません",
     "the limiter would need more gain reduction than allowed: not written"},
};

const ReasonEntry& EntryOf(RowReason pReason) {
    for (const ReasonEntry& entry : kReasons)
        if (entry.reason == pReason) return entry;
    return kReasons[0];
}

}  // namespace

RowReason ReasonOfCheck(const WaveCheck& pCheck) {
    if (pCheck.Problem == WaveProblem::None && pCheck.Speakers == ChannelLayout::Unknown)
        return RowReason::UnknownChannelLayout;
    return ReasonOfWave(pCheck.Problem);
}

RowReason ReasonOfWave(WaveProblem pProblem) {
    switch (pProblem) {
        case WaveProblem::None:
            return RowReason::None;
        case WaveProblem::ReadFailed:
            return RowReason::CannotOpen;
        case WaveProblem::NotWave:
        case WaveProblem::NoFmt:
            return RowReason::NotWave;
        case WaveProblem::NoData:
            return RowReason::NoData;
        case WaveProblem::SizeMismatch:
            return RowReason::SizeMismatch;
        case WaveProblem::NotPcm:
            return RowReason::NotPcm;
        case WaveProblem::UnsupportedLayout:
        case WaveProblem::UnsupportedBits:
        case WaveProblem::UnsupportedRate:
            return RowReason::UnsupportedFormat;
        case WaveProblem::TooShort:
            return RowReason::TooShort;
    }
    return RowReason::CannotOpen;
}

const char* ReasonCode(RowReason pReason) { return EntryOf(pReason).code; }

const char* ReasonText(RowReason pReason, MessageLanguage pLanguage) {
    const ReasonEntry& entry = EntryOf(pReason);
    return pLanguage == MessageLanguage::Japanese ? entry.japanese : entry.english;
}

MessageLanguage LanguageOfLocale() {
    const auto japanese = [](const char* pName) { return std::strncmp(pName, "ja", 2) == 0; };
    const char* messages = "";
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            messages = value;
            break;
        }
    }
    // LANGUAGE (a list such as "ja:en") leads as it does for Qt, whose
    // window reads it the same way, under the plain C locale too: its first
    // entry decides; an empty entry stands for the messages locale, which
    // the plain C one (or none) leaves out.
    const bool plain = *messages == '\0' || std::strcmp(messages, "C") == 0 || std::strcmp(messages, "POSIX") == 0;
    if (const char* preferred = std::getenv("LANGUAGE"); preferred != nullptr && *preferred != '\0') {
        std::string_view entries(preferred);
        while (true) {
            const std::size_t end = entries.find(':');
            const std::string_view entry = entries.substr(0, end);
            if (!entry.empty())
                return entry.substr(0, 2) == "ja" ? MessageLanguage::Japanese : MessageLanguage::English;
            if (!plain) break;
            if (end == std::string_view::npos) break;
            entries.remove_prefix(end + 1);
        }
    }
    return japanese(messages) ? MessageLanguage::Japanese : MessageLanguage::English;
}

RowReason ReasonOfOpenError(int pError) {
    switch (pError) {
        case ENOENT:
        case ENOTDIR:
            return RowReason::Missing;
        case EISDIR:
        case ENXIO:
        case ELOOP:
            return RowReason::NotRegular;
        case EACCES:
        case EPERM:
            return RowReason::Unreadable;
        default:
            return RowReason::CannotOpen;
    }
}

}  // namespace sonivate
