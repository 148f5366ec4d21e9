#pragma once
// Capture mode: the demo rendered from its track files with a fixed-step
// clock (frame n at n / fps seconds), every frame read back and written out,
// and the music decoded beside it. No wall clock decides anything, no frame
// is dropped and nothing idles, so two captures of a demo give the same
// files.
#include "app/CaptureOptions.h"

#include <cstdint>
#include <string>

class QQuickWindow;

namespace app {

// The frames whose time n / fps lies in [0, seconds).
int captureFrameCount(double seconds, int fps);
// The samples of audio.wav for that many frames: the video's length, to the
// nearest sample at the music's 48 kHz.
int64_t captureAudioFrames(int frames, int fps);

// Readies the capture folder before the program enters the demo folder:
// makes it absolute (relative to the working directory now) and creates it;
// for mp4, finds ffmpeg. Empty when the capture can go ahead, otherwise one
// line that says why not.
std::string readyCaptureFolder(CaptureOptions& options);

// Start-up's choices for a capture, in place of the start dialog: the setup
// as the command line or the remembered file chose it, track files instead
// of sync editors, no edit view and no full screen, the capture size kept
// whatever the window's, no waiting for the display's refresh, message boxes
// to the standard error stream.
void prepareCapture(const CaptureOptions& options);

// Runs the capture in the main window, which shows the demo; the music must
// be loaded with stepped output. Writes audio.wav, renders and writes every
// frame, muxes capture.mp4 when ffmpeg is there, and shows the progress on
// the standard error stream. Returns the exit code: 0 when every frame and
// the audio were written.
int runCapture(QQuickWindow* window, const CaptureOptions& options, CaptureReport* report = nullptr);

} // namespace app
