// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_platform.h"

#include "centred_message_box.h"
#include "midi/terminal_text.h"
#include "settings/settings_location.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace tonalyx::shell {

namespace {
void showBox(QMessageBox::Icon icon, const QString& text, const QString& title)
{
    // Centred on the screen, not over the main window: the boxes of start-up appear before the
    // main window is shown.
    CentredMessageBox box(icon, title, text);
    box.exec();
}
} // namespace

void QtPlatform::showMessage(const QString& text)
{
    showBox(QMessageBox::NoIcon, text, applicationTitle(executablePath()));
}

void QtPlatform::showError(const QString& text)
{
    showBox(QMessageBox::Critical, text, applicationTitle(executablePath()));
}

void QtPlatform::sleep(std::chrono::milliseconds duration)
{
    QThread::msleep(static_cast<unsigned long>(duration.count()));
}

void QtPlatform::after(std::chrono::milliseconds delay, std::function<void()> then)
{
    QTimer::singleShot(delay, std::move(then));
}

void QtPlatform::printNotice(const QString& line)
{
    // A notice names a file, and a file's name may hold anything but a slash and a zero byte.
    std::fprintf(
        stderr, "%s\n", midi::escapedForTerminal(line.toLocal8Bit().toStdString()).c_str());
}

std::filesystem::path QtPlatform::executablePath() const
{
    // The kernel's link holds the path as bytes; a QString would lose every byte of a name that
    // is not valid in the locale's encoding.
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        path = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    return path;
}

std::filesystem::path QtPlatform::configurationHome() const
{
    return settings::configurationHomeFrom(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

} // namespace tonalyx::shell
