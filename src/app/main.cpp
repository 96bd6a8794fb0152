// SPDX-License-Identifier: GPL-3.0-or-later
#include "application.h"
#include "command_line.h"
#include "display_check.h"
#include "key_repeat.h"
#include "midi/builtin/sound_font_folder.h"
#include "midi/system_devices.h"
#include "qt_platform.h"
#include "termination_signals.h"
#include "user_sound_fonts.h"
#include "version.h"

#include <QApplication>
#include <csignal>
#include <cstdlib>

int main(int argc, char* argv[])
{
    // What is written to a standard error that no one reads any more must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    if (const auto status = tonalyx::app::answerInformationOptions(argc, argv))
        return *status;
    if (!tonalyx::app::prepareWindowSystem())
        return EXIT_FAILURE;

    // The saved device starts opening (a synth loading its SoundFonts, a JACK connection being
    // made) while the window system starts and the window is built.
    tonalyx::app::QtPlatform platform;
    tonalyx::midi::SystemDevicesConfig devicesConfig;
    devicesConfig.builtInSynth.extraSoundFonts
        = tonalyx::midi::soundFontsIn(tonalyx::app::userSoundFontFolder());
    const auto devices = tonalyx::midi::makeSystemDeviceList(std::move(devicesConfig));
    devices->openAhead(tonalyx::app::savedDevice(platform, devices->count()));

    QApplication application(argc, argv);
    tonalyx::app::windowSystemStarted();
    tonalyx::app::requestDetectableKeyRepeat();
    QApplication::setApplicationName(QStringLiteral("tonalyx"));
    QApplication::setApplicationVersion(QString::fromLatin1(tonalyx::kProductVersion));

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
