// SPDX-License-Identifier: GPL-3.0-or-later
// The JACK input coming back with its server: a server of the test's own stops, or is killed, and
// starts again; a keyboard, a process of its own as a user's would be, then plays into "in" and
// reaches the listener that was there from the start.
#include "jack_server_process.h"
#include "midi/input/input_queue.h"
#include "midi/input/input_route.h"
#include "midi/jack/jack_backend.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <sys/prctl.h>

using namespace tonalyx;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

const std::string kClient = "tonalyx-return";
const QString kKeyboard = QStringLiteral("tonalyx-return-keyboard");
// What the keyboard plays: middle C, velocity 64.
const Bytes kNoteOn { 0x90, 60, 64 };

// Whether `server` takes clients; jack_wait's own client is tried a few times, as the keyboard
// is (see Keyboard::connectTo).
bool ready(testing::JackServerProcess& server, QByteArray& output)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (server.waitUntilReady(output))
            return true;
    }
    return false;
}

// Asks `done` until it holds or `wait` has passed, however long each asking takes: QTRY counts
// its steps instead, and on a busy machine each asking here (other processes, the server) may take
// a second.
template <class Done> bool eventually(Done done, std::chrono::milliseconds wait)
{
    const QDeadlineTimer deadline(wait);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

// What reaches the input, for the test's thread.
struct KeptInput final : midi::InputSink {
    void receive(midi::MessageBytes message) override { queue.push(message); }
    void sourcesGone() override { queue.pushSourcesGone(); }
    midi::InputQueue queue;
};

// A keyboard in a process of its own that plays its note and ends it again and again, every
// quarter second: a period the busy machine misses loses one, and the next one comes.
class Keyboard {
public:
    Keyboard()
    {
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        start();
    }
    ~Keyboard()
    {
        process_.kill();
        process_.waitForFinished();
    }
    Keyboard(const Keyboard&) = delete;
    Keyboard& operator=(const Keyboard&) = delete;

    // As a patchbay does, from other processes; false while either port is missing. Whether
    // the ports are connected is asked afterwards: jack_connect may fail after it has connected
    // them, and fails once they are.
    bool connectTo(const QString& port)
    {
        // libjack gives up a client whose threads have not started within a second, as on a
        // starved machine, and the keyboard then ends: it is started again.
        if (process_.state() == QProcess::NotRunning)
            start();
        const QString out = kKeyboard + ":out";
        QProcess::execute(QStringLiteral("jack_connect"), { out, port });
        QProcess listing;
        listing.start(QStringLiteral("jack_lsp"), { "-c", port });
        listing.waitForFinished();
        return listing.readAllStandardOutput().contains(out.toUtf8());
    }

private:
    void start()
    {
        process_.start(QStringLiteral("jack_midiseq"), { kKeyboard, "12000", "0", "60", "6000" });
        process_.waitForStarted();
    }

    QProcess process_;
};

} // namespace

class TestJackServerReturn : public QObject {
    Q_OBJECT

private slots:
    // What the keyboard held is released as its server goes: it took the connection along.
    void inputComesBackWithTheServer_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("stopped and started again") << false;
        // Then started again for a moment, and stopped, to take its name back: the input may
        // come back to that server too, and go again.
        QTest::newRow("killed and started again") << true;
    }
    void inputComesBackWithTheServer()
    {
        QFETCH(bool, killed);
        const auto serverName = qEnvironmentVariable("JACK_DEFAULT_SERVER");
        QByteArray output;
        auto server = std::make_unique<testing::JackServerProcess>(serverName);
        QVERIFY2(ready(*server, output), output.constData());
        KeptInput kept;
        // The program waits half a second for a server, which a starved machine may take even
        // for one that runs: tried again, through the same calls, so that a client opened after
        // an attempt gave up is closed before the next attempt, and never holds the name.
        const auto calls = std::make_shared<midi::JackCalls>();
        std::unique_ptr<midi::MidiBackend> backend;
        QVERIFY(eventually(
            [&] { return (backend = midi::makeJackBackend(kClient, calls)) != nullptr; }, 20s));
        backend->input()->listen(kept);
        const auto stopListening = qScopeGuard([&] { backend->input()->stopListening(); });
        // Each message as its bytes, the sources gone as no bytes.
        std::vector<Bytes> arrived;
        const auto drain = [&] {
            kept.queue.drain(
                [&](const midi::ShortMessage& message) {
                    arrived.emplace_back(message.bytes().begin(), message.bytes().end());
                },
                [&] { arrived.emplace_back(); });
        };
        const auto arrivedAfterLastGone = [&](const Bytes& message) {
            drain();
            const auto lastGone = std::find(arrived.rbegin(), arrived.rend(), Bytes {});
            return std::find(arrived.rbegin(), lastGone, message) != lastGone;
        };
        const auto sourcesWentLast = [&] {
            drain();
            return !arrived.empty() && arrived.back().empty();
        };
        const auto in = QString::fromStdString(kClient + ":in");
        {
            Keyboard keyboard;
            QVERIFY(eventually([&] { return keyboard.connectTo(in); }, 20s));
            QVERIFY(eventually([&] { return arrivedAfterLastGone(kNoteOn); }, 10s));
            if (killed)
                server->kill();
            server.reset();
            QVERIFY(eventually(sourcesWentLast, 10s));
        }
        server = std::make_unique<testing::JackServerProcess>(serverName);
        QVERIFY2(ready(*server, output), output.constData());
        Keyboard keyboard;
        QVERIFY(eventually([&] { return keyboard.connectTo(in); }, 20s));
        QVERIFY(eventually([&] { return arrivedAfterLastGone(kNoteOn); }, 10s));
    }
};

QTEST_MAIN(TestJackServerReturn)
#include "test_jack_server_return.moc"
