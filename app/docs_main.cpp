// velmora_docs: the README's picture of the window, made offscreen from a
// fixed seed, so that it can be made again after a change:
//   QT_QPA_PLATFORM=offscreen velmora_docs docs/window.png
// The main window zoomed on a selected animal, the Animal window and the
// Chart window, side by side in one PNG.
#include "app/chart_window.h"
#include "app/frame_loop.h"
#include "app/inspector.h"
#include "app/main_window.h"
#include "render/surface.h"
#include "render/world_view.h"
#include "world/world.h"

#include <QApplication>
#include <QPainter>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora_docs FILE.png\n");
        return 2;
    }
    QApplication application(argc, argv);
    main_window_widget window;
    window_state_type& state = window.state;
    state.world.options.log_path.clear();
    state.world.options.console = false;
    state.world.options.console_scores = false;
    state.autosave_enabled = false;
    window.resize(1180, 760);
    window.show();
    system_startup(state, window.view()->width(), window.view()->height(), 3);
    // Forty generations, then the best animal, zoomed and followed, the Animal and Chart panels docked beside it.
    while (state.world.generation < 40) tick_world_update(state);
    for (int i = 0; i < 120; ++i) tick_world_update(state);
    view_select(state.world, state.view, state.world.animals);
    view_zoom_at(state.world, state.view, 2.0, state.view.display_x / 2, state.view.display_y / 2);
    state.view.follow = true;
    view_follow(state.world, state.view);
    state.view.show_vision = true;
    inspector_show(state);
    chart_show(state, true);
    // Out of the Animal panel's tabs, below it.
    window.addDockWidget(Qt::RightDockWidgetArea, window.dock("Chart"), Qt::Vertical);
    window.dock("Chart")->show();
    window.resizeDocks({window.dock("Animal"), window.dock("Chart")}, {420, 300}, Qt::Vertical);
    window.resizeDocks({window.dock("Animal")}, {430}, Qt::Horizontal);
    application.processEvents();
    view_changed(state);
    state.chart_window->redraw();
    window.refresh_status();
    application.processEvents();
    const QImage picture = window.grab().toImage();
    if (const std::string reason = surface_save_png(picture, argv[1]); !reason.empty()) {
        std::fprintf(stderr, "velmora_docs: cannot write %s: %s\n", argv[1], reason.c_str());
        return 1;
    }
    return 0;
}
