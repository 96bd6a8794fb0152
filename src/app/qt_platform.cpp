#include "qt_platform.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

namespace tonalyx::app {

namespace {
void showBox(QMessageBox::Icon icon, const QString& text, const QString& title)
{
    // Without a parent the box is centred on the screen, which is where it belongs: the
    // boxes of start-up appear before the main window is shown.
    QMessageBox box(icon, title, text, QMessageBox::Ok);
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
