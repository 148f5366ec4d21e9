#pragma once
// The music as a WAV file: decoded from the MP3, not recorded from a sound
// card, so the sound of a capture is exactly the music of its span.
#include <cstdint>
#include <string>

// Writes the first `frames` stereo frames of music_file (loose or from the
// data pack) to wav_path as 16-bit PCM at Music's output rate (48 kHz).
// Where the music ends, and when there is no playable music at all, the
// file holds silence, as the demo would sound. False, with one line in
// error, when the WAV cannot be written or would pass the format's 4 GiB.
bool writeMusicWav(const std::string& music_file, const std::string& wav_path, int64_t frames, std::string& error);
