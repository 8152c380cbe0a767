// The window program under the offscreen platform: drawing, keys, menus,
// ticks, the neuron window, the reset question and the file dialogs.
#include "animal/animal.h"
#include "app/commands.h"
#include "app/frame_loop.h"
#include "app/main_window.h"
#include "app/shell_state.h"
#include "app/utility.h"
#include "app/world_dialogs.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "render/neuron_view.h"
#include "render/surface.h"
#include "render/world_view.h"
#include "test_support.h"
#include "world/world.h"
#include "world/world_file.h"

#include <QMenuBar>
#include <QPainter>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

constexpr double pi = 3.141592653589793;

QImage draw_world(int width = 640, int height = 480)
{
    display_x = width;
    display_y = height;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    surface_type surface = surface_open(painter);
    world_draw(surface);
    return image;
}

QRgb pixel_at(const QImage& image, double x, double y)
{
    return image.pixel(get_screen_x(x), get_screen_y(y)) & 0xFFFFFF;
}

constexpr QRgb white = 0xFFFFFF, green = 0x00FF00, red = 0xFF0000, blue = 0x0000FF, black = 0x000000;

// A default world emptied of animals and plants.
void empty_world()
{
    start_world(1);
    world_free_animals();
    world_free_plants();
}

animal_type* place_animal(double x, double y, double heading)
{
    world_add_animal();
    animal_type* animal = world.animals;
    animal->x = x;
    animal->y = y;
    animal->heading = heading;
    for (sensor_type& s : animal->touch) s = sensor_type{-0.5, -0.5, -0.5};
    return animal;
}

int answers_asked = 0;
bool answer = false;
bool count_question(const std::string&, const std::string&)
{
    ++answers_asked;
    return answer;
}

std::string dialog_answer;
int dialogs_shown = 0;
bool last_dialog_saving = false;
std::string fake_dialog(bool saving)
{
    ++dialogs_shown;
    last_dialog_saving = saving;
    return dialog_answer;
}

QAction* menu_action(QMainWindow& window, const QString& menu, const QString& item)
{
    for (QAction* top : window.menuBar()->actions())
        if (top->text() == menu)
            for (QAction* action : top->menu()->actions())
                if (action->text() == item) return action;
    return nullptr;
}

}  // namespace

class window_test : public QObject {
    Q_OBJECT

    std::unique_ptr<main_window_widget> window;
    std::unique_ptr<scratch_folder> folder;
    std::unique_ptr<console_capture> console;

private slots:
    void init()
    {
        folder = std::make_unique<scratch_folder>();
        console = std::make_unique<console_capture>();
        keys_clear();
        mode_manual = false;
        show_vision = false;
        cur_animal = nullptr;
        timer_val = 40;
        frames = updates = frames_per_second = updates_per_second = 0;
        world_destroy();
        world = world_type{};
        answers_asked = 0;
        ask_question = count_question;
        file_dialog = fake_dialog;
        window = std::make_unique<main_window_widget>();
        system_startup(window.get(), 1);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        if (neuron_window == nullptr) create_neuron_window();
        neuron_window->hide();
    }

    void cleanup()
    {
        window.reset();
        console.reset();
        folder.reset();
    }

    void empty_world_is_white()
    {
        empty_world();
        const QImage image = draw_world();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) QCOMPARE(image.pixel(x, y) & 0xFFFFFF, white);
    }

    void head_is_green_others_white_and_sensors_coloured()
    {
        empty_world();
        animal_type* other = place_animal(7, 5, 0);
        animal_type* head = place_animal(3, 5, 0);
        head->touch[1].plant = 0.5;
        head->touch[2] = sensor_type{0.5, 0.5, 0.5};   // a wall wins over everything
        head->touch[3].animal = 0.5;
        add_plant(5, 2, 0.5, 0.5);
        const QImage image = draw_world();
        // Beside the centre, clear of the heading arrow.
        QCOMPARE(pixel_at(image, head->x, head->y + 0.15), green);
        QCOMPARE(pixel_at(image, other->x, other->y + 0.15), white);
        QCOMPARE(pixel_at(image, 5, 2), green);
        const auto sensor_centre = [&](animal_type* a, int k) {
            const double angle = a->heading - pi / 3 + k * pi / 3;
            return pixel_at(image, a->x + a->sensor_distance * std::cos(angle),
                            a->y + a->sensor_distance * std::sin(angle));
        };
        QCOMPARE(sensor_centre(head, 0), white);
        QCOMPARE(sensor_centre(head, 1), green);
        QCOMPARE(sensor_centre(head, 2), red);
        QCOMPARE(sensor_centre(head, 3), blue);
        QCOMPARE(get_sensor_color(sensor_type{0.5, 0.5, -0.5}), 0x0000FFu);
        QCOMPARE(get_sensor_color(sensor_type{0, 0, 0}), 0xFFFFFFu);
        // The arrow runs through the centre, in the outline's black.
        QCOMPARE(pixel_at(image, head->x, head->y), black);

        // A real wall contact, sensed by a step.
        empty_world();
        animal_type* walled = place_animal(0.3, 5, pi);
        animal_sense_touch(walled);
        const QImage walled_image = draw_world();
        QCOMPARE(pixel_at(walled_image, 0.3 - 0.25, 5), red);
    }

    void screen_mapping_truncates()
    {
        empty_world();
        display_x = 640;
        display_y = 480;
        QCOMPARE(get_screen_x(world.width), 640);
        QCOMPARE(get_screen_x(0.999 * world.width / 640), 0);
        QCOMPARE(get_screen_x(-0.5 * world.width / 640), 0);
        QCOMPARE(get_screen_x(-1.5 * world.width / 640), -1);
        QCOMPARE(get_screen_y(world.height / 2), 240);
        rect_type box{};
        get_bounding_rect(5, 5, 0.5, 0.5, box);
        QCOMPARE(box.left, 304);
        QCOMPARE(box.right, 336);
        QCOMPARE(box.top, 228);
        QCOMPARE(box.bottom, 252);
    }

    void vision_rays_only_for_seeing_sectors_and_only_when_shown()
    {
        empty_world();
        animal_type* a = place_animal(2, 5, 0.3);
        add_plant(2 + 3 * std::cos(0.3), 5 + 3 * std::sin(0.3) + 0.01, 0.25, 0.25);
        check_vision(a->x, a->y, a->heading, a->num_vision, a->vision, a->ray_x, a->ray_y);
        int seeing = -1;
        for (int j = 0; j < 5; ++j)
            if (a->vision[j].plant > 0) seeing = j;
        QCOMPARE(seeing, 2);
        // Whether the ray passes a point near its end, away from the body.
        const auto ray_end = [&](const QImage& image, int i) {
            const int x = get_screen_x(a->x + 0.9 * a->ray_x[i]);
            const int y = get_screen_y(a->y + 0.9 * a->ray_y[i]);
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if ((image.pixel(x + dx, y + dy) & 0xFFFFFF) == black) return black;
            return white;
        };
        const QImage hidden = draw_world();
        show_vision = true;
        const QImage shown = draw_world();
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(ray_end(hidden, i), white);
            // Neighbouring sectors share a boundary: rays 3 and 6 lie on the drawn rays 4 and 5.
            const bool on_drawn_ray = i / 2 == seeing || i == 2 * seeing - 1 || i == 2 * seeing + 2;
            QCOMPARE(ray_end(shown, i), on_drawn_ray ? black : white);
        }
    }

    void nothing_changes_while_drawing_is_off()
    {
        world.draw_enabled = false;
        display_x = 64;
        display_y = 48;
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        const QImage before = image;
        {
            QPainter painter(&image);
            surface_type surface = surface_open(painter);
            world_draw(surface);
        }
        QCOMPARE(image, before);
    }

    void held_keys_act_in_their_order()
    {
        QTest::keyPress(window.get(), Qt::Key_1);
        QTest::keyPress(window.get(), Qt::Key_2);
        QCOMPARE(world.updates_per_tick, 200);
        QTest::keyPress(window.get(), Qt::Key_Right);
        QCOMPARE(world.updates_per_tick, 200);   // "1" then "2" act again after the right arrow
        QTest::keyRelease(window.get(), Qt::Key_1);
        QTest::keyRelease(window.get(), Qt::Key_2);
        QTest::qWait(80);
        QCOMPARE(int(keys['1']), 0);
        QTest::keyPress(window.get(), Qt::Key_Left);  // right still held: +1, then left: -1
        QCOMPARE(world.updates_per_tick, 200);
        keys_clear();
        world.updates_per_tick = 1;
        key_down(window.get(), 0x25);
        QCOMPARE(world.updates_per_tick, 1);

        // R asks only on its own key-down.
        keys_clear();
        key_down(window.get(), 'R');
        QCOMPARE(answers_asked, 1);
        key_down(window.get(), 'P');
        QCOMPARE(answers_asked, 1);

        // Holding P and pressing X adds a plant and toggles drawing.
        keys_clear();
        const int plants = world.num_plants;
        key_down(window.get(), 'P');
        key_down(window.get(), 'X');
        QCOMPARE(world.num_plants, plants + 2);
        QVERIFY(!world.draw_enabled);

        // The up arrow held shortens the period on every key-down, to 1 ms at the least.
        keys_clear();
        timer_val = 2;
        key_down(window.get(), 0x26);
        key_down(window.get(), 'Z');
        key_down(window.get(), 'Z');
        QCOMPARE(timer_val, -1);
        QCOMPARE(window->timer_period(update_timer_id), 1);
        keys_clear();
        key_down(window.get(), 0x28);
        QCOMPARE(window->timer_period(update_timer_id), 1);
        timer_val = 40;
        key_down(window.get(), 0x28);
        QCOMPARE(window->timer_period(update_timer_id), 41);

        // G runs a generation's length of updates; T and F.
        keys_clear();
        const unsigned generation = world.generation;
        key_down(window.get(), 'G');
        QCOMPARE(world.generation, generation + 1);
        // Q lists the head animal's network on the console, highest id first.
        keys_clear();
        const std::size_t said = console->text().size();
        key_down(window.get(), 'Q');
        const std::string report = console->text().substr(said);
        QCOMPARE(report.rfind(" Neuron ID: 17\n", 0), std::size_t{0});
        QCOMPARE(std::count(report.begin(), report.end(), 'N'), std::ptrdiff_t{18});
        keys_clear();
        key_down(window.get(), 'T');
        QVERIFY(world.wrap_edges);
        key_down(window.get(), 'F');
        QCOMPARE(world.num_plants, 0);
    }

    void auto_repeat_and_focus_keep_the_table_honest()
    {
        const unsigned animals = world.num_animals;
        QTest::keyPress(window.get(), Qt::Key_Space);
        QTest::keyPress(window.get(), Qt::Key_Space, Qt::NoModifier, -1);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QString(" "), true);
        QApplication::sendEvent(window.get(), &repeat);
        QCOMPARE(world.num_animals, animals + 3);

        // A release/press pair not flagged as auto-repeat keeps the key held.
        QTest::keyPress(window.get(), Qt::Key_W);
        QTest::keyRelease(window.get(), Qt::Key_W);
        QTest::keyPress(window.get(), Qt::Key_W);
        QTest::qWait(80);
        QCOMPARE(int(keys['W']), 1);
        // A lone release lets go.
        QTest::keyRelease(window.get(), Qt::Key_W);
        QTest::qWait(80);
        QCOMPARE(int(keys['W']), 0);

        // Shift pressed meanwhile: "1" comes back as "!", and still clears "1".
        QTest::keyPress(window.get(), Qt::Key_1);
        QTest::keyRelease(window.get(), Qt::Key_Exclam, Qt::ShiftModifier);
        QTest::qWait(80);
        QCOMPARE(int(keys['1']), 0);

        // Losing the keyboard clears every held key.
        QTest::keyPress(window.get(), Qt::Key_D);
        QCOMPARE(int(keys['D']), 1);
        QFocusEvent focus_out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(window.get(), &focus_out);
        QCOMPARE(int(keys['D']), 0);

        // Keys without a code of their own never pose as another key.
        QCOMPARE(key_code_from_qt(Qt::Key_Shift), 0x10u);
        QCOMPARE(key_code_from_qt(Qt::Key_CapsLock), 0u);
        QCOMPARE(key_code_from_qt(Qt::Key_Escape), 0x1Bu);
        QCOMPARE(key_code_from_qt(Qt::Key_Down), 0x28u);
    }

    void steering_keys_give_the_motor_table()
    {
        struct row {
            const char* held;
            double left, right;
        };
        const row rows[] = {{"WA", 0.015, 0.03},  {"WD", 0.03, 0.015},   {"W", 0.03, 0.03},   {"WS", 0.03, 0.03},
                            {"SA", -0.015, -0.03}, {"SD", -0.03, -0.015}, {"S", -0.03, -0.03}, {"A", -0.03, 0.03},
                            {"D", 0.03, -0.03},    {"AD", -0.03, 0.03},   {"", 0.0, 0.0},      {"WAD", 0.015, 0.03}};
        for (const row& r : rows) {
            keys_clear();
            for (const char* c = r.held; *c; ++c) keys[static_cast<unsigned char>(*c)] = 1;
            check_keys();
            QCOMPARE(world.animals->left_motor, r.left);
            QCOMPARE(world.animals->right_motor, r.right);
        }
        // In manual mode the head animal moves by those values.
        mode_manual = true;
        keys_clear();
        keys['W'] = 1;
        world.animals->x = 5;
        world.animals->y = 5;
        world.animals->heading = 0;
        timer_message(window.get(), update_timer_id);
        QVERIFY(std::fabs(world.animals->x - 5.03) < 1e-12);
        mode_manual = false;
    }

    void menus_reach_their_actions()
    {
        const QStringList expected_menus = {"&File", "&Animals", "&World", "&Simulation"};
        QStringList menus;
        for (QAction* top : window->menuBar()->actions()) menus << top->text();
        QCOMPARE(menus, expected_menus);
        menu_action(*window, "&Animals", "&Show Vision")->trigger();
        QVERIFY(show_vision);
        menu_action(*window, "&Animals", "&Hide Vision")->trigger();
        QVERIFY(!show_vision);
        const unsigned animals = world.num_animals;
        menu_action(*window, "&World", "Add &Animal")->trigger();
        QCOMPARE(world.num_animals, animals + 1);
        const int plants = world.num_plants;
        menu_action(*window, "&World", "Add &Plant")->trigger();
        QCOMPARE(world.num_plants, plants + 1);
        menu_action(*window, "&World", "Remove Plants")->trigger();
        QCOMPARE(world.num_plants, 0);
        cur_animal = world.animals;
        menu_action(*window, "&World", "Remove Animals")->trigger();
        QCOMPARE(world.num_animals, 0u);
        QVERIFY(cur_animal == nullptr);
        menu_action(*window, "&Simulation", "&Max Speed")->trigger();
        QCOMPARE(world.updates_per_tick, 100);
        menu_action(*window, "&Simulation", "&Normal Speed")->trigger();
        QCOMPARE(world.updates_per_tick, 1);
        menu_action(*window, "&Simulation", "&Pause")->trigger();
        QVERIFY(!world.running);
        menu_action(*window, "&Simulation", "&Pause")->trigger();
        QVERIFY(world.running);
        answer = true;
        menu_action(*window, "&World", "&Reset")->trigger();
        QCOMPARE(answers_asked, 1);
        QCOMPARE(world.num_animals, 20u);
        main_menu(window.get(), 999);  // unknown: nothing

        menu_action(*window, "&File", "E&xit")->trigger();
        QCOMPARE(world.num_animals, 0u);
        QVERIFY(world.animals == nullptr);
        QVERIFY(memdc.isNull());
        QCOMPARE(world.brush_green.colour, 0u);
    }

    void a_tick_runs_its_updates_and_draws_once()
    {
        world.updates_per_tick = 7;
        updates = 0;
        frames = 0;
        const int count = world.update_count;
        memdc.fill(Qt::black);
        timer_message(window.get(), update_timer_id);
        QCOMPARE(updates, 7);
        QCOMPARE(world.update_count, count + 7);
        QCOMPARE(frames, 1);
        QCOMPARE(memdc.pixel(display_x - 1, display_y - 1) & 0xFFFFFF, white);

        // Paused: ticks draw and count frames, but no updates.
        world.running = false;
        timer_message(window.get(), update_timer_id);
        QCOMPARE(updates, 7);
        QCOMPARE(frames, 2);

        QCOMPARE(rate_line(), std::string("Frame rate:   0 Update Rate  0 "));
        timer_message(window.get(), stats_timer_id);
        QCOMPARE(frames_per_second, 2);
        QCOMPARE(updates_per_second, 7);
        QCOMPARE(frames, 0);
        QCOMPARE(updates, 0);
        QCOMPARE(rate_line(), std::string("Frame rate:   2 Update Rate  7 "));

        // The paint writes the rate line onto the surface: dark text pixels near (1, 1).
        memdc.fill(Qt::white);
        window->view()->repaint();
        int dark = 0;
        for (int y = 1; y < 16; ++y)
            for (int x = 1; x < 120; ++x) dark += qGray(memdc.pixel(x, y)) < 128;
        QVERIFY(dark > 20);
    }

    void the_timers_run_at_their_periods()
    {
        QCOMPARE(window->timer_period(update_timer_id), 40);
        QCOMPARE(window->timer_period(stats_timer_id), 1000);
        updates = frames = 0;
        QTest::qWait(450);
        QVERIFY(frames >= 5);
        QVERIFY(updates >= 5);
    }

    void neuron_window_shows_the_head_network()
    {
        QVERIFY(neuron_window != nullptr);
        QCOMPARE(neuron_window->windowTitle(), QString("Neuron"));
        QVERIFY(!neuron_window->isVisible());
        key_down(window.get(), 'N');
        QVERIFY(neuron_window->isVisible());
        QVERIFY(cur_animal == world.animals);
        neuron_window->resize(200, 120);

        animal_type* head = world.animals;
        for (neuron_type* n = head->neurons; n; n = n->next) n->out = (n->id % 3 == 0) ? 0.0 : (n->id % 3 == 1) ? 0.5 : -0.5;
        const QImage grid = neuron_window->grab().toImage();
        const int cell_w = grid.width() / 8;
        const int cell_h = grid.height() / 3;
        for (std::uint32_t id = 0; id < 18; ++id) {
            const int column = static_cast<int>(id % 8), row = static_cast<int>(id / 8);
            const QRgb expected = (id % 3 == 0) ? white : (id % 3 == 1) ? blue : red;
            QCOMPARE(grid.pixel(column * cell_w + cell_w / 2, row * cell_h + cell_h / 2) & 0xFFFFFF, expected);
        }
        // The rest of the motor row stays background.
        QCOMPARE(grid.pixel(5 * cell_w + cell_w / 2, 2 * cell_h + cell_h / 2) & 0xFFFFFF, white);

        // Typing "N" does nothing; "n" hides it.
        QTest::keyClick(neuron_window, 'N', Qt::ShiftModifier);
        QVERIFY(neuron_window->isVisible());
        QTest::keyClick(neuron_window, 'n');
        QVERIFY(!neuron_window->isVisible());

        // After the animals are freed the window draws nothing and reads nothing freed.
        key_down(window.get(), 'N');
        world_free_animals();
        QVERIFY(cur_animal == nullptr);
        neuron_window->grab();
        neuron_window->hide();
    }

    void reset_question_with_ticks_running_behind()
    {
        for (bool ok : {false, true}) {
            world.generation = 5;
            world.updates_per_tick = 3;
            int ticks_during_question = 0;
            static int* counter = nullptr;
            static bool reply = false;
            counter = &ticks_during_question;
            reply = ok;
            ask_question = [](const std::string& text, const std::string& caption) {
                if (text != "Are you sure?" || caption != "Reset simulation") return false;
                const int before = frames;
                QTest::qWait(300);
                *counter = frames - before;
                return reply;
            };
            main_menu(window.get(), menu_reset);
            QVERIFY(ticks_during_question >= 3);
            QCOMPARE(world.generation, ok ? 0u : 5u);
            QCOMPARE(world.updates_per_tick, ok ? 1 : 3);
        }
    }

    void open_and_save_as_go_through_the_dialog()
    {
        dialogs_shown = 0;
        dialog_answer = "";
        main_menu(window.get(), menu_save_as);
        QCOMPARE(dialogs_shown, 1);
        QVERIFY(last_dialog_saving);
        QVERIFY(!QFile::exists("world.dat"));
        main_menu(window.get(), menu_open);
        QVERIFY(!last_dialog_saving);
        QCOMPARE(world.generation, 0u);

        dialog_answer = "world.dat";
        main_menu(window.get(), menu_save_as);
        QVERIFY(QFile::exists("world.dat"));
        const std::string saved = read_file("world.dat");
        world_add_animal();
        cur_animal = world.animals;
        main_menu(window.get(), menu_open);
        QCOMPARE(world.num_animals, 20u);
        QVERIFY(cur_animal == nullptr);
        QCOMPARE(world_file_text(), saved);
        QVERIFY(console->text().find("Loaded from world.dat\n") != std::string::npos);
    }

    void escape_quits_at_once_without_tearing_down()
    {
        QTimer::singleShot(0, [this] { key_down(window.get(), 0x1B); });
        QTimer::singleShot(3000, [] { QCoreApplication::exit(7); });  // a safety net
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(world.num_animals, 20u);
    }
};

QTEST_MAIN(window_test)
#include "window_test.moc"
