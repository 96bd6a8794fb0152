// SPDX-License-Identifier: GPL-3.0-or-later
#include "button_grid.h"

#include "preview_button.h"

namespace tonalyx::ui {

namespace {
constexpr int kRows = 8;
constexpr int kOrigin = 8;
constexpr int kPitch = 40;
constexpr int kSide = 33;
} // namespace

QRect gridCell(int index)
{
    const int column = index / kRows;
    const int row = index % kRows;
    return { kOrigin + kPitch * column, kOrigin + kPitch * row, kSide, kSide };
}

QString fullWidthNumber(int number)
{
    QString text = QString::number(number);
    for (QChar& c : text) {
        if (c.isDigit())
            c = QChar(u'０' + (c.unicode() - u'0'));
        else if (c == u'-')
            c = QChar(u'－');
    }
    return text;
}

ButtonGrid placeButtonGrid(QWidget* page, int firstNumber, int firstCaption)
{
    ButtonGrid grid {};
    for (int i = 0; i < kGridButtons; ++i) {
        auto* button = new PreviewButton(page);
        button->setObjectName(QStringLiteral("Button%1").arg(firstNumber + i));
        button->setText(fullWidthNumber(firstCaption + i));
        button->setGeometry(gridCell(i));
        grid[static_cast<std::size_t>(i)] = button;
    }
    return grid;
}

} // namespace tonalyx::ui
