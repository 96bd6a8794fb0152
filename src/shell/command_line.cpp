// SPDX-License-Identifier: GPL-3.0-or-later
#include "command_line.h"

#include "shell/version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

namespace tonalyx::shell {

std::optional<int> answerInformationOptions(int& argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    // The toolkit's own options are single-dash words (-platform, -reverse, -style): read as
    // bundles of letters they could spell -h or -v.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Audition the sounds of a General MIDI / GS synthesiser."));
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") },
        QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({ QStringLiteral("v"), QStringLiteral("version") },
        QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    // An unknown argument is no error here; the parser still sees the options it knows.
    parser.parse(arguments);
    if (!parser.isSet(help) && !parser.isSet(version))
        return std::nullopt;

    // The help text names the program as it was started, which it learns from an application
    // object; one without a window system is enough.
    const QCoreApplication core(argc, argv);
    const QString text = parser.isSet(help)
        ? parser.helpText()
        : QStringLiteral("tonalyx %1\n").arg(QString::fromLatin1(kProductVersion));
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return std::fflush(stdout) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}

} // namespace tonalyx::shell
