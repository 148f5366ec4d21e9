#pragma once
// The demo's music as the editor draws it beside the rows: the waveform's
// peaks and a coarse spectrum, decoded once with the project's MP3 reader.
//
// MusicLoader finds the file on the thread that owns it (the GUI thread)
// and decodes it on a thread of its own. That thread owns the file's bytes,
// the decoder and the overview it builds until it is done; it then hands the
// finished overview over whole, through loaded(), and touches nothing of it
// again. Nothing else is shared but the flag that gives a load up.
#include <QObject>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace tracker {

struct MusicOverview {
    // Samples (per channel, at the file's own rate) behind one peak pair.
    static constexpr int kBlock = 64;
    // Spectrum bands, lowest first, spread evenly over the octaves from
    // kLowestHz to kHighestHz.
    static constexpr int kBands = 24;
    static constexpr double kLowestHz = 40.0;
    static constexpr double kHighestHz = 16000.0;

    int rate = 0;          // samples per second
    int64_t samples = 0;   // length per channel
    // Per block of kBlock samples: the lowest and the highest sample of
    // either channel, -1 .. 1.
    std::vector<float> low, high;
    // One spectrum slice every sliceSeconds, each centred on its time:
    // kBands levels of 0 (silence, -72 dB and below) .. 255 (full scale).
    double sliceSeconds = 0.0;
    std::vector<uint8_t> spectrum;
    QString source; // where the music came from, for the status bar

    double seconds() const { return rate > 0 ? double(samples) / rate : 0.0; }
    // The lowest and highest sample between two times in seconds; false
    // when the span lies wholly outside the music.
    bool peak(double from, double to, float* lo, float* hi) const;
    // The kBands levels of the slice playing at seconds, or null outside.
    const uint8_t* spectrumAt(double seconds) const;
};

// Decodes the MP3 in data (size bytes) into *out. cancel, when given, is
// read between pieces of work: once it holds, the build stops and answers
// false. False, with *why saying it for the status bar, when the bytes hold
// no music the reader can decode.
bool buildMusicOverview(const unsigned char* data, size_t size, double sliceSeconds, MusicOverview* out,
                        QString* why, const std::atomic<bool>* cancel = nullptr);

class MusicLoader : public QObject {
    Q_OBJECT
public:
    explicit MusicLoader(QObject* parent = nullptr);
    // Gives a load still under way up and waits for its thread.
    ~MusicLoader() override;

    // Finds the music and starts decoding it; a load under way is given up
    // first. An empty path means music.mp3 as the player finds it: the
    // loose file in the working folder, else the entry of its datapack.dat.
    // One spectrum slice is taken every sliceSeconds. loaded() or failed()
    // follows, from the event loop, once for each call.
    void load(const QString& path, double sliceSeconds);
    bool busy() const { return worker_.joinable() && !done_; }

Q_SIGNALS:
    void loaded(std::shared_ptr<const tracker::MusicOverview> music);
    void failed(const QString& why);

private:
    void stop();

    std::thread worker_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> done_{false};
    uint64_t generation_ = 0; // which load a hand-over belongs to
};

} // namespace tracker

Q_DECLARE_METATYPE(std::shared_ptr<const tracker::MusicOverview>)
