#include "time/WavExport.h"

#include "platform/AssetFile.h"
#include "time/Mp3Stream.h"
#include "time/Music.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kChannels = Mp3Stream::kChannels;
constexpr int kBytesPerFrame = kChannels * 2;
constexpr int kChunkFrames = 4096;

void putLittleEndian(std::vector<uint8_t>& out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> wavHeader(uint32_t dataBytes)
{
    std::vector<uint8_t> h;
    auto tag = [&h](const char* t) { h.insert(h.end(), t, t + 4); };
    tag("RIFF");
    putLittleEndian(h, 36 + dataBytes, 4);
    tag("WAVE");
    tag("fmt ");
    putLittleEndian(h, 16, 4);
    putLittleEndian(h, 1, 2); // PCM
    putLittleEndian(h, kChannels, 2);
    putLittleEndian(h, Music::kOutputRate, 4);
    putLittleEndian(h, uint32_t(Music::kOutputRate * kBytesPerFrame), 4);
    putLittleEndian(h, kBytesPerFrame, 2);
    putLittleEndian(h, 16, 2);
    tag("data");
    putLittleEndian(h, dataBytes, 4);
    return h;
}

int16_t toPcm(float sample)
{
    // A non-number is silence; loud samples clip instead of wrapping.
    if (!(sample == sample))
        return 0;
    return int16_t(std::lrint(std::clamp(sample, -1.0f, 1.0f) * 32767.0f));
}

} // namespace

bool writeMusicWav(const std::string& music_file, const std::string& wav_path, int64_t frames, std::string& error)
{
    const int64_t maxFrames = (int64_t(UINT32_MAX) - 36) / kBytesPerFrame;
    if (frames < 0 || frames > maxFrames) {
        error = "cannot write " + wav_path + ": " + std::to_string(frames) + " samples pass the WAV format's 4 GiB";
        return false;
    }

    char* block = nullptr;
    size_t size = 0;
    loadAssetFile(music_file.c_str(), &block, &size, false);
    const std::unique_ptr<char[]> owned(block);
    Mp3Stream stream;
    const bool music = block && stream.open(reinterpret_cast<const unsigned char*>(block), size, Music::kOutputRate);

    FILE* file = std::fopen(wav_path.c_str(), "wb");
    if (!file) {
        error = "cannot write " + wav_path + ": " + std::strerror(errno);
        return false;
    }
    const std::vector<uint8_t> header = wavHeader(uint32_t(frames * kBytesPerFrame));
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();

    std::vector<float> decoded(size_t(kChunkFrames) * kChannels);
    std::vector<uint8_t> pcm(size_t(kChunkFrames) * kBytesPerFrame);
    for (int64_t done = 0; done < frames && ok;) {
        const int want = int(std::min<int64_t>(kChunkFrames, frames - done));
        const int got = music ? stream.read(decoded.data(), want) : 0;
        std::fill(decoded.begin() + ptrdiff_t(got) * kChannels, decoded.begin() + ptrdiff_t(want) * kChannels, 0.0f);
        for (int i = 0; i < want * kChannels; ++i) {
            const uint16_t v = uint16_t(toPcm(decoded[size_t(i)]));
            pcm[size_t(i) * 2] = uint8_t(v);
            pcm[size_t(i) * 2 + 1] = uint8_t(v >> 8);
        }
        const size_t bytes = size_t(want) * kBytesPerFrame;
        ok = std::fwrite(pcm.data(), 1, bytes, file) == bytes;
        done += want;
    }
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (ok && closed)
        return true;
    error = "cannot write " + wav_path + ": " + std::strerror(ok ? errno : writeErrno);
    return false;
}
