// Fuzz target over the WAV readers: the input is the whole file. Each reader
// runs over the input in memory, and the results must be those of the same
// reader by name and through a handle on a file holding the input; a given
// handle must stay open and no descriptor may leak.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/basic_file.h"
#include "wavefile/byte_source.h"
#include "wavefile/le_bytes.h"
#include "wavefile/wave_bwfj.h"
#include "wavefile/wave_check.h"
#include "wavefile/wave_mmio.h"

using namespace sonivate;

namespace {

// A decoded text field never grows beyond three UTF-8 bytes per source byte.
constexpr size_t kMaxDecodedTextBytes = 3 * kMaxCueTextBytes;

void Require(bool pCondition, const char* pWhat) {
    if (pCondition) return;
    std::fprintf(stderr, "invariant broken: %s\n", pWhat);
    std::abort();
}

int LowestFreeDescriptor() {
    const int fd = ::dup(STDERR_FILENO);
    ::close(fd);
    return fd;
}

// One in-memory file for the whole run, rewritten for every input and
// opened by its /proc path like any other file.
struct MemoryFile {
    MemoryFile() : fd(::memfd_create("sonivate-fuzz", MFD_CLOEXEC)), path("/proc/self/fd/" + std::to_string(fd)) {
        Require(fd >= 0, "memfd_create");
    }
    void Fill(const std::uint8_t* pData, size_t pSize) const {
        Require(::ftruncate(fd, 0) == 0, "ftruncate");
        size_t done = 0;
        while (done < pSize) {
            const ssize_t n = ::pwrite(fd, pData + done, pSize - done, static_cast<off_t>(done));
            Require(n > 0, "pwrite");
            done += static_cast<size_t>(n);
        }
    }
    int fd;
    std::string path;
};

void CheckMarkers(std::int32_t pResult, const std::vector<CueMarker>& pMarkers) {
    Require(pResult >= 0 && pResult <= kMaxCuePoints, "cue count out of range");
    Require(!pMarkers.empty() && pMarkers.size() <= static_cast<size_t>(kMaxCuePoints), "marker array size");
    if (pResult > 0) Require(pMarkers.size() == static_cast<size_t>(pResult), "one record per cue point");
    for (const CueMarker& m : pMarkers) {
        Require(m.Label.size() <= kMaxDecodedTextBytes && m.FileText.size() <= kMaxDecodedTextBytes, "text cap");
        Require(m.HasFile == 0 || m.HasFile == 1, "HasFile flag");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, size_t pSize) {
    static const MemoryFile file;
    file.Fill(pData, pSize);
    const auto size = static_cast<std::int64_t>(pSize);
    const int freeBefore = LowestFreeDescriptor();

    FileHandle handle = OpenFileHandle(file.path, kOpenRead);
    Require(handle != 0, "open");

    const MemorySource memory(pData, pSize);
    const WaveLayout layout = ReadWaveLayout(memory);
    const WaveFormatInfo& info = layout.Info;
    Require(info == ReadWaveHeader(file.path, 0), "header in memory and by name differ");
    Require(info == ReadWaveHeader("", handle), "header in memory and by handle differ");
    Require((layout.Problem == WaveProblem::None) == (info.Valid == 1), "problem and validity disagree");
    if (info.Valid == 0) Require(layout.DataChunk == -1, "a data chunk for an invalid record");
    if (info.Valid == 1) {
        Require(layout.DataChunk + kChunkPayloadOffset == info.DataOffset, "layout's data chunk is not the record's");
        unsigned char id[4] = {};
        Require(memory.ReadAt(layout.DataChunk - 1, id, 4) == 4 && LittleEndian32(id) == kChunkData,
                "layout's data chunk is no data chunk");
        Require(info.FramesInFile >= 0 && info.FramesInFile <= info.FrameCount, "frames in the file");
        Require(info.DataOffset + info.FramesInFile * info.BlockAlign <= size, "frames in the file beyond its end");
        Require(FramesPresent(info, size) <= info.FramesInFile, "frames present beyond the file's frames");
        Require(info.FormatKind >= Mono8bit && info.FormatKind <= Surround71_24bit, "format kind");
        Require(info.BlockAlign > 0 && info.NumSamples >= 0 && info.DataLength >= 0, "frame fields");
        Require(info.FileSize == size && info.DataOffset <= size + 4, "file size and data offset");
    }

    for (const std::int32_t id : {kChunkFmt, kChunkData, kChunkCue, kChunkPlst, kChunkList}) {
        std::int64_t previous = -1;
        for (std::int32_t occurrence = 0; occurrence < 3; ++occurrence) {
            const std::int64_t position = FindChunk(memory, id, occurrence);
            Require(position == FindChunk(file.path, 0, id, occurrence), "chunk in memory and by name differ");
            Require(position == FindChunk("", handle, id, occurrence), "chunk in memory and by handle differ");
            Require(position == -1 || (position >= 13 && position + 3 <= size), "chunk position inside the file");
            if (occurrence > 0 && previous > 0)
                Require(position == FindNextChunk(memory, id, previous), "next chunk differs from occurrence");
            previous = position;
        }
    }

    const WaveCheck check = CheckWave(memory);
    const WaveCheck checkByHandle = CheckWave("", handle);
    Require(check.Problem == checkByHandle.Problem && check.Frames == checkByHandle.Frames,
            "judgement in memory and by handle differ");
    Require(check.Layout.Info == info, "judgement reads another record");
    if (check.Problem == WaveProblem::None) Require(info.Valid == 1 && check.Frames > 0, "a measurable file");

    std::vector<CueMarker> inMemory;
    const std::int32_t result = ReadCueMarkers(memory, inMemory);
    std::vector<CueMarker> byName;
    Require(result == ReadCueMarkers(file.path, 0, byName), "cue count in memory and by name differ");
    std::vector<CueMarker> byHandle(3);
    Require(result == ReadCueMarkers("", handle, byHandle), "cue count in memory and by handle differ");
    Require(inMemory == byName && inMemory == byHandle, "markers in memory, by name and by handle differ");
    CheckMarkers(result, inMemory);

    Require(FileSizeOfHandle(handle) == size, "given handle still open");
    CloseFileHandle(handle);
    Require(LowestFreeDescriptor() == freeBefore, "descriptor leak");
    return 0;
}
