#include "application.h"
#include "display_check.h"
#include "key_repeat.h"
#include "midi/system_devices.h"
#include "qt_platform.h"
#include "termination_signals.h"
#include "version.h"

#include <QApplication>
#include <cstdlib>

int main(int argc, char* argv[])
{
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
    // Until here a signal ends the program at once, as there is nothing yet to keep; from here
    // on it ends it the way a close of the window does.
    const tonalyx::app::TerminationSignals endOnSignal([&app] {
        app.shutDownForSignal();
        QCoreApplication::exit(EXIT_SUCCESS);
    });
    return QApplication::exec();
}
