// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the main window, as it looks right after start-up, into a PNG file; or, with --finder,
// its tone finder page with TEXT typed into the search field and the first tone found pressed;
// or, with --drums, its drum set page with the set named SET pressed, then the sound NOTE.
// Usage: tonalyx_screenshot <output.png> [--finder TEXT | --drums SET NOTE]

#include "app/application.h"
#include "recording_backend.h"
#include "shell/platform.h"
#include "ui/preview_button.h"
#include "ui/tone_list_view.h"

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

namespace {

// Start-up without boxes or pauses, and with its settings file in a folder of its own, so that
// rendering never depends on, or leaves behind, settings of an earlier run.
class QuietPlatform final : public tonalyx::shell::Platform {
public:
    explicit QuietPlatform(const QString& folder)
        : executable_(QString(folder + QStringLiteral("/tonalyx")).toStdString())
    { }

    void showMessage(const QString&) override { }
    void showError(const QString&) override { }
    void printNotice(const QString&) override { }
    void sleep(std::chrono::milliseconds) override { }
    void after(std::chrono::milliseconds, std::function<void()> then) override { then(); }
    std::filesystem::path executablePath() const override { return executable_; }
    std::filesystem::path configurationHome() const override { return {}; }

private:
    std::filesystem::path executable_;
};

// Turns to the finder's page, types `text` into its field and presses and releases the first
// row, so that the readouts show the tone.
void showFinder(tonalyx::ui::MainWindow& window, const QString& text)
{
    window.pageControl().setCurrentIndex(3);
    auto& field = window.toneSearchField();
    field.setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(&field, text);
    auto& list = window.toneList();
    if (list.model()->rowCount() > 0) {
        const QPoint first = list.visualRect(list.model()->index(0, 2)).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, first);
    }
    QApplication::processEvents();
}

// Turns to the drum set page, and presses and releases the set captioned `set` and then the
// sound of key `note`, so that the page names the set's sounds and shows the two.
void showDrums(tonalyx::ui::MainWindow& window, const QString& set, const QString& note)
{
    window.pageControl().setCurrentIndex(4);
    const auto click = [](QAbstractButton* button) {
        if (button)
            QTest::mouseClick(button, Qt::LeftButton);
    };
    for (auto* button : window.drumPage().setButtons) {
        if (button->text() == set)
            click(button);
    }
    click(window.findChild<tonalyx::ui::PreviewButton*>(QStringLiteral("DrumSound") + note));
    QApplication::processEvents();
}

} // namespace

int main(int argc, char* argv[])
{
    const bool finder = argc == 4 && QByteArray(argv[2]) == "--finder";
    const bool drums = argc == 5 && QByteArray(argv[2]) == "--drums";
    if (argc != 2 && !finder && !drums) {
        std::fprintf(stderr, "usage: %s <output.png> [--finder TEXT | --drums SET NOTE]\n",
            argc > 0 ? argv[0] : "tonalyx_screenshot");
        return 2;
    }
    // The picture must not depend on whether a display happens to be there.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    QTemporaryDir folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    QuietPlatform platform(folder.path());
    tonalyx::testing::RecordedDevices devices({ "Tonalyx GS Synth" });
    tonalyx::app::Application app(devices.list(), platform);
    app.start(tonalyx::app::loadSettings(platform));

    auto& window = app.window();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was never exposed\n");
        return 1;
    }
    if (finder)
        showFinder(window, QString::fromLocal8Bit(argv[3]));
    if (drums)
        showDrums(window, QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
    const QString output = QString::fromLocal8Bit(argv[1]);
    if (!window.grab().save(output, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
