// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QString>
#include <array>

class QWidget;

namespace tonalyx::ui {

class PreviewButton;

// The program and bank pages each hold 128 square buttons in 16 columns of 8, filled column by
// column from the top left, so the Tab key walks them in number order.
inline constexpr int kGridButtons = 128;
using ButtonGrid = std::array<PreviewButton*, kGridButtons>;

QRect gridCell(int index);

// A number in full-width digits, as the button captions show it: 12 -> "１２".
QString fullWidthNumber(int number);

// Creates the buttons on `page` in index order, named `firstNumber` + index ("Button1" …),
// captioned with `firstCaption` + index in full-width digits.
ButtonGrid placeButtonGrid(QWidget* page, int firstNumber, int firstCaption);

} // namespace tonalyx::ui
