#include "tracker/lib/MusicOverview.h"

#include "platform/AssetFile.h"
#include "platform/Files.h"
#include "time/MagnitudeSpectrum.h"
#include "time/Mp3Stream.h"

#include <QFile>

#include <algorithm>
#include <cmath>

namespace tracker {

namespace {

// 2048 samples (46 ms at 44.1 kHz): about one slice of the row clock.
constexpr int kSpectrumValues = 1024;
constexpr int kWindow = 2 * kSpectrumValues;
constexpr double kFloorDb = -72.0;

uint8_t level(float magnitude)
{
    if (!(magnitude > 0.0f))
        return 0;
    const double db = 20.0 * std::log10(double(magnitude));
    return uint8_t(std::clamp((db - kFloorDb) / -kFloorDb * 255.0, 0.0, 255.0));
}

// Which FFT bins each band takes: bins [first, last] of the 1024.
struct Band {
    int first, last;
};

std::vector<Band> bandBins(int rate)
{
    std::vector<Band> bands(MusicOverview::kBands);
    const double binHz = double(rate) / kWindow;
    const double ratio = std::pow(MusicOverview::kHighestHz / MusicOverview::kLowestHz, 1.0 / MusicOverview::kBands);
    double lo = MusicOverview::kLowestHz;
    for (Band& b : bands) {
        const double hi = lo * ratio;
        b.first = std::clamp(int(std::ceil(lo / binHz)), 1, kSpectrumValues - 1);
        b.last = std::clamp(int(std::floor(hi / binHz)), 1, kSpectrumValues - 1);
        // A band narrower than a bin takes the bin nearest its middle.
        if (b.last < b.first)
            b.first = b.last = std::clamp(int(std::lround(std::sqrt(lo * hi) / binHz)), 1, kSpectrumValues - 1);
        lo = hi;
    }
    return bands;
}

} // namespace

bool MusicOverview::peak(double from, double to, float* lo, float* hi) const
{
    if (rate <= 0 || low.empty() || to <= 0.0 || from >= seconds() || to < from)
        return false;
    const int64_t blocks = int64_t(low.size());
    const int64_t first = std::clamp<int64_t>(int64_t(std::floor(from * rate / kBlock)), 0, blocks - 1);
    const int64_t last = std::clamp<int64_t>(int64_t(std::ceil(to * rate / kBlock)) - 1, first, blocks - 1);
    float l = low[size_t(first)], h = high[size_t(first)];
    for (int64_t b = first + 1; b <= last; ++b) {
        l = std::min(l, low[size_t(b)]);
        h = std::max(h, high[size_t(b)]);
    }
    *lo = l;
    *hi = h;
    return true;
}

const uint8_t* MusicOverview::spectrumAt(double at) const
{
    if (!(sliceSeconds > 0.0) || at < 0.0)
        return nullptr;
    const int64_t slice = int64_t(std::floor(at / sliceSeconds + 0.5));
    if (slice >= int64_t(spectrum.size() / kBands))
        return nullptr;
    return spectrum.data() + size_t(slice) * kBands;
}

bool buildMusicOverview(const unsigned char* data, size_t size, double sliceSeconds, MusicOverview* out,
                        QString* why, const std::atomic<bool>* cancel)
{
    Mp3Stream stream;
    if (!stream.open(data, size, 0)) {
        *why = QStringLiteral("not music the MP3 reader can play (%1)").arg(QString::fromStdString(stream.failure()));
        return false;
    }
    MusicOverview& m = *out;
    m.rate = stream.rate();
    m.samples = stream.length();
    m.sliceSeconds = sliceSeconds;
    const int64_t blocks = (m.samples + MusicOverview::kBlock - 1) / MusicOverview::kBlock;
    m.low.assign(size_t(blocks), 0.0f);
    m.high.assign(size_t(blocks), 0.0f);
    const int64_t slices = sliceSeconds > 0.0 ? int64_t(std::floor(m.seconds() / sliceSeconds)) + 1 : 0;
    m.spectrum.assign(size_t(slices) * MusicOverview::kBands, 0);

    const std::vector<Band> bands = bandBins(m.rate);
    MagnitudeSpectrum fft;
    std::vector<float> magnitudes(kSpectrumValues);
    // The mono mix from sample monoStart on: as much as the next slice's
    // window needs, no more.
    std::vector<float> mono;
    int64_t monoStart = 0;
    int64_t nextSlice = 0;
    auto centreOf = [&](int64_t slice) { return int64_t(std::llround(double(slice) * sliceSeconds * m.rate)); };
    auto takeSlices = [&](int64_t decodedUpTo, bool atEnd) {
        while (nextSlice < slices) {
            const int64_t start = centreOf(nextSlice) - kWindow / 2;
            if (!atEnd && start + kWindow > decodedUpTo)
                break;
            // Before the start and after the end the window holds silence.
            std::vector<float> window(kWindow, 0.0f);
            for (int i = 0; i < kWindow; ++i) {
                const int64_t s = start + i - monoStart;
                if (s >= 0 && s < int64_t(mono.size()))
                    window[size_t(i)] = mono[size_t(s)];
            }
            fft.compute(window.data(), kSpectrumValues, magnitudes.data());
            uint8_t* slice = m.spectrum.data() + size_t(nextSlice) * MusicOverview::kBands;
            for (int b = 0; b < MusicOverview::kBands; ++b) {
                float loudest = 0.0f;
                for (int k = bands[size_t(b)].first; k <= bands[size_t(b)].last; ++k)
                    loudest = std::max(loudest, magnitudes[size_t(k)]);
                slice[b] = level(loudest);
            }
            ++nextSlice;
            const int64_t keepFrom = nextSlice < slices ? centreOf(nextSlice) - kWindow / 2 : decodedUpTo;
            if (keepFrom > monoStart) {
                const int64_t drop = std::min<int64_t>(keepFrom - monoStart, int64_t(mono.size()));
                mono.erase(mono.begin(), mono.begin() + drop);
                monoStart += drop;
            }
        }
    };

    constexpr int kChunk = 4096;
    std::vector<float> pcm(size_t(kChunk) * Mp3Stream::kChannels);
    int64_t at = 0;
    while (at < m.samples) {
        if (cancel && cancel->load())
            return false;
        const int got = stream.read(pcm.data(), kChunk);
        if (got <= 0)
            break;
        for (int i = 0; i < got && at < m.samples; ++i, ++at) {
            const float l = pcm[size_t(2 * i)];
            const float r = pcm[size_t(2 * i + 1)];
            const size_t b = size_t(at / MusicOverview::kBlock);
            if (at % MusicOverview::kBlock == 0) {
                m.low[b] = std::min(l, r);
                m.high[b] = std::max(l, r);
            } else {
                m.low[b] = std::min(m.low[b], std::min(l, r));
                m.high[b] = std::max(m.high[b], std::max(l, r));
            }
            mono.push_back(0.5f * (l + r));
        }
        takeSlices(at, false);
    }
    takeSlices(at, true);
    if (at == 0) {
        *why = QStringLiteral("the file holds no sound that decodes");
        return false;
    }
    return true;
}

MusicLoader::MusicLoader(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<std::shared_ptr<const tracker::MusicOverview>>();
}

MusicLoader::~MusicLoader()
{
    stop();
}

void MusicLoader::stop()
{
    if (worker_.joinable()) {
        cancel_ = true;
        worker_.join();
    }
    cancel_ = false;
    done_ = false;
}

void MusicLoader::load(const QString& path, double sliceSeconds)
{
    stop();
    const uint64_t generation = ++generation_;
    // The file is read here, where the working folder is the one the load
    // was asked in; only decoding takes long.
    std::string bytes;
    QString source;
    QString missing;
    if (!path.isEmpty()) {
        source = path;
        if (!platform::readWholeFile(QFile::encodeName(path).toStdString(), bytes))
            missing = QStringLiteral("cannot read %1").arg(path);
    } else {
        char* data = nullptr;
        size_t size = 0;
        const int found = loadAssetFile("music.mp3", &data, &size, false);
        if (found == AssetNotFound) {
            missing = QStringLiteral("no music.mp3 in the working folder, nor in its datapack.dat");
        } else {
            bytes.assign(data, size);
            source = found == AssetFromDataPack ? QStringLiteral("music.mp3 from datapack.dat")
                                                : QStringLiteral("music.mp3");
        }
        delete[] data;
    }
    if (!missing.isEmpty()) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, missing] {
                if (generation == generation_)
                    Q_EMIT failed(missing);
            },
            Qt::QueuedConnection);
        return;
    }
    worker_ = std::thread([this, generation, bytes = std::move(bytes), source, sliceSeconds] {
        auto overview = std::make_shared<MusicOverview>();
        QString why;
        const bool ok = buildMusicOverview(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                                           sliceSeconds, overview.get(), &why, &cancel_);
        overview->source = source;
        const QString failure = QStringLiteral("%1 is %2").arg(source, why);
        const bool cancelled = cancel_.load();
        done_ = true;
        if (cancelled)
            return;
        std::shared_ptr<const MusicOverview> handed = std::move(overview);
        QMetaObject::invokeMethod(
            this,
            [this, generation, handed, ok, failure] {
                if (generation != generation_)
                    return;
                if (ok)
                    Q_EMIT loaded(handed);
                else
                    Q_EMIT failed(failure);
            },
            Qt::QueuedConnection);
    });
}

} // namespace tracker
