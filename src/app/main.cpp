#include "application.h"
#include "command_line.h"
#include "display_check.h"
#include "key_repeat.h"
#include "midi/system_devices.h"
#include "qt_platform.h"
#include "version.h"

#include <QApplication>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (const auto status = tonalyx::app::answerInformationOptions(argc, argv))
        return *status;
    if (!tonalyx::app::prepareWindowSystem())
        return EXIT_FAILURE;
    QApplication application(argc, argv);
    tonalyx::app::windowSystemStarted();
    tonalyx::app::requestDetectableKeyRepeat();
    QApplication::setApplicationName(QStringLiteral("tonalyx"));
    QApplication::setApplicationVersion(QString::fromLatin1(tonalyx::kProductVersion));

    tonalyx::app::QtPlatform platform;
    const auto devices = tonalyx::midi::makeSystemDeviceList();
    tonalyx::app::Application app(*devices, platform);
    app.start();
    app.window().show();
    return QApplication::exec();
}
