// SPDX-License-Identifier: GPL-3.0-or-later
#include "display_check.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

namespace tonalyx::shell {

namespace {
void printNoDisplay(const QString& detail)
{
    std::fprintf(stderr, "tonalyx: cannot open a window: %s\n", qPrintable(detail));
}

void reportFatalAndExit(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        // What the toolkit says while it looks for a display is summed up below if it fails.
        if (context.category && QByteArray(context.category).startsWith("qt.qpa"))
            return;
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
        return;
    }
    const QByteArray display = qgetenv("DISPLAY");
    printNoDisplay(display.isEmpty() ? QStringLiteral("the window system could not be started")
                                     : QStringLiteral("the display %1 cannot be reached")
                                           .arg(QString::fromLocal8Bit(display)));
    std::_Exit(EXIT_FAILURE);
}
} // namespace

bool prepareWindowSystem()
{
    const bool platformChosen = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    if (!platformChosen && !wayland && !x11) {
        printNoDisplay(QStringLiteral("no display (neither DISPLAY nor WAYLAND_DISPLAY is set)"));
        return false;
    }
    if (!platformChosen && wayland && x11)
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("xcb"));
    qInstallMessageHandler(reportFatalAndExit);
    return true;
}

void windowSystemStarted()
{
    qInstallMessageHandler(nullptr);
}

} // namespace tonalyx::shell
