#include "app/main_window.h"

#include "app/autosave.h"
#include "app/chart_window.h"
#include "app/commands.h"
#include "app/edits.h"
#include "app/frame_loop.h"
#include "app/inspector.h"
#include "app/runs_window.h"
#include "render/neuron_view.h"
#include "render/world_view.h"
#include "world/world.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QLabel>
#include <QMenuBar>
#include <QProgressDialog>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

struct menu_item_type {
    const char* text;
    int id;
    QKeySequence shortcut = {};
};

struct menu_type {
    const char* title;
    std::initializer_list<menu_item_type> items;
};

}  // namespace

world_view_widget::world_view_widget(main_window_widget* window) : QWidget(window), window_(window)
{
    // The surface covers every pixel, so nothing is erased first and nothing flickers.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void world_view_widget::paintEvent(QPaintEvent*) { window_paint(window_->state, *this); }

// A click picks the animal under it, or none; a drag pans, or moves the
// selected animal when it starts on it; with the plant brush, a click or a
// drag adds plants (with Shift removes them); a right click on an animal
// offers its edits; the wheel zooms towards the cursor.
void world_view_widget::mousePressEvent(QMouseEvent* event)
{
    pressed_at_ = dragged_from_ = event->position().toPoint();
    dragging_ = moving_ = brushing_ = false;
    window_state_type& state = window_->state;
    if (state.replaying) return;
    const QPoint at = pressed_at_;
    const double x = view_world_x(state.world, state.view, at.x()), y = view_world_y(state.world, state.view, at.y());
    if (event->button() == Qt::RightButton) {
        animal_type* animal = view_animal_at(state.world, state.view, at.x(), at.y());
        if (animal == nullptr) return;
        view_select(state.world, state.view, animal);
        view_changed(state);
        window_->animal_menu(event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (state.plant_brush) {
        brushing_ = true;
        edits_begin_step(state);
        edits_brush(state, x, y, (event->modifiers() & Qt::ShiftModifier) != 0);
        view_changed(state);
        return;
    }
    const animal_type* chosen = view_selected(state.world, state.view);
    if (chosen != nullptr && chosen == view_animal_at(state.world, state.view, at.x(), at.y())) moving_ = true;
}

void world_view_widget::mouseMoveEvent(QMouseEvent* event)
{
    if ((event->buttons() & Qt::LeftButton) == 0) return;
    const QPoint at = event->position().toPoint();
    window_state_type& state = window_->state;
    if (state.replaying) return;
    const double x = view_world_x(state.world, state.view, at.x()), y = view_world_y(state.world, state.view, at.y());
    if (brushing_) {
        // A plant each plant's width along the stroke.
        const double step = std::max(state.world.plant_size * 2.0, 1e-9);
        const double from_x = view_world_x(state.world, state.view, dragged_from_.x()), from_y = view_world_y(state.world, state.view, dragged_from_.y());
        if (std::hypot(x - from_x, y - from_y) < step) return;
        edits_brush(state, x, y, (event->modifiers() & Qt::ShiftModifier) != 0);
        dragged_from_ = at;
        view_changed(state);
        return;
    }
    const bool starting = !dragging_ && (at - pressed_at_).manhattanLength() > 3;
    dragging_ = dragging_ || starting;
    if (!dragging_) return;
    if (moving_) {
        if (starting) edits_begin_step(state);
        if (x >= 0.0 && y >= 0.0 && x <= state.world.width && y <= state.world.height) edits_move_selected(state, x, y);
        view_changed(state);
        return;
    }
    view_pan(state.world, state.view, at.x() - dragged_from_.x(), at.y() - dragged_from_.y());
    dragged_from_ = at;
    view_changed(state);
}

void world_view_widget::mouseReleaseEvent(QMouseEvent* event)
{
    if (dragging_ || brushing_ || event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    window_state_type& state = window_->state;
    if (state.replaying) return;
    view_select(state.world, state.view, view_animal_at(state.world, state.view, at.x(), at.y()));
    view_changed(state);
}

void world_view_widget::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0) return;
    const QPoint at = event->position().toPoint();
    window_state_type& state = window_->state;
    view_zoom_at(state.world, state.view, state.view.zoom * std::pow(1.25, steps), at.x(), at.y());
    view_changed(state);
}

void world_view_widget::resizeEvent(QResizeEvent*) { memdc_setup(window_->state, width(), height()); }

main_window_widget::main_window_widget() : view_(new world_view_widget(this))
{
    setWindowTitle("Velmora");
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(view_, 1);
    strip_ = new timeline_strip_widget(state, central);
    column->addWidget(strip_);
    setCentralWidget(central);
    setFocusPolicy(Qt::StrongFocus);
    build_menus();
    status_ = new QLabel;
    statusBar()->addWidget(status_, 1);
    move(120, 120);
    resize(640, 480);

    update_timer_.setTimerType(Qt::PreciseTimer);
    stats_timer_.setTimerType(Qt::PreciseTimer);
    connect(&update_timer_, &QTimer::timeout, this, [this] { timer_message(state, update_timer_id); });
    connect(&stats_timer_, &QTimer::timeout, this, [this] { timer_message(state, stats_timer_id); });
    connect(&autosave_timer_, &QTimer::timeout, this, [this] { autosave_now(state, false); });
    state.dialog_parent = this;
    state.set_timer = [this](int id, int period) { set_timer(id, period); };
    state.repaint = [this] {
        view_->update();
        strip_->update();
    };
    state.refresh_status = [this] { refresh_status(); };
    state.close = [this] { close(); };
    state.set_autosave = [this](int minutes) { set_autosave(minutes); };
    // The other windows start hidden; the keys and menus show them.
    neuron_window_ = std::make_unique<neuron_window_widget>(state.world, state.view);
    state.neuron_window = neuron_window_.get();
    chart_window_ = std::make_unique<chart_window_widget>(state);
    state.chart_window = chart_window_.get();
    runs_window_ = std::make_unique<runs_window_widget>(state);
    state.runs_window = runs_window_.get();
    // A long replay shows its progress and can be cancelled; the window is answered meanwhile.
    state.replay_progress = [this](double share) {
        if (share < 0.0) {
            progress_.reset();
            return true;
        }
        if (!progress_) {
            progress_ = std::make_unique<QProgressDialog>("Replaying the run...", "Cancel", 0, 1000, this);
            progress_->setWindowModality(Qt::WindowModal);
            progress_->setMinimumDuration(0);
            progress_->show();
        }
        progress_->setValue(static_cast<int>(share * 1000.0));
        QCoreApplication::processEvents();
        return !progress_->wasCanceled() && !close_asked_;
    };
}

main_window_widget::~main_window_widget()
{
    inspector_.reset(state.inspector);
    state.inspector = nullptr;
    state.neuron_window = nullptr;
    state.chart_window = nullptr;
    state.runs_window = nullptr;
}

void main_window_widget::set_autosave(int minutes)
{
    state.autosave_minutes = minutes;
    if (minutes > 0 && state.autosave_enabled) {
        autosave_timer_.start(minutes * 60000);
    } else {
        autosave_timer_.stop();
    }
}

void main_window_widget::refresh_status() { status_->setText(QString::fromStdString(status_line(state))); }

QString main_window_widget::status_text() const { return status_->text(); }

void main_window_widget::build_menus()
{
    const menu_type menus[] = {
        {"&File",
         {{"&Open", menu_open},
          {"&Save As", menu_save_as},
          {"Save S&napshot As...", menu_save_snapshot},
          {"Save R&un As...", menu_save_run},
          {"Save &Chart As...", menu_save_chart},
          {"E&xit", menu_exit}}},
        {"&Edit", {{"&Undo", menu_undo, QKeySequence::Undo}, {"&Redo", menu_redo, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}}},
        {"&Animals",
         {{"&Show Vision", menu_show_vision},
          {"&Hide Vision", menu_hide_vision},
          {"Show &Chart", menu_show_chart},
          {"Hide Cha&rt", menu_hide_chart},
          {"&Inspect", menu_inspect},
          {"C&lone Selected", menu_clone_selected, QKeySequence(Qt::CTRL | Qt::Key_D)},
          {"Remove Selecte&d", menu_remove_selected, QKeySequence(Qt::Key_Delete)},
          {"&Paste Genes", menu_paste_genes, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V)},
          {"Save &Animal As...", menu_save_animal},
          {"Add Animal From &File...", menu_add_animal_file}}},
        {"&World",
         {{"Remove Animals", menu_remove_animals},
          {"Add &Animal", menu_add_animal},
          {"Remove Plants", menu_remove_plants},
          {"Add &Plant", menu_add_plant},
          {"Plant &Brush", menu_plant_brush, QKeySequence(Qt::CTRL | Qt::Key_B)},
          {"&Reset", menu_reset},
          {"Se&ttings...", menu_settings}}},
        {"&Simulation",
         {{"&Normal Speed", menu_normal_speed},
          {"&Max Speed", menu_max_speed},
          {"&Pause", menu_pause},
          {"&Record...", menu_record},
          {"&Back One Generation", menu_back, QKeySequence(Qt::ALT | Qt::Key_Left)},
          {"&Forward One Generation", menu_forward, QKeySequence(Qt::ALT | Qt::Key_Right)},
          {"R&uns...", menu_runs}}},
        {"&View",
         {{"Zoom &In", menu_zoom_in, QKeySequence::ZoomIn},
          {"Zoom &Out", menu_zoom_out, QKeySequence::ZoomOut},
          {"&Whole World", menu_whole_world, QKeySequence(Qt::CTRL | Qt::Key_0)},
          {"&Follow Selected", menu_follow, QKeySequence(Qt::CTRL | Qt::Key_L)}}},
        {"&Help", {{"&Keys", menu_keys}, {"&About", menu_about}}},
    };
    for (const menu_type& menu : menus) {
        QMenu* drop_down = menuBar()->addMenu(QString::fromLatin1(menu.title));
        for (const menu_item_type& item : menu.items) {
            QAction* action = drop_down->addAction(QString::fromLatin1(item.text));
            action->setData(item.id);
            action->setShortcut(item.shortcut);
            if (item.id == menu_plant_brush) action->setCheckable(true);
            const int id = item.id;
            connect(action, &QAction::triggered, this, [this, id] {
                main_menu(state, id);
                draw_world_into_memdc(state, true);  // a new view shows at once, even while paused
                view_->update();
                refresh_status();
            });
        }
    }
}

void main_window_widget::animal_menu(const QPoint& at)
{
    QMenu menu(this);
    const struct { const char* text; int id; } items[] = {{"Clone", menu_clone_selected}, {"Remove", menu_remove_selected},
                                                         {"Paste Genes", menu_paste_genes}, {"Save Animal As...", menu_save_animal}};
    last_menu_.clear();
    for (const auto& item : items) {
        menu.addAction(item.text)->setData(item.id);
        last_menu_ << item.text;
    }
    context_menu_ = &menu;
    if (QAction* chosen = menu.exec(at)) {
        main_menu(state, chosen->data().toInt());
        draw_world_into_memdc(state, true);
        view_->update();
        refresh_status();
    }
    context_menu_ = nullptr;
}

void main_window_widget::set_timer(int id, int period)
{
    if (id != update_timer_id && id != stats_timer_id) return;
    QTimer& timer = id == update_timer_id ? update_timer_ : stats_timer_;
    timer.start(std::max(period, 1));  // Qt spins at 0 and refuses negative periods
}

int main_window_widget::timer_period(int id) const
{
    const QTimer& timer = id == update_timer_id ? update_timer_ : stats_timer_;
    return timer.isActive() ? timer.interval() : -1;
}

void main_window_widget::keyPressEvent(QKeyEvent* event)
{
    // Chords belong to the menus' shortcuts: Alt+Left is no Left.
    if (event->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier)) {
        event->ignore();
        return;
    }
    const unsigned code = key_code_from_qt(event->key());
    const quint32 scan = event->nativeScanCode();
    if (scan != 0 && scan < 256) pressed_code_[scan] = code;
    key_down(state, code);
    refresh_status();
    event->accept();
}

// X11 reports a held key as release and press pairs that carry the same
// timestamp; Qt's X11 layer pairs them so and flags both as auto-repeat. Such
// a release is no release; any other counts at once, so keys typed quickly
// never act twice.
void main_window_widget::keyReleaseEvent(QKeyEvent* event)
{
    event->accept();
    if (event->isAutoRepeat()) return;
    unsigned code = key_code_from_qt(event->key());
    // Released under another name (Shift pressed meanwhile): clear the code it was pressed with.
    const quint32 scan = event->nativeScanCode();
    if (scan != 0 && scan < 256 && pressed_code_[scan] != 0) code = pressed_code_[scan];
    key_up(state, code);
}

// The releases of keys held while the keyboard goes elsewhere never arrive.
void main_window_widget::focusOutEvent(QFocusEvent* event)
{
    keys_clear(state);
    QMainWindow::focusOutEvent(event);
}

void main_window_widget::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) keys_clear(state);
    QMainWindow::changeEvent(event);
}

void main_window_widget::closeEvent(QCloseEvent* event)
{
    if (state.replaying) {
        // The replay stops at its next word of progress, and the window closes after it.
        close_asked_ = true;
        event->ignore();
        QTimer::singleShot(50, this, [this] { close(); });
        return;
    }
    if (!shut_down_) {
        shut_down_ = true;
        update_timer_.stop();
        stats_timer_.stop();
        autosave_timer_.stop();
        autosave_now(state, true);
        world_lineage_finish(state.world);
        system_shutdown(state);
    }
    event->accept();
    QCoreApplication::exit(0);
}
