// The window's view of its run through time: a strip under the world view
// showing the generations of the shown branch (a click or a drag goes back
// or forward), and the "Runs" panel showing the branches as a tree, to
// switch between, name, delete or save them, with the keyframes' memory and budget.
#pragma once

#include <QTreeWidget>
#include <QLabel>
#include <QSpinBox>
#include <QWidget>

struct window_state_type;

class timeline_strip_widget : public QWidget {
public:
    explicit timeline_strip_widget(window_state_type& state, QWidget* parent = nullptr);
    // The generation under a pixel of the strip's bar, which leaves room on its right for the text.
    std::uint32_t generation_at(int x) const;
    int bar_width() const;
    QString text() const;   // "Generation 12 of 40", or a replay's target and progress

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
    void refresh();                        // the tree and the memory line anew
    QTreeWidget* tree() const { return tree_; }
    std::size_t chosen() const;            // the branch of the chosen row, or the shown one
    void delete_chosen();                  // after a question
    void rename_chosen();

private:
    window_state_type& state_;
    QTreeWidget* tree_;                    // a row per branch, under the branch it left
    QLabel* memory_;                       // runs_memory_text
    QSpinBox* budget_;                     // the keyframe budget, MB
};

void runs_window_show(window_state_type& state);
