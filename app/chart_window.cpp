#include "app/chart_window.h"

#include "world/world.h"

#include <QFile>
#include <QFileDialog>
#include <QPainter>

chart_window_widget* chart_window = nullptr;

namespace {

std::string ask_chart_path()
{
    QFileDialog dialog(nullptr, QString(), QStringLiteral("."), QStringLiteral("PNG pictures (*.png)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("png"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

}  // namespace

std::string (*chart_file_dialog)() = ask_chart_path;

chart_window_widget::chart_window_widget() : QWidget(nullptr, Qt::Window)
{
    setWindowTitle("Chart");
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Beside the main window and below the Neuron window, on a 1280 x 800 screen.
    move(780, 300);
    resize(480, 320);
}

void chart_window_widget::follow_world()
{
    if (!isVisible() || (world_history.size() == drawn_generations_ && world_resets == drawn_resets_)) return;
    redraw();
}

void chart_window_widget::redraw()
{
    drawn_generations_ = world_history.size();
    drawn_resets_ = world_resets;
    picture_ = chart_image(world_chart(), std::max(width(), 1), std::max(height(), 1));
    update();
}

void chart_window_widget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, picture_);
}

void chart_window_widget::resizeEvent(QResizeEvent*)
{
    if (isVisible()) redraw();
}

chart_type world_chart()
{
    chart_type chart{"Evolution since the last reset", "generation", "food", {}};
    chart_series_type per_animal{"food per animal", 0x1F77B4, {}, {}, {}};
    chart_series_type running{"running mean", 0xD62728, {}, {}, {}};
    chart_series_type best{"best animal", 0x2CA02C, {}, {}, {}};
    for (const generation_record_type& record : world_history) {
        per_animal.values.push_back(record.food_per_animal);
        running.values.push_back(record.ave_food);
        best.values.push_back(record.best_food);
    }
    chart.series = {per_animal, running, best};
    return chart;
}

void chart_show(bool shown)
{
    if (chart_window == nullptr) return;
    chart_window->setVisible(shown);
    if (shown) chart_window->redraw();
}

void chart_toggle()
{
    if (chart_window != nullptr) chart_show(!chart_window->isVisible());
}

bool chart_save(const std::string& path)
{
    return chart_image(world_chart(), 960, 600).save(QString::fromLocal8Bit(path.c_str()), "PNG");
}
