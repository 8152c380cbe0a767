// Video files of the world view: frames of 32-bit pixels in, an MP4 (H.264),
// a WebM (VP9) or a palette GIF out, by the file's extension.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct video_encoder_type;  // the codec's and the container's state, behind the record

struct video_type {
    std::string path;                              // the file written
    int width = 0;                                 // pixels of every frame handed in
    int height = 0;
    int fps = 0;                                   // frames per second of playback
    std::uint64_t frames = 0;                      // frames taken so far; the codec and container may hold the last few
    std::string error;                             // why writing stopped; empty while it goes on
    std::unique_ptr<video_encoder_type> encoder;   // null once closed or when opening failed
    video_type();
    ~video_type();                                 // closes the file properly when still open
    video_type(video_type&&) noexcept;
    video_type& operator=(video_type&&) noexcept;
};

// What the name lacks when its extension is not .mp4, .webm or .gif (any
// case); empty when it is one of those.
std::string video_format_problem(const std::string& path);
// The format a file's name asks for; none for another extension. Known without FFmpeg (format.cpp).
enum class video_kind_type { none, mp4, webm, gif };
video_kind_type video_kind_of(const std::string& path);

// Opens the file for frames of width x height (each at least 2; the codecs
// that need even sizes code an odd one a pixel larger, the frame stretched
// to it). On failure the video holds no encoder and error says why.
video_type video_open(const std::string& path, int width, int height, int fps);
bool video_is_open(const video_type& video);

// One frame: height rows of width pixels 0xffRRGGBB in the processor's order,
// bytes_per_line apart. A failed write (a full disk) closes the file as far as
// it can and keeps the reason; the frames already written stay playable, as
// the containers are written so that no index at the end is needed.
bool video_add_frame(video_type& video, const std::uint32_t* pixels, int bytes_per_line);

// Flushes the encoder and finishes the file; true when all of it was written.
bool video_close(video_type& video);
