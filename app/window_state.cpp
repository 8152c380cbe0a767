#include "app/window_state.h"

#include "app/world_dialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

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
      show_problem(show_in_message_box)
{
    session.timeline.budget = window_keyframe_budget;
    // The window's recording tells the user when it fails, besides standard error.
    recorder.told = [this](const std::string& text) { show_problem("Velmora " + text + "."); };
}

window_state_type::~window_state_type()
{
    if (autosave_writer.joinable()) autosave_writer.join();
}
