// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window.h"

#include "accessible_texts.h"
#include "catalogue/program_hints.h"
#include "fonts.h"
#include "key_accessible.h"
#include "key_shape.h"
#include "keyboard_layout.h"
#include "midi/midi_vocabulary.h"
#include "preview_button.h"
#include "window_layout.h"

#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <algorithm>

namespace tonalyx::ui {

namespace {
QRect toRect(const layout::Rect& r)
{
    return { r.left, r.top, r.width, r.height };
}

template <typename Widget> Widget* place(QWidget* parent, const layout::Control& control)
{
    auto* widget = new Widget(parent);
    widget->setObjectName(QString::fromLatin1(control.name));
    widget->setGeometry(toRect(control.rect));
    return widget;
}

QColor colourOf(layout::Colour colour)
{
    switch (colour) {
    case layout::Colour::Yellow:
        return QColor(255, 255, 0);
    case layout::Colour::Blue:
        return QColor(0, 0, 255);
    case layout::Colour::Grey:
        return QColor(128, 128, 128);
    }
    return {};
}

// Labels size themselves to their captions. They only ever grow: the layout's widths were
// measured with another face, and a caption cut short would be worse than a wider box.
QLabel* placeLabel(QWidget* parent, const layout::Control& control, const QFont& font)
{
    auto* label = place<QLabel>(parent, control);
    label->setText(QString::fromUtf8(control.caption));
    label->setFont(font);
    label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
    return label;
}
} // namespace

MainWindow::MainWindow()
    : canvas_(new QWidget(this))
    , pageControl_(nullptr)
    , frame_(new OuterFrame(*this))
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Tonalyx"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/tonalyx-16.xpm"));
    icon.addFile(QStringLiteral(":/icons/tonalyx-32.xpm"));
    setWindowIcon(icon);
    // A caption bar with the system menu, minimise and close, and no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(windowFont(layout::kWindowFontPixels));
    setFrameShape(QFrame::NoFrame);
    setBackgroundRole(QPalette::Window);
    // A scroll area takes focus itself by default, which would put the window into the tab chain
    // between the last field and the tab control. Only the controls take focus.
    setFocusPolicy(Qt::NoFocus);

    canvas_->setObjectName(QStringLiteral("canvas"));
    canvas_->setFixedSize(layout::kContentWidth, layout::kContentHeight);
    // The controls stay at the top left whatever the window's size; a larger window shows
    // empty background to the right and below, a smaller one scroll bars.
    setWidget(canvas_);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // The keyboard and the titles come first, as the window's first children.
    buildKeyboard();
    const QFont titleFont = windowFont(layout::kTitleLabelFontPixels);
    std::array<QLabel*, layout::kReadoutTitles.size()> titles {};
    for (std::size_t i = 0; i < titles.size(); ++i)
        titles[i] = placeLabel(canvas_, layout::kReadoutTitles[i], titleFont);

    buildTabs();
    buildCommandsAndReadouts();
    // A screen reader names each readout by the caption beside it.
    static_assert(layout::kReadoutTitles.size() == layout::kReadouts.size());
    for (std::size_t i = 0; i < titles.size(); ++i)
        titles[i]->setBuddy(readouts_[i]);
    chainTabOrder();
    setOuterGeometry(toRect(layout::kLaidOutWindow));
}

void MainWindow::buildKeyboard()
{
    makeKeysPressableByAssistiveTools();
    for (std::size_t i = 0; i < layout::kKeys.size(); ++i) {
        const auto& key = layout::kKeys[i];
        const bool black = key.colour == layout::KeyColour::Black;
        auto* shape = new KeyShape(black ? Qt::black : Qt::white, canvas_);
        shape->setObjectName(QStringLiteral("Shape%1").arg(key.shape));
        shape->setGeometry(key.left, layout::kKeyTop,
            black ? layout::kBlackKeyWidth : layout::kWhiteKeyWidth,
            black ? layout::kBlackKeyHeight : layout::kWhiteKeyHeight);
        shape->setAccessibleName(accessible::noteName(midi::kMiddleC + key.offset));
        shape->setAccessibleDescription(QString::fromUtf8(accessible::kKeyDescription));
        keys_[i] = { shape, key.offset };
    }
}

void MainWindow::buildTabs()
{
    pageControl_ = place<QTabWidget>(canvas_, layout::kPageControl);
    static_assert(layout::kTabSheets.size() == std::tuple_size_v<decltype(tabSheets_)>);
    for (std::size_t i = 0; i < layout::kTabSheets.size(); ++i) {
        const auto& sheet = layout::kTabSheets[i];
        auto* page = new QWidget;
        page->setObjectName(QString::fromLatin1(sheet.name));
        pageControl_->addTab(page, QString::fromUtf8(sheet.caption));
        tabSheets_[i] = page;
    }

    programButtons_ = placeButtonGrid(tabSheets_[0], 1, 1);
    for (std::size_t i = 0; i < programButtons_.size(); ++i) {
        auto* button = programButtons_[i];
        button->setToolTip(QString::fromUtf8(catalogue::kProgramHints[i]));
        button->setAccessibleName(accessible::programButtonName(static_cast<int>(i)));
        button->setAccessibleDescription(QString::fromUtf8(accessible::kProgramButtonDescription));
    }
    bankButtons_ = placeButtonGrid(tabSheets_[1], 129, 0);
    for (std::size_t i = 0; i < bankButtons_.size(); ++i) {
        auto* button = bankButtons_[i];
        button->setAccessibleName(accessible::bankButtonName(static_cast<int>(i)));
        button->setAccessibleDescription(QString::fromUtf8(accessible::kBankButtonDescription));
    }

    // The version page's own font is bold; each of its labels sets its size and colour.
    auto* versionPage = tabSheets_[2];
    versionPage->setFont(windowFont(layout::kVersionPageFontPixels, true));
    for (const auto& versionLabel : layout::kVersionLabels) {
        auto* label = placeLabel(
            versionPage, versionLabel.control, windowFont(versionLabel.fontPixels, true));
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colourOf(versionLabel.colour));
        label->setPalette(palette);
    }
    toneFinder_ = placeToneFinder(tabSheets_[3]);
    drumPage_ = placeDrumPage(tabSheets_[4]);
    pageControl_->setCurrentIndex(0);
}

void MainWindow::buildCommandsAndReadouts()
{
    static_assert(accessible::kCommandButtons.size() == layout::kCommandButtons.size());
    static_assert(accessible::kReadoutDescriptions.size() == layout::kReadouts.size());
    for (std::size_t i = 0; i < layout::kCommandButtons.size(); ++i) {
        const auto& control = layout::kCommandButtons[i];
        auto* button = place<QPushButton>(canvas_, control);
        button->setText(QString::fromUtf8(control.caption));
        button->setAutoDefault(false);
        button->setAccessibleName(QString::fromUtf8(accessible::kCommandButtons[i].name));
        button->setAccessibleDescription(
            QString::fromUtf8(accessible::kCommandButtons[i].description));
        commandButtons_[i] = button;
    }
    for (std::size_t i = 0; i < layout::kReadouts.size(); ++i) {
        auto* field = place<QLineEdit>(canvas_, layout::kReadouts[i]);
        field->setReadOnly(true);
        field->setAccessibleDescription(QString::fromUtf8(accessible::kReadoutDescriptions[i]));
        readouts_[i] = field;
    }
}

void MainWindow::chainTabOrder()
{
    // After the tab control and everything on its pages. Linked from the tab control itself, Qt
    // would put the next control right after the last page control that takes focus, ahead of
    // that control's own parts (the finder list's viewport stands in for the list), and Shift+Tab
    // would then come back to the list from the second command button.
    QWidget* previous = pageControl_;
    while (pageControl_->isAncestorOf(previous->nextInFocusChain()))
        previous = previous->nextInFocusChain();
    for (auto* button : commandButtons_) {
        setTabOrder(previous, button);
        previous = button;
    }
    for (auto* field : readouts_) {
        setTabOrder(previous, field);
        previous = field;
    }
}

bool MainWindow::drumPageShown() const
{
    return pageControl_->currentWidget() == tabSheets_[4];
}

void MainWindow::setOuterGeometry(const QRect& outer)
{
    frame_->place(outer);
    emit outerGeometryChanged();
}

QRect MainWindow::outerGeometry() const
{
    return frame_->rect();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QScrollArea::showEvent(event);
    if (!focusedOnce_) {
        focusedOnce_ = true;
        pageControl_->setFocus(Qt::OtherFocusReason);
    }
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QScrollArea::moveEvent(event);
    emit outerGeometryChanged();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    emit outerGeometryChanged();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (closeHandler_ && !closeHandler_())
        event->ignore();
    else
        event->accept();
}

} // namespace tonalyx::ui
