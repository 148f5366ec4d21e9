#pragma once
// The demo's soundtrack: one MP3 streamed from memory and played through the
// sound card, with the position and pause state that the demo clock follows
// and the spectrum that the spectrum item reads.
//
// Every operation does nothing, or answers 0, until load() has succeeded, so
// a demo without music runs on silently. Call it from the GUI thread only;
// the sound card's thread only reaches what the output lock guards.
#include "time/Mp3Stream.h"
#include "time/MagnitudeSpectrum.h"
#include "time/RecentSamples.h"
#include "time/SilentPace.h"

#include <SDL_audio.h>

#include <cstdint>
#include <string>
#include <vector>

class Music {
public:
    // The rate every file plays at: the output mixes at one rate, so
    // spectrum bin k always covers the same frequencies (k * 48000 / 2048 Hz
    // for the spectrum item's 1024 bins).
    static constexpr int kOutputRate = 48000;

    Music();
    ~Music();
    Music(const Music&) = delete;
    Music& operator=(const Music&) = delete;

    // Opens the audio output on first use, reads file_name with
    // loadAssetFile (loose file or data pack) and prepares it to play from
    // 0, paused. Decoding happens as the music plays, so this returns at
    // once even for a long track. A damaged file plays what decodes (see
    // Mp3Stream). False, with a warning in the log that says why, when the
    // file is missing, empty or not an MP3, or when no output could be
    // opened at all. When no sound device opens, a silent output that
    // consumes samples in real time stands in for it.
    bool load(const std::string& file_name);

    // Seconds. While paused: the last position set while paused (0 before
    // any), whatever was played since; the demo clock relies on that. While
    // playing: the position of the samples handed to the output.
    double position();

    // Seconds: the position that sounds now, for a clock to follow. It
    // moves on smoothly from the last buffer the output took, never past the
    // samples handed out, where position() steps a buffer at a time. Equal
    // to position() while paused and with the stepped output.
    double sounding_position();

    // True while loaded, not paused and not past the end.
    bool is_playing();

    void set_paused(bool flag);

    // Seeks to the sample nearest to seconds (clamped to the track). While
    // paused the position reported from now on is exactly seconds.
    void set_position(double seconds);

    // Linear gain applied to the output, clamped to 0..1. May be set before
    // load().
    void set_volume(float volume);

    // Magnitude spectrum of the last 2 * num_values samples of one output
    // channel (channel_offset 0 = left), scaled so that a full-scale sine
    // peaks near 1.0. Writes num_values floats (1 to 8192; other counts give
    // nothing). window_type 0 is the rectangular window, the only one there
    // is; other values are treated as 0. All zeros while not loaded, while
    // paused (the output is silent: a pause empties the window) and for a
    // channel that does not exist; after a pause or a seek the window fills
    // afresh from what mix() hands out next.
    void get_spectrum(float* out, int num_values, int channel_offset, int window_type);

    // A capture's output, chosen before load(): no sound card is opened, and
    // the music moves only when advance_to() says, by exactly the samples a
    // sound card would have taken by then, so position() and the spectrum
    // follow the demo clock instead of the wall clock.
    void use_stepped_output() { stepped = true; }
    // Stepped output, while playing: takes the samples up to seconds through
    // the output path (volume, spectrum window). Past the end of the track
    // the output takes silence. A time before the last one seeks there.
    void advance_to(double seconds);

    // Length of the loaded track in milliseconds; 0 while not loaded.
    uint32_t length_ms() const { return length; }

    bool is_loaded() const { return loaded; }

    // The body of the output callback: decodes the next frames (stereo,
    // interleaved) into out, applies the volume and advances the position.
    // SDL's audio thread calls it with the output lock held. Public so that
    // its cost can be measured directly on a paused Music.
    void mix(float* out, int frames);

private:
    bool open_output(int rate);
    void close_output();
    // The output lock; nothing to take without a sound card.
    void lock_output();
    void unlock_output();
    // The sample nearest to seconds; 0 for a time before the start.
    int64_t sample_at(double seconds) const;
    static void output_callback(void* userdata, Uint8* stream, int len);
    // Under the output lock, after a buffer of `frames` went out at `now`.
    void note_buffer(double now, int frames);
    static double steady_seconds();

    bool system_created = false;   // SDL's audio subsystem is ours to quit
    SDL_AudioDeviceID device = 0;  // 0 while no output is open
    bool silent = false;           // the device is SDL's silent driver
    char* block = nullptr;         // the file; the stream reads from it
    size_t block_size = 0;
    Mp3Stream stream;
    uint32_t length = 0;           // milliseconds
    bool loaded = false;
    bool paused = false;
    double paused_position = 0.0;  // seconds
    bool stepped = false;          // advance_to() drives it, not a sound card
    int64_t taken = 0;             // stepped: samples the output took, silence included

    // Shared with the audio thread; touched only under the output lock.
    int64_t played = 0;            // absolute sample index of the next frame out
    bool ended = false;            // the stream ran out
    int64_t sounding = 0;          // the sample that sounded at sounding_at
    int64_t sounding_from = 0;     // the last seek's target: nothing before it sounds again
    double sounding_at = 0.0;      // steady clock, seconds
    float volume = 1.0f;
    RecentSamples recent;
    SilentPace pace{kOutputRate};  // silent: what the clock says is due

    // GUI-thread side of get_spectrum.
    std::vector<float> window;
    MagnitudeSpectrum spectrum;
};
