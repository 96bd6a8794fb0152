#include "midi/system_midi_out_service.h"

#include <QFile>
#include <QTest>

using namespace tonalyx;
using midi::kMidiOk;

// Run with JACK_DEFAULT_SERVER naming a server that does not exist and PULSE_SERVER a socket that
// does not exist, as on a machine with neither.
class TestDeviceListWithoutServers : public QObject {
    Q_OBJECT

private slots:
    void onlyTheBuiltInSynthIsListed()
    {
        if (QFile::exists("/dev/snd/seq"))
            QSKIP("this machine has an ALSA sequencer, whose ports would be listed too");
        midi::SystemMidiOutService service;
        QCOMPARE(service.deviceCount(), 1u);
        midi::MidiOutCaps caps;
        QCOMPARE(service.deviceCaps(0, caps), kMidiOk);
        QCOMPARE(QByteArray(caps.productName.data()), QByteArray("Built-in GS Synth (FluidSynth)"));
        midi::MidiOutHandle handle = 0;
        QVERIFY(service.open(handle, 1) != kMidiOk);
        QVERIFY(service.deviceCaps(1, caps) != kMidiOk);
    }

    void builtInSynthWithoutAnyAudioOutputFailsItsOpen()
    {
        if (QFile::exists("/dev/snd"))
            QSKIP("this machine has sound cards, which the synth could play on");
        midi::SystemMidiOutService service;
        midi::MidiOutHandle handle = 0;
        QVERIFY(service.open(handle, 0) != kMidiOk);
        QCOMPARE(handle, midi::MidiOutHandle(0));
        QVERIFY(service.shortMessage(handle, 0x7F3C90) != kMidiOk);
        QVERIFY(service.reset(handle) != kMidiOk);
        QVERIFY(service.close(handle) != kMidiOk);
    }
};

QTEST_APPLESS_MAIN(TestDeviceListWithoutServers)
#include "test_device_list_without_servers.moc"
