#pragma once
// What the command line asks of a capture (render the demo with a
// fixed-step clock and write every frame, with the music beside it), and
// what a capture measured.
#include <string>

namespace app {

enum class CaptureFormat {
    Png, // frame_000000.png ... and audio.wav, muxed into capture.mp4 when ffmpeg is there
    Mp4, // frames piped to ffmpeg straight into capture.mp4, and audio.wav
};

struct CaptureOptions {
    // Where the files go, absolute once the command line has been read;
    // empty when there is no capture.
    std::string folder;
    int fps = 60;
    int width = 1280;
    int height = 720;
    // 0: the music's length.
    double seconds = 0.0;
    CaptureFormat format = CaptureFormat::Png;

    bool active() const { return !folder.empty(); }
};

// What a capture measured, all in milliseconds.
struct CaptureReport {
    int frames = 0;          // frames handed to the writers
    double wallMs = 0.0;     // from the first captured frame to the last hand-off
    double ourMs = 0.0;      // render thread outside the demo's frame: the copies, the music's step
    double waitedMs = 0.0;   // render thread: waiting for the writers to take a frame
    double writerMs = 0.0;   // writer threads, all together: encoding and writing
};

} // namespace app
