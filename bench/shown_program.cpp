// SPDX-License-Identifier: GPL-3.0-or-later
// Mouse events enter at the window and go to the widget under the pointer, exactly as the window
// system's events do; without this QTest would hand them to the widget directly.
#define QTEST_QPA_MOUSE_HANDLING

#include "shown_program.h"

#include "heap_counter.h"

#include <QApplication>
#include <QFile>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace tonalyx::bench {

QuietPlatform::QuietPlatform(std::filesystem::path executable)
    : executable_(std::move(executable))
{ }

void QuietPlatform::showMessage(const QString& text)
{
    std::fprintf(stderr, "message box: %s\n", qPrintable(text));
}

void QuietPlatform::printNotice(const QString& line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
}

void QuietPlatform::showError(const QString& text)
{
    std::fprintf(stderr, "error box: %s\n", qPrintable(text));
}

ShownProgram::ShownProgram(midi::DeviceList& devices, const std::string& settings)
{
    const auto executable = std::filesystem::path(folder_.path().toStdString()) / "tonalyx";
    if (!settings.empty()) {
        QFile file(folder_.filePath(QStringLiteral("tonalyx.ini")));
        if (file.open(QIODevice::WriteOnly))
            file.write(settings.data(), static_cast<qint64>(settings.size()));
    }
    platform_ = std::make_unique<QuietPlatform>(executable);
    application_ = std::make_unique<app::Application>(devices, *platform_);
    application_->start(app::loadSettings(*platform_));
    auto& window = application_->window();
    window.show();
    window.activateWindow();
    ready_ = QTest::qWaitForWindowActive(&window);
}

ShownProgram::~ShownProgram()
{
    // Closing runs the shut-down, as a user's close would; the settings go to the folder.
    application_->window().close();
}

QWidget* ShownProgram::control(const QString& name)
{
    auto& window = application_->window();
    auto* found = window.findChild<QWidget*>(name);
    if (found == nullptr)
        return nullptr;
    auto& pages = window.pageControl();
    for (int page = 0; page < pages.count(); ++page) {
        if (pages.widget(page)->isAncestorOf(found))
            pages.setCurrentIndex(page);
    }
    QApplication::processEvents();
    return found;
}

void press(QWidget* control, Gesture gesture)
{
    if (gesture == Gesture::Mouse)
        QTest::mousePress(control, Qt::LeftButton);
    else
        QTest::keyPress(control->window()->windowHandle(), Qt::Key_A);
}

void release(QWidget* control, Gesture gesture)
{
    if (gesture == Gesture::Mouse)
        QTest::mouseRelease(control, Qt::LeftButton);
    else
        QTest::keyRelease(control->window()->windowHandle(), Qt::Key_A);
}

void hover(QWidget* control)
{
    QTest::mouseMove(control);
}

void focus(QWidget* control)
{
    control->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
}

ArrivalMark::ArrivalMark(QWidget* control)
    : control_(control)
{
    control_->installEventFilter(this);
}

ArrivalMark::~ArrivalMark()
{
    control_->removeEventFilter(this);
}

bool ArrivalMark::eventFilter(QObject*, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        allocations_ = allocationsOfThisThread();
        time_ = Clock::now();
        break;
    default:
        break;
    }
    return false;
}

void Samples::add(Clock::duration duration)
{
    values_.push_back(std::chrono::duration<double, std::micro>(duration).count());
    sorted_ = false;
}

void Samples::addValue(double value)
{
    values_.push_back(value);
    sorted_ = false;
}

double Samples::percentile(double fraction)
{
    if (values_.empty())
        return 0;
    if (!sorted_) {
        std::sort(values_.begin(), values_.end());
        sorted_ = true;
    }
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * double(values_.size())));
    return values_[std::clamp<std::size_t>(rank, 1, values_.size()) - 1];
}

double Samples::max()
{
    return percentile(1.0);
}

double Samples::mean() const
{
    if (values_.empty())
        return 0;
    return std::accumulate(values_.begin(), values_.end(), 0.0) / double(values_.size());
}

double Samples::standardDeviation() const
{
    if (values_.size() < 2)
        return 0;
    const double average = mean();
    double sum = 0;
    for (const double value : values_)
        sum += (value - average) * (value - average);
    return std::sqrt(sum / double(values_.size() - 1));
}

} // namespace tonalyx::bench
