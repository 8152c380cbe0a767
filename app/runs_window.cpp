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
#include <map>
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
    const double share = std::clamp(static_cast<double>(x) / std::max(bar_width() - 1, 1), 0.0, 1.0);
    return static_cast<std::uint32_t>(std::lround(first + share * span));
}

int timeline_strip_widget::bar_width() const
{
    // The text's room is that of the longest it may show, so the bar does not shift as it changes.
    const int text = fontMetrics().horizontalAdvance(QString("Generation %1 of %1").arg(std::max<std::uint32_t>(last_generation(), 9999)));
    return std::max(width() - text - 20, 20);
}

QString timeline_strip_widget::text() const
{
    if (state_.replaying) {
        const int percent = static_cast<int>(std::lround(100.0 * state_.replay_share));
        return state_.replay_target != 0 ? QString("To generation %1: %2%").arg(state_.replay_target).arg(percent)
                                         : QString("Replaying: %1%").arg(percent);
    }
    return QString("Generation %1 of %2").arg(state_.world.generation).arg(last_generation());
}

void timeline_strip_widget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const int bar = bar_width();
    painter.fillRect(QRect(0, 0, bar, height()), QColor(236, 236, 236));
    const timeline_type& timeline = state_.session.timeline;
    const double first = timeline.start.generation;
    const double span = std::max<double>(last_generation() - first, 1.0);
    const auto x_of = [&](double generation) { return (generation - first) / span * (bar - 1); };
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
    if (!state_.replaying) {
        // Within the last generation reached the marker stays at the bar's end, off the text.
        const double now = std::min(x_of(state_.world.generation + static_cast<double>(state_.world.update_count) /
                                                                     std::max(state_.world.generation_length, 1)),
                                    bar - 1.0);
        painter.fillRect(QRectF(0, 8, now, height() - 16), QColor(120, 170, 220));
        painter.setPen(QPen(QColor(200, 30, 30), 2));
        painter.drawLine(QPointF(now, 0), QPointF(now, height()));
    } else {
        painter.fillRect(QRectF(0, 8, state_.replay_share * (bar - 1), height() - 16), QColor(230, 160, 60));
    }
    painter.setPen(palette().windowText().color());
    painter.drawText(QRect(bar + 10, 0, width() - bar - 12, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
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
    : QWidget(nullptr, Qt::Window), state_(state), tree_(new QTreeWidget), memory_(new QLabel), budget_(new QSpinBox)
{
    setWindowTitle("Runs");
    auto* layout = new QVBoxLayout(this);
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    layout->addWidget(tree_);
    auto* buttons = new QHBoxLayout;
    auto* switch_to = new QPushButton("Switch To");
    auto* rename = new QPushButton("Rename...");
    auto* remove = new QPushButton("Delete...");
    auto* save = new QPushButton("Save As...");
    for (QPushButton* button : {switch_to, rename, remove, save}) buttons->addWidget(button);
    layout->addLayout(buttons);
    auto* memory_row = new QHBoxLayout;
    memory_row->addWidget(memory_, 1);
    memory_row->addWidget(new QLabel("Budget (MB)"));
    budget_->setRange(0, 1 << 16);
    budget_->setValue(static_cast<int>(state.session.timeline.budget >> 20));
    budget_->setToolTip("Memory the kept states may take; older generations keep fewer of them");
    memory_row->addWidget(budget_);
    layout->addLayout(memory_row);
    const auto switch_chosen = [this] {
        runs_switch(state_, chosen());
        refresh();
    };
    connect(switch_to, &QPushButton::clicked, this, switch_chosen);
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, switch_chosen);
    connect(rename, &QPushButton::clicked, this, [this] { rename_chosen(); });
    connect(remove, &QPushButton::clicked, this, [this] { delete_chosen(); });
    connect(save, &QPushButton::clicked, this, [this] {
        const std::string path = state_.file_dialog(file_save_run);
        if (path.empty()) return;
        if (const std::string problem = runs_save(state_, chosen(), path); !problem.empty()) {
            state_.show_problem(problem);
        } else if (state_.tell) {
            state_.tell("Saved the run of branch " + std::to_string(state_.session.timeline.branches[chosen()].number) + " to " + path);
        }
    });
    connect(budget_, &QSpinBox::valueChanged, this, [this](int megabytes) {
        timeline_set_budget(state_.session.timeline, static_cast<std::size_t>(megabytes) << 20);
        refresh();
    });
    resize(640, 160);
}

std::size_t runs_window_widget::chosen() const
{
    const QTreeWidgetItem* item = tree_->currentItem();
    const std::size_t count = state_.session.timeline.branches.size();
    if (item == nullptr) return state_.session.timeline.current;
    const std::size_t branch = item->data(0, Qt::UserRole).toULongLong();
    return branch < count ? branch : state_.session.timeline.current;
}

void runs_window_widget::delete_chosen()
{
    const std::size_t branch = chosen();
    if (branch == state_.session.timeline.current) {
        state_.show_problem("The shown branch cannot be deleted: switch to another first");
        return;
    }
    const std::string text = runs_branch_text(state_, branch);
    if (!state_.ask_question("Delete " + text.substr(0, text.find(':')) + "? Its course cannot be brought back.", "Delete Branch")) return;
    runs_delete(state_, branch);
    refresh();
}

void runs_window_widget::rename_chosen()
{
    const std::size_t branch = chosen();
    const std::uint32_t number = state_.session.timeline.branches[branch].number;
    const auto named = state_.session.branch_names.find(number);
    std::string name = named != state_.session.branch_names.end() ? named->second : std::string();
    if (!state_.ask_text || !state_.ask_text("Name of branch " + std::to_string(number) + ":", name)) return;
    state_.session.branch_names[number] = name;
    refresh();
}

void runs_window_widget::refresh()
{
    timeline_note(state_.session.timeline, state_.world);
    const std::size_t was = tree_->currentItem() != nullptr ? tree_->currentItem()->data(0, Qt::UserRole).toULongLong() : state_.session.timeline.current;
    tree_->clear();
    const std::vector<timeline_branch_type>& branches = state_.session.timeline.branches;
    std::map<std::uint32_t, QTreeWidgetItem*> rows;   // by branch number; a parent comes before its children
    QTreeWidgetItem* current = nullptr;
    for (std::size_t b = 0; b < branches.size(); ++b) {
        const auto parent = rows.find(branches[b].parent);
        auto* item = parent != rows.end() ? new QTreeWidgetItem(parent->second) : new QTreeWidgetItem(tree_);
        item->setText(0, QString::fromStdString(runs_branch_text(state_, b)));
        item->setData(0, Qt::UserRole, static_cast<qulonglong>(b));
        rows[branches[b].number] = item;
        if (b == (was < branches.size() ? was : state_.session.timeline.current)) current = item;
    }
    tree_->expandAll();
    if (current != nullptr) tree_->setCurrentItem(current);
    memory_->setText(QString::fromStdString(runs_memory_text(state_)));
}

void runs_window_show(window_state_type& state)
{
    if (state.runs_window == nullptr) return;
    state.runs_window->refresh();
    window_panel_show(state.runs_window, true);
}
