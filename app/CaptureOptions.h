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

    // Start-up to the end of the Demo item's first frame that drew the
    // skenes with all their meshes, and its parts:
    // the rest of start-up (Qt, the views, the setups), the skenes' QML,
    // the shader builds and the mesh imports and uploads of that span, and
    // the rest of the first frame. The parts add up to the whole.
    struct StartupSplit {
        double totalMs = 0.0;
        double qtAndViewsMs = 0.0;
        double skeneQmlMs = 0.0;
        double shaderMs = 0.0;
        double meshMs = 0.0;
        double firstFrameMs = 0.0;
    };
    StartupSplit startup;
};

} // namespace app
