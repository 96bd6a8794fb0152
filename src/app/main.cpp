#include "display_check.h"
#include "midi/system_midi_out_service.h"
#include "program.h"
#include "qt_platform.h"
#include "version.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    tonalyx::app::prepareWindowSystem();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tonalyx"));
    QApplication::setApplicationVersion(QString::fromLatin1(tonalyx::kProductVersion));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/tonalyx-16.xpm"));
    icon.addFile(QStringLiteral(":/icons/tonalyx-32.xpm"));
    QApplication::setWindowIcon(icon);

    tonalyx::app::QtPlatform platform;
    const auto service = tonalyx::midi::makeSystemMidiOutService();
    tonalyx::app::Program program(*service, platform);
    program.start();
    program.window().show();
    return QApplication::exec();
}
