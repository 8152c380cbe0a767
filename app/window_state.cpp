#include "app/window_state.h"

#include "app/world_dialogs.h"

#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QInputDialog>
#include <QLayout>
#include <QMainWindow>
#include <QMessageBox>
#include <QScreen>

#include <algorithm>

namespace {

// The boxes are modal to the application: ticks go on behind them, but
// nothing can close the main window or start a second question meanwhile.
bool ask_with_message_box(const std::string& text, const std::string& caption)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok | QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

bool ask_yes_or_no(const std::string& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Velmora"), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::string chosen_file(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

void show_in_message_box(const std::string& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Velmora"), QString::fromLocal8Bit(text.c_str()), QMessageBox::Ok);
    box.exec();
}

}  // namespace

window_state_type::window_state_type()
    : ask_question(ask_with_message_box),
      ask_to_continue(ask_yes_or_no),
      file_dialog([](file_kind_type kind) { return chosen_file(*world_file_dialog(kind)); }),
      chart_file_dialog([] {
          QFileDialog dialog(nullptr, QString(), QStringLiteral("."), QStringLiteral("PNG pictures (*.png)"));
          dialog.setAcceptMode(QFileDialog::AcceptSave);
          dialog.setDefaultSuffix(QStringLiteral("png"));
          return chosen_file(dialog);
      }),
      ask_text([](const std::string& prompt, std::string& text) {
          bool accepted = false;
          const QString typed = QInputDialog::getText(nullptr, QStringLiteral("Velmora"), QString::fromStdString(prompt), QLineEdit::Normal,
                                                      QString::fromStdString(text), &accepted);
          if (accepted) text = typed.trimmed().toStdString();
          return accepted;
      }),
      show_problem(show_in_message_box)
{
    session.timeline.budget = window_keyframe_budget;
    view.keep_proportions = true;   // View, Keep Proportions, on until turned off
    // The window's recording tells the user when it fails, besides standard error.
    recorder.told = [this](const std::string& text) { show_problem("Velmora " + text + "."); };
}

window_state_type::~window_state_type()
{
    if (autosave_writer.joinable()) autosave_writer.join();
}

namespace {

// The dock a panel lies in (through a scroll area, say), or null for a window of its own.
QDockWidget* dock_of(const QWidget* panel)
{
    for (QWidget* up = panel->parentWidget(); up != nullptr; up = up->parentWidget())
        if (auto* dock = qobject_cast<QDockWidget*>(up)) return dock;
    return nullptr;
}

// A floating panel that would cover the window (widened since it last
// stood beside it) stands beside it again, where the screen has room.
void stand_beside(QDockWidget& dock, const QMainWindow& main, const QRect& room)
{
    if (!dock.frameGeometry().intersects(main.frameGeometry())) return;
    const int x = main.frameGeometry().right() + 21;
    if (x + dock.frameGeometry().width() <= room.right() + 1) dock.move(x, dock.y());
}

// A panel docked beside the view widens the window by what the view lost
// (it was view_width wide), as far as the screen allows, rather than
// squeezing the world.
void make_room(QMainWindow& main, int view_width, const QRect& room)
{
    if (main.centralWidget() == nullptr || main.isMaximized() || main.isFullScreen()) return;
    main.layout()->activate();
    const int lost = view_width - main.centralWidget()->width();
    const int frame = main.frameGeometry().width() - main.width();
    const int width = std::min(main.width() + lost, room.width() - frame);
    if (width <= main.width()) return;
    main.resize(width, main.height());
    if (main.frameGeometry().right() > room.right())
        main.move(std::max(room.left(), room.right() + 1 - main.frameGeometry().width()), main.y());
}

}  // namespace

void window_panel_show(QWidget* panel, bool shown)
{
    if (panel == nullptr) return;
    QDockWidget* dock = dock_of(panel);
    QWidget* holder = dock != nullptr ? dock : panel;
    auto* main = dock != nullptr ? qobject_cast<QMainWindow*>(dock->parentWidget()) : nullptr;
    const bool appears = shown && holder->isHidden();
    const int view_width = main != nullptr && main->centralWidget() != nullptr ? main->centralWidget()->width() : 0;
    holder->setVisible(shown);
    if (!shown) return;
    holder->raise();
    holder->activateWindow();
    if (!appears || main == nullptr || !main->isVisible() || main->screen() == nullptr) return;
    const QRect room = main->screen()->availableGeometry();
    if (dock->isFloating())
        stand_beside(*dock, *main, room);
    else
        make_room(*main, view_width, room);
}

bool window_panel_shown(const QWidget* panel)
{
    if (panel == nullptr) return false;
    const QWidget* dock = dock_of(panel);
    const QWidget* holder = dock != nullptr ? dock : panel;
    return !holder->isHidden();
}

std::size_t window_run_changes(const window_state_type& state)
{
    const timeline_type& timeline = state.session.timeline;
    // A change made, a branch made or another shown; going back and forth alone is none.
    return state.world.run.events.size() + (timeline.branches.size() << 20) + (timeline.current << 40);
}

void window_mark_saved(window_state_type& state, const std::string& path)
{
    state.file_name = QFileInfo(QFile::decodeName(path.c_str())).fileName().toStdString();
    state.saved_changes = window_run_changes(state);
}
