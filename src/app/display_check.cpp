#include "display_check.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

namespace tonalyx::app {

namespace {
void reportFatalAndExit(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
        return;
    }
    std::fprintf(stderr,
        "tonalyx: cannot open a window: no usable display (%s). Start it from a "
        "desktop session, or with DISPLAY set to a running X server.\n",
        qPrintable(message.section(QLatin1Char('\n'), 0, 0)));
    std::_Exit(EXIT_FAILURE);
}
} // namespace

void prepareWindowSystem()
{
    const bool platformChosen = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    if (!platformChosen && wayland && x11)
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("xcb"));
    qInstallMessageHandler(reportFatalAndExit);
}

} // namespace tonalyx::app
