#include "qt_platform.h"

#include "centred_message_box.h"

#include <QCoreApplication>
#include <QThread>

namespace tonalyx::app {

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

std::filesystem::path QtPlatform::executablePath() const
{
    return QCoreApplication::applicationFilePath().toStdString();
}

} // namespace tonalyx::app
