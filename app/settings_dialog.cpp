#include "app/settings_dialog.h"

#include "app/runs.h"
#include "app/window_state.h"
#include "world/world.h"
#include "cli/options.h"
#include "world/world_file.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QSpinBox* whole_spin(QFormLayout* form, const char* name, int low, int high, int value, const char* tip)
{
    auto* box = new QSpinBox;
    box->setRange(low, high);
    box->setValue(value);
    box->setToolTip(tip);
    form->addRow(name, box);
    return box;
}

constexpr double real_step = 0.000001;   // as many decimals as a world file keeps

// Six decimals kept, but shown as a person writes the number: 10, not 10.000000.
class real_spin_box : public QDoubleSpinBox {
protected:
    QString textFromValue(double value) const override { return locale().toString(value, 'g', 12); }
};

// The box of one row of the settings' table, showing value; a derived
// setting left unset shows its rule at one step below its range.
QWidget* setting_box(const setting_row_type& row, const std::optional<double>& value)
{
    const QString tip = QString::fromStdString(setting_help(row));
    if (row.kind == setting_kind_type::flag) {
        auto* box = new QCheckBox;
        box->setChecked(value.value_or(row.fallback) != 0.0);
        box->setToolTip(tip);
        return box;
    }
    if (row.kind == setting_kind_type::choice) {
        auto* box = new QComboBox;
        for (int k = 0; k < row.choice_count; ++k) box->addItem(row.choices[k]);
        box->setCurrentIndex(static_cast<int>(value.value_or(row.fallback)));
        box->setToolTip(tip);
        return box;
    }
    if (row.kind == setting_kind_type::whole) {
        auto* box = new QSpinBox;
        box->setRange(static_cast<int>(row.low), static_cast<int>(std::min(row.high, double{std::numeric_limits<int>::max()})));
        box->setValue(static_cast<int>(value.value_or(row.fallback)));
        box->setToolTip(tip);
        return box;
    }
    auto* box = new real_spin_box;
    box->setDecimals(6);
    box->setSingleStep(row.high - row.low <= 1.0 ? 0.001 : 1.0);
    const bool derived = row.fallback_text != nullptr;
    box->setRange(std::isfinite(row.low) ? row.low - (derived ? real_step : 0.0) : -1e9, std::isfinite(row.high) ? row.high : 1e9);
    if (derived) box->setSpecialValueText(QString("automatic: ") + row.fallback_text);
    box->setValue(value ? *value : derived ? box->minimum() : row.fallback);
    box->setToolTip(tip);
    return box;
}

QString value_shown(const setting_row_type& row, double value)
{
    if (row.kind == setting_kind_type::flag) return value != 0.0 ? "true" : "false";
    return QString::number(value, 'g', 17);
}

}  // namespace

settings_dialog::settings_dialog(const world_settings_type& shown, int autosave_minutes, QWidget* parent,
                                 const environment_type& environment)
    : QDialog(parent), chosen_map(environment.food_map), chosen_map_path(environment.food_map_path), shown_(shown)
{
    setWindowTitle("World settings");
    auto* column = new QVBoxLayout(this);
    pages = new QTabWidget;
    column->addWidget(pages);
    auto* world_page = new QWidget;
    pages->addTab(world_page, "World");
    auto* form = new QFormLayout(world_page);
    for (const setting_row_type& row : settings_table()) {
        boxes[row.id] = setting_box(row, shown[row.id]);
        const bool unit = row.kind == setting_kind_type::real && row.unit[0] != '\0';
        form->addRow(QString(row.label) + (unit ? QString(" (%1)").arg(row.unit) : QString()), boxes[row.id]);
        first_values[row.id] = box_value(row.id);
    }
    autosave = whole_spin(form, "Autosave every (minutes)", 0, 24 * 60, autosave_minutes,
                          "How often the window keeps the whole world for the next start; 0 turns autosaving off");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText("Reset With These");
    QPushButton* now = buttons->addButton("Apply From Now On", QDialogButtonBox::ApplyRole);
    QStringList changing;
    for (const setting_row_type& row : settings_table())
        if (row.changes) changing << QString(row.label);
    now->setToolTip("These change now, and the run goes on: " + changing.join(", ") + ". The others need a reset");
    connect(now, &QPushButton::clicked, this, [this] { done(settings_apply_now); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    build_environment_page(environment);
    column->addWidget(buttons);
}

QSpinBox* settings_dialog::whole_box(setting_id_type id) const { return qobject_cast<QSpinBox*>(boxes[id]); }
QDoubleSpinBox* settings_dialog::real_box(setting_id_type id) const { return qobject_cast<QDoubleSpinBox*>(boxes[id]); }
QCheckBox* settings_dialog::flag_box(setting_id_type id) const { return qobject_cast<QCheckBox*>(boxes[id]); }

double settings_dialog::box_value(setting_id_type id) const
{
    if (QCheckBox* flag = flag_box(id)) return flag->isChecked() ? 1.0 : 0.0;
    if (auto* choice = qobject_cast<QComboBox*>(boxes[id])) return choice->currentIndex();
    if (QSpinBox* whole = whole_box(id)) return whole->value();
    return real_box(id)->value();
}

void settings_dialog::build_environment_page(const environment_type& environment)
{
    auto* page = new QWidget;
    pages->addTab(page, "Environment");
    auto* form = new QFormLayout(page);
    // The seasons: a cycle of the plant count.
    seasons = new QCheckBox;
    seasons->setChecked(environment.seasons.period > 0);
    seasons->setToolTip("The plants follow a cycle of this many generations between low and high, set at each generation's start");
    form->addRow("Seasons", seasons);
    season_period = whole_spin(form, "Period (generations)", 2, 1000000, environment.seasons.period > 0 ? environment.seasons.period : 40, "Generations per cycle");
    season_low = whole_spin(form, "Fewest plants", 0, world_file_max_plants, environment.seasons.period > 0 ? environment.seasons.low : 5,
                           "Plants at the cycle's lowest");
    season_high = whole_spin(form, "Most plants", 0, world_file_max_plants, environment.seasons.period > 0 ? environment.seasons.high : 20,
                            "Plants at the cycle's highest");
    season_shape = new QComboBox;
    for (const char* shape : seasons_shapes) season_shape->addItem(shape);
    season_shape->setCurrentIndex(environment.seasons.square ? 1 : 0);
    season_shape->setToolTip("sine: starts half-way, rising; square: high for the first half of each cycle, low for the rest");
    form->addRow("Shape", season_shape);
    // The food map, with a preview as the world view shades it.
    map_preview = new QLabel;
    map_preview->setFixedSize(120, 120);
    map_preview->setFrameShape(QFrame::Box);
    map_preview->setAlignment(Qt::AlignCenter);
    auto* map_row = new QHBoxLayout;
    auto* choose = new QPushButton("Choose...");
    auto* none = new QPushButton("None");
    map_row->addWidget(map_preview);
    map_name = new QLabel;
    map_row->addWidget(map_name, 1);
    map_row->addWidget(choose);
    map_row->addWidget(none);
    form->addRow("Food map", map_row);
    connect(choose, &QPushButton::clicked, this, [this] {
        QFileDialog dialog(this, "Food map", ".", "Greyscale pictures (*.png)");
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        const std::string path = QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
        food_map_type map;
        if (const std::string problem = food_map_read(map, path); !problem.empty()) {
            QMessageBox::warning(this, "Velmora", QString::fromStdString(problem));
            return;
        }
        chosen_map = std::move(map);
        chosen_map_path = path;
        show_map();
    });
    connect(none, &QPushButton::clicked, this, [this] {
        chosen_map = food_map_type{};
        chosen_map_path.clear();
        show_map();
    });
    show_map();
    // The changes to come, one row each: generation, setting, value.
    schedule = new QTableWidget(0, 3);
    schedule->setHorizontalHeaderLabels({"Generation", "Setting", "Value"});
    schedule->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    schedule->horizontalHeader()->setMinimumSectionSize(110);
    schedule->setMinimumWidth(3 * 110 + 40);
    QStringList changing;
    for (const setting_row_type& row : settings_table())
        if (row.changes) changing << row.name;
    schedule->setToolTip("Changes the run makes at the start of a generation, of the settings that may change during a run (" +
                         changing.join(", ") + "; a flag is true or false); Apply From Now On keeps them");
    for (const run_event_type& change : environment.schedule) add_change_row(change.generation, change.setting, change.value);
    auto* schedule_buttons = new QHBoxLayout;
    auto* add = new QPushButton("Add Change");
    auto* remove = new QPushButton("Remove Change");
    schedule_buttons->addWidget(add);
    schedule_buttons->addWidget(remove);
    form->addRow("Scheduled changes", schedule);
    form->addRow("", schedule_buttons);
    connect(add, &QPushButton::clicked, this, [this] { add_change_row(0, setting_mutate_amount, setting_row(setting_mutate_amount).fallback); });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (schedule->currentRow() >= 0) schedule->removeRow(schedule->currentRow());
    });
}

void settings_dialog::add_change_row(std::uint32_t generation, setting_id_type setting, double value)
{
    const int row = schedule->rowCount();
    schedule->insertRow(row);
    schedule->setItem(row, 0, new QTableWidgetItem(QString::number(generation)));
    // The settings that may change during a run, as the table spells them.
    auto* names = new QComboBox;
    for (const setting_row_type& changing : settings_table())
        if (changing.changes) names->addItem(changing.name, static_cast<int>(changing.id));
    names->setCurrentIndex(std::max(0, names->findData(static_cast<int>(setting))));
    schedule->setCellWidget(row, 1, names);
    schedule->setItem(row, 2, new QTableWidgetItem(value_shown(setting_row(setting), value)));
}

void settings_dialog::show_map()
{
    map_name->setText(QFileInfo(QFile::decodeName(chosen_map_path.c_str())).fileName());
    map_name->setToolTip(QFile::decodeName(chosen_map_path.c_str()));
    if (!food_map_on(chosen_map)) {
        map_preview->setPixmap(QPixmap());
        map_preview->setText("none:\nplants grow\nanywhere");
        return;
    }
    double most = 0.0;
    for (const double weight : chosen_map.weights) most = std::max(most, weight);
    QImage picture(static_cast<int>(chosen_map.width), static_cast<int>(chosen_map.height), QImage::Format_Grayscale8);
    for (std::uint32_t y = 0; y < chosen_map.height; ++y)
        for (std::uint32_t x = 0; x < chosen_map.width; ++x)
            picture.scanLine(static_cast<int>(y))[x] = static_cast<uchar>(std::lround(255.0 * chosen_map.weights[y * chosen_map.width + x] / most));
    map_preview->setPixmap(QPixmap::fromImage(picture.scaled(map_preview->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation)));
}

std::string settings_dialog::environment(environment_type& out) const
{
    environment_type made;
    if (seasons->isChecked()) {
        made.seasons = seasons_type{season_period->value(), season_low->value(), season_high->value(), season_shape->currentIndex() == 1};
        if (std::string problem = seasons_problem(made.seasons.period, made.seasons.low, made.seasons.high); !problem.empty()) return problem;
    }
    made.food_map = chosen_map;
    made.food_map_path = chosen_map_path;
    for (int row = 0; row < schedule->rowCount(); ++row) {
        const auto cell = [this, row](int column) { return schedule->item(row, column) ? schedule->item(row, column)->text() : QString(); };
        bool whole = false;
        const qlonglong generation = cell(0).toLongLong(&whole);
        const std::string where = "Scheduled change " + std::to_string(row + 1) + ": ";
        if (!whole || generation < 0 || generation > 4294967295LL) return where + "the generation must be a whole number of at least 0";
        const auto* names = qobject_cast<const QComboBox*>(schedule->cellWidget(row, 1));
        if (names == nullptr || names->currentIndex() < 0) return where + "choose the setting it changes";
        const setting_row_type& setting = setting_row(static_cast<setting_id_type>(names->currentData().toInt()));
        const std::string text = cell(2).trimmed().toStdString();
        double value = 0.0;
        if (std::string rule = setting_parse(setting, text, value); !rule.empty()) return where + setting.name + " " + text + ": " + rule;
        made.schedule.push_back(run_setting_event(static_cast<std::uint32_t>(generation), 0, setting.id, value));
    }
    std::stable_sort(made.schedule.begin(), made.schedule.end(),
                     [](const run_event_type& a, const run_event_type& b) { return a.generation < b.generation; });
    out = std::move(made);
    return {};
}

environment_type environment_of_world(const window_state_type& state)
{
    environment_type environment = world_environment(state.world);
    environment.food_map_path = state.session.run_start.environment.food_map_path;
    return environment;
}

world_settings_type settings_dialog::settings() const
{
    world_settings_type made;
    for (const setting_row_type& row : settings_table()) {
        const double value = box_value(row.id);
        if (value == first_values[row.id]) {
            made[row.id] = shown_[row.id];
        } else if (!(row.fallback_text != nullptr && value < row.low)) {
            made[row.id] = value;
        }
    }
    return made;
}

std::string settings_confirm(window_state_type& state, const world_settings_type& settings, bool& reset,
                             const environment_type& environment)
{
    reset = false;
    if (std::string problem = settings_problem(settings, option_name); !problem.empty()) return problem;
    std::size_t at = 0;
    if (std::string problem = course_problem(environment.schedule, environment.seasons,
                                             static_cast<std::int32_t>(settings_value(settings, setting_generation_length)), 0, 0, true, at);
        !problem.empty())
        return "Scheduled change " + std::to_string(at + 1) + ": " + problem;
    if (!state.ask_question("Reset the world with these settings?", "World settings")) return {};
    // The environment first, so that the new population's plants grow by the map.
    world_begin(state.world, environment, [&settings](world_type& world) {
        settings_apply(world, settings);
        world.run = run_type{};
        return refusal_type();
    });
    runs_begin(state, true);
    reset = true;
    return {};
}

std::string settings_change_now(window_state_type& state, const world_settings_type& settings, const environment_type* environment)
{
    world_type& world = state.world;
    if (environment != nullptr) {
        const environment_type now = environment_of_world(state);
        if (environment->seasons != now.seasons || environment->food_map.weights != now.food_map.weights ||
            environment->food_map.width != now.food_map.width)
            return "Seasons and the food map begin a run: they need Reset With These";
        // Changes before now cannot be made; those the table still shows from the past are kept as made.
        std::vector<run_event_type> changes;
        for (run_event_type change : environment->schedule) {
            if (change.generation == world.generation && world.update_count > 0) change.update = world.update_count;
            changes.push_back(change);
        }
        if (std::string problem = world_schedule(world, changes); !problem.empty()) return problem;
    }
    if (const setting_row_type* fixed = world_change_settings(world, settings); fixed != nullptr)
        return std::string(fixed->label) + " cannot change during a run: it needs Reset With These";
    return {};
}

void settings_dialog::done(int result)
{
    if (result != QDialog::Rejected && check && !check(result)) return;
    QDialog::done(result);
}

void settings_edit(window_state_type& state)
{
    settings_dialog dialog(settings_of_world(state.world), state.autosave_enabled ? state.autosave_minutes : 0, state.dialog_parent,
                           environment_of_world(state));
    if (!state.autosave_enabled) {
        dialog.autosave->setEnabled(false);
        dialog.autosave->setToolTip("Autosaving is off for this start (--no-autosave)");
    }
    // A refusal is told over the dialog, which stays as it was.
    dialog.check = [&state, &dialog](int result) {
        if (state.autosave_enabled) state.set_autosave(dialog.autosave->value());
        bool reset = false;
        environment_type environment;
        std::string problem = dialog.environment(environment);
        if (problem.empty())
            problem = result == settings_apply_now ? settings_change_now(state, dialog.settings(), &environment)
                                                   : settings_confirm(state, dialog.settings(), reset, environment);
        if (problem.empty()) return true;
        state.show_problem(problem);
        return false;
    };
    dialog.exec();
}
