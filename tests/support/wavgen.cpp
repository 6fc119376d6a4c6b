#include "support/wavgen.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace sonivate::test {
namespace {

constexpr double kPi = 3.14159265358979323846;

void Put16(Bytes& pOut, std::uint32_t pValue) {
    pOut.push_back(static_cast<std::uint8_t>(pValue & 0xFF));
    pOut.push_back(static_cast<std::uint8_t>((pValue >> 8) & 0xFF));
}
void Put32(Bytes& pOut, std::uint32_t pValue) {
    Put16(pOut, pValue & 0xFFFF);
    Put16(pOut, pValue >> 16);
}
void PutId(Bytes& pOut, const std::string& pId) {
    if (pId.size() != 4) throw std::invalid_argument("chunk id must have four characters");
    pOut.insert(pOut.end(), pId.begin(), pId.end());
}
constexpr std::uint32_t kSizeInDs64 = 0xFFFFFFFF;

void Put64(Bytes& pOut, std::uint64_t pValue) {
    Put32(pOut, static_cast<std::uint32_t>(pValue & 0xFFFFFFFF));
    Put32(pOut, static_cast<std::uint32_t>(pValue >> 32));
}
void PutChunk(Bytes& pOut, const Chunk& pChunk, bool pSizeInDs64 = false) {
    PutId(pOut, pChunk.id);
    Put32(pOut, pSizeInDs64 ? kSizeInDs64 : static_cast<std::uint32_t>(pChunk.payload.size()));
    pOut.insert(pOut.end(), pChunk.payload.begin(), pChunk.payload.end());
    if (pChunk.payload.size() % 2 != 0) pOut.push_back(0);
}

Chunk FmtChunk(const WavSpec& pSpec) {
    Chunk fmt{"fmt ", {}};
    const auto blockAlign = static_cast<std::uint32_t>(pSpec.channels * pSpec.bitsPerSample / 8);
    Put16(fmt.payload, pSpec.formatTag);
    Put16(fmt.payload, static_cast<std::uint32_t>(pSpec.channels));
    Put32(fmt.payload, static_cast<std::uint32_t>(pSpec.sampleRate));
    Put32(fmt.payload, static_cast<std::uint32_t>(pSpec.sampleRate) * blockAlign);
    Put16(fmt.payload, blockAlign);
    Put16(fmt.payload, static_cast<std::uint32_t>(pSpec.bitsPerSample));
    if (pSpec.formatTag == 0xFFFE) {
        Put16(fmt.payload, 22);  // extension size
        Put16(fmt.payload, static_cast<std::uint32_t>(pSpec.validBits < 0 ? pSpec.bitsPerSample : pSpec.validBits));
        const std::uint32_t masks[] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x13F, 0x63F};
        Put32(fmt.payload, pSpec.channels <= 8 ? masks[pSpec.channels] : 0);
        // KSDATAFORMAT_SUBTYPE_PCM
        const auto sub = static_cast<std::uint8_t>(pSpec.subFormat);
        const std::uint8_t guid[16] = {sub,  0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        fmt.payload.insert(fmt.payload.end(), std::begin(guid), std::end(guid));
    }
    return fmt;
}

std::int32_t Clamp(double pValue, std::int16_t pBits) {
    const double top = pBits == 16 ? 32767.0 : pBits == 24 ? 8388607.0 : 127.0;
    return static_cast<std::int32_t>(std::lround(std::fmax(-top - 1.0, std::fmin(top, pValue))));
}

}  // namespace

Bytes EncodeSamples(const Samples& pInterleaved, std::int16_t pBitsPerSample) {
    Bytes out;
    const int width = pBitsPerSample / 8;
    out.reserve(pInterleaved.size() * static_cast<size_t>(width));
    for (const std::int32_t sample : pInterleaved) {
        auto bits = static_cast<std::uint32_t>(sample);
        if (width == 1) bits = static_cast<std::uint32_t>(sample + 128);  // 8-bit is unsigned
        for (int b = 0; b < width; ++b) out.push_back(static_cast<std::uint8_t>((bits >> (8 * b)) & 0xFF));
    }
    return out;
}

Bytes BuildWav(const WavSpec& pSpec, const Samples& pInterleaved) {
    const Bytes sampleBytes = EncodeSamples(pInterleaved, pSpec.bitsPerSample);
    const bool wide = pSpec.form == "RF64" || pSpec.form == "BW64";
    std::vector<std::pair<std::string, std::uint64_t>> table;
    auto put = [&](Bytes& pBody, const Chunk& pChunk) {
        bool deferred = false;
        if (wide)
            for (const std::string& id : pSpec.sizesInDs64)
                if (id == pChunk.id) deferred = true;
        if (deferred) table.emplace_back(pChunk.id, pChunk.payload.size());
        PutChunk(pBody, pChunk, deferred);
    };
    Bytes body;
    for (const Chunk& c : pSpec.beforeFmt) put(body, c);
    auto putData = [&] {
        PutId(body, "data");
        const auto size = pSpec.declaredDataSize >= 0 ? static_cast<std::uint32_t>(pSpec.declaredDataSize)
                                                      : static_cast<std::uint32_t>(sampleBytes.size());
        Put32(body, wide ? kSizeInDs64 : size);
        body.insert(body.end(), sampleBytes.begin(), sampleBytes.end());
        if (sampleBytes.size() % 2 != 0) body.push_back(0);
    };
    if (pSpec.dataBeforeFmt) putData();
    put(body, FmtChunk(pSpec));
    for (const Chunk& c : pSpec.beforeData) put(body, c);
    if (!pSpec.dataBeforeFmt) putData();
    for (const Chunk& c : pSpec.afterData) put(body, c);

    Bytes head;
    PutId(head, pSpec.formType);
    if (wide) {
        const std::size_t ds64Bytes = 28 + 12 * table.size();
        const std::uint64_t dataSize =
            pSpec.ds64DataSize >= 0 ? static_cast<std::uint64_t>(pSpec.ds64DataSize) : sampleBytes.size();
        const auto blockAlign = static_cast<std::uint64_t>(pSpec.channels * pSpec.bitsPerSample / 8);
        PutId(head, "ds64");
        Put32(head, static_cast<std::uint32_t>(ds64Bytes));
        Put64(head, 4 + 8 + ds64Bytes + body.size());  // riff size: "WAVE", ds64 and the rest
        Put64(head, dataSize);
        Put64(head, blockAlign == 0 ? 0 : dataSize / blockAlign);
        Put32(head, static_cast<std::uint32_t>(table.size()));
        for (const auto& [id, size] : table) {
            PutId(head, id);
            Put64(head, size);
        }
    }
    Bytes file;
    PutId(file, pSpec.form);
    Put32(file, wide ? kSizeInDs64 : static_cast<std::uint32_t>(head.size() + body.size()));
    file.insert(file.end(), head.begin(), head.end());
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

void WriteBytes(const std::string& pPath, const Bytes& pBytes) {
    std::ofstream out(pPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(pBytes.data()), static_cast<std::streamsize>(pBytes.size()));
    if (!out) throw std::runtime_error("cannot write " + pPath);
}

std::string WriteSparse(const std::string& pPath, const Bytes& pHead, std::int64_t pTotalSize, const Bytes& pTail) {
    WriteBytes(pPath, pHead);
    std::filesystem::resize_file(pPath, static_cast<std::uintmax_t>(pTotalSize));
    std::fstream out(pPath, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(pTotalSize - static_cast<std::int64_t>(pTail.size())));
    out.write(reinterpret_cast<const char*>(pTail.data()), static_cast<std::streamsize>(pTail.size()));
    if (!out) throw std::runtime_error("cannot write " + pPath);
    return pPath;
}

Bytes ReadBytes(const std::string& pPath) {
    std::ifstream in(pPath, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + pPath);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Chunk CueChunk(const std::vector<CuePointSpec>& pPoints) {
    Chunk cue{"cue ", {}};
    Put32(cue.payload, static_cast<std::uint32_t>(pPoints.size()));
    for (const CuePointSpec& p : pPoints) {
        Put32(cue.payload, static_cast<std::uint32_t>(p.id));
        Put32(cue.payload, static_cast<std::uint32_t>(p.sampleOffset));  // play-order position
        PutId(cue.payload, "data");
        Put32(cue.payload, 0);
        Put32(cue.payload, 0);
        Put32(cue.payload, static_cast<std::uint32_t>(p.sampleOffset));
    }
    return cue;
}

Chunk PlstChunk(const std::vector<PlaySegment>& pSegments) {
    Chunk plst{"plst", {}};
    Put32(plst.payload, static_cast<std::uint32_t>(pSegments.size()));
    for (const PlaySegment& s : pSegments) {
        Put32(plst.payload, static_cast<std::uint32_t>(s.id));
        Put32(plst.payload, static_cast<std::uint32_t>(s.length));
        Put32(plst.payload, static_cast<std::uint32_t>(s.loops));
    }
    return plst;
}

Chunk ListChunk(const std::string& pListType, const Bytes& pBody) {
    Chunk list{"LIST", {}};
    PutId(list.payload, pListType);
    list.payload.insert(list.payload.end(), pBody.begin(), pBody.end());
    return list;
}

Chunk AdtlList(const std::vector<AdtlEntry>& pEntries) {
    Bytes body;
    for (const AdtlEntry& e : pEntries) {
        Chunk sub{e.kind, {}};
        Put32(sub.payload, static_cast<std::uint32_t>(e.id));
        if (e.kind == "file") Put32(sub.payload, static_cast<std::uint32_t>(e.mediaType));
        sub.payload.insert(sub.payload.end(), e.text.begin(), e.text.end());
        if (e.kind != "file" && !e.noTerminator) sub.payload.push_back(0);
        PutChunk(body, sub);
    }
    return ListChunk("adtl", body);
}

std::vector<Chunk> BroadcastMarkers(std::int32_t pStart, std::int32_t pStandby, std::int32_t pStop, std::int32_t pEnd) {
    std::vector<CuePointSpec> points;
    std::vector<AdtlEntry> labels;
    const std::pair<std::int32_t, const char*> markers[] = {
        {pStart, "BC$START"}, {pStandby, "BC$STANDBY"}, {pStop, "BC$STOP"}, {pEnd, "BC$END"}};
    std::int32_t id = 1;
    for (const auto& [frame, name] : markers) {
        if (frame < 0) continue;
        points.push_back({id, frame});
        labels.push_back({"labl", id, name});
        ++id;
    }
    return {CueChunk(points), AdtlList(labels)};
}

Samples Sine(std::int64_t pFrames, std::int16_t pChannels, double pFrequencyHz, double pDbfs,
             std::int16_t pBitsPerSample, std::int32_t pSampleRate) {
    const double fullScale = pBitsPerSample == 16 ? 32767.0 : pBitsPerSample == 24 ? 8388607.0 : 127.0;
    const double amplitude = fullScale * std::pow(10.0, pDbfs / 20.0);
    Samples out(static_cast<size_t>(pFrames * pChannels));
    for (std::int64_t n = 0; n < pFrames; ++n) {
        const std::int32_t v = Clamp(
            amplitude * std::sin(2.0 * kPi * pFrequencyHz * static_cast<double>(n) / pSampleRate), pBitsPerSample);
        for (int c = 0; c < pChannels; ++c) out[static_cast<size_t>(n * pChannels + c)] = v;
    }
    return out;
}

Samples Noise(std::int64_t pFrames, std::int16_t pChannels, std::int16_t pBitsPerSample, std::uint32_t pSeed,
              double pAmplitudeFraction) {
    std::mt19937 rng(pSeed);
    const double fullScale = pBitsPerSample == 16 ? 32767.0 : pBitsPerSample == 24 ? 8388607.0 : 127.0;
    std::uniform_real_distribution<double> dist(-pAmplitudeFraction, pAmplitudeFraction);
    Samples out(static_cast<size_t>(pFrames * pChannels));
    for (auto& s : out) s = Clamp(dist(rng) * fullScale, pBitsPerSample);
    return out;
}

Samples Silence(std::int64_t pFrames, std::int16_t pChannels) {
    return Samples(static_cast<size_t>(pFrames * pChannels), 0);
}

std::string WriteWav(const std::string& pPath, const WavSpec& pSpec, const Samples& pInterleaved) {
    WriteBytes(pPath, BuildWav(pSpec, pInterleaved));
    return pPath;
}

}  // namespace sonivate::test
