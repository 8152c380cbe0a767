// The main window: a menu bar and a toolbar over the world view, the panels
// in docks around it, a status bar of sections, timers, and the key, menu,
// paint, resize and close events, each forwarded to the free functions of
// the frame loop and the commands.
#pragma once

#include "app/window_state.h"

#include <QByteArray>
#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QSlider>
#include <QToolBar>
#include <QMenu>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <map>
#include <memory>
#include <vector>

class main_window_widget;

// The client area below the menu bar; it shows the off-screen surface.
class world_view_widget : public QWidget {
public:
    explicit world_view_widget(main_window_widget* window);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    main_window_widget* window_;
    QPoint pressed_at_;       // where the left button went down
    QPoint dragged_from_;     // where the last pan left off
    bool dragging_ = false;   // moved far enough since the press to pan rather than click
    bool moving_ = false;     // the press was on the selected animal: a drag moves it
    bool brushing_ = false;   // the plant brush's stroke
};

class chart_window_widget;
class inspector_widget;
class neuron_window_widget;
class QProgressDialog;
class runs_window_widget;
class timeline_strip_widget;

// The main window owns the program's state, its world included, and the
// other windows; the state's callbacks are its own doings.
class main_window_widget : public QMainWindow {
public:
    main_window_widget();
    ~main_window_widget() override;

    window_state_type state;
    world_view_widget* view() const { return view_; }
    timeline_strip_widget* strip() const { return strip_; }
    void set_timer(int id, int period);   // 101: update timer, 102: statistics timer; a period below 1 ms runs at 1 ms
    int timer_period(int id) const;       // -1 while the timer does not run
    void set_autosave(int minutes);       // the autosave timer; 0 stops it
    bool shut_down() const { return shut_down_; }
    // The selected animal's edits as a menu at that place on the screen; the one open, for tests.
    void animal_menu(const QPoint& at);
    QMenu* context_menu() const { return context_menu_; }
    QStringList last_menu() const { return last_menu_; }   // the items the last one offered
    QAction* action(int id) const;        // a menu item's action, shared with the toolbar; null for none
    QToolBar* toolbar() const { return toolbar_; }
    QSlider* speed_slider() const { return speed_; }
    QDockWidget* dock(const QString& name) const;   // "Animal", "Neuron", "Chart", "Runs"
    QLabel* selection_section() const { return sections_.back(); }
    // The layout, size and place kept from the last start (QSettings), kept again when the window closes.
    void restore_layout();
    void reset_layout();                  // View, Reset Layout
    void save_layout();                   // as closing keeps it, once restore_layout was called
    void sync_actions();                  // check marks, enabled items, their texts and the title, as the state is

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

public:
    void refresh_status();                // the status bar anew from status_line()
    QString status_text() const;

private:
    void build_menus();
    void build_toolbar();
    void build_docks();
    void place_as_at_first();   // where and how large the window first stands

    world_view_widget* view_;
    std::vector<QLabel*> sections_;       // the status bar's sections, the selection's last
    std::map<int, QAction*> actions_;
    QToolBar* toolbar_ = nullptr;
    std::vector<QAction*> toolbar_actions_;   // each does its menu item's work
    QSlider* speed_ = nullptr;
    std::vector<QDockWidget*> docks_;
    QByteArray first_layout_;             // the docks as built, for Reset Layout
    bool keeps_layout_ = false;           // restore_layout was called: the layout is kept on closing
    QTimer update_timer_;
    QTimer stats_timer_;
    QTimer autosave_timer_;
    std::unique_ptr<neuron_window_widget> neuron_window_;
    std::unique_ptr<chart_window_widget> chart_window_;
    std::unique_ptr<inspector_widget> inspector_;   // the state's, once made: freed with the window
    std::unique_ptr<runs_window_widget> runs_window_;
    std::unique_ptr<QProgressDialog> progress_;     // shown while a long replay runs
    timeline_strip_widget* strip_ = nullptr;        // under the world view
    unsigned pressed_code_[256] = {};   // key code each native scan code was pressed with
    bool shut_down_ = false;
    QMenu* context_menu_ = nullptr;
    QStringList last_menu_;
    bool close_asked_ = false;   // closed while a replay ran: it is cancelled, then the window closes
};
