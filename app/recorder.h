// Recording the world view into a video: headless, a frame every so many
// world updates drawn off-screen; in the window, the frames it draws.
#pragma once

#include "video/video.h"

#include <QImage>

#include <cstdint>
#include <string>

struct options_type;

struct recorder_type {
    video_type video;               // open while recording
    QImage frame;                   // the picture handed to the video, at its size
    std::uint32_t every = 0;        // world updates between frames; 0: each frame the window draws
    std::uint64_t updates = 0;      // world updates since the last frame
    bool failed = false;            // writing failed: the message was given, the recording ended
};

// Opens the video; on failure says why on standard error and returns false.
bool recorder_start(recorder_type& recorder, const std::string& path, int width, int height, int fps, std::uint32_t every);
bool recorder_on(const recorder_type& recorder);
// One world update has run: every `every`, the world is drawn at the video's size and added.
void recorder_after_update(recorder_type& recorder);
// A picture the window drew, scaled to the video's size when it differs.
void recorder_add_image(recorder_type& recorder, const QImage& picture);
// Finishes the file; false when writing failed now or earlier (said once, on standard error).
bool recorder_stop(recorder_type& recorder);

// The window's recording, and the size, rate and spacing that Simulation,
// Record takes from the command line.
extern recorder_type window_recorder;
void recorder_window_setup(const options_type& options);   // starts --record, if given
void recorder_window_toggle();                              // asks for a file and starts, or stops
// Tells the user, once, that the window's recording failed; tests put their own here.
extern void (*recorder_window_failed)(const std::string& text);

// A headless run that records as it goes. Returns the process exit status.
int recorder_headless_run(const options_type& options);
