// The window's view of its run through time: a strip under the world view
// showing the generations of the shown branch (a click or a drag goes back
// or forward), and the "Runs" window listing the branches, to switch
// between, delete or save them, with the keyframes' memory and budget.
#pragma once

#include <QListWidget>
#include <QLabel>
#include <QSpinBox>
#include <QWidget>

struct window_state_type;

class timeline_strip_widget : public QWidget {
public:
    explicit timeline_strip_widget(window_state_type& state, QWidget* parent = nullptr);
    // The generation under a pixel of the strip's width.
    std::uint32_t generation_at(int x) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    std::uint32_t last_generation() const;   // the right end: the furthest the shown branch ran
    window_state_type& state_;
};

class runs_window_widget : public QWidget {
public:
    explicit runs_window_widget(window_state_type& state);
    void refresh();                        // the list and the memory line anew
    QListWidget* list() const { return list_; }

private:
    window_state_type& state_;
    QListWidget* list_;                    // one row per branch, in order made
    QLabel* memory_;                       // runs_memory_text
    QSpinBox* budget_;                     // the keyframe budget, MB
};

void runs_window_show(window_state_type& state);
