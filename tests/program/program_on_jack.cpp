// SPDX-License-Identifier: GPL-3.0-or-later
// The program as main() puts it together, on a JACK port given by its full name, for the tests
// that watch it from outside: it prints "ready" once its window is shown and the port open, and
// closes its window and ends as main() does when it reads "close" on its standard input.
//   program_on_jack CLIENT:PORT
#include "app/application.h"
#include "midi/system_devices.h"
#include "recording_platform.h"

#include <QApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <cstdio>
#include <unistd.h>

using namespace tonalyx;

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: program_on_jack CLIENT:PORT\n");
        return 2;
    }
    QApplication application(argc, argv);
    QTemporaryDir folder;
    testing::RecordingPlatform platform(
        std::filesystem::path(folder.path().toStdString()) / "tonalyx", [] { return 0; });
    midi::SystemDevicesConfig config;
    config.clientName = "tonalyx-program-on-jack";
    config.builtInSynth.audioDrivers.clear();
    const auto devices = midi::makeSystemDeviceList(config);
    std::int32_t device = 0;
    while (device < devices->count() && devices->name(device) != argv[1])
        ++device;
    QFile settings(folder.filePath("tonalyx.ini"));
    if (device == devices->count() || !settings.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "program_on_jack: no JACK port %s\n", argv[1]);
        return 1;
    }
    settings.write("[dev]\r\ndev_num=" + QByteArray::number(device) + "\r\n");
    settings.close();

    app::Application app(*devices, platform);
    app.start(app::loadSettings(platform));
    platform.letTimePass();
    app.window().show();
    if (!platform.boxes.empty()) {
        std::fprintf(stderr, "program_on_jack: %s\n", qPrintable(platform.boxes.front().text));
        return 1;
    }
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[64] = {};
        if (::read(STDIN_FILENO, line, sizeof line - 1) <= 0
            || std::string_view(line).starts_with("close"))
            app.window().close();
    });
    std::puts("ready");
    std::fflush(stdout);
    return QApplication::exec();
}
