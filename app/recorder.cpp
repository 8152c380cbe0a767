#include "app/recorder.h"

#include "app/window_state.h"
#include "cli/headless.h"
#include "cli/options.h"
#include "render/surface.h"
#include "render/world_view.h"

#include <QPainter>

#include <cstdio>

namespace {

std::string failure_text(const recorder_type& recorder)
{
    return "cannot write the video " + recorder.video.path + ": " + recorder.video.error + "; the recording stopped at frame " +
           std::to_string(recorder.video.frames + 1);
}

// Said once, on standard error, and to whoever the recorder tells.
void tell_failure(recorder_type& recorder)
{
    recorder.failed = true;
    std::fprintf(stderr, "velmora: %s\n", failure_text(recorder).c_str());
    if (recorder.told) recorder.told(failure_text(recorder));
}

bool add_frame(recorder_type& recorder)
{
    if (video_add_frame(recorder.video, reinterpret_cast<const std::uint32_t*>(recorder.frame.constBits()),
                        static_cast<int>(recorder.frame.bytesPerLine())))
        return true;
    tell_failure(recorder);
    return false;
}

void start_in_window(window_state_type& state, const std::string& path)
{
    const window_record_settings_type& settings = state.record_settings;
    if (!recorder_start(state.recorder, path, settings.width, settings.height, settings.fps, settings.every))
        state.show_problem("Velmora cannot record " + path + ": " + state.recorder.video.error);
}

}  // namespace

void recorder_window_setup(window_state_type& state, const options_type& options)
{
    state.record_settings = {options.record_width, options.record_height, options.record_fps, options.record_every};
    if (!options.record_path.empty()) start_in_window(state, options.record_path);
}

void recorder_window_toggle(window_state_type& state)
{
    if (recorder_on(state.recorder)) {
        const unsigned long long frames = state.recorder.video.frames;
        recorder_stop(state.recorder);
        if (state.tell) state.tell("Recorded " + std::to_string(frames) + " frames to " + state.recorder.path);
        return;
    }
    const std::string path = state.file_dialog(file_save_video);
    if (!path.empty()) start_in_window(state, path);
}

bool recorder_start(recorder_type& recorder, const std::string& path, int width, int height, int fps, std::uint32_t every)
{
    std::function<void(const std::string&)> told = std::move(recorder.told);
    recorder = recorder_type{};
    recorder.told = std::move(told);
    recorder.video = video_open(path, width, height, fps);
    if (!video_is_open(recorder.video)) {
        std::fprintf(stderr, "velmora: cannot record %s: %s\n", path.c_str(), recorder.video.error.c_str());
        return false;
    }
    recorder.frame = QImage(width, height, QImage::Format_RGB32);
    recorder.path = path;
    recorder.every = every;
    return true;
}

bool recorder_on(const recorder_type& recorder) { return video_is_open(recorder.video); }

void recorder_after_update(recorder_type& recorder, const world_type& world, const view_type& view)
{
    if (!recorder_on(recorder) || recorder.every == 0 || ++recorder.updates < recorder.every) return;
    recorder.updates = 0;
    // The view as the window shows it: drawn straight into the frame when the sizes agree, else scaled to it.
    const bool same_size = view.display_x == recorder.frame.width() && view.display_y == recorder.frame.height();
    QImage picture = same_size ? QImage() : QImage(view.display_x, view.display_y, QImage::Format_RGB32);
    {
        QPainter painter(same_size ? &recorder.frame : &picture);
        surface_type surface = surface_open(painter);
        world_paint(surface, world, view);
    }
    if (same_size) {
        add_frame(recorder);
    } else {
        recorder_add_image(recorder, picture, view.keep_proportions);
    }
}

void recorder_add_image(recorder_type& recorder, const QImage& picture, bool keep_proportions)
{
    if (!recorder_on(recorder) || picture.isNull()) return;
    if (picture.size() == recorder.frame.size() && picture.format() == QImage::Format_RGB32) {
        recorder.frame = picture;
    } else if (keep_proportions) {
        const QImage scaled = picture.scaled(recorder.frame.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        recorder.frame.fill(QColor(210, 210, 210));
        QPainter painter(&recorder.frame);
        painter.drawImage((recorder.frame.width() - scaled.width()) / 2, (recorder.frame.height() - scaled.height()) / 2, scaled);
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

int recorder_headless_run(world_type& world, const options_type& options)
{
    recorder_type recorder;
    if (!recorder_start(recorder, options.record_path, options.record_width, options.record_height, options.record_fps,
                        options.record_every))
        return 1;
    // Drawn as a window of the video's size would show it.
    view_type view;
    view.display_x = options.record_width;
    view.display_y = options.record_height;
    int status = headless_run(world, options, [&recorder, &world, &view] {
        recorder_after_update(recorder, world, view);
        return !recorder.failed;
    });
    if (!recorder_stop(recorder) && status == 0) status = 1;
    if (!recorder.failed && !options.quiet)
        std::printf("Recorded %llu frames to %s\n", static_cast<unsigned long long>(recorder.video.frames), options.record_path.c_str());
    return status;
}
