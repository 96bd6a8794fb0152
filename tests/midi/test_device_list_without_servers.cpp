// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midi_out_port.h"
#include "midi/system_devices.h"

#include <QFile>
#include <QTest>

using namespace tonalyx;

// Run with JACK_DEFAULT_SERVER naming a server that does not exist and PULSE_SERVER a socket that
// does not exist, as on a machine with neither.
class TestDeviceListWithoutServers : public QObject {
    Q_OBJECT

private slots:
    void onlyTheBuiltInSynthIsListed()
    {
        if (QFile::exists("/dev/snd/seq"))
            QSKIP("this machine has an ALSA sequencer, whose ports would be listed too");
        const auto devices = midi::makeSystemDeviceList();
        QCOMPARE(devices->count(), 1);
        QCOMPARE(devices->name(0), std::string("Built-in GS Synth (FluidSynth)"));
        QVERIFY(devices->open(1) == nullptr);
        QCOMPARE(devices->name(1), std::string());
    }

    void builtInSynthWithoutAnyAudioOutputFailsItsOpen()
    {
        if (QFile::exists("/dev/snd"))
            QSKIP("this machine has sound cards, which the synth could play on");
        const auto devices = midi::makeSystemDeviceList();
        QVERIFY(devices->open(0) == nullptr);
    }
};

QTEST_APPLESS_MAIN(TestDeviceListWithoutServers)
#include "test_device_list_without_servers.moc"
