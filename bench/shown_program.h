// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/application.h"
#include "shell/platform.h"

#include <QObject>
#include <QTemporaryDir>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QWidget;

// What the in-process benchmarks share: the whole program on MIDI devices of the benchmark's
// choosing, its window shown and active as a user has it, and real input delivered to it
// through the window system's entry point, as a mouse or a keyboard would.
namespace tonalyx::bench {

using Clock = std::chrono::steady_clock;

// Platform services for a benchmark: boxes are printed rather than shown, since nobody is there
// to close them, and the start-up pause is left out (start-up is timed from outside instead).
class QuietPlatform final : public shell::Platform {
public:
    explicit QuietPlatform(std::filesystem::path executable);
    void showMessage(const QString& text) override;
    void showError(const QString& text) override;
    void printNotice(const QString& line) override;
    void sleep(std::chrono::milliseconds) override { }
    void after(std::chrono::milliseconds, std::function<void()> then) override { then(); }
    std::filesystem::path executablePath() const override { return executable_; }
    // None: the settings stay in the benchmark's folder.
    std::filesystem::path configurationHome() const override { return {}; }

private:
    std::filesystem::path executable_;
};

// The program after start-up, with its settings file in a folder of its own.
class ShownProgram {
public:
    // `settings` is written as the settings file before start-up, when not empty.
    explicit ShownProgram(midi::DeviceList& devices, const std::string& settings = {});
    ~ShownProgram();
    ShownProgram(const ShownProgram&) = delete;
    ShownProgram& operator=(const ShownProgram&) = delete;

    bool ready() const { return ready_; }
    app::Application& application() { return *application_; }
    // The control with this object name ("Button5", "Button137", "Shape41"), its page brought
    // to the front so that the window system can reach it.
    QWidget* control(const QString& name);

private:
    QTemporaryDir folder_;
    std::unique_ptr<QuietPlatform> platform_;
    std::unique_ptr<app::Application> application_;
    bool ready_ = false;
};

enum class Gesture { Mouse, Key };

// A left-button press or release at the middle of `control`, or a press or release of the A key
// while `control` has the focus, entering at the window as the window system's events do.
void press(QWidget* control, Gesture gesture);
void release(QWidget* control, Gesture gesture);
// Moves the pointer onto the middle of `control`, entering at the window as a mouse's move does.
void hover(QWidget* control);
// Gives `control` the keyboard focus, as a click or Tab would.
void focus(QWidget* control);

// Notes the moment `control` receives a press or release, and the main thread's allocation count
// then: where the program's own handling of the event begins, after the toolkit's delivery.
class ArrivalMark : public QObject {
public:
    explicit ArrivalMark(QWidget* control);
    ~ArrivalMark() override;
    Clock::time_point time() const { return time_; }
    std::uint64_t allocations() const { return allocations_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* control_;
    Clock::time_point time_ {};
    std::uint64_t allocations_ = 0;
};

// Durations (in microseconds) or counts, for percentiles once the run is over.
class Samples {
public:
    void reserve(std::size_t count) { values_.reserve(count); }
    void add(Clock::duration duration);
    void addValue(double value);
    bool empty() const { return values_.empty(); }
    std::size_t size() const { return values_.size(); }
    // The value below which `fraction` of the samples lie (nearest rank).
    double percentile(double fraction);
    double max();
    double mean() const;
    double standardDeviation() const;

private:
    std::vector<double> values_;
    bool sorted_ = false;
};

} // namespace tonalyx::bench
