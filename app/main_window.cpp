#include "app/main_window.h"

#include "app/autosave.h"
#include "app/chart_window.h"
#include "app/commands.h"
#include "app/edits.h"
#include "app/frame_loop.h"
#include "app/inspector.h"
#include "app/recorder.h"
#include "app/runs_window.h"
#include "render/neuron_view.h"
#include "render/world_view.h"
#include "world/world.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QToolButton>
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
    const char* text;   // "..." on those that open a dialog; a key of the key table shows beside it
    int id;
};

struct menu_type {
    const char* title;
    std::initializer_list<menu_item_type> items;
};

constexpr int separator = 0;

const menu_type main_menus[] = {
    {"&File",
     {{"&Open...", menu_open},
      {"&Save As...", menu_save_as},
      {"Save S&napshot As...", menu_save_snapshot},
      {"Save R&un As...", menu_save_run},
      {"Save &Chart As...", menu_save_chart},
      {"", separator},
      {"E&xit", menu_exit}}},
    {"&Edit", {{"&Undo", menu_undo}, {"&Redo", menu_redo}}},
    {"&Animals",
     {{"Show &Vision", menu_vision},
      {"Show &Chart", menu_chart},
      {"Show &Neurons", menu_neurons},
      {"&Inspect", menu_inspect},
      {"", separator},
      {"C&lone Selected", menu_clone_selected},
      {"Remove Selecte&d", menu_remove_selected},
      {"&Paste Genes", menu_paste_genes},
      {"Save &Animal As...", menu_save_animal},
      {"Add Animal From &File...", menu_add_animal_file}}},
    {"&World",
     {{"Remove Animals", menu_remove_animals},
      {"Add &Animal", menu_add_animal},
      {"Remove Plants", menu_remove_plants},
      {"Add &Plant", menu_add_plant},
      {"Plant &Brush", menu_plant_brush},
      {"&Edges Wrap", menu_wrap},
      {"", separator},
      {"&Reset...", menu_reset},
      {"Se&ttings...", menu_settings}}},
    {"&Simulation",
     {{"&Pause", menu_pause},
      {"&Normal Speed", menu_normal_speed},
      {"&Max Speed", menu_max_speed},
      {"One &Generation", menu_one_generation},
      {"Manual S&teering", menu_manual},
      {"&Drawing", menu_drawing},
      {"", separator},
      {"&Record...", menu_record},
      {"&Back One Generation", menu_back},
      {"&Forward One Generation", menu_forward},
      {"R&uns...", menu_runs}}},
    {"&View",
     {{"Zoom &In", menu_zoom_in},
      {"Zoom &Out", menu_zoom_out},
      {"&Whole World", menu_whole_world},
      {"&Follow Selected", menu_follow},
      {"&Keep Proportions", menu_keep_proportions},
      {"", separator},
      {"Reset &Layout", menu_reset_layout}}},
    {"&Help", {{"&Keys", menu_keys}, {"&About", menu_about}}},
};

// The selection's section: as much of its text as fits, ending in "...", the whole of it in the tooltip.
class elided_label : public QLabel {
public:
    QSize minimumSizeHint() const override { return QSize(0, QLabel::minimumSizeHint().height()); }
    QSize sizeHint() const override { return QSize(0, QLabel::sizeHint().height()); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
        painter.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, shown);
    }
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
        // Shown where it would land; the world changes once, at the drop.
        if (x >= 0.0 && y >= 0.0 && x <= state.world.width && y <= state.world.height) {
            state.drag_shown = true;
            state.drag_x = x;
            state.drag_y = y;
        }
        view_changed(state);
        return;
    }
    view_pan(state.world, state.view, at.x() - dragged_from_.x(), at.y() - dragged_from_.y());
    dragged_from_ = at;
    view_changed(state);
}

void world_view_widget::mouseReleaseEvent(QMouseEvent* event)
{
    window_state_type& state = window_->state;
    if (moving_ && state.drag_shown && event->button() == Qt::LeftButton) {
        state.drag_shown = false;
        moving_ = false;
        if (state.replaying) return;
        edits_begin_step(state);
        edits_move_selected(state, state.drag_x, state.drag_y);
        view_changed(state);
        return;
    }
    if (dragging_ || brushing_ || event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
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
    // The status bar's fixed sections take the room their text needs; the selection gets the rest.
    for (int section = 0; section < 5; ++section) {
        sections_.push_back(new QLabel);
        statusBar()->addWidget(sections_.back());
    }
    sections_.push_back(new elided_label);
    statusBar()->addWidget(sections_.back(), 1);

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
    state.reset_layout = [this] { reset_layout(); };
    state.tell = [this](const std::string& text) { statusBar()->showMessage(QString::fromStdString(text), 10000); };
    // The panels start hidden; the keys and menus show them.
    neuron_window_ = std::make_unique<neuron_window_widget>(state.world, state.view);
    state.neuron_window = neuron_window_.get();
    chart_window_ = std::make_unique<chart_window_widget>(state);
    state.chart_window = chart_window_.get();
    runs_window_ = std::make_unique<runs_window_widget>(state);
    state.runs_window = runs_window_.get();
    state.inspector = new inspector_widget(state);
    build_menus();
    build_toolbar();
    build_docks();
    place_as_at_first();
    // A long replay shows its progress and can be cancelled; the window is answered meanwhile.
    state.replay_progress = [this](double share) {
        if (share < 0.0) {
            progress_.reset();
            return true;
        }
        if (!progress_) {
            progress_ = std::make_unique<QProgressDialog>("Replaying the run...", "Cancel", 0, 1000, this);
            progress_->setWindowTitle("Velmora");
            progress_->setWindowModality(Qt::WindowModal);
            progress_->setMinimumDuration(0);
            progress_->show();
        }
        state.replay_share = share;
        progress_->setLabelText(QString("Replaying the run to generation %1...").arg(state.replay_target));
        progress_->setValue(static_cast<int>(share * 1000.0));
        strip_->update();
        QCoreApplication::processEvents();
        return !progress_->wasCanceled() && !close_asked_;
    };
}

main_window_widget::~main_window_widget()
{
    // Docks hidden while the window goes must not reach its members, gone by then.
    for (QDockWidget* dock : docks_) dock->disconnect(this);
    // The docks own the panels: the window's pointers let go of them first.
    for (QWidget* panel : std::initializer_list<QWidget*>{neuron_window_.get(), chart_window_.get(), runs_window_.get(), state.inspector})
        if (panel != nullptr) panel->setParent(nullptr);
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

void main_window_widget::refresh_status()
{
    const std::vector<std::string> sections = status_sections(state);
    for (std::size_t k = 0; k < sections_.size(); ++k) {
        const QString text = k < sections.size() ? QString::fromStdString(sections[k]) : QString();
        sections_[k]->setText(text);
        sections_[k]->setVisible(!text.isEmpty());
        // A fixed section never gives up room: the window keeps it whole.
        if (k + 1 < sections_.size()) sections_[k]->setMinimumWidth(sections_[k]->sizeHint().width());
    }
    sections_.back()->setToolTip(sections_.back()->text());
    sync_actions();
}

QString main_window_widget::status_text() const { return QString::fromStdString(status_line(state)); }

QAction* main_window_widget::action(int id) const
{
    const auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

QDockWidget* main_window_widget::dock(const QString& name) const
{
    for (QDockWidget* dock : docks_)
        if (dock->windowTitle() == name) return dock;
    return nullptr;
}

void main_window_widget::build_menus()
{
    for (const menu_type& menu : main_menus) {
        QMenu* drop_down = menuBar()->addMenu(QString::fromLatin1(menu.title));
        for (const menu_item_type& item : menu.items) {
            if (item.id == separator) {
                drop_down->addSeparator();
                continue;
            }
            QString text = QString::fromLatin1(item.text);
            QAction* action = drop_down->addAction(text);
            action->setData(item.id);
            action->setCheckable(menu_checkable(item.id));
            // A chord is the item's shortcut; a plain key, read by the key handler, only shows beside it.
            if (const key_row_type* row = key_row_of_menu(item.id)) {
                QList<QKeySequence> shortcuts;
                for (const int chord : {row->chord, row->other_chord})
                    if (chord != 0) shortcuts << QKeySequence(chord);
                if (shortcuts.isEmpty()) {
                    action->setText(text + '\t' + QString::fromLatin1(row->keys));
                } else {
                    action->setShortcuts(shortcuts);
                }
            }
            if (item.id == menu_zoom_in) action->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
            if (item.id == menu_zoom_out) action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
            actions_[item.id] = action;
            const int id = item.id;
            connect(action, &QAction::triggered, this, [this, id] {
                main_menu(state, id);
                draw_world_into_memdc(state, true);  // a new view shows at once, even while paused
                view_->update();
                strip_->update();
                refresh_status();
            });
        }
    }
}

void main_window_widget::build_toolbar()
{
    toolbar_ = addToolBar("Toolbar");
    toolbar_->setObjectName("toolbar");
    toolbar_->setToolButtonStyle(Qt::ToolButtonFollowStyle);
    const struct { int id; const char* icon; const char* label; } buttons[] = {
        {menu_pause, "media-playback-pause", "Pause"},
        {menu_one_generation, "media-skip-forward", "Generation"},
        {menu_back, "go-previous", "Back"},
        {menu_forward, "go-next", "Forward"},
        {0, nullptr, nullptr},   // the speed slider
        {menu_plant_brush, "draw-brush", "Brush"},
        {menu_whole_world, "zoom-fit-best", "Fit"},
        {menu_follow, "find-location", "Follow"},
        {menu_record, "media-record", "Record"},
    };
    for (const auto& button : buttons) {
        if (button.id == 0) {
            speed_ = new QSlider(Qt::Horizontal);
            speed_->setRange(0, speed_positions);
            speed_->setFixedWidth(120);
            speed_->setFocusPolicy(Qt::NoFocus);
            speed_->setToolTip("Speed: the update timer, then updates per tick (Up, Down, Left, Right, 1, 2)");
            connect(speed_, &QSlider::valueChanged, this, [this](int position) {
                speed_set(state, position);
                refresh_status();
            });
            toolbar_->addWidget(speed_);
            continue;
        }
        QAction* shared = actions_.at(button.id);
        const QIcon icon = QIcon::fromTheme(button.icon);
        QAction* tool = toolbar_->addAction(icon, button.label);   // the label shows when the theme has no icon
        tool->setCheckable(shared->isCheckable());
        tool->setData(button.id);
        QString tip = shared->text().section('\t', 0, 0).remove('&').remove("...");
        if (const key_row_type* row = key_row_of_menu(button.id)) tip += QString(" (%1)").arg(row->keys);
        tool->setToolTip(tip);
        if (QToolButton* widget = qobject_cast<QToolButton*>(toolbar_->widgetForAction(tool)); widget != nullptr && icon.isNull())
            widget->setToolButtonStyle(Qt::ToolButtonTextOnly);
        connect(tool, &QAction::triggered, shared, [shared, tool] {
            // The menu item does the work; the button's own check mark follows the state.
            tool->setChecked(!tool->isChecked());
            shared->trigger();
        });
        toolbar_actions_.push_back(tool);
    }
}

void main_window_widget::build_docks()
{
    const struct { QWidget* panel; const char* title; const char* item; const char* name; Qt::DockWidgetArea area; } panels[] = {
        {state.inspector, "Animal", "&Animal Panel", "animal_dock", Qt::RightDockWidgetArea},
        {chart_window_.get(), "Chart", "&Chart Panel", "chart_dock", Qt::RightDockWidgetArea},
        {runs_window_.get(), "Runs", "R&uns Panel", "runs_dock", Qt::BottomDockWidgetArea},
        {neuron_window_.get(), "Neuron", "&Neuron Panel", "neuron_dock", Qt::RightDockWidgetArea},
    };
    setDockOptions(AnimatedDocks | AllowTabbedDocks | AllowNestedDocks);
    for (const auto& panel : panels) {
        auto* dock = new QDockWidget(panel.title, this);
        dock->setObjectName(panel.name);
        if (panel.panel == state.inspector) {
            // Its bars and genes need more height than a small screen has: they scroll there.
            auto* scroll = new QScrollArea;
            scroll->setWidget(panel.panel);
            scroll->setWidgetResizable(true);
            scroll->setFrameShape(QFrame::NoFrame);
            scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            scroll->setMinimumWidth(panel.panel->minimumWidth() + scroll->verticalScrollBar()->sizeHint().width());
            dock->setWidget(scroll);
        } else {
            dock->setWidget(panel.panel);
        }
        dock->toggleViewAction()->setText(panel.item);
        addDockWidget(panel.area, dock);
        dock->hide();
        docks_.push_back(dock);
        connect(dock, &QDockWidget::visibilityChanged, this, [this] { sync_actions(); });
    }
    tabifyDockWidget(docks_[0], docks_[1]);
    // The Neuron panel floats where, and as large as, its window always stood.
    QDockWidget* neurons = docks_[3];
    neurons->setFloating(true);
    neurons->move(780, 120);
    neurons->hide();
    for (QAction* top : menuBar()->actions())
        if (top->text() == "&View") {
            QAction* reset = actions_.at(menu_reset_layout);
            for (QDockWidget* dock : docks_) {
                // The dock's own check mark, but shown the way the keys show a panel (with room made for it).
                auto* item = new QAction(dock->toggleViewAction()->text(), this);
                item->setCheckable(true);
                connect(item, &QAction::triggered, this, [dock](bool on) { window_panel_show(dock->widget(), on); });
                connect(dock->toggleViewAction(), &QAction::toggled, item, &QAction::setChecked);
                top->menu()->insertAction(reset, item);
            }
            top->menu()->insertSeparator(reset);
        }
    first_layout_ = saveState();
}

void main_window_widget::place_as_at_first()
{
    // 640 x 480 at (120, 120), as the window always stood, but smaller and
    // further up and left where the screen's free area (less some room for
    // the frame) is too small for that.
    constexpr int frame_width = 16, frame_height = 48;
    QRect place(120, 120, 640, 480);
    if (const QScreen* screen = this->screen(); screen != nullptr) {
        const QRect room = screen->availableGeometry().adjusted(0, 0, -frame_width, -frame_height);
        place.setSize(place.size().boundedTo(room.size()));
        place.moveLeft(std::max(room.left(), std::min(place.left(), room.right() + 1 - place.width())));
        place.moveTop(std::max(room.top(), std::min(place.top(), room.bottom() + 1 - place.height())));
    }
    move(place.topLeft());
    resize(place.size());
}

void main_window_widget::restore_layout()
{
    keeps_layout_ = true;
    QSettings settings;
    if (const QByteArray geometry = settings.value("window/geometry").toByteArray(); !geometry.isEmpty()) restoreGeometry(geometry);
    if (const QByteArray layout = settings.value("window/layout").toByteArray(); !layout.isEmpty()) restoreState(layout);
    sync_actions();
}

void main_window_widget::save_layout()
{
    if (!keeps_layout_) return;
    QSettings settings;
    settings.setValue("window/geometry", saveGeometry());
    settings.setValue("window/layout", saveState());
}

void main_window_widget::reset_layout()
{
    restoreState(first_layout_);
    for (QDockWidget* dock : docks_) dock->hide();
    setWindowState(Qt::WindowNoState);
    place_as_at_first();
    sync_actions();
}

void main_window_widget::sync_actions()
{
    for (const auto& [id, action] : actions_)
        if (action->isCheckable()) action->setChecked(menu_checked(state, id));
    for (QAction* tool : toolbar_actions_) {
        const int id = tool->data().toInt();
        if (tool->isCheckable()) tool->setChecked(menu_checked(state, id));
        if (id == menu_pause) {
            const bool paused = !state.world.running;
            tool->setIcon(QIcon::fromTheme(paused ? "media-playback-start" : "media-playback-pause"));
            tool->setIconText(paused ? "Play" : "Pause");
        }
    }
    if (speed_ != nullptr && !speed_->isSliderDown()) {
        const QSignalBlocker quiet(speed_);
        speed_->setValue(speed_position(state));
    }
    // Undo and Redo name their step, and are off with none.
    const std::string undo = edits_undo_name(state), redo = edits_redo_name(state);
    QAction* undo_item = actions_.at(menu_undo);
    undo_item->setEnabled(!undo.empty() && !state.replaying);
    undo_item->setText(undo.empty() ? "&Undo" : QString::fromStdString("&Undo " + undo));
    QAction* redo_item = actions_.at(menu_redo);
    redo_item->setEnabled(!redo.empty() && !state.replaying);
    redo_item->setText(redo.empty() ? "&Redo" : QString::fromStdString("&Redo " + redo));
    actions_.at(menu_record)->setText(recorder_on(state.recorder) ? "Stop &Recording" : "&Record...");
    // The title names the open file, marked while the run has changes not saved.
    if (state.file_name.empty()) {
        setWindowTitle("Velmora");
    } else {
        setWindowTitle(QString::fromStdString(state.file_name) + "[*] - Velmora");
        setWindowModified(window_run_changes(state) != state.saved_changes);
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
    save_layout();
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
