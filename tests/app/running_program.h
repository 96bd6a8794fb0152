#pragma once

#include "app/program.h"
#include "recording_midi_out_service.h"
#include "recording_platform.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <memory>

namespace tonalyx::testing {

// The whole program after start-up on one recorded device, its window shown, its settings file
// in a folder of its own, and the start-up's calls already cleared from the log.
struct RunningProgram {
    explicit RunningProgram(std::vector<std::string> devices = { "Synth" })
        : service(std::move(devices))
        , platform(std::filesystem::path(folder.path().toStdString()) / "tonalyx",
              [this] { return service.calls().size(); })
        , program(std::make_unique<app::Program>(service, platform))
    {
        program->start();
        window().show();
        window().activateWindow();
        ready = QTest::qWaitForWindowActive(&window());
        service.clearCalls();
    }

    ui::TForm1& window() { return program->window(); }

    // Every short message sent since the last clear, as wire bytes.
    std::vector<std::vector<std::uint8_t>> sentMessages() const
    {
        std::vector<std::vector<std::uint8_t>> messages;
        for (const auto& call : service.calls()) {
            if (call.kind == RecordingMidiOutService::CallKind::Short)
                messages.push_back(call.bytes);
        }
        return messages;
    }

    QStringList readouts()
    {
        return { window().programReadout().text(), window().bankReadout().text(),
            window().toneReadout().text() };
    }

    QTemporaryDir folder;
    RecordingMidiOutService service;
    RecordingPlatform platform;
    std::unique_ptr<app::Program> program;
    bool ready = false;
};

} // namespace tonalyx::testing
