// Renders the main window, as it looks right after start-up, into a PNG file.
// Usage: tonalyx_screenshot <output.png>

#include "app/application.h"
#include "app/platform.h"
#include "recording_backend.h"

#include <QApplication>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

namespace {

// Start-up without boxes or pauses, and with its settings file in a folder of its own, so that
// rendering never depends on, or leaves behind, settings of an earlier run.
class QuietPlatform final : public tonalyx::app::Platform {
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

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.png>\n", argc > 0 ? argv[0] : "tonalyx_screenshot");
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
    app.start();

    auto& window = app.window();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was never exposed\n");
        return 1;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    if (!window.grab().save(output, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
