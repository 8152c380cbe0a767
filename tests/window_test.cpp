// The window program under the offscreen platform: drawing, keys, menus,
// ticks, the Neuron window, the reset question and the file dialogs.
#include "animal/animal.h"
#include "app/autosave.h"
#include "app/chart_window.h"
#include "app/commands.h"
#include "app/inspector.h"
#include "app/settings_dialog.h"
#include "cli/options.h"
#include "app/frame_loop.h"
#include "app/main_window.h"
#include "app/recorder.h"
#include "app/runs.h"
#include "app/runs_window.h"
#include "app/world_dialogs.h"
#include "cli/run_file.h"
#include "world/edit.h"
#include "world/timeline.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "render/neuron_view.h"
#include "render/surface.h"
#include "render/world_view.h"
#include "test_support.h"
#include "world/world.h"
#include "world/world_file.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QSpinBox>
#include <QTableWidget>
#include <QPushButton>
#include <QMenuBar>
#include <QStatusBar>
#include <QPainter>
#include <QSettings>
#include <QTimer>
#include <QTreeWidgetItemIterator>
#include <QtTest>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <memory>

namespace {

constexpr double pi = 3.141592653589793;
constexpr QRgb white = 0xFFFFFF, green = 0x00FF00, red = 0xFF0000, blue = 0x0000FF, black = 0x000000;

// The world as the state's view shows it, at 640 x 480.
QImage draw_world(window_state_type& state)
{
    state.view.display_x = 640;
    state.view.display_y = 480;
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    surface_type surface = surface_open(painter);
    world_draw(surface, state.world, state.view);
    return image;
}

QRgb pixel_at(const window_state_type& state, const QImage& image, double x, double y)
{
    return image.pixel(get_screen_x(state.world, state.view, x), get_screen_y(state.world, state.view, y)) & 0xFFFFFF;
}

animal_type* place_animal(world_type& world, double x, double y, double heading)
{
    world_add_animal(world);
    animal_type* animal = world.animals;
    animal->x = x;
    animal->y = y;
    animal->heading = heading;
    for (sensor_type& s : animal->touch) s = sensor_type{-0.5, -0.5, -0.5};
    return animal;
}

std::vector<std::string> problems;  // what was shown in message boxes
int questions = 0;
bool answer = false;
bool count_question(const std::string&, const std::string&) { return ++questions, answer; }

std::string dialog_answer;
std::vector<file_kind_type> dialogs_shown;
std::string asked_to_continue;
bool continue_answer = false;

QAction* menu_action(QMainWindow& window, const QString& menu, const QString& item)
{
    for (QAction* top : window.menuBar()->actions())
        if (top->text() == menu)
            for (QAction* action : top->menu()->actions())
                if (action->text().section('\t', 0, 0) == item) return action;
    return nullptr;
}

}  // namespace

class window_test : public QObject {
    Q_OBJECT

    std::unique_ptr<main_window_widget> window;
    std::unique_ptr<scratch_folder> folder;
    std::unique_ptr<console_capture> console;

    window_state_type& state() { return window->state; }
    world_type& world() { return window->state.world; }
    view_type& view() { return window->state.view; }
    void press(unsigned key) { key_down(state(), key); }

    // A fresh window with the test's answers in its hooks, its world set up from seed.
    void open_window(std::uint32_t seed)
    {
        window = std::make_unique<main_window_widget>();
        window_state_type& s = state();
        s.ask_question = count_question;
        s.file_dialog = [](file_kind_type kind) { return dialogs_shown.push_back(kind), dialog_answer; };
        s.ask_to_continue = [](const std::string& text) { return asked_to_continue = text, continue_answer; };
        s.chart_file_dialog = [] { return std::string(); };
        s.show_problem = [](const std::string& text) { problems.push_back(text); };
        s.view.keep_proportions = false;   // the pixel tests read the stretched picture; one test keeps proportions
        system_startup(s, window->view()->width(), window->view()->height(), seed);
    }

private slots:
    void init()
    {
        folder = std::make_unique<scratch_folder>();
        console = std::make_unique<console_capture>();
        questions = 0;
        problems.clear();
        qputenv("XDG_STATE_HOME", QDir::currentPath().toUtf8());
        open_window(1);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
    }

    void cleanup()
    {
        window.reset();
        console.reset();
        folder.reset();
    }

    void the_world_view_draws_what_the_world_holds()
    {
        world_free_animals(world());
        world_free_plants(world());
        const QImage empty = draw_world(state());
        QImage all_white(empty.size(), empty.format());
        all_white.fill(Qt::white);
        QCOMPARE(empty, all_white);
        animal_type* other = place_animal(world(), 7, 5, 0);
        animal_type* head = place_animal(world(), 3, 5, 0);
        head->touch[1].plant = 0.5;
        head->touch[2] = sensor_type{0.5, 0.5, 0.5};  // a wall wins over everything
        head->touch[3].animal = 0.5;
        head->touch[4] = sensor_type{-0.5, 0.5, 0.5};  // a plant over an animal
        add_plant(world(), 5, 2, 0.5, 0.5);
        QImage image = draw_world(state());
        QCOMPARE(pixel_at(state(), image, head->x, head->y + 0.15), green);  // only the head is green
        QCOMPARE(pixel_at(state(), image, other->x, other->y + 0.15), white);
        QCOMPARE(pixel_at(state(), image, 5, 2), green);
        QCOMPARE(pixel_at(state(), image, head->x, head->y), black);  // the heading arrow
        // In a world so large that an animal is a speck, it still shows, as a dot.
        world().width = world().height = 500;
        QVERIFY(pixel_at(state(), draw_world(state()), other->x, other->y) != white);
        world().width = world().height = 10;
        const QRgb sensor_colours[6] = {white, green, red, blue, green, white};
        for (int k = 0; k < 6; ++k) {
            const double angle = head->heading - pi / 3 + k * pi / 3;
            QCOMPARE(pixel_at(state(), image, head->x + 0.25 * std::cos(angle), head->y + 0.25 * std::sin(angle)), sensor_colours[k]);
        }
        // Rays only for the sectors that see a plant, and only while shown.
        world_free_plants(world());
        add_plant(world(), 3 + 3 * std::cos(0.31), 5 + 3 * std::sin(0.31), 0.25, 0.25);
        check_vision(world(), head->x, head->y, head->heading = 0.3, 5, head->vision, head->ray_x, head->ray_y);
        const auto sees = [&](int j) { return j >= 0 && j < 5 && head->vision[j].plant > 0; };
        QVERIFY(sees(2) && !sees(0) && !sees(1) && !sees(3) && !sees(4));
        const auto ray_drawn = [&](const QImage& picture, int i) {
            const int x = get_screen_x(world(), view(), head->x + 0.9 * head->ray_x[i]), y = get_screen_y(world(), view(), head->y + 0.9 * head->ray_y[i]);
            int dark = 0;
            for (int d = 0; d < 9; ++d) dark += (picture.pixel(x + d % 3 - 1, y + d / 3 - 1) & 0xFFFFFF) == black;
            return dark > 0;
        };
        image = draw_world(state());
        state().view.show_vision = true;
        const QImage shown = draw_world(state());
        for (int i = 0; i < 10; ++i) {
            QVERIFY(!ray_drawn(image, i));
            // The end ray of one sector is the start ray of the next.
            QCOMPARE(ray_drawn(shown, i), sees(i / 2) || (i % 2 == 1 ? sees(i / 2 + 1) : sees(i / 2 - 1)));
        }
        // While drawing is off the surface keeps its picture.
        world().draw_enabled = false;
        QCOMPARE(draw_world(state()).pixel(0, 0) & 0xFFFFFF, 0xFF00FFu);
        QCOMPARE(get_screen_x(world(), view(), world().width), 640);
        QCOMPARE(get_screen_x(world(), view(), 0.999 * world().width / 640), 0);
        QCOMPARE(get_screen_x(world(), view(), -1.5 * world().width / 640), -1);
    }

    // Ellipses set directly into an image look like the painter's: the same
    // box, outline and fill, clipped at the image's edges; a painter with a
    // clip, or a box too small, takes the painter itself.
    void ellipses_set_directly_match_the_painters()
    {
        const struct { int left, top, right, bottom, pen; } boxes[] = {
            {10, 10, 42, 42, 1}, {50, 12, 66, 20, 2}, {-9, -7, 9, 11, 1}, {90, 50, 110, 70, 2}, {70, 5, 71, 6, 1},
        };
        for (const auto& box : boxes) {
            QImage direct(100, 60, QImage::Format_RGB32), painted(100, 60, QImage::Format_RGB32);
            for (QImage* image : {&direct, &painted}) {
                image->fill(Qt::white);
                QPainter painter(image);
                if (image == &painted) painter.setClipRect(0, 0, 100, 60);
                surface_type surface = surface_open(painter);
                QCOMPARE(surface.pixels != nullptr, image == &direct);
                surface_select_pen(surface, pen_type{colour_blue, box.pen});
                surface_select_brush(surface, brush_type{colour_red});
                surface_ellipse(surface, box.left, box.top, box.right, box.bottom);
            }
            int differ = 0, drawn = 0;
            for (int y = 0; y < 60; ++y) {
                for (int x = 0; x < 100; ++x) {
                    drawn += (painted.pixel(x, y) & 0xFFFFFF) != white;
                    differ += direct.pixel(x, y) != painted.pixel(x, y);
                }
            }
            QVERIFY(drawn > 0 || box.right - box.left < 2);  // an empty box draws nothing either way
            QVERIFY2(differ * 8 <= drawn, qPrintable(QString("%1 of %2 pixels differ").arg(differ).arg(drawn)));
            const int cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
            if (box.right - box.left > 8 && cx >= 0 && cy >= 0 && cx < 100 && cy < 60) {
                QCOMPARE(direct.pixel(cx, cy) & 0xFFFFFF, red);
                QCOMPARE(direct.pixel(std::max(box.left, 0), cy) & 0xFFFFFF, box.left >= 0 ? blue : red);
                if (box.right <= 100) QCOMPARE(direct.pixel(box.right, cy) & 0xFFFFFF, white);
            }
        }
    }

    void held_keys_act_in_their_order()
    {
        // Each row: the keys pressed in turn from a clear table, and what then holds.
        struct before_type { int plants; unsigned animals, generation, questions; int update_count; };
        const struct { std::vector<unsigned> keys; std::function<bool(const before_type&)> holds; } rows[] = {
            {{'1', '2'}, [&](auto&) { return world().updates_per_tick == 200; }},
            {{'2', '1'}, [&](auto&) { return world().updates_per_tick == 200; }},
            {{0x27, '1'}, [&](auto&) { return world().updates_per_tick == 1; }},
            {{0x27, 0x25}, [&](auto&) { return world().updates_per_tick == 2; }},
            {{0x25, 0x25}, [&](auto&) { return world().updates_per_tick == 1; }},
            {{0x27, 0x27}, [&](auto&) { return world().updates_per_tick == 3; }},
            {{'R', 'P'}, [&](auto& b) { return questions == int(b.questions) + 1; }},  // R asks only on its own key-down
            {{'P', 'X'}, [&](auto& b) { return world().num_plants == b.plants + 2 && !world().draw_enabled; }},
            {{0x26, 'Z', 'Z'}, [this](auto&) { return state().timer_val == 1 && window->timer_period(update_timer_id) == 1; }},
            {{'G'}, [&](auto& b) { return world().generation == b.generation + 1 && world().update_count == b.update_count; }},
            {{'F', 'T'}, [&](auto&) { return world().wrap_edges && world().num_plants == 0; }},
            {{' ', ' '}, [&](auto& b) { return world().num_animals == b.animals + 2; }},
            {{'M'}, [&](auto&) { return world().mode_manual; }},
        };
        state().timer_val = 2;  // never below 1 ms, so that Down acts at once
        for (std::size_t i = 0; i < std::size(rows); ++i) {
            keys_clear(state());
            world().updates_per_tick = 1;
            const before_type before{world().num_plants, world().num_animals, world().generation, unsigned(questions), world().update_count};
            for (unsigned key : rows[i].keys) press(key);
            QVERIFY2(rows[i].holds(before), qPrintable(QString("row %1").arg(i)));
        }
        keys_clear(state());
        state().timer_val = 40;
        QTest::keyClick(window.get(), Qt::Key_Down);
        QCOMPARE(window->timer_period(update_timer_id), 41);
        keys_clear(state());
        const std::size_t said = console->text().size();
        press('Q');
        const std::string report = console->text().substr(said);
        QCOMPARE(report.rfind(" Neuron ID: 17\n", 0), std::size_t{0});
        QCOMPARE(std::count(report.begin(), report.end(), 'N'), std::ptrdiff_t{18});
    }

    void releases_auto_repeat_and_focus()
    {
        // Keys typed quickly act once: a release counts at once, an auto-repeated one not at all.
        const int plants = world().num_plants;
        QTest::keyClick(window.get(), Qt::Key_P);
        QTest::keyClick(window.get(), Qt::Key_X);
        QCOMPARE(world().num_plants, plants + 1);
        QTest::keyClick(window.get(), Qt::Key_T);
        QTest::keyClick(window.get(), Qt::Key_X);
        QVERIFY(world().wrap_edges && world().draw_enabled);
        QTest::keyPress(window.get(), Qt::Key_W);
        QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_W, Qt::NoModifier, QString("w"), true);
        QApplication::sendEvent(window.get(), &repeat);
        QCOMPARE(int(state().keys['W']), 1);
        QTest::keyRelease(window.get(), Qt::Key_W);
        QCOMPARE(int(state().keys['W']), 0);
        // Shift pressed meanwhile: "1" comes back as "!", and still clears "1";
        // on other layouts only the key's scan code tells ("2" and a German '"').
        QTest::keyPress(window.get(), Qt::Key_1);
        QTest::keyRelease(window.get(), Qt::Key_Exclam, Qt::ShiftModifier);
        QCOMPARE(int(state().keys['1']), 0);
        QKeyEvent two(QEvent::KeyPress, Qt::Key_2, Qt::NoModifier, 11, 0, 0, "2");
        QKeyEvent quote(QEvent::KeyRelease, Qt::Key_QuoteDbl, Qt::ShiftModifier, 11, 0, 0, "\"");
        QApplication::sendEvent(window.get(), &two);
        QCOMPARE(int(state().keys['2']), 1);
        QApplication::sendEvent(window.get(), &quote);
        QCOMPARE(int(state().keys['2']), 0);
        // Losing the keyboard clears every held key.
        QTest::keyPress(window.get(), Qt::Key_D);
        QFocusEvent focus_out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(window.get(), &focus_out);
        QCOMPARE(int(state().keys['D']), 0);
        const struct { int qt; unsigned code; } codes[] = {{Qt::Key_A, 'A'}, {Qt::Key_Z, 'Z'}, {Qt::Key_0, '0'}, {Qt::Key_9, '9'}, {Qt::Key_CapsLock, 0}, {Qt::Key_F1, 0x70}, {Qt::Key_F12, 0x7B}, {Qt::Key_Shift, 0x10},
                                                            {Qt::Key_Escape, 0x1B}, {Qt::Key_Space, 0x20}, {Qt::Key_Home, 0x24}};
        for (const auto& row : codes) QCOMPARE(key_code_from_qt(row.qt), row.code);
    }

    void steering_keys_give_the_motor_table()
    {
        const struct { const char* held; double left, right; } rows[] = {
            {"WA", 0.015, 0.03}, {"WD", 0.03, 0.015}, {"W", 0.03, 0.03}, {"WS", 0.03, 0.03}, {"SA", -0.015, -0.03},
            {"SD", -0.03, -0.015}, {"S", -0.03, -0.03}, {"A", -0.03, 0.03}, {"D", 0.03, -0.03}, {"AD", -0.03, 0.03},
            {"", 0.0, 0.0}, {"WAD", 0.015, 0.03}};
        world().mode_manual = true;
        for (const auto& row : rows) {
            keys_clear(state());
            for (const char* c = row.held; *c; ++c) state().keys[static_cast<unsigned char>(*c)] = 1;
            world().animals->x = world().animals->y = 5;
            world().animals->heading = 0;
            timer_message(state(), update_timer_id);
            QCOMPARE(world().animals->left_motor, row.left);
            QCOMPARE(world().animals->right_motor, row.right);
            QVERIFY(std::fabs(world().animals->speed - (row.left + row.right) / 2) < 1e-15);
        }
    }

    // The toolbar's pause stops the generation's updates and starts them
    // again, the Pause item's check mark following; Ctrl+Space pauses too,
    // and Space still adds an animal. The speed slider sets the timer, then
    // the updates per tick, and reads them back.
    void the_toolbar_pauses_and_sets_the_speed()
    {
        QAction* pause = window->action(menu_pause);
        QAction* button = nullptr;
        for (QAction* tool : window->toolbar()->actions())
            if (tool->data().toInt() == menu_pause) button = tool;
        QVERIFY(pause != nullptr && button != nullptr && pause->isCheckable() && !pause->isChecked());
        button->trigger();
        QVERIFY(!world().running && pause->isChecked() && button->isChecked());
        const int count = world().update_count;
        timer_message(state(), update_timer_id);
        QCOMPARE(world().update_count, count);
        button->trigger();
        QVERIFY(world().running && !pause->isChecked());
        timer_message(state(), update_timer_id);
        QCOMPARE(world().update_count, count + 1);
        QTest::keyClick(window.get(), Qt::Key_Space, Qt::ControlModifier);
        QVERIFY(!world().running && pause->isChecked());
        QCOMPARE(world().num_animals, 20u);
        keys_clear(state());
        QTest::keyClick(window.get(), Qt::Key_Space);
        QCOMPARE(world().num_animals, 21u);
        QVERIFY(!world().running);
        // G runs a whole generation while paused, and leaves the world paused.
        const std::uint32_t generation = world().generation;
        const int updates = world().update_count;
        keys_clear(state());
        press('G');
        QCOMPARE(world().generation * world().generation_length + world().update_count,
                 generation * world().generation_length + updates + world().generation_length);
        QVERIFY(!world().running);
        const struct { int position, timer, updates; } speeds[] = {{0, 40, 1}, {30, 10, 1}, {39, 1, 1}, {70, 1, 14}, {100, 1, 200}};
        for (const auto& speed : speeds) {
            window->speed_slider()->setValue(speed.position);
            QCOMPARE(state().timer_val, speed.timer);
            QCOMPARE(world().updates_per_tick, speed.updates);
            QCOMPARE(window->timer_period(update_timer_id), speed.timer);
            QCOMPARE(speed_position(state()), speed.position);
        }
        keys_clear(state());
        QTest::keyClick(window.get(), Qt::Key_1);   // a key moves the slider too
        QCOMPARE(window->speed_slider()->value(), speed_position(state()));
    }

    // The panels are docks: shown and hidden by their keys, kept between
    // starts with the window's size, and put back by Reset Layout.
    void the_docks_are_kept_between_starts()
    {
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QDir::currentPath());
        QCoreApplication::setOrganizationName("velmora-test");
        QCoreApplication::setApplicationName("layout");
        window->restore_layout();   // nothing kept yet: the docks as built, all closed
        for (const char* name : {"Animal", "Neuron", "Chart", "Runs"}) QVERIFY2(window->dock(name)->isHidden(), name);
        QVERIFY(window->dock("Neuron")->isFloating());
        // A docked panel takes room beside the view, not out of it, as far as the screen allows.
        window->resize(400, 400);
        const int view_width = window->centralWidget()->width();
        press('C');
        QVERIFY2(window->width() > 400 && window->centralWidget()->width() >= view_width - 40,
                 qPrintable(QString("window %1, view %2 of %3").arg(window->width()).arg(window->centralWidget()->width()).arg(view_width)));
        // The floating Neuron panel then stands beside the widened window, not on it.
        window->dock("Chart")->hide();
        window->move(0, 0);
        window->resize(150, 400);
        window->dock("Neuron")->move(300, 120);   // beside the narrow window, on the wide one
        keys_clear(state());
        press('C');
        keys_clear(state());
        press('N');
        QVERIFY2(!window->dock("Neuron")->frameGeometry().intersects(window->frameGeometry()),
                 qPrintable(QString("neuron at %1, window to %2").arg(window->dock("Neuron")->x()).arg(window->frameGeometry().right())));
        window->dock("Neuron")->hide();
        keys_clear(state());
        press('I');
        QVERIFY(!window->dock("Chart")->isHidden() && !window->dock("Animal")->isHidden());
        QVERIFY(state().chart_window->isVisible() && window->action(menu_chart)->isChecked());
        keys_clear(state());
        press('C');
        QVERIFY(window->dock("Chart")->isHidden() && !window->action(menu_chart)->isChecked());
        window->dock("Runs")->show();
        window->resize(900, 700);
        window->save_layout();
        open_window(1);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(window->dock("Runs")->isHidden());   // a window whose layout is not restored starts as built
        window->restore_layout();
        QVERIFY(!window->dock("Runs")->isHidden() && !window->dock("Animal")->isHidden() && window->dock("Chart")->isHidden());
        QCOMPARE(window->size(), QSize(900, 700));
        menu_action(*window, "&View", "Reset &Layout")->trigger();
        for (const char* name : {"Animal", "Neuron", "Chart", "Runs"}) QVERIFY2(window->dock(name)->isHidden(), name);
        QCOMPARE(window->size(), QSize(640, 480));
        QCoreApplication::setOrganizationName(QString());
    }

    // Kept proportions draw a world unit as long across as up, at every zoom,
    // the world centred on a grey margin; turned off, today's stretched picture.
    void the_view_keeps_proportions()
    {
        QVERIFY(window_state_type().view.keep_proportions);   // on for a new window
        world_free_animals(world());
        world_free_plants(world());
        add_plant(world(), 5, 5, 1, 1);
        const auto extent = [&](const QImage& image, bool across) {
            const int centre_x = get_screen_x(world(), view(), 5), centre_y = get_screen_y(world(), view(), 5);
            int count = 0;
            for (int k = 0; k < (across ? image.width() : image.height()); ++k)
                count += (image.pixel(across ? k : centre_x, across ? centre_y : k) & 0xFFFFFF) == green;
            return count;
        };
        const struct { bool keep; double zoom; double ratio; } cases[] = {{true, 1, 1.0}, {true, 4, 1.0}, {false, 1, 640.0 / 480.0}, {false, 4, 640.0 / 480.0}};
        for (const auto& c : cases) {
            view().keep_proportions = c.keep;
            view().display_x = 640;
            view().display_y = 480;
            view_whole_world(world(), view());
            view_zoom_at(world(), view(), c.zoom, 320, 240);
            const QImage image = draw_world(state());
            const double across = extent(image, true), up = extent(image, false);
            QVERIFY2(std::fabs(across / up - c.ratio) < 0.08, qPrintable(QString("%1 x %2").arg(across).arg(up)));
            if (c.keep && c.zoom == 1) {
                QCOMPARE(image.pixel(40, 240) & 0xFFFFFF, 0xD2D2D2u);   // the margin
                QCOMPARE(image.pixel(320, 1) & 0xFFFFFF, 0xD2D2D2u);    // above the world too: edge bodies show whole
                QCOMPARE(pixel_at(state(), image, 0.2, 0.2), white);     // the world
                QCOMPARE(get_screen_x(world(), view(), 5.0), 320);        // centred
            }
        }
        // Turned on and off from the View menu, which then shows the whole world.
        view().keep_proportions = false;
        menu_action(*window, "&View", "&Keep Proportions")->trigger();
        QVERIFY(view().keep_proportions && window->action(menu_keep_proportions)->isChecked() && view().zoom == 1.0);
    }

    // The status bar's fixed sections keep their whole text; the selection's
    // shortens, and its tooltip holds all of it.
    void the_status_bar_keeps_its_words()
    {
        window->resize(420, 480);
        view_select(world(), view(), world().animals);
        window->refresh_status();
        QCoreApplication::processEvents();
        const QString selection = QString("Animal %1: food 0, born 0").arg(world().animals->id);
        QCOMPARE(window->selection_section()->toolTip(), selection);
        for (const QLabel* section : window->statusBar()->findChildren<QLabel*>())
            if (section != window->selection_section() && section->isVisible())
                QVERIFY2(section->width() >= section->sizeHint().width(), qPrintable(section->text()));
    }

    // Undo is off with nothing to undo and names its step; a drag is one
    // change, at the drop; redo goes back to the branch undo left, making
    // none; a branch is deleted only after a question.
    void undo_names_its_step_and_redo_makes_no_branch()
    {
        world().running = false;
        QAction* undo = window->action(menu_undo);
        QAction* redo = window->action(menu_redo);
        QVERIFY(!undo->isEnabled() && !redo->isEnabled() && undo->text() == "&Undo");
        animal_type* animal = world().animals->next;
        const std::uint64_t id = animal->id;
        view_select(world(), view(), animal);
        const auto mouse = [&](QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
            QMouseEvent event(type, at, window->view()->mapToGlobal(at), button, held, {});
            QCoreApplication::sendEvent(window->view(), &event);
        };
        const QPointF from(get_screen_x(world(), view(), animal->x), get_screen_y(world(), view(), animal->y));
        const QPointF to(get_screen_x(world(), view(), 2.0), get_screen_y(world(), view(), 3.0));
        const std::size_t events = world().run.events.size();
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        for (int step = 1; step <= 10; ++step) mouse(QEvent::MouseMove, from + (to - from) * step / 10.0, Qt::NoButton, Qt::LeftButton);
        QVERIFY(state().drag_shown);
        QCOMPARE(world().run.events.size(), events);   // nothing changes while dragging
        mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(world().run.events.size(), events + 1);
        QCOMPARE(world().run.events.back().kind, event_move);
        QVERIFY(std::fabs(world_find_animal(world(), id)->x - 2.0) < 0.05);
        QVERIFY(undo->isEnabled() && undo->text() == "&Undo Drag");
        QTest::keyClick(window.get(), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(undo->text(), QString("&Undo Clone"));
        const std::string edited = world_state(world());
        undo->trigger();
        QCOMPARE(undo->text(), QString("&Undo Drag"));
        QCOMPARE(redo->text(), QString("&Redo Clone"));
        undo->trigger();
        QVERIFY(!undo->isEnabled());
        const std::size_t branches = state().session.timeline.branches.size();
        redo->trigger();
        redo->trigger();
        QCOMPARE(state().session.timeline.branches.size(), branches);
        QVERIFY(world_state(world()) == edited);
        QVERIFY(!redo->isEnabled());
        // Deleting a branch asks; No keeps it.
        runs_window_show(state());
        QTreeWidget* tree = state().runs_window->tree();
        QTreeWidgetItem* other = nullptr;
        for (QTreeWidgetItemIterator it(tree); *it != nullptr; ++it)
            if ((*it)->data(0, Qt::UserRole).toULongLong() != state().session.timeline.current) other = *it;
        QVERIFY(other != nullptr);
        tree->setCurrentItem(other);
        questions = 0;
        answer = false;
        state().runs_window->delete_chosen();
        QCOMPARE(questions, 1);
        QCOMPARE(state().session.timeline.branches.size(), branches);
        answer = true;
        state().runs_window->delete_chosen();
        QCOMPARE(state().session.timeline.branches.size(), branches - 1);
        // A reset begins a new run: what could be redone in the old one no longer can.
        keys_clear(state());
        QTest::keyClick(window.get(), Qt::Key_D, Qt::ControlModifier);
        undo->trigger();
        QVERIFY(redo->isEnabled());
        reset_check(state());
        window->refresh_status();   // as the next frame does
        QVERIFY(!redo->isEnabled() && !undo->isEnabled());
        QVERIFY(problems.empty());
    }

    // One list of keys fills Help, the menus' shortcut texts and the README's table.
    void the_keys_list_is_the_menus_and_the_readme()
    {
        for (const key_row_type& row : key_rows) {
            const QString help = QString::fromStdString(keys_help_text());
            QVERIFY2(help.contains(QString("<b>%1</b>").arg(row.keys)), row.keys);
            if (row.menu == 0) continue;
            QAction* item = window->action(row.menu);
            QVERIFY2(item != nullptr, row.keys);
            if (row.chord == 0) {
                QVERIFY2(item->text().endsWith(QString("\t") + row.keys), qPrintable(item->text()));
            } else {
                QVERIFY2(item->shortcuts().contains(QKeySequence(row.chord)), row.keys);
                if (row.other_chord != 0) QVERIFY2(item->shortcuts().contains(QKeySequence(row.other_chord)), row.keys);
            }
        }
        std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/README.md");
        std::vector<std::pair<std::string, std::string>> readme;
        bool inside = false;
        for (std::string line; std::getline(in, line);) {
            if (line == "### Keys") inside = true;
            if (!inside || line.rfind("| ", 0) != 0 || line.rfind("| Key |", 0) == 0) {
                if (inside && !readme.empty() && line.empty()) break;
                continue;
            }
            const std::size_t middle = line.find(" | ");
            readme.emplace_back(line.substr(2, middle - 2), line.substr(middle + 3, line.size() - middle - 5));
        }
        QCOMPARE(readme.size(), key_rows.size());
        for (std::size_t k = 0; k < readme.size(); ++k) {
            QCOMPARE(readme[k].first, std::string(key_rows[k].keys));
            QCOMPARE(readme[k].second, std::string(key_rows[k].what));
        }
    }

    // The title names the file the run was saved to, marked once the run
    // changes again; the status bar says what was written where, and the
    // pasted text that is no genes is called so.
    void the_title_names_the_file_and_saves_are_told()
    {
        std::vector<std::string> told;
        state().tell = [&told](const std::string& text) { told.push_back(text); };
        QCOMPARE(window->windowTitle(), QString("Velmora"));
        dialog_answer = "kept.toml";
        menu_action(*window, "&File", "Save R&un As...")->trigger();
        QVERIFY(problems.empty());
        QCOMPARE(window->windowTitle(), QString("kept.toml[*] - Velmora"));
        QVERIFY(!window->isWindowModified());
        QCOMPARE(told, std::vector<std::string>{"Saved the run to kept.toml"});
        keys_clear(state());
        QTest::keyClick(window.get(), Qt::Key_P);   // a plant: a change of the run
        QVERIFY(window->isWindowModified());
        dialog_answer = "kept.dat";
        menu_action(*window, "&File", "&Save As...")->trigger();
        QCOMPARE(told.back(), std::string("Saved the world to kept.dat"));
        view_select(world(), view(), world().animals);
        QGuiApplication::clipboard()->setText("hello genes");
        menu_action(*window, "&Animals", "&Paste Genes")->trigger();
        QCOMPARE(problems, std::vector<std::string>{"The clipboard holds no genes: copy them with the Animal panel's Copy Genes"});
    }

    void menus_reach_their_actions()
    {
        QStringList menus;
        for (QAction* top : window->menuBar()->actions()) menus << top->text();
        QCOMPARE(menus, QStringList({"&File", "&Edit", "&Animals", "&World", "&Simulation", "&View", "&Help"}));
        for (QAction* top : window->menuBar()->actions())
            for (QAction* item : top->menu()->actions())
                QVERIFY2(item->isSeparator() || item->text().contains('&') || item->text().startsWith("Remove"), qPrintable(item->text()));
        const std::string before = world_state(world());
        main_menu(state(), 999);  // unknown: nothing
        QVERIFY(world_state(world()) == before);
        const struct { const char* menu; const char* item; std::function<bool()> done; } items[] = {
            {"&Animals", "Show &Vision", [&] { return state().view.show_vision; }},
            {"&Animals", "Show &Vision", [&] { return !state().view.show_vision; }},
            {"&World", "Add &Animal", [&] { return world().num_animals == 21; }},
            {"&World", "Add &Plant", [&] { return world().num_plants == 11; }},
            {"&World", "Remove Plants", [&] { return world().num_plants == 0; }},
            {"&World", "Remove Animals", [&] { return world().num_animals == 0 && neuron_view_animal(*state().neuron_window) == nullptr; }},
            {"&Simulation", "&Max Speed", [&] { return world().updates_per_tick == 100; }},
            {"&Simulation", "&Normal Speed", [&] { return world().updates_per_tick == 1; }},
            {"&Simulation", "&Pause", [&] { return !world().running; }},
            {"&Animals", "Show &Chart", [&] { return state().chart_window->isVisible(); }},
            {"&Animals", "Show &Chart", [&] { return !state().chart_window->isVisible(); }},
            {"&File", "Save &Chart As...", [&] { return QImage("chart.png").size() == QSize(960, 600); }},
            {"&World", "&Reset...", [&] { return questions == 1 && world().num_animals == 20 && world().running; }},
            {"&File", "E&xit", [&] { return world().animals == nullptr && state().memdc.isNull(); }},
        };
        answer = true;
        neuron_view_show(*state().neuron_window, world().animals);
        state().chart_file_dialog = [&] { return std::string("chart.png"); };
        for (const auto& item : items) {
            QAction* action = menu_action(*window, item.menu, item.item);
            QVERIFY2(action != nullptr, item.item);
            action->trigger();
            QVERIFY2(item.done(), item.item);
        }
    }

    void ticks_run_their_updates_and_the_paint_shows_the_rates()
    {
        world().updates_per_tick = 7;
        state().updates = state().frames = 0;
        const int count = world().update_count;
        state().memdc.fill(Qt::black);
        timer_message(state(), update_timer_id);
        QCOMPARE(world().update_count - count + 10 * state().updates + 100 * state().frames, 7 + 70 + 100);
        QCOMPARE(state().memdc.pixel(state().view.display_x - 1, state().view.display_y - 1) & 0xFFFFFF, white);
        world().running = false;  // paused: ticks draw and count frames, but no updates
        timer_message(state(), update_timer_id);
        QCOMPARE(state().updates * 10 + state().frames, 72);
        QCOMPARE(rate_line(state()), std::string("Frame rate:   0 Update Rate  0 "));
        timer_message(state(), stats_timer_id);
        QCOMPARE(state().updates + state().frames, 0);
        QCOMPARE(rate_line(state()), std::string("Frame rate:   2 Update Rate  7 "));
        // The paint shows the surface in the window.
        state().memdc.fill(Qt::white);
        state().memdc.setPixel(100, 200, 0xFF0000FF);
        const QImage shown = window->view()->grab().toImage();
        QCOMPARE(shown.pixel(100, 200) & 0xFFFFFF, 0x0000FFu);
        QCOMPARE(shown.pixel(101, 200) & 0xFFFFFF, white);
        int dark = 0;
        for (int y = 1; y < 16; ++y)
            for (int x = 1; x < 120; ++x) dark += qGray(state().memdc.pixel(x, y)) < 128;
        QVERIFY(dark > 20);
        QCOMPARE(window->timer_period(stats_timer_id), 1000);
        // A tick stops its updates after a while; the rest carry over to the next ticks.
        world().running = true;
        world().updates_per_tick = 1 << 30;
        timer_message(state(), update_timer_id);
        QVERIFY(state().tick_updates_done > 0 && state().tick_updates_done < world().updates_per_tick);
        const int carried = state().tick_updates_done;
        world().updates_per_tick = carried + 3;  // read again before each update
        timer_message(state(), update_timer_id);
        QCOMPARE(state().tick_updates_done, 0);
        QCOMPARE(state().updates, carried + 3);
    }

    void the_neuron_window_shows_the_head_network()
    {
        press('N');
        QVERIFY(state().neuron_window->isVisible());
        QVERIFY(neuron_view_animal(*state().neuron_window) == world().animals);
        state().neuron_window->resize(200, 120);
        for (neuron_type* n = world().animals->neurons; n; n = n->next) n->out = n->id % 3 == 0 ? 0.0 : n->id % 3 == 1 ? 0.5 : -0.5;
        QImage grid = state().neuron_window->grab().toImage();
        const int cell_w = grid.width() / 8, cell_h = grid.height() / 3;
        for (std::uint32_t id = 0; id < 24; ++id) {
            const QRgb expected = id >= 18 ? white : id % 3 == 0 ? white : id % 3 == 1 ? blue : red;
            QCOMPARE(grid.pixel(int(id % 8) * cell_w + cell_w / 2, int(id / 8) * cell_h + cell_h / 2) & 0xFFFFFF, expected);
        }
        QTest::keyClick(state().neuron_window, 'N', Qt::ShiftModifier);
        QVERIFY(state().neuron_window->isVisible());
        QTest::keyClick(state().neuron_window, 'n');
        QVERIFY(!state().neuron_window->isVisible());
        // With the animals gone the window draws nothing, and reads nothing freed.
        world_free_animals(world());
        QVERIFY(neuron_view_animal(*state().neuron_window) == nullptr);
        grid.fill(Qt::magenta);
        QPainter painter(&grid);
        state().neuron_window->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);  // no background
        QCOMPARE(grid.pixel(cell_w / 2, cell_h / 2) & 0xFFFFFF, 0xFF00FFu);
    }

    void the_status_bar_and_the_rate_line_show_the_state()
    {
        const struct { unsigned key; const char* shows; } changes[] = {
            {'M', "Manual steering"}, {'T', "Edges wrap"}, {'X', "Drawing off"}, {'2', "200 updates per tick"},
            {0x28, "Timer 41 ms"}};
        QVERIFY(window->status_text().startsWith("Running   Edges block   Timer 40 ms   1 update per tick   Generation 0"));
        QStringList sections;
        for (const QLabel* section : window->statusBar()->findChildren<QLabel*>())
            if (!section->text().isEmpty()) sections << section->text();
        QCOMPARE(sections.join("   "), window->status_text());
        for (const auto& change : changes) {
            keys_clear(state());
            QKeyEvent press(QEvent::KeyPress, change.key == 0x28 ? Qt::Key_Down : Qt::Key(change.key), Qt::NoModifier);
            QApplication::sendEvent(window.get(), &press);
            QVERIFY2(window->status_text().contains(change.shows), change.shows);
        }
        menu_action(*window, "&Simulation", "&Pause")->trigger();  // a menu command shows at once
        QVERIFY(window->status_text().startsWith("Paused"));
        // Even with drawing off, a menu command draws the world at once.
        state().memdc.fill(Qt::black);
        menu_action(*window, "&View", "&Whole World")->trigger();
        int white = 0;
        for (int y = 0; y < state().memdc.height(); y += 4)
            for (int x = 0; x < state().memdc.width(); x += 4) white += (state().memdc.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF;
        QVERIFY(white > state().memdc.width() * state().memdc.height() / 32);
        // A shorter rate line leaves nothing of a longer one.
        state().updates_per_second = 123456789;
        const QFontMetrics metrics{QPainter(&state().memdc).font()};
        const int long_width = metrics.horizontalAdvance(QString::fromStdString(rate_line(state())));
        window->view()->repaint();
        state().updates_per_second = 0;
        const int short_width = metrics.horizontalAdvance(QString::fromStdString(rate_line(state())));
        state().memdc.fill(Qt::black);
        window->view()->repaint();
        int left_over = 0;
        for (int y = 2; y < metrics.height(); ++y)
            for (int x = short_width + 3; x < long_width - 2; ++x) left_over += (state().memdc.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
        QVERIFY(long_width > short_width + 20);
        QCOMPARE(left_over, 0);
        // Resized while drawing is off, the world is drawn once at the new size.
        window->resize(500, 400);
        QTRY_VERIFY(state().view.display_x < 640);
        int green_pixels = 0;
        for (int y = 0; y < state().memdc.height(); ++y)
            for (int x = 0; x < state().memdc.width(); ++x) green_pixels += (state().memdc.pixel(x, y) & 0xFFFFFF) == green;
        QVERIFY(green_pixels > 20);
    }

    void the_windows_sit_side_by_side_and_the_neuron_window_follows()
    {
        QCOMPARE(window->windowTitle() + state().neuron_window->windowTitle(), QString("VelmoraNeuron"));
        const QRect frames[] = {window->frameGeometry(), QRect(state().neuron_window->pos(), state().neuron_window->size() + QSize(10, 40)),
                                QRect(state().chart_window->pos(), state().chart_window->size() + QSize(10, 40))};
        for (int i = 0; i < 3; ++i) {
            QVERIFY(QRect(0, 0, 1280, 800).contains(frames[i]));
            for (int j = i + 1; j < 3; ++j) QVERIFY(!frames[i].intersects(frames[j]));
        }
        press('N');
        answer = true;
        reset_check(state());
        QVERIFY(neuron_view_animal(*state().neuron_window) == nullptr);
        window->view()->repaint();
        QVERIFY(neuron_view_animal(*state().neuron_window) == world().animals && neuron_view_animal(*state().neuron_window) != nullptr);
        state().neuron_window->close();
        QVERIFY(!state().neuron_window->isVisible());
    }

    void the_chart_follows_the_generations_only_while_shown()
    {
        world().generation_length = 5;
        const qint64 hidden = state().chart_window->picture().cacheKey();
        for (int i = 0; i < 20; ++i) world_update(world());
        state().chart_window->follow_world();
        QCOMPARE(state().chart_window->picture().cacheKey(), hidden);  // hidden: nothing drawn
        press('C');
        QVERIFY(state().chart_window->isVisible());
        const QImage four = state().chart_window->picture();
        QVERIFY(!four.isNull());
        timer_message(state(), update_timer_id);
        QCOMPARE(state().chart_window->picture(), four);  // no generation ended: the same picture
        for (int i = 0; i < 5; ++i) world_update(world());
        state().chart_window->follow_world();
        QVERIFY(state().chart_window->picture() != four);
        const chart_type chart = world_chart(world(), state().chart_buckets);
        QCOMPARE(chart.series.size(), std::size_t{3});
        QCOMPARE(chart.series[2].values.size(), std::size_t{5});
        QCOMPARE(chart.series[1].values.back(), world().ave_food);
        // The Lineages page: the founder lines' shares, largest first, never more than all.
        state().chart_window->show_page(1);
        const QImage lineages = state().chart_window->picture();
        QVERIFY(lineages != four);
        // Each page shows its own picture: the Lineages page the founder lines, Evolution the chart.
        QCOMPARE(lineages, muller_image(world_muller(world()), lineages.width(), lineages.height()));
        const muller_type muller = world_muller(world());
        QVERIFY(!muller.lines.empty() && muller.lines.size() <= muller_colours);
        for (std::size_t g = 0; g < 5; ++g) {
            double sum = 0;
            for (const std::vector<double>& shares : muller.shares) sum += shares[g];
            QVERIFY(sum > 0 && sum <= 1.0 + 1e-12);
        }
        state().chart_window->show_page(0);
        const QImage evolution = state().chart_window->picture();
        QCOMPARE(evolution, chart_image(world_chart(world(), state().chart_buckets), evolution.width(), evolution.height()));
        keys_clear(state());
        press('C');
        QVERIFY(!state().chart_window->isVisible());
        // A long history is folded into the lowest and highest values of its buckets.
        for (std::uint32_t g = world().history.size(); g < 100000; ++g)
            world().history.push_back(generation_record_type{g, 0, 0, (g * 7919) % 1000 / 10.0, 1, 2.0, 20, 10, 0.0, 0, {}, {}});
        world().history[4321].food_per_animal = -3;
        const chart_type folded = world_chart(world(), state().chart_buckets);
        QCOMPARE(folded.generations, std::size_t{100000});
        QVERIFY(folded.series[0].values.size() <= 2048);
        // Each bucket, a power of two of generations, holds their lowest and highest value.
        const std::size_t buckets = folded.series[0].values.size() / 2;
        std::size_t size = 1;
        while ((folded.generations + size - 1) / size > buckets) size *= 2;
        QCOMPARE((folded.generations + size - 1) / size, buckets);
        for (std::size_t b = 0; b < buckets; ++b) {
            double low = 1e300, high = -1e300;
            for (std::size_t g = b * size; g < std::min((b + 1) * size, folded.generations); ++g) {
                low = std::min(low, world().history[g].food_per_animal);
                high = std::max(high, world().history[g].food_per_animal);
            }
            QCOMPARE(folded.series[0].values[2 * b], low);
            QCOMPARE(folded.series[0].values[2 * b + 1], high);
        }
        QCOMPARE(*std::min_element(folded.series[0].values.begin(), folded.series[0].values.end()), -3.0);
        QCOMPARE(*folded.series[0].latest, world().history.back().food_per_animal);
    }

    void charts_draw_lines_bands_ticks_and_legend()
    {
        const struct { double low, high; std::vector<double> ticks; } ranges[] = {
            {0, 10, {0, 2, 4, 6, 8, 10}}, {0, 0.9, {0, 0.2, 0.4, 0.6, 0.8}}, {3, 3, {3, 3.2, 3.4, 3.6, 3.8, 4}}};
        for (const auto& range : ranges) {
            const std::vector<double> ticks = chart_ticks(range.low, range.high, 5);
            QCOMPARE(ticks.size(), range.ticks.size());
            for (std::size_t i = 0; i < ticks.size(); ++i) QVERIFY(std::fabs(ticks[i] - range.ticks[i]) < 1e-9);
        }
        chart_type chart{"title", "generation", "food", {}, 0, {}};
        chart.series.push_back(chart_series_type{"up", 0xFF0000, {1, 2, 3, 4}, {0, 1, 2, 3}, {2, 3, 4, 5}, {}, {}});
        chart.series.push_back(chart_series_type{"flat", 0x0000FF, {2, 2, 2, 2}, {}, {}, 7.5, {}});
        const QImage image = chart_image(chart, 400, 300);
        QHash<QRgb, int> colours;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) ++colours[image.pixel(x, y) & 0xFFFFFF];
        // Each series' line crosses the plot, banded or not; the legend alone would be a few pixels.
        QVERIFY2(colours[0xFF0000] > 200 && colours[0x0000FF] > 200 && colours[0x000000] > 0,
                 qPrintable(QString("%1 red, %2 blue").arg(colours[0xFF0000]).arg(colours[0x0000FF])));
        // A line just under the axis' top runs unbroken across the plot: the legend lies outside it.
        chart.series = {chart_series_type{"a name as long as a legend entry gets", 0xFF0000, {4.9, 4.9, 4.9, 4.9}, {}, {}, {}, {}},
                        chart_series_type{"below", 0x0000FF, {0, 0, 0, 0}, {}, {}, {}, {}}};
        const QImage top = chart_image(chart, 400, 300);
        int longest = 0;
        for (int y = 0; y < top.height(); ++y)
            for (int x = 0, run = 0; x < top.width(); ++x) {
                run = (top.pixel(x, y) & 0xFFFFFF) == 0xFF0000 ? run + 1 : 0;
                longest = std::max(longest, run);
            }
        QVERIFY2(longest > 300, qPrintable(QString("the longest red run is %1 pixels").arg(longest)));
        // A Muller plot stacks its lines from the bottom: a quarter, then half, then the rest in grey.
        const QImage muller = muller_image(muller_type{"", {"line 7", "line 9"}, {{0.25, 0.25}, {0.5, 0.5}}, {}}, 400, 300);
        const auto at = [&muller](double share) { return muller.pixel(200, int(299 - 40 - share * 230)) & 0xFFFFFF; };
        QVERIFY(at(0.1) != at(0.5) && at(0.5) != at(0.9) && at(0.1) != at(0.9));
        QCOMPARE(at(0.9), 0xC8C8C8u);
    }

    void settings_reset_the_world_when_confirmed()
    {
        settings_dialog dialog(settings_of_world(world()), 5);
        QCOMPARE(dialog.whole_box(setting_animals)->value(), 20);
        QCOMPARE(dialog.whole_box(setting_animals)->maximum(), 50000);
        QCOMPARE(dialog.whole_box(setting_layer_count)->minimum(), 1);
        QVERIFY(!dialog.real_box(setting_width)->toolTip().isEmpty());
        dialog.whole_box(setting_animals)->setValue(7);
        dialog.real_box(setting_width)->setValue(12.5);
        dialog.flag_box(setting_wrap)->setChecked(true);
        world().generation = 9;
        bool reset = true;
        answer = false;
        QCOMPARE(settings_confirm(state(), dialog.settings(), reset), std::string());
        QVERIFY(!reset && world().generation == 9);  // "no" changes nothing
        answer = true;
        QCOMPARE(settings_confirm(state(), dialog.settings(), reset), std::string());
        QVERIFY(reset && world().generation == 0 && world().wrap_edges);
        QCOMPARE(world().num_animals, 7u);
        QCOMPARE(world().width, 12.5);
        dialog.real_box(setting_animal_size)->setValue(20);
        QVERIFY(settings_confirm(state(), dialog.settings(), reset).find("--animal-size") != std::string::npos);
        QVERIFY(!reset);
        // From now on: what can change during a run changes, as the run's changes, and the run goes on.
        world().generation = 4;
        settings_dialog now(settings_of_world(world()), 5);
        QVERIFY(now.findChild<QPushButton*>() != nullptr);
        now.whole_box(setting_plants)->setValue(3);
        now.real_box(setting_mutate_amount)->setValue(1.5);
        now.flag_box(setting_wrap)->setChecked(false);
        QCOMPARE(settings_change_now(state(), now.settings()), std::string());
        QVERIFY(world().generation == 4 && world().num_plants == 3 && world().mutate_amount == 1.5 && !world().wrap_edges);
        QCOMPARE(world().run.events.size(), std::size_t{3});
        now.whole_box(setting_animals)->setValue(8);
        QCOMPARE(settings_change_now(state(), now.settings()), std::string("Animals cannot change during a run: it needs Reset With These"));
        QCOMPARE(world().num_animals, 7u);
    }

    void opening_a_file_shows_why_it_failed()
    {
        dialog_answer = "missing.dat";
        const std::string before = world_state(world());
        main_menu(state(), menu_open);
        QCOMPARE(problems.size(), std::size_t{1});
        QCOMPARE(problems[0], std::string("Unable to load missing.dat: No such file or directory"));
        QVERIFY(world_state(world()) == before);
        dialog_answer = "no/folder/x.dat";
        main_menu(state(), menu_save_as);
        QVERIFY(problems.size() == 2 && problems[1].rfind("Unable to save no/folder/x.dat", 0) == 0);
        // As velmora FILE.dat opens it: the settings stand in for the file's own.
        world_save_file(world(), "good.dat");
        world_settings_type settings;
        settings[setting_animals] = 3;
        QVERIFY(world_open(state(), "good.dat", settings));
        QCOMPARE(world().num_animals, 3u);
        QCOMPARE(problems.size(), std::size_t{2});
    }

    // A log that cannot be written is told once, and the run goes on without it.
    void a_log_that_cannot_be_written_is_told_once()
    {
        world().options.log_path = "no/such/folder/log.txt";
        world().generation_length = 10;
        while (world().generation < 3) tick_world_update(state());
        QCOMPARE(problems, std::vector<std::string>{"Unable to write no/such/folder/log.txt: No such file or directory; the run goes on without it"});
        QVERIFY(world().options.log_path.empty());
    }

    void the_reset_question_waits_while_ticks_go_on()
    {
        for (bool ok : {false, true}) {
            world().generation = 5;
            world().updates_per_tick = 3;
            static bool reply = false;
            reply = ok;
            state().ask_question = [&](const std::string& text, const std::string& caption) {
                if (text != "Are you sure?" || caption != "Reset simulation") return false;
                const int before = state().frames;
                return QTest::qWaitFor([&] { return state().frames >= before + 3; }, 10000) && reply;
            };
            main_menu(state(), menu_reset);
            QCOMPARE(world().generation, ok ? 0u : 5u);
            QCOMPARE(world().updates_per_tick, ok ? 1 : 3);
        }
    }

    void files_go_through_their_dialogs()
    {
        dialog_answer = "";  // cancelled: nothing at all
        dialogs_shown.clear();
        for (int id : {menu_save_as, menu_save_snapshot, menu_open}) main_menu(state(), id);
        QVERIFY(dialogs_shown == (std::vector<file_kind_type>{file_save_world, file_save_snapshot, file_open}));
        QCOMPARE(QDir(".").entryList(QDir::Files).size(), 0);
        // A world file keeps the genes; a snapshot the whole world, which opens as it was.
        dialog_answer = "world.dat";
        main_menu(state(), menu_save_as);
        const std::string saved = read_file("world.dat");
        QCOMPARE(saved, world_file_text(world()));  // the dialog's file holds the world
        press('G');
        dialog_answer = "snap.npz";
        main_menu(state(), menu_save_snapshot);
        const std::string saved_state = world_state(world());
        world_add_animal(world());
        neuron_view_show(*state().neuron_window, world().animals);
        main_menu(state(), menu_open);
        QVERIFY(neuron_view_animal(*state().neuron_window) == nullptr);
        QVERIFY(world_state(world()) == saved_state);
        QCOMPARE(world().history.size(), std::size_t{1});
        dialog_answer = "world.dat";
        main_menu(state(), menu_open);
        QCOMPARE(world_file_text(world()), saved);
        write_file("bad.npz", read_file("snap.npz").substr(0, 300));
        dialog_answer = "bad.npz";
        main_menu(state(), menu_open);
        QCOMPARE(problems.size(), std::size_t{1});
        QVERIFY(problems[0].rfind("Unable to load bad.npz: ", 0) == 0);
        QCOMPARE(world_file_text(world()), saved);
        // The real dialogs: open and save modes, the filter, the default extension.
        const struct { file_kind_type kind; const char* filter; const char* suffix; } kinds[] = {
            {file_open, "World files, checkpoints and run files (*.dat *.npz *.toml)", ""},
            {file_save_run, "Run files (*.toml)", "toml"},
            {file_save_world, "World files (*.dat)", "dat"},
            {file_save_snapshot, "Checkpoints (*.npz)", "npz"},
            {file_save_video, "Videos (*.mp4 *.webm *.gif)", "mp4"},
        };
        for (const auto& row : kinds) {
            const auto dialog = world_file_dialog(row.kind);
            const bool saving = row.kind != file_open;
            QCOMPARE(dialog->acceptMode(), saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
            QCOMPARE(dialog->fileMode(), saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
            QCOMPARE(dialog->nameFilters(), QStringList(row.filter));
            QCOMPARE(dialog->defaultSuffix(), QString(row.suffix));
            QCOMPARE(dialog->directory(), QDir("."));
        }
    }

    void simulation_record_starts_and_stops_a_video()
    {
        {  // A picture of another size is scaled to the video's frame; one of its size is taken as it is.
            recorder_type small;
            QVERIFY(recorder_start(small, "small.gif", 64, 48, 10, 0));
            QImage picture(100, 80, QImage::Format_RGB32);
            picture.fill(0xFF0000FF);
            recorder_add_image(small, picture);
            QCOMPARE(small.frame.size(), QSize(64, 48));
            QCOMPARE(small.frame.pixel(32, 24) & 0xFFFFFF, 0x0000FFu);
            QImage same(64, 48, QImage::Format_RGB32);
            same.fill(0xFF00FF00);
            recorder_add_image(small, same);
            QCOMPARE(small.frame.pixel(0, 0) & 0xFFFFFF, 0x00FF00u);
            QCOMPARE(small.video.frames, std::uint64_t{2});
            QVERIFY(recorder_stop(small));
        }
        QAction* record = menu_action(*window, "&Simulation", "&Record...");
        QVERIFY(record != nullptr);
        dialog_answer = "run.gif";
        dialogs_shown.clear();
        record->trigger();
        QVERIFY(dialogs_shown == std::vector<file_kind_type>{file_save_video});
        QVERIFY(recorder_on(state().recorder));
        // The state().frames the window draws, as it draws them, and the count in the status bar.
        QVERIFY(QTest::qWaitFor([&] { return state().recorder.video.frames >= 3; }, 10000));
        window->refresh_status();
        QVERIFY(window->status_text().contains(QRegularExpression("   Recording [0-9]+ frames")));
        press('X');  // drawing off: nothing drawn, nothing recorded
        const std::uint64_t recorded = state().recorder.video.frames;
        const int before = state().frames;
        QVERIFY(QTest::qWaitFor([&] { return state().frames >= before + 3 || state().frames < before; }, 10000));
        QCOMPARE(state().recorder.video.frames, recorded);
        record->trigger();
        QVERIFY(!recorder_on(state().recorder));
        QCOMPARE(dialogs_shown.size(), std::size_t{1});
        const std::string gif = read_file("run.gif");
        QCOMPARE(gif.substr(0, 6), std::string("GIF89a"));
        QCOMPARE(gif.back(), ';');  // finished: the trailer is there
        window->refresh_status();
        QVERIFY(!window->status_text().contains("Recording"));
        // A file that cannot be made: one message, no recording.
        dialog_answer = "no/such/folder/run.mp4";
        record->trigger();
        QVERIFY(!recorder_on(state().recorder));
        QCOMPARE(problems.size(), std::size_t{1});
        QVERIFY(problems[0].rfind("Velmora cannot record no/such/folder/run.mp4: ", 0) == 0);
        // A file that stops growing while recording (a limit on file size, as
        // a full disk would): told once, and the recording stops.
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit kept = limit;
        limit.rlim_cur = 4096;
        const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
        dialog_answer = "full.mp4";
        press('X');  // drawing on again
        record->trigger();
        QVERIFY(QTest::qWaitFor([&] { return !recorder_on(state().recorder); }, 10000));
        setrlimit(RLIMIT_FSIZE, &kept);
        std::signal(SIGXFSZ, old_handler);
        QCOMPARE(problems.size(), std::size_t{2});
        QVERIFY2(problems[1].rfind("Velmora cannot write the video full.mp4: ", 0) == 0, problems[1].c_str());
    }

    void the_world_is_autosaved_and_offered_at_a_plain_start()
    {
        QCOMPARE(autosave_path(), QDir::currentPath().toStdString() + "/velmora/autosave.npz");
        press('G');
        keys_clear(state());
        press('G');
        autosave_now(state(), false);
        autosave_wait(state());
        const std::string saved_state = world_state(world());
        // No: a new world; yes: the autosaved one, chart included; a world file, seed or settings: no question.
        options_type plain;
        system_startup(state(), window->view()->width(), window->view()->height(), 9);
        continue_answer = false;
        QVERIFY(!autosave_offer(state(), plain));
        QVERIFY(asked_to_continue.find(", at generation 2?") != std::string::npos);
        QVERIFY(world_state(world()) != saved_state);
        continue_answer = true;
        QVERIFY(autosave_offer(state(), plain));
        QVERIFY(world_state(world()) == saved_state);
        QCOMPARE(world().history.size(), std::size_t{2});
        asked_to_continue.clear();
        for (const auto& change : std::vector<std::function<void(options_type&)>>{
                 [&](options_type& o) { o.seed_given = true; }, [&](options_type& o) { o.settings[setting_animals] = 5; },
                 [&](options_type& o) { o.world_path = "world.dat"; }, [&](options_type&) { state().autosave_enabled = false; }}) {
            options_type options;
            change(options);
            QVERIFY(!autosave_offer(state(), options));
            state().autosave_enabled = true;
        }
        QVERIFY(asked_to_continue.empty());
        // Closing the window autosaves, unless autosaving is off.
        std::remove(autosave_path().c_str());
        window->set_autosave(0);
        QCOMPARE(state().autosave_minutes, 0);
        window->close();
        QVERIFY(!QFile::exists(QString::fromStdString(autosave_path())));
        open_window(1);
        window->set_autosave(5);
        world().generation = 7;
        window->close();
        QCOMPARE(world().animals, nullptr);
        QVERIFY(autosave_offer(state(), plain));
        QCOMPARE(world().generation, 7u);
        // A damaged autosave is said on the console and offered not at all.
        write_file(autosave_path(), read_file(autosave_path()).substr(0, 200));
        const std::string kept = world_state(world());
        questions = 0;
        asked_to_continue.clear();
        QVERIFY(!autosave_offer(state(), plain));
        QVERIFY(asked_to_continue.empty() && world_state(world()) == kept);
        QVERIFY(console->text().find("Unable to load " + autosave_path() + ": ") != std::string::npos);
    }

    void animals_are_selected_followed_and_inspected_in_a_zoomed_view()
    {
        world().running = false;
        const QImage whole = draw_world(state());
        menu_action(*window, "&View", "Zoom &In")->trigger();
        QVERIFY(draw_world(state()) != whole);  // zoomed in, bodies are drawn to scale
        menu_action(*window, "&View", "&Whole World")->trigger();
        QVERIFY(draw_world(state()) == whole);  // and the whole world as before, pixel for pixel
        // A click picks the animal under it; the Neuron window and the status bar show it.
        animal_type* picked = animal_at(world(), 7);
        const auto click = [this](double x, double y) {
            QTest::mouseClick(window->view(), Qt::LeftButton, {}, QPoint(get_screen_x(world(), view(), x), get_screen_y(world(), view(), y)));
        };
        click(picked->x, picked->y);
        QCOMPARE(view_selected(world(), view()), picked);
        {  // The selection ring sits evenly around the animal: its outermost blue on the lines through its centre.
            const QImage ringed = draw_world(state());
            const int cx = get_screen_x(world(), view(), picked->x), cy = get_screen_y(world(), view(), picked->y), reach = 40;
            int ends[4] = {cx, cx, cy, cy};  // left, right, top, bottom
            for (int d = -reach; d <= reach; ++d) {
                if (cx + d >= 0 && cx + d < ringed.width() && (ringed.pixel(cx + d, cy) & 0xFFFFFF) == blue) {
                    ends[0] = std::min(ends[0], cx + d);
                    ends[1] = std::max(ends[1], cx + d);
                }
                if (cy + d >= 0 && cy + d < ringed.height() && (ringed.pixel(cx, cy + d) & 0xFFFFFF) == blue) {
                    ends[2] = std::min(ends[2], cy + d);
                    ends[3] = std::max(ends[3], cy + d);
                }
            }
            QVERIFY(ends[1] > cx && ends[3] > cy);
            QVERIFY(std::abs(ends[0] + ends[1] - 2 * cx) <= 1 && std::abs(ends[2] + ends[3] - 2 * cy) <= 1);
        }
        QVERIFY(window->status_text().contains(QString("Animal %1: food 0, born 0").arg(picked->id)));
        press('N');
        for (neuron_type* n = world().animals->neurons; n; n = n->next) n->out = 0.5;
        for (neuron_type* n = picked->neurons; n; n = n->next) n->out = -0.5;
        QCOMPARE(state().neuron_window->grab().toImage().pixel(12, 12) & 0xFFFFFF, red);
        // The state().inspector shows its fields, and copies its genes in world-file form.
        const std::vector<inspector_bar_type> bars = inspector_bars(inspector_animal(world(), view()));
        QCOMPARE(bars.size(), std::size_t{25});
        QCOMPARE(bars[4].value, picked->touch[1].plant);
        QCOMPARE(bars[20].value, picked->vision[2].plant);
        QCOMPARE(bars[24].value, picked->right_motor);
        // Its lines: who it is, its parents, its age and this generation's counts.
        picked->food = 3;
        picked->wall_hits = 11;
        picked->born = 0;
        world().generation = 4;
        QCOMPARE(inspector_lines(world(), picked),
                 (std::vector<std::string>{"Animal " + std::to_string(picked->id), "A founder",
                                           "Born in generation 0, survived 4 generations", "Food 3, wall hits 11 this generation"}));
        picked->parent_a = 41;
        picked->parent_b = 7;
        picked->born = 6;  // a birth after the world's generation (a loaded file) has survived none
        QCOMPARE(inspector_lines(world(), picked)[1], std::string("Parents 41 and 7"));
        QCOMPARE(inspector_lines(world(), picked)[2], std::string("Born in generation 6, survived 0 generations"));
        picked->parent_a = picked->parent_b = 0;
        picked->born = 0;
        world().generation = 0;
        window->resize(1200, 900);
        press('I');
        QVERIFY(state().inspector != nullptr && state().inspector->isVisible());
        // On white, the picked animal's senses as bars: its whiskers' -0.5 in red.
        const QImage inspected = state().inspector->grab().toImage();
        QCOMPARE(inspected.pixel(0, 0) & 0xFFFFFF, white);
        bool red_bar = false;
        for (int y = 0; y < inspected.height() && !red_bar; ++y)
            for (int x = 0; x < inspected.width() && !red_bar; ++x) red_bar = (inspected.pixel(x, y) & 0xFFFFFF) == red;
        QVERIFY(red_bar);
        inspector_copy_genes(state());
        QCOMPARE(QApplication::clipboard()->text().toStdString(), world_file_block(picked));
        // Zoom in and out by menu and wheel, towards the cursor; drag to pan; follow.
        menu_action(*window, "&View", "Zoom &In")->trigger();
        QCOMPARE(view().zoom, 2.0);
        QVERIFY(window->status_text().contains("Zoom 2x"));
        const double under_x = view_world_x(world(), view(), 100), under_y = view_world_y(world(), view(), 80);
        QWheelEvent wheel(QPointF(100, 80), window->view()->mapToGlobal(QPointF(100, 80)), {}, QPoint(0, 120), Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(window->view(), &wheel);
        QCOMPARE(view().zoom, 2.5);
        QVERIFY(std::fabs(view_world_x(world(), view(), 100) - under_x) < 1e-9 && std::fabs(view_world_y(world(), view(), 80) - under_y) < 1e-9);
        const double left = view().left;
        QTest::mousePress(window->view(), Qt::LeftButton, {}, QPoint(300, 200));
        QMouseEvent drag(QEvent::MouseMove, QPointF(260, 200), window->view()->mapToGlobal(QPointF(260, 200)), Qt::NoButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(window->view(), &drag);
        QTest::mouseRelease(window->view(), Qt::LeftButton, {}, QPoint(260, 200));
        QVERIFY(std::fabs(view().left - (left + 40 * (world().width / view().zoom) / state().view.display_x)) < 1e-9);
        QCOMPARE(view_selected(world(), view()), picked);  // a drag is no click
        menu_action(*window, "&View", "&Follow Selected")->trigger();
        world().running = true;
        timer_message(state(), update_timer_id);
        QVERIFY(std::abs(get_screen_x(world(), view(), picked->x) - state().view.display_x / 2) <= 1 || view().left == 0 ||
                view().left == world().width - world().width / view().zoom);
        QVERIFY(std::abs(get_screen_y(world(), view(), picked->y) - state().view.display_y / 2) <= 1 || view().top == 0 ||
                view().top == world().height - world().height / view().zoom);
        menu_action(*window, "&View", "&Whole World")->trigger();
        QCOMPARE(view().zoom, 1.0);
        // Breeding rewrites the selected record as a child: it stays selected under its new id.
        view_select(world(), view(), animal_at(world(), 19));
        world_compute_generation(world());
        QVERIFY(view_selected(world(), view()) != nullptr && view_selected(world(), view())->parent_a != 0);
        click(0.01, 0.01);
        QCOMPARE(view_selected(world(), view()), nullptr);
    }

    // The keys and menus that change the world are changes of its run: its
    // run file replays them without a window. Alt+Left goes back a
    // generation (and is no Left); a change there starts a branch, listed
    // in the Runs window and drawn in the chart, and the two branches switch
    // back and forth unchanged.
    void the_windows_changes_replay_and_branch()
    {
        std::string at_generation_1;
        const auto ticks = [&](int n) {
            for (int i = 0; i < n; ++i) {
                timer_message(state(), update_timer_id);
                if (world().generation == 1 && world().update_count == 0) at_generation_1 = world_state(world());
            }
        };
        const auto tap = [&](unsigned key) {
            press(key);
            key_up(state(), key);
        };
        ticks(10);
        tap('P');
        ticks(5);
        tap(' ');
        tap('T');
        ticks(7);
        tap('M');
        state().keys['W'] = state().keys['A'] = 1;
        ticks(6);
        keys_clear(state());
        ticks(2);
        tap('F');
        menu_action(*window, "&World", "Add &Plant")->trigger();
        menu_action(*window, "&World", "Add &Animal")->trigger();
        ticks(1020);
        QCOMPARE(world().generation, 2u);
        QVERIFY(!at_generation_1.empty());
        dialog_answer = "keys.toml";
        menu_action(*window, "&File", "Save R&un As...")->trigger();
        const std::string text = read_file("keys.toml");
        for (const char* line : {"action = \"add_plant\"", "action = \"add_animal\"", "wrap = true", "action = \"manual\"",
                                 "left = 0.014999999999999999", "action = \"remove_plants\""})
            QVERIFY2(text.find(line) != std::string::npos, line);
        world_type replay;
        replay.options.console = false;
        replay.options.log_path.clear();
        run_file_type run;
        QCOMPARE(run_file_read("keys.toml", run), std::string());
        QCOMPARE(run_file_begin(replay, run, run_file_start("keys.toml", run)), std::string());
        replay.run.events = run.events;
        while (world_point(replay) < world_point(world())) world_update(replay);
        QVERIFY(world_state(replay) == world_state(world()));
        const std::string first_end = world_state(world());

        world().updates_per_tick = 3;
        QTest::keyClick(window.get(), Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(world().updates_per_tick, 3);   // no Left
        world().updates_per_tick = 1;
        QCOMPARE(world().generation, 2u);
        QCOMPARE(world().update_count, 0);
        QTest::keyClick(window.get(), Qt::Key_Left, Qt::AltModifier);
        QVERIFY(world_state(world()) == at_generation_1);
        QTest::keyClick(window.get(), Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(world().generation, 0u);
        QTest::keyClick(window.get(), Qt::Key_Right, Qt::AltModifier);
        QVERIFY(world_state(world()) == at_generation_1);

        tap('P');
        ticks(30);
        QCOMPARE(state().session.timeline.branches.size(), std::size_t{2});
        const std::string second_end = world_state(world());
        runs_window_show(state());
        // The branch that left the first one is a row under it.
        QTreeWidget* tree = state().runs_window->tree();
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->topLevelItem(0)->childCount(), 1);
        QVERIFY(tree->topLevelItem(0)->child(0)->text(0).startsWith("Branch 2 from 1 at generation 1, update 0: "));
        const chart_type chart = window_chart(state());
        QCOMPARE(chart.series.back().name, std::string("branch 1"));
        QCOMPARE(*chart.series.back().from, std::size_t{1});
        for (int round = 0; round < 2; ++round) {
            QVERIFY(runs_switch(state(), 0));
            QVERIFY(world_state(world()) == first_end);
            QVERIFY(runs_switch(state(), 1));
            QVERIFY(world_state(world()) == second_end);
        }
        // Partway into the last generation reached, the strip's marker stays off its text.
        for (int i = 0; i < 50; ++i) tick_world_update(state());
        QVERIFY(world().update_count > 0);
        const QImage strip = window->strip()->grab().toImage();
        int reddest = -1, first_text = strip.width();
        for (int y = 0; y < strip.height(); ++y)
            for (int x = 0; x < strip.width(); ++x) {
                const QColor c = strip.pixelColor(x, y);
                if (c.red() > 150 && c.green() < 80 && c.blue() < 80) reddest = std::max(reddest, x);
                if (c.red() < 80 && c.green() < 80 && c.blue() < 80) first_text = std::min(first_text, x);
            }
        QVERIFY2(reddest >= 0 && reddest < first_text, qPrintable(QString("marker at %1, text from %2").arg(reddest).arg(first_text)));
        // The strip goes to the generation under the pointer.
        QTest::mouseClick(window->strip(), Qt::LeftButton, {}, QPoint(0, 5));
        QCOMPARE(world().generation, 0u);
        QVERIFY(problems.empty());
    }

    // The Environment page: seasons, a food map and a schedule begin a run
    // with Reset With These; the view shades the map under the plants, the
    // chart marks the changes and the turns; Apply From Now On keeps a new
    // schedule but refuses another map.
    void the_environment_begins_a_run_and_shows()
    {
        environment_type environment;
        environment.seasons = seasons_type{6, 2, 8, true};
        QCOMPARE(food_map_set(environment.food_map, 2, 1, {0.0, 1.0}), std::string());
        environment.schedule = {run_setting_event(4, 0, setting_mutate_amount, 2.0)};
        settings_dialog dialog(settings_of_world(world()), 5, nullptr, environment);
        environment_type shown;
        QCOMPARE(dialog.environment(shown), std::string());
        QCOMPARE(shown.schedule, environment.schedule);
        QCOMPARE(shown.seasons.high, 8);
        // A row of the table that does not fit is refused by its number.
        auto* table = dialog.findChild<QTableWidget*>();
        dialog.add_change_row(5, setting_plants, 1);
        table->item(1, 2)->setText("-3");
        environment_type refused;
        QCOMPARE(dialog.environment(refused), std::string("Scheduled change 2: plants -3: must be a whole number from 0 to 1000000"));
        // The settings column offers the settings that may change, as the table spells them.
        auto* names = qobject_cast<QComboBox*>(table->cellWidget(1, 1));
        QVERIFY(names != nullptr && names->findText("mutate-amount") >= 0 && names->findText("animals") < 0);
        table->setRowCount(1);
        // None takes the map away.
        QPushButton* none = nullptr;
        for (QPushButton* button : dialog.findChildren<QPushButton*>()) none = button->text() == "None" ? button : none;
        QVERIFY(none != nullptr);
        none->click();
        QCOMPARE(dialog.environment(refused), std::string());
        QCOMPARE(refused.food_map.width, 0u);
        answer = true;
        bool reset = false;
        QCOMPARE(settings_confirm(state(), dialog.settings(), reset, shown), std::string());
        QVERIFY(reset);
        QCOMPARE(world().seasons.period, 6);
        QCOMPARE(world_scheduled(world()), environment.schedule);
        for (const plant_type* p = world().plants; p != nullptr; p = p->next) QVERIFY(p->x > world().width / 2);
        world().generation_length = 20;
        while (world().generation < 8) tick_world_update(state());
        QCOMPARE(world().mutate_amount, 2.0);
        QCOMPARE(world_marks(world(), world().history.size()), (std::vector<double>{3, 4, 6}));
        // Under the pointer, each dashed line of both pages names what it marks.
        const std::vector<std::string> told = {"Generation 3: the season turns", "Generation 4: mutate-amount 2",
                                               "Generation 6: the season turns"};
        window->resize(1400, 900);
        chart_show(state(), true);
        QCoreApplication::processEvents();
        QVERIFY(state().chart_window->width() > 300);
        for (int page = 0; page < 2; ++page) {
            state().chart_window->show_page(page);
            state().chart_window->redraw();
            std::vector<std::string> named;
            for (int x = 0; x < state().chart_window->width(); ++x)
                if (const std::string text = state().chart_window->mark_at(x); !text.empty() && (named.empty() || named.back() != text))
                    named.push_back(text);
            QCOMPARE(named, told);
        }
        // The map, shaded green where plants grow, plain white where they never do.
        view_changed(state());
        const QRgb left = state().memdc.pixel(2, state().memdc.height() - 3), right = state().memdc.pixel(state().memdc.width() - 3, state().memdc.height() - 3);
        QCOMPARE(left & 0xFFFFFF, 0xFFFFFFu);
        QVERIFY(qGreen(right) > qRed(right) && qRed(right) < 255);
        // From now on: a new schedule is kept, another map needs a reset.
        shown.schedule = {run_setting_event(10, 0, setting_wrap, 1.0)};
        QCOMPARE(settings_change_now(state(), settings_of_world(world()), &shown), std::string());
        QCOMPARE(world_scheduled(world()), shown.schedule);
        shown.food_map = food_map_type{};
        QVERIFY(settings_change_now(state(), settings_of_world(world()), &shown).find("need Reset With These") != std::string::npos);
        shown.schedule = {run_setting_event(9, 0, setting_plants, 3.0)};
        QCOMPARE(settings_confirm(state(), dialog.settings(), reset, shown), std::string("Scheduled change 1: plants follow the seasons in this run"));
    }

    // Edits by hand in the window, paused: a drag moves the selected animal,
    // Delete removes it, Ctrl+D clones, Paste Genes takes Copy Genes' text (and
    // refuses a text that does not fit), the plant brush adds and with Shift
    // removes plants, a right click offers the edits; Ctrl+Z undoes step by
    // step back to the exact state before, Ctrl+Shift+Z redoes.
    void edits_by_hand_undo_and_redo()
    {
        world().running = false;
        const std::string start = world_state(world());
        const auto mouse = [&](QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held, Qt::KeyboardModifiers keys = {}) {
            QMouseEvent event(type, at, window->view()->mapToGlobal(at), button, held, keys);
            QCoreApplication::sendEvent(window->view(), &event);
        };
        const auto pixel = [&](double x, double y) { return QPointF(get_screen_x(world(), view(), x), get_screen_y(world(), view(), y)); };
        animal_type* animal = world().animals->next;
        const std::uint64_t id = animal->id;
        view_select(world(), view(), animal);
        const QPointF from = pixel(animal->x, animal->y), to = pixel(2.0, 3.0);
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
        mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
        animal = world_find_animal(world(), id);
        QVERIFY(std::fabs(animal->x - 2.0) < 0.05 && std::fabs(animal->y - 3.0) < 0.05);
        const std::string moved = world_state(world());

        QTest::keyClick(window.get(), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(world().num_animals, 21u);
        QCOMPARE(int(state().keys['D']), 0);   // a chord is no D
        QCOMPARE(world().animals->parent_a, id);
        QVERIFY(view_selected(world(), view()) == world().animals);   // the copy is picked, so it shows
        view_select(world(), view(), world_find_animal(world(), id));
        QGuiApplication::clipboard()->setText(QString::fromStdString(world_file_block(world().animals->next->next->next)));
        menu_action(*window, "&Animals", "&Paste Genes")->trigger();
        std::vector<double> pasted(animal_get_chromosome_size(animal)), source(pasted.size());
        animal_export_chromosome(world_find_animal(world(), id), pasted.data());
        animal_export_chromosome(world().animals->next->next->next, source.data());
        for (std::size_t k = 0; k < pasted.size(); ++k) QVERIFY(std::fabs(pasted[k] - source[k]) <= 5e-7);   // as Copy Genes prints them
        QVERIFY(!state().plant_brush);
        const std::string before_bad = world_state(world());
        QGuiApplication::clipboard()->setText("3\n1 0.5 2 0.1\n");
        menu_action(*window, "&Animals", "&Paste Genes")->trigger();
        QCOMPARE(problems.size(), std::size_t{1});
        QVERIFY(world_state(world()) == before_bad);
        problems.clear();

        menu_action(*window, "&World", "Plant &Brush")->trigger();
        const int plants = world().num_plants;
        mouse(QEvent::MouseButtonPress, pixel(8.0, 8.0), Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseMove, pixel(8.0, 9.0), Qt::NoButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, pixel(8.0, 9.0), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(world().num_plants, plants + 2);
        mouse(QEvent::MouseButtonPress, pixel(8.0, 8.0), Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
        mouse(QEvent::MouseButtonRelease, pixel(8.0, 8.0), Qt::LeftButton, Qt::NoButton, Qt::ShiftModifier);
        QCOMPARE(world().plants->x == 8.0 && world().plants->y == 8.0, false);
        menu_action(*window, "&World", "Plant &Brush")->trigger();

        QTest::keyClick(window.get(), Qt::Key_Delete);
        QVERIFY(world_find_animal(world(), id) == nullptr);

        // A right click on an animal selects it and offers its edits.
        QTimer watch;   // closes the menu once it shows
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (QMenu* menu = window->context_menu()) menu->close();
        });
        watch.start(10);
        animal_type* other = world().animals->next->next;
        mouse(QEvent::MouseButtonPress, pixel(other->x, other->y), Qt::RightButton, Qt::RightButton);
        watch.stop();
        QCOMPARE(view_selected(world(), view()), other);
        QCOMPARE(window->last_menu(), QStringList({"Clone", "Remove", "Paste Genes", "Save Animal As..."}));

        // Six steps back: the drag, the clone, the paste, two strokes and the removal.
        window->activateWindow();   // the menu had the keyboard
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        for (int step = 0; step < 6; ++step) QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(world_state(world()) == start);
        QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(world_state(world()) == moved);
        QVERIFY(problems.empty());
    }

    void escape_quits_at_once_without_tearing_down()
    {
        QTimer::singleShot(0, [this] { press(0x1B); });
        QTimer::singleShot(30000, [&] { QCoreApplication::exit(7); });  // a safety net
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(world().num_animals, 20u);
    }
};

QTEST_MAIN(window_test)
#include "window_test.moc"
