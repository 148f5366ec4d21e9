#include "time/Music.h"

#include "platform/AssetFile.h"

#include <SDL.h>

#include <QDebug>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {

// Samples per output buffer: about 21 ms, short enough that a pause or a
// seek is heard at once, long enough to cost little.
constexpr Uint16 kBufferFrames = 1024;

SDL_AudioDeviceID openDevice(int rate, SDL_AudioCallback callback, void* userdata)
{
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_F32SYS;
    want.channels = Mp3Stream::kChannels;
    want.samples = kBufferFrames;
    want.callback = callback;
    want.userdata = userdata;
    SDL_AudioSpec have{};
    // No allowed changes: SDL converts to whatever the card wants, so the
    // callback always sees float stereo at the one output rate.
    return SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
}

} // namespace

Music::Music() = default;

Music::~Music()
{
    close_output();
    if (system_created)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    stream.close();
    delete[] block;
}

bool Music::open_output(int rate)
{
    close_output();
    if (!system_created) {
        // The program's own signal handling (display mode restore) stays in
        // charge; SDL must not install handlers of its own.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        system_created = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    }
    if (system_created)
        device = openDevice(rate, &Music::output_callback, this);
    if (device == 0) {
        // No sound card (a server, a container, a CI machine): the silent
        // driver consumes samples in real time, so the position and the
        // spectrum behave as they would with sound.
        if (system_created)
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
        system_created = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);
        if (system_created)
            device = openDevice(rate, &Music::output_callback, this);
    }
    const char* driver = device != 0 ? SDL_GetCurrentAudioDriver() : nullptr;
    silent = driver && std::strcmp(driver, "dummy") == 0;
    pace.restart();
    return device != 0;
}

void Music::close_output()
{
    if (device != 0) {
        SDL_CloseAudioDevice(device);
        device = 0;
    }
}

bool Music::load(const std::string& file_name)
{
    // A second load replaces the first; nothing may play from the old block
    // while it goes.
    close_output();
    loaded = false;
    stream.close();
    length = 0;

    size_t size = 0;
    if (!loadAssetFile(file_name.c_str(), &block, &size, false)) {
        qWarning("music: %s is neither a file nor in the data pack", file_name.c_str());
        return false;
    }
    block_size = size;
    // Every file plays at the one output rate, so that a spectrum bin
    // covers the same frequencies whatever rate the music was encoded at.
    const bool opened = stream.open(reinterpret_cast<const unsigned char*>(block), block_size, kOutputRate);
    if (!opened)
        qWarning("music: cannot play %s: %s", file_name.c_str(), stream.failure().c_str());
    else if (!stepped && !open_output(kOutputRate))
        qWarning("music: no audio output could be opened: %s", SDL_GetError());
    if (!opened || (!stepped && device == 0)) {
        stream.close();
        delete[] block;
        block = nullptr;
        block_size = 0;
        return false;
    }
    played = 0;
    taken = 0;
    sounding = sounding_from = 0;
    ended = stream.length() == 0;
    recent.clear();
    paused = true; // devices open paused
    length = uint32_t(std::min<int64_t>(stream.length() * 1000 / stream.rate(), UINT32_MAX));
    loaded = true;
    return true;
}

double Music::position()
{
    if (!loaded)
        return 0.0;
    if (paused)
        return paused_position;
    qDebug("returning position from the music");
    lock_output();
    const int64_t at = played;
    unlock_output();
    return double(at) / double(stream.rate());
}

double Music::sounding_position()
{
    if (!loaded || paused || stepped || device == 0)
        return position();
    const double now = steady_seconds();
    lock_output();
    const int64_t from = sounding, to = played;
    const double at = sounding_at;
    unlock_output();
    const double moved = std::max(0.0, now - at) * stream.rate();
    return std::min(double(from) + moved, double(to)) / double(stream.rate());
}

bool Music::is_playing()
{
    if (!loaded || paused)
        return false;
    lock_output();
    const bool finished = ended;
    unlock_output();
    return !finished;
}

void Music::set_paused(bool flag)
{
    if (!loaded)
        return;
    paused = flag;
    if (device != 0)
        SDL_PauseAudioDevice(device, flag ? 1 : 0);
    if (flag) {
        // Nothing sounds while paused; after the pause the spectrum must not
        // mix what played before it with what plays next.
        lock_output();
        recent.clear();
        pace.restart();
        unlock_output();
    }
}

void Music::set_position(double seconds)
{
    if (!loaded)
        return;
    if (paused)
        paused_position = seconds;
    // Past the end, the track is over.
    const int64_t target = std::min(sample_at(seconds), stream.length());
    lock_output();
    played = stream.seek(target);
    taken = played;
    // The new place sounds once the output takes its next buffer.
    sounding = sounding_from = played;
    sounding_at = steady_seconds();
    ended = played >= stream.length();
    recent.clear(); // the spectrum starts over at the new place
    unlock_output();
}

int64_t Music::sample_at(double seconds) const
{
    // A position before the start or a non-number means the start.
    const double sample = std::isfinite(seconds) && seconds > 0.0 ? std::floor(seconds * stream.rate() + 0.5) : 0.0;
    return sample < 9.0e18 ? int64_t(sample) : INT64_MAX;
}

void Music::advance_to(double seconds)
{
    if (!loaded || !stepped || paused)
        return;
    // Unlike a seek, the output goes on past the end of the track: the
    // samples it takes there are silence.
    const int64_t target = sample_at(seconds);
    if (target < taken) {
        set_position(seconds);
        return;
    }
    float buffer[kBufferFrames * Mp3Stream::kChannels];
    while (taken < target) {
        // Past the end only silence is left, and the spectrum window holds
        // no more of it than this.
        if (ended && target - taken > RecentSamples::kCapacity)
            taken = target - RecentSamples::kCapacity;
        const int frames = int(std::min<int64_t>(target - taken, kBufferFrames));
        mix(buffer, frames);
        taken += frames;
    }
}

void Music::set_volume(float v)
{
    if (!std::isfinite(v))
        return;
    v = std::clamp(v, 0.0f, 1.0f);
    lock_output();
    volume = v;
    unlock_output();
}

void Music::get_spectrum(float* out, int num_values, int channel_offset, int /*window_type*/)
{
    if (!out || num_values < 1 || num_values > MagnitudeSpectrum::kMaxValues)
        return;
    std::fill(out, out + num_values, 0.0f);
    // No pause test here: a pause empties the window and the output then
    // mixes nothing, so a paused Music answers silence by itself, while
    // frames mixed by hand (offline rendering, tests) still count.
    if (!loaded)
        return;
    const int count = 2 * num_values;
    if (int(window.size()) < count)
        window.resize(size_t(count));
    // Copy under the lock, transform outside it, so the audio thread never
    // waits for the FFT.
    lock_output();
    const bool have = recent.latest(channel_offset, count, window.data());
    unlock_output();
    if (have)
        spectrum.compute(window.data(), num_values, out);
}

void Music::mix(float* out, int frames)
{
    const int got = ended ? 0 : stream.read(out, frames);
    if (got < frames) {
        std::fill(out + size_t(got) * Mp3Stream::kChannels, out + size_t(frames) * Mp3Stream::kChannels, 0.0f);
        ended = true;
    }
    if (volume != 1.0f) {
        for (size_t i = 0, n = size_t(got) * Mp3Stream::kChannels; i < n; ++i)
            out[i] *= volume;
    }
    recent.push(out, frames, Mp3Stream::kChannels);
    played += got;
}

void Music::lock_output()
{
    if (device != 0)
        SDL_LockAudioDevice(device);
}

void Music::unlock_output()
{
    if (device != 0)
        SDL_UnlockAudioDevice(device);
}

double Music::steady_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void Music::output_callback(void* userdata, Uint8* stream, int len)
{
    auto* music = static_cast<Music*>(userdata);
    auto* out = reinterpret_cast<float*>(stream);
    const int frames = len / int(sizeof(float) * Mp3Stream::kChannels);
    const double now = steady_seconds();
    if (!music->silent) {
        music->mix(out, frames);
        music->note_buffer(now, frames);
        return;
    }
    int64_t want = music->pace.take(now, frames);
    const int heard = int(std::min<int64_t>(want, frames));
    if (heard > 0)
        music->mix(out, heard);
    // Ahead of the clock: the rest of this buffer waits, as silence.
    std::fill(out + size_t(heard) * Mp3Stream::kChannels, out + size_t(frames) * Mp3Stream::kChannels,
              0.0f);
    want -= heard;
    float unheard[kBufferFrames * Mp3Stream::kChannels];
    while (want > 0) {
        const int n = int(std::min<int64_t>(want, kBufferFrames));
        music->mix(unheard, n);
        want -= n;
    }
    music->note_buffer(now, frames);
}

void Music::note_buffer(double now, int frames)
{
    // What this buffer starts with sounds from now; the frames before it
    // have sounded.
    sounding = std::max<int64_t>(played - frames, sounding_from);
    sounding_at = now;
}
