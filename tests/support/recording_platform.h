// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/platform.h"

#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

namespace tonalyx::testing {

// Platform services that never block: boxes, notices and pauses are recorded, pauses with how
// many MIDI calls had been made when they happened, so tests can check their place in a sequence.
// A pause that does not block (after) is recorded the same way, and what waits for it runs when
// the test says the time has passed.
class RecordingPlatform final : public shell::Platform {
public:
    struct Box {
        enum Kind { Message, Error } kind;
        QString text;
        friend bool operator==(const Box&, const Box&) = default;
    };
    struct Pause {
        std::chrono::milliseconds duration;
        std::size_t afterMidiCalls;
        friend bool operator==(const Pause&, const Pause&) = default;
    };

    // The configuration folder is a hidden one beside the executable unless a test moves it.
    RecordingPlatform(std::filesystem::path executable, std::function<std::size_t()> midiCallCount)
        : configurationFolder(executable.parent_path() / ".config")
        , executable_(std::move(executable))
        , midiCallCount_(std::move(midiCallCount))
    { }

    void showMessage(const QString& text) override { show({ Box::Message, text }); }
    void showError(const QString& text) override { show({ Box::Error, text }); }
    void printNotice(const QString& line) override { notices.push_back(line); }
    void sleep(std::chrono::milliseconds duration) override
    {
        pauses.push_back({ duration, midiCallCount_() });
    }
    void after(std::chrono::milliseconds delay, std::function<void()> then) override
    {
        pauses.push_back({ delay, midiCallCount_() });
        waiting_.push_back(std::move(then));
    }
    // Lets the time of every pause begun with after() pass.
    void letTimePass()
    {
        for (auto waiting = std::exchange(waiting_, {}); auto& then : waiting)
            then();
    }
    std::filesystem::path executablePath() const override { return executable_; }
    std::filesystem::path configurationHome() const override { return configurationFolder; }

    std::filesystem::path configurationFolder;
    std::vector<Box> boxes;
    // What happens while a box is up, as a real box's own event loop would run it.
    std::function<void()> whileBoxIsUp;
    QStringList notices;
    std::vector<Pause> pauses;

private:
    void show(Box box)
    {
        boxes.push_back(std::move(box));
        if (whileBoxIsUp)
            whileBoxIsUp();
    }

    std::filesystem::path executable_;
    std::function<std::size_t()> midiCallCount_;
    std::vector<std::function<void()>> waiting_;
};

} // namespace tonalyx::testing
