// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/application.h"
#include "application_peer.h"
#include "recording_backend.h"
#include "recording_platform.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <memory>

namespace tonalyx::testing {

// The whole program on recorded devices, its settings file in a folder of its own. Started, it
// has its window shown and the start-up's calls cleared from the log.
struct RunningProgram {
    struct NotStarted { };

    explicit RunningProgram(std::vector<std::string> names = { "Synth" })
        : RunningProgram(std::move(names), NotStarted {})
    {
        app->start(app::loadSettings(platform));
        platform.letTimePass();
        window().show();
        window().activateWindow();
        ready = QTest::qWaitForWindowActive(&window());
        recorder().clearCalls();
    }
    RunningProgram(std::vector<std::string> names, NotStarted)
        : devices(std::move(names))
        , platform(std::filesystem::path(folder.path().toStdString()) / "tonalyx",
              [this] { return recorder().calls().size(); })
        , app(std::make_unique<app::Application>(devices.list(), platform))
    { }

    ui::MainWindow& window() { return app->window(); }
    RecordingBackend& recorder() { return devices.recorder(); }
    std::filesystem::path settingsPath() const
    {
        return platform.executablePath().string() + ".ini";
    }
    app::CurrentDevice& currentDevice() { return ApplicationPeer::currentDevice(*app); }
    selection::SelectionState selection() { return ApplicationPeer::selection(*app); }

    // Every message sent since the last clear, as wire bytes.
    std::vector<Bytes> sentMessages() const { return devices.recorder().sentMessages(); }

    QStringList readouts()
    {
        return { window().programReadout().text(), window().bankReadout().text(),
            window().toneReadout().text() };
    }

    QTemporaryDir folder;
    RecordedDevices devices;
    RecordingPlatform platform;
    std::unique_ptr<app::Application> app;
    bool ready = false;
};

} // namespace tonalyx::testing
