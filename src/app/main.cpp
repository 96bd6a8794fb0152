#include "display_check.h"
#include "program.h"
#include "qt_platform.h"
#include "version.h"

#include <QApplication>
#include <QIcon>

// Until the system's MIDI ports are reached, the program runs on an empty device list.
namespace {
class NoMidiOutputs final : public tonalyx::midi::MidiOutService {
public:
    std::uint32_t deviceCount() override { return 0; }
    tonalyx::midi::MidiResult deviceCaps(std::int32_t, tonalyx::midi::MidiOutCaps&) override
    {
        return tonalyx::midi::kMidiError;
    }
    tonalyx::midi::MidiResult open(tonalyx::midi::MidiOutHandle&, std::int32_t) override
    {
        return tonalyx::midi::kMidiError;
    }
    tonalyx::midi::MidiResult close(tonalyx::midi::MidiOutHandle) override
    {
        return tonalyx::midi::kMidiError;
    }
    tonalyx::midi::MidiResult reset(tonalyx::midi::MidiOutHandle) override
    {
        return tonalyx::midi::kMidiError;
    }
    tonalyx::midi::MidiResult shortMessage(tonalyx::midi::MidiOutHandle, std::uint32_t) override
    {
        return tonalyx::midi::kMidiError;
    }
    tonalyx::midi::MidiResult prepareHeader(
        tonalyx::midi::MidiOutHandle, tonalyx::midi::MidiLongMessageHeader&) override
    {
        return tonalyx::midi::kMidiError;
    }
    tonalyx::midi::MidiResult longMessage(
        tonalyx::midi::MidiOutHandle, tonalyx::midi::MidiLongMessageHeader&) override
    {
        return tonalyx::midi::kMidiError;
    }
};
} // namespace

int main(int argc, char* argv[])
{
    tonalyx::app::prepareWindowSystem();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tonalyx"));
    QApplication::setApplicationVersion(QString::fromLatin1(tonalyx::kProductVersion));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/tonalyx-16.xpm"));
    icon.addFile(QStringLiteral(":/icons/tonalyx-32.xpm"));
    QApplication::setWindowIcon(icon);

    tonalyx::app::QtPlatform platform;
    NoMidiOutputs service;
    tonalyx::app::Program program(service, platform);
    program.start();
    program.window().show();
    return QApplication::exec();
}
