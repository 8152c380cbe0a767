#include "app/runs_window.h"

#include "app/runs.h"
#include "app/window_state.h"
#include "world/timeline.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

timeline_strip_widget::timeline_strip_widget(window_state_type& state, QWidget* parent) : QWidget(parent), state_(state)
{
    setFixedHeight(22);
    setFocusPolicy(Qt::NoFocus);
    setToolTip("The generations of this run: click or drag to go to the start of one (Alt+Left, Alt+Right: one back, one forward)");
}

std::uint32_t timeline_strip_widget::last_generation() const
{
    const timeline_type& timeline = state_.session.timeline;
    std::uint32_t last = state_.world.generation;
    if (!timeline.branches.empty()) last = std::max(last, timeline.branches[timeline.current].reach.generation);
    return last;
}

std::uint32_t timeline_strip_widget::generation_at(int x) const
{
    const double first = state_.session.timeline.start.generation;
    const double span = std::max<double>(last_generation() - first, 1.0);
    const double share = std::clamp(static_cast<double>(x) / std::max(width() - 1, 1), 0.0, 1.0);
    return static_cast<std::uint32_t>(std::lround(first + share * span));
}

void timeline_strip_widget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(236, 236, 236));
    const timeline_type& timeline = state_.session.timeline;
    const double first = timeline.start.generation;
    const double span = std::max<double>(last_generation() - first, 1.0);
    const auto x_of = [&](double generation) { return (generation - first) / span * (width() - 1); };
    // Where a kept state lets a rewind start without replaying from far back.
    painter.setPen(QColor(150, 150, 150));
    for (const timeline_keyframe_type& keyframe : timeline.keyframes) {
        const double x = x_of(keyframe.point.generation);
        painter.drawLine(QPointF(x, 2), QPointF(x, 6));
    }
    // Where branches left the run, as small orange marks.
    for (const timeline_branch_type& branch : timeline.branches) {
        if (branch.parent == 0) continue;
        const double x = x_of(branch.from.generation);
        painter.fillRect(QRectF(x - 2, height() - 6, 5, 5), QColor(230, 120, 20));
    }
    const double now = x_of(state_.world.generation + static_cast<double>(state_.world.update_count) / std::max(state_.world.generation_length, 1));
    painter.fillRect(QRectF(0, 8, now, height() - 16), QColor(120, 170, 220));
    painter.setPen(QPen(QColor(200, 30, 30), 2));
    painter.drawLine(QPointF(now, 0), QPointF(now, height()));
    painter.setPen(Qt::black);
    const QString text = QString("Generation %1 of %2").arg(state_.world.generation).arg(last_generation());
    painter.drawText(rect().adjusted(4, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter, text);
}

void timeline_strip_widget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || state_.replaying) return;
    runs_go(state_, generation_at(event->position().toPoint().x()));
    update();
}

void timeline_strip_widget::mouseMoveEvent(QMouseEvent* event)
{
    if ((event->buttons() & Qt::LeftButton) == 0 || state_.replaying) return;
    const std::uint32_t generation = generation_at(event->position().toPoint().x());
    if (generation != state_.world.generation || state_.world.update_count != 0) runs_go(state_, generation);
    update();
}

runs_window_widget::runs_window_widget(window_state_type& state)
    : QWidget(nullptr, Qt::Window), state_(state), list_(new QListWidget), memory_(new QLabel), budget_(new QSpinBox)
{
    setWindowTitle("Runs");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    auto* buttons = new QHBoxLayout;
    auto* switch_to = new QPushButton("Switch To");
    auto* remove = new QPushButton("Delete");
    auto* save = new QPushButton("Save As...");
    buttons->addWidget(switch_to);
    buttons->addWidget(remove);
    buttons->addWidget(save);
    layout->addLayout(buttons);
    auto* memory_row = new QHBoxLayout;
    memory_row->addWidget(memory_, 1);
    memory_row->addWidget(new QLabel("Budget (MB)"));
    budget_->setRange(0, 1 << 16);
    budget_->setValue(static_cast<int>(state.session.timeline.budget >> 20));
    budget_->setToolTip("Memory the kept states may take; older generations keep fewer of them");
    memory_row->addWidget(budget_);
    layout->addLayout(memory_row);
    const auto chosen = [this] { return static_cast<std::size_t>(std::max(list_->currentRow(), 0)); };
    connect(switch_to, &QPushButton::clicked, this, [this, chosen] {
        runs_switch(state_, chosen());
        refresh();
    });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this, chosen] {
        runs_switch(state_, chosen());
        refresh();
    });
    connect(remove, &QPushButton::clicked, this, [this, chosen] {
        if (chosen() == state_.session.timeline.current) {
            state_.show_problem("The shown branch cannot be deleted: switch to another first");
            return;
        }
        runs_delete(state_, chosen());
        refresh();
    });
    connect(save, &QPushButton::clicked, this, [this, chosen] {
        const std::string path = state_.file_dialog(file_save_run);
        if (path.empty()) return;
        if (const std::string problem = runs_save(state_, chosen(), path); !problem.empty()) state_.show_problem(problem);
    });
    connect(budget_, &QSpinBox::valueChanged, this, [this](int megabytes) {
        timeline_set_budget(state_.session.timeline, static_cast<std::size_t>(megabytes) << 20);
        refresh();
    });
    // Below the main window, on a 1280 x 800 screen, clear of the Chart and Neuron windows.
    move(120, 630);
    resize(640, 160);
}

void runs_window_widget::refresh()
{
    timeline_note(state_.session.timeline, state_.world);
    const int row = list_->currentRow();
    list_->clear();
    for (std::size_t b = 0; b < state_.session.timeline.branches.size(); ++b)
        list_->addItem(QString::fromStdString(runs_branch_text(state_, b)));
    list_->setCurrentRow(row >= 0 && row < list_->count() ? row : static_cast<int>(state_.session.timeline.current));
    memory_->setText(QString::fromStdString(runs_memory_text(state_)));
}

void runs_window_show(window_state_type& state)
{
    if (state.runs_window == nullptr) return;
    state.runs_window->refresh();
    state.runs_window->show();
    state.runs_window->raise();
}
