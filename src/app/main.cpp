// SPDX-License-Identifier: GPL-3.0-or-later
#include "application.h"
#include "midi/builtin/sound_font_folder.h"
#include "midi/system_devices.h"
#include "shell/command_line.h"
#include "shell/display_check.h"
#include "shell/exit_hook.h"
#include "shell/key_repeat.h"
#include "shell/qt_platform.h"
#include "shell/termination_signals.h"
#include "shell/user_sound_fonts.h"
#include "shell/version.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

// Once, as the program ends, rather than once per message: what a flood from an input made it
// leave out, never a message that ends a sound.
void tellWhatWasLeftOut(
    const tonalyx::midi::DeviceList& devices, const tonalyx::app::Application& app)
{
    if (const auto count = devices.leftOut() + app.inputLeftOut(); count > 0)
        std::fprintf(stderr,
            "tonalyx: %llu MIDI messages left out, more than the device could take: values that "
            "later ones replaced, and Note Ons with their own Note Offs\n",
            static_cast<unsigned long long>(count));
}

} // namespace

int main(int argc, char* argv[])
{
    // What is written to a standard error that no one reads any more must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    if (const auto status = tonalyx::shell::answerInformationOptions(argc, argv))
        return *status;
    if (!tonalyx::shell::prepareWindowSystem())
        return EXIT_FAILURE;
    // From here on a signal ends the program the way a close of the window does, whenever it
    // comes: it is noted at once and acted on at the next moment the program can act.
    tonalyx::shell::TerminationSignals endOnSignal;

    // The saved device starts opening (a synth loading its SoundFonts, a JACK connection being
    // made) while the window system starts and the window is built.
    tonalyx::shell::QtPlatform platform;
    tonalyx::midi::SystemDevicesConfig devicesConfig;
    devicesConfig.builtInSynth.extraSoundFonts
        = tonalyx::midi::soundFontsIn(tonalyx::shell::userSoundFontFolder());
    const auto devices = tonalyx::midi::makeSystemDeviceList(std::move(devicesConfig));
    auto settings = tonalyx::app::loadSettings(platform);
    devices->openAhead(tonalyx::app::deviceToOpen(settings.values(), devices->count()));

    QApplication application(argc, argv);
    tonalyx::shell::windowSystemStarted();
    tonalyx::shell::requestDetectableKeyRepeat();
    QApplication::setApplicationName(QStringLiteral("tonalyx"));
    QApplication::setApplicationVersion(QString::fromLatin1(tonalyx::kProductVersion));

    tonalyx::app::Application app(*devices, platform);
    // A box of start-up or of a switch runs an event loop of its own: the shut-down may run
    // inside it, and the loops end once control is back in them. The main loop, which would start
    // afresh, is then not entered at all.
    endOnSignal.callOnSignal([&app] {
        app.shutDownForSignal();
        QCoreApplication::exit(EXIT_SUCCESS);
    });
    // The toolkit's X11 plugin ends the program with exit(1) when the display goes away.
    const tonalyx::shell::ExitHook saveOnLostDisplay([&app] { app.saveAtExit(); });
    endOnSignal.callIfRaised();
    app.start(std::move(settings));
    endOnSignal.callIfRaised();
    if (app.hasEnded()) {
        tellWhatWasLeftOut(*devices, app);
        return EXIT_SUCCESS;
    }
    app.window().show();
    const int status = QApplication::exec();
    tellWhatWasLeftOut(*devices, app);
    return status;
}
