// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "button_grid.h"
#include "drum_page.h"
#include "outer_frame.h"
#include "tone_finder.h"

#include <QRect>
#include <QScrollArea>
#include <array>
#include <functional>

class QLineEdit;
class QPushButton;
class QTabWidget;

namespace tonalyx::ui {

class KeyShape;
class ToneListView;

// The main window: a fixed pixel layout on a canvas that scrolls when the window is smaller than
// its controls. It holds no program logic; the owner reacts to its buttons and its close.
class MainWindow : public QScrollArea {
    Q_OBJECT

public:
    MainWindow();

    // Decides whether a close request may end the window; without one every close is accepted.
    void setCloseHandler(std::function<bool()> handler) { closeHandler_ = std::move(handler); }

    // The window's outer rectangle on the screen, frame included; see OuterFrame.
    void setOuterGeometry(const QRect& outer);
    QRect outerGeometry() const;

    QWidget& canvas() { return *canvas_; }
    QTabWidget& pageControl() { return *pageControl_; }
    QWidget& tabSheet(int index) { return *tabSheets_.at(index); }
    QPushButton& deviceSwitchButton() { return *commandButtons_[0]; }
    QPushButton& octaveDownButton() { return *commandButtons_[1]; }
    QPushButton& octaveNoneButton() { return *commandButtons_[2]; }
    QPushButton& octaveUpButton() { return *commandButtons_[3]; }
    QPushButton& gsResetButton() { return *commandButtons_[4]; }
    // Program buttons 1 to 128 on the first page, in program order.
    const ButtonGrid& programButtons() const { return programButtons_; }
    // Bank buttons 0 to 127 on the second page, in bank order.
    const ButtonGrid& bankButtons() const { return bankButtons_; }
    // The search field and the list of matching tones on the fourth page.
    QLineEdit& toneSearchField() { return *toneFinder_.searchField; }
    ToneListView& toneList() { return *toneFinder_.list; }
    // The keyboard's keys in the order they were created, each with its offset from middle C.
    struct Key {
        KeyShape* shape;
        int offset;
    };
    const std::array<Key, 56>& keys() const { return keys_; }
    // The drum set page, the fifth.
    const DrumPage& drumPage() const { return drumPage_; }
    bool drumPageShown() const;
    QLineEdit& programReadout() { return *readouts_[0]; }
    QLineEdit& bankReadout() { return *readouts_[1]; }
    QLineEdit& deviceReadout() { return *readouts_[2]; }
    QLineEdit& toneReadout() { return *readouts_[3]; }

signals:
    // The outer rectangle may have changed: the window was placed, moved or resized.
    void outerGeometryChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildKeyboard();
    void buildTabs();
    void buildCommandsAndReadouts();
    void chainTabOrder();

    // Child widgets are owned by their Qt parents, which all end at this window.
    QWidget* canvas_;
    QTabWidget* pageControl_;
    std::array<QWidget*, 5> tabSheets_ {};
    ButtonGrid programButtons_ {};
    ButtonGrid bankButtons_ {};
    ToneFinder toneFinder_ {};
    DrumPage drumPage_ {};
    std::array<Key, 56> keys_ {};
    std::array<QPushButton*, 5> commandButtons_ {};
    std::array<QLineEdit*, 4> readouts_ {};

    OuterFrame* frame_;
    std::function<bool()> closeHandler_;
    bool focusedOnce_ = false;
};

} // namespace tonalyx::ui
