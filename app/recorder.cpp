#include "app/recorder.h"

#include "app/world_dialogs.h"
#include "cli/headless.h"
#include "cli/options.h"
#include "render/surface.h"
#include "render/world_view.h"

#include <QPainter>

#include <cstdio>

recorder_type window_recorder;
void (*recorder_window_failed)(const std::string& text) = [](const std::string& text) { show_problem("Velmora " + text + "."); };

namespace {

struct window_record_settings_type {
    int width = 640;
    int height = 480;
    int fps = 30;
    std::uint32_t every = 0;
};
window_record_settings_type window_settings;

std::string failure_text(const recorder_type& recorder)
{
    return "cannot write the video " + recorder.video.path + ": " + recorder.video.error + "; the recording stopped at frame " +
           std::to_string(recorder.video.frames + 1);
}

// Said once, on standard error, and to the window's user when it is the window's recording.
void tell_failure(recorder_type& recorder)
{
    recorder.failed = true;
    std::fprintf(stderr, "velmora: %s\n", failure_text(recorder).c_str());
    if (&recorder == &window_recorder) recorder_window_failed(failure_text(recorder));
}

bool add_frame(recorder_type& recorder)
{
    if (video_add_frame(recorder.video, reinterpret_cast<const std::uint32_t*>(recorder.frame.constBits()),
                        static_cast<int>(recorder.frame.bytesPerLine())))
        return true;
    tell_failure(recorder);
    return false;
}

void start_in_window(const std::string& path)
{
    if (!recorder_start(window_recorder, path, window_settings.width, window_settings.height, window_settings.fps, window_settings.every))
        show_problem("Velmora cannot record " + path + ": " + window_recorder.video.error);
}

}  // namespace

void recorder_window_setup(const options_type& options)
{
    window_settings = {options.record_width, options.record_height, options.record_fps, options.record_every};
    if (!options.record_path.empty()) start_in_window(options.record_path);
}

void recorder_window_toggle()
{
    if (recorder_on(window_recorder)) {
        recorder_stop(window_recorder);
        return;
    }
    const std::string path = file_dialog(file_save_video);
    if (!path.empty()) start_in_window(path);
}

bool recorder_start(recorder_type& recorder, const std::string& path, int width, int height, int fps, std::uint32_t every)
{
    recorder = recorder_type{};
    recorder.video = video_open(path, width, height, fps);
    if (!video_is_open(recorder.video)) {
        std::fprintf(stderr, "velmora: cannot record %s: %s\n", path.c_str(), recorder.video.error.c_str());
        return false;
    }
    recorder.frame = QImage(width, height, QImage::Format_RGB32);
    recorder.every = every;
    return true;
}

bool recorder_on(const recorder_type& recorder) { return video_is_open(recorder.video); }

void recorder_after_update(recorder_type& recorder)
{
    if (!recorder_on(recorder) || recorder.every == 0 || ++recorder.updates < recorder.every) return;
    recorder.updates = 0;
    // The view as the window shows it: drawn straight into the frame when the sizes agree, else scaled to it.
    const bool same_size = display_x == recorder.frame.width() && display_y == recorder.frame.height();
    QImage picture = same_size ? QImage() : QImage(display_x, display_y, QImage::Format_RGB32);
    {
        QPainter painter(same_size ? &recorder.frame : &picture);
        surface_type surface = surface_open(painter);
        world_paint(surface);
    }
    if (same_size) {
        add_frame(recorder);
    } else {
        recorder_add_image(recorder, picture);
    }
}

void recorder_add_image(recorder_type& recorder, const QImage& picture)
{
    if (!recorder_on(recorder) || picture.isNull()) return;
    if (picture.size() == recorder.frame.size() && picture.format() == QImage::Format_RGB32) {
        recorder.frame = picture;
    } else {
        recorder.frame = picture.scaled(recorder.frame.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_RGB32);
    }
    add_frame(recorder);
}

bool recorder_stop(recorder_type& recorder)
{
    if (recorder_on(recorder) && !video_close(recorder.video)) tell_failure(recorder);
    recorder.frame = QImage();
    return !recorder.failed;
}

int recorder_headless_run(const options_type& options)
{
    recorder_type recorder;
    if (!recorder_start(recorder, options.record_path, options.record_width, options.record_height, options.record_fps,
                        options.record_every))
        return 1;
    // Drawn as a window of the video's size would show it.
    display_x = options.record_width;
    display_y = options.record_height;
    int status = headless_run(options, [&recorder] {
        recorder_after_update(recorder);
        return !recorder.failed;
    });
    if (!recorder_stop(recorder) && status == 0) status = 1;
    if (!recorder.failed && !options.quiet)
        std::printf("Recorded %llu frames to %s\n", static_cast<unsigned long long>(recorder.video.frames), options.record_path.c_str());
    return status;
}
