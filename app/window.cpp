#include "app/window.h"

#include "app/autosave.h"
#include "app/chart_window.h"
#include "app/frame_loop.h"
#include "app/main_window.h"
#include "app/recorder.h"
#include "app/runs.h"
#include "app/world_dialogs.h"
#include "cli/options.h"
#include "world/world.h"

#include <QApplication>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stop_asked = 0;   // SIGTERM or SIGINT came: end as the window's Exit does

void ask_to_stop(int) { stop_asked = 1; }

}  // namespace

int window_main(int argc, char** argv, const options_type& options)
{
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);  // closing the main window quits, a floating panel does not
    QCoreApplication::setOrganizationName("Velmora");   // where QSettings keeps the layout: ~/.config/Velmora/Velmora.conf
    QCoreApplication::setApplicationName("Velmora");
    main_window_widget window;
    window.restore_layout();
    window_state_type& state = window.state;
    world_type& world = state.world;
    world.options.log_path = options.no_log ? std::string() : options.log_path;
    if (options.threads != 0) world.options.threads = options.threads;
    state.autosave_enabled = !options.no_autosave;
    system_startup(state, window.view()->width(), window.view()->height(),
                   options.seed_given ? options.seed : static_cast<std::uint32_t>(std::time(nullptr)),
                   options.world_path.empty() ? &options.settings : nullptr, options.food_map_path);
    window.show();
    // A world named on the command line opens as File, Open would open it; if
    // it cannot be loaded, the user is told why and the default world runs.
    if (!options.world_path.empty()) world_open(state, options.world_path, options.settings);
    if (autosave_offer(state, options)) {
        runs_begin(state, true);
        window.refresh_status();
    }
    // The outputs are tried at once, so that one that cannot be written is told now, not a generation later.
    if (!world.options.log_path.empty()) {
        const int file = open(world.options.log_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (file < 0) world.options.log_error = errno;
        if (file >= 0) close(file);
    }
    if (!options.lineage_path.empty()) {
        world.options.lineage_path = options.lineage_path;
        const int file = open(options.lineage_path.c_str(), O_WRONLY | O_TRUNC | O_CREAT | O_CLOEXEC, 0644);
        if (file < 0) world.options.lineage_error = errno;
        if (file >= 0) close(file);
    }
    check_outputs(state);
    recorder_window_setup(state, options);
    window.set_autosave(state.autosave_minutes);
    // A signal to end the program ends it through the window, so the world is autosaved.
    struct sigaction action {};
    action.sa_handler = ask_to_stop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    QTimer signal_watch;
    QObject::connect(&signal_watch, &QTimer::timeout, &window, [&window] {
        if (stop_asked != 0) window.close();
    });
    signal_watch.start(100);
    const int status = application.exec();
    if (!window.shut_down()) {  // Escape ends the loop without closing the window
        autosave_now(state, true);
        world_lineage_finish(world);
    }
    recorder_stop(state.recorder);
    autosave_wait(state);
    return status;
}
