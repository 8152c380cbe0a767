// Recording the world view into a video: headless, a frame every so many
// world updates drawn off-screen; in the window, the frames it draws.
#pragma once

#include "video/video.h"

#include <QImage>

#include <cstdint>
#include <functional>
#include <string>

struct options_type;
struct view_type;
struct window_state_type;
struct world_type;

struct recorder_type {
    video_type video;               // open while recording
    QImage frame;                   // the picture handed to the video, at its size
    std::string path;               // the video's file
    std::uint32_t every = 0;        // world updates between frames; 0: each frame the window draws
    std::uint64_t updates = 0;      // world updates since the last frame
    bool failed = false;            // writing failed: the message was given, the recording ended
    // Told the failure too, once, besides standard error (the window's user); kept by recorder_start.
    std::function<void(const std::string& text)> told;
};

// Opens the video; on failure says why on standard error and returns false.
bool recorder_start(recorder_type& recorder, const std::string& path, int width, int height, int fps, std::uint32_t every);
bool recorder_on(const recorder_type& recorder);
// One world update has run: every `every`, the world is drawn as the view
// shows it, at the video's size, and added.
void recorder_after_update(recorder_type& recorder, const world_type& world, const view_type& view);
// A picture the window drew, scaled to the video's size when it differs.
// Keeping proportions, a picture of another shape is scaled whole into the frame, centred on grey.
void recorder_add_image(recorder_type& recorder, const QImage& picture, bool keep_proportions = false);
// Finishes the file; false when writing failed now or earlier (said once, on standard error).
bool recorder_stop(recorder_type& recorder);

// The window's recording, with the size, rate and spacing that Simulation,
// Record takes from the command line.
void recorder_window_setup(window_state_type& state, const options_type& options);   // starts --record, if given
void recorder_window_toggle(window_state_type& state);                              // asks for a file and starts, or stops

// A headless run that records as it goes. Returns the process exit status.
int recorder_headless_run(world_type& world, const options_type& options);
