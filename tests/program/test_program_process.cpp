// SPDX-License-Identifier: GPL-3.0-or-later
// The real program as a process of its own, copied into a folder of the test's: ended by the
// signals of a logout, a closed terminal and Ctrl+C, and finding its settings file from its own
// path, whatever bytes that holds. It runs on Qt's offscreen platform and sends to a JACK port of
// the test's, named in the settings file, so that start-up shows no box that would wait for a
// click; no PulseAudio server is there for the built-in synth, except where a test gives it one.
#include "jack_capture.h"
#include "midi/system_devices.h"
#include "stopped_server.h"

#include <QTest>
#include <array>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace tonalyx;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// The environment of the test with some variables replaced or removed (an empty value).
std::vector<std::string> environmentWith(
    const std::vector<std::pair<std::string, std::string>>& changes)
{
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (std::none_of(changes.begin(), changes.end(),
                [&](const auto& change) { return change.first == name; }))
            result.push_back(text);
    }
    for (const auto& [name, value] : changes) {
        if (!value.empty())
            result.push_back(name + "=" + value);
    }
    return result;
}

// A process started from a path of bytes, which QProcess would have to pass through a QString,
// with its standard error going to a file, or with no file named, into a pipe whose reading end
// is closed. Killed if it is still running at the end.
class Process {
public:
    Process(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
        const fs::path& workingFolder, const fs::path& errors)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
        std::array<int, 2> unread { -1, -1 };
        if (!errors.empty()) {
            posix_spawn_file_actions_addopen(
                &actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        } else if (::pipe2(unread.data(), O_CLOEXEC) == 0) {
            ::close(unread[0]);
            posix_spawn_file_actions_adddup2(&actions, unread[1], STDERR_FILENO);
        }
        std::vector<char*> argv;
        for (const auto& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const auto& variable : environment)
            envp.push_back(const_cast<char*>(variable.c_str()));
        envp.push_back(nullptr);
        // As from a shell: the test's libraries may ignore or block SIGPIPE, which a child would
        // inherit.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t cleared;
        sigemptyset(&cleared);
        posix_spawnattr_setsigmask(&attributes, &cleared);
        sigaddset(&cleared, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &cleared);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        if (posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        if (unread[1] >= 0)
            ::close(unread[1]);
    }
    ~Process()
    {
        if (pid_ > 0 && !ended_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool started() const { return pid_ > 0; }

    // Waits until the process catches each of the signals, so that they reach its handlers
    // rather than end it; false if it ends or does not come that far in time.
    bool waitUntilCatching(std::initializer_list<int> caught)
    {
        std::uint64_t wanted = 0;
        for (const int signal : caught)
            wanted |= std::uint64_t { 1 } << (signal - 1);
        for (auto waited = 0ms; waited < 60s; waited += 20ms) {
            std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
            std::string line;
            while (std::getline(status, line)) {
                if (line.starts_with("State:") && line.find('Z') != std::string::npos)
                    return false;
                if (line.starts_with("SigCgt:")
                    && (std::stoull(line.substr(7), nullptr, 16) & wanted) == wanted)
                    return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    void send(int signal) { ::kill(pid_, signal); }

    // Waits until the process has written the text to its standard error, `errors`; false if it
    // ends or does not write it in time.
    bool waitForError(const fs::path& errors, const std::string& text)
    {
        for (auto waited = 0ms; waited < 60s; waited += 20ms) {
            if (readFile(errors).find(text) != std::string::npos)
                return true;
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                return false;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    // The wait status once the process has ended, or nothing after a minute.
    std::optional<int> waitForEnd()
    {
        for (auto waited = 0ms; waited < 60s; waited += 20ms) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                return status;
            }
            std::this_thread::sleep_for(20ms);
        }
        return std::nullopt;
    }

private:
    pid_t pid_ = -1;
    bool ended_ = false;
};

enum class Home { Unset, XdgConfigHome, HomeOnly };
enum class Obstacle { None, FolderInTheWay };
enum class Errors { ToFile, Unread };

} // namespace

Q_DECLARE_METATYPE(Home)
Q_DECLARE_METATYPE(Obstacle)
Q_DECLARE_METATYPE(Errors)

class TestProgramProcess : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::JackCapture> capture_;
    std::uint64_t xrunsAtStart_ = 0;
    std::int32_t device_ = -1;

    // A hand-written settings file choosing a device (the capture port unless told), and the
    // same as the program writes it: a save shows.
    std::string handWritten(std::optional<std::int32_t> device = {}) const
    {
        return "; by hand\n[window]\nleft=40\ntop=30\nwidth=600\nheight=500\n\n[dev]\ndev_num="
            + std::to_string(device.value_or(device_)) + "\n";
    }
    std::string saved(std::optional<std::int32_t> device = {}) const
    {
        return "[window]\r\nLeft=40\r\nTop=30\r\nWidth=600\r\nHeight=500\r\n\r\n[dev]\r\ndev_num="
            + std::to_string(device.value_or(device_)) + "\r\n\r\n";
    }

    // Starts the program's copy at `executable`, with what it may write in `root`, its own
    // SoundFonts in root/data/tonalyx/soundfonts; nothing unless it comes as far as catching the
    // signals.
    std::unique_ptr<Process> start(const fs::path& executable, const fs::path& root,
        Home home = Home::Unset, bool asUser = false, const std::string& pulseServer = {},
        Errors errors = Errors::ToFile)
    {
        auto process = launch(executable, root, home, asUser, pulseServer, {}, errors);
        if (!process->started() || !process->waitUntilCatching({ SIGTERM, SIGHUP, SIGINT }))
            return nullptr;
        return process;
    }

    // Starts the program's copy; `jackServer` names the JACK server it looks for, the test's
    // unless told.
    std::unique_ptr<Process> launch(const fs::path& executable, const fs::path& root,
        Home home = Home::Unset, bool asUser = false, const std::string& pulseServer = {},
        const std::string& jackServer = {}, Errors errors = Errors::ToFile)
    {
        fs::create_directories(root / "runtime");
        fs::permissions(root / "runtime", fs::perms::owner_all);
        fs::create_directories(root / "cwd");
        fs::create_directories(root / "home");
        std::vector<std::pair<std::string, std::string>> changes {
            { "QT_QPA_PLATFORM", "offscreen" },
            { "XDG_RUNTIME_DIR", root / "runtime" },
            { "PULSE_SERVER",
                pulseServer.empty() ? "unix:" + (root / "no-pulse" / "native").string()
                                    : pulseServer },
            { "HOME", root / "home" },
            { "XDG_CONFIG_HOME", home == Home::XdgConfigHome ? (root / "config").string() : "" },
            { "XDG_DATA_HOME", root / "data" },
        };
        if (!jackServer.empty())
            changes.push_back({ "JACK_DEFAULT_SERVER", jackServer });
        std::vector<std::string> arguments { executable };
        // Root lowered to a user's power over files, for a folder that cannot be written.
        if (asUser)
            arguments.insert(arguments.begin(),
                { "/usr/bin/setpriv",
                    "--bounding-set=-dac_override,-dac_read_search,-chown,-fowner", "--" });
        capture_->clear("in");
        xrunsAtStart_ = capture_->xruns();
        return std::make_unique<Process>(arguments, environmentWith(changes), root / "cwd",
            errors == Errors::ToFile ? root / "stderr.txt" : fs::path());
    }

    // Start-up opened the device named in the file: its GS reset reached the capture port, or
    // the server reported an xrun since the start, in whose period the reset may have been lost
    // on the way (what follows does not depend on its bytes).
    bool openedTheDevice()
    {
        return capture_->waitForBytes("in", 11).size() == 1 || capture_->xruns() != xrunsAtStart_;
    }

private slots:
    void initTestCase()
    {
        capture_ = std::make_unique<testing::JackCapture>("tonalyx-process-capture");
        QVERIFY2(capture_->isConnected(), "no JACK server (JACK_DEFAULT_SERVER)");
        QVERIFY(capture_->addInput("in"));
        midi::SystemDevicesConfig config;
        config.clientName = "tonalyx-process-test";
        const auto devices = midi::makeSystemDeviceList(config);
        for (std::int32_t device = 0; device < devices->count(); ++device) {
            if (devices->name(device) == capture_->fullName("in"))
                device_ = device;
        }
        QVERIFY(device_ > 0);
    }

    // A logout, a closed terminal or Ctrl+C: the settings are written as a close writes them,
    // and the program ends normally; with none to answer a box, a file that cannot be written
    // is reported in one line.
    void signalEndsLikeAClose_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<Obstacle>("obstacle");
        QTest::newRow("SIGTERM") << SIGTERM << Obstacle::None;
        QTest::newRow("SIGHUP") << SIGHUP << Obstacle::None;
        QTest::newRow("SIGINT") << SIGINT << Obstacle::None;
        QTest::newRow("SIGTERM, a folder in the file's way") << SIGTERM << Obstacle::FolderInTheWay;
    }
    void signalEndsLikeAClose()
    {
        QFETCH(int, signal);
        QFETCH(Obstacle, obstacle);
        QTemporaryDir temporary;
        const fs::path root = temporary.path().toStdString();
        const fs::path settings = root / "tonalyx.ini";
        writeFile(settings, handWritten());

        fs::copy_file(TONALYX_PROGRAM, root / "tonalyx");
        const auto program = start(root / "tonalyx", root);
        QVERIFY2(program, readFile(root / "stderr.txt").c_str());
        QVERIFY(openedTheDevice());
        if (obstacle == Obstacle::FolderInTheWay) {
            fs::remove(settings);
            fs::create_directories(settings / "inside");
        }
        program->send(signal);
        const auto status = program->waitForEnd();

        const std::string errors = readFile(root / "stderr.txt");
        QVERIFY2(status && WIFEXITED(*status), errors.c_str());
        QCOMPARE(WEXITSTATUS(*status), 0);
        if (obstacle == Obstacle::FolderInTheWay) {
            QVERIFY(fs::is_directory(settings / "inside"));
            const std::string notice = "tonalyx: the settings were not saved: " + settings.string()
                + " cannot be written\n";
            QVERIFY2(errors.find(notice) != std::string::npos, errors.c_str());
            return;
        }
        QCOMPARE(readFile(settings), saved());
    }

    // On a machine with no sound server the built-in synth cannot be opened, and the box of
    // start-up waits for a click that does not come: a logout, a closed terminal or Ctrl+C then
    // ends the program as a close does.
    void signalDuringTheStartUpBoxEndsLikeAClose_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void signalDuringTheStartUpBoxEndsLikeAClose()
    {
        QFETCH(int, signal);
        QTemporaryDir temporary;
        const fs::path root = temporary.path().toStdString();
        writeFile(root / "tonalyx.ini", handWritten(0));
        fs::copy_file(TONALYX_PROGRAM, root / "tonalyx");
        const auto program
            = launch(root / "tonalyx", root, Home::Unset, false, {}, TONALYX_ABSENT_JACK_SERVER);
        QVERIFY(program->started());
        // The box is the run's first window, and the offscreen platform says, as it is made,
        // that it cannot pass its size hints on.
        QVERIFY2(program->waitForError(root / "stderr.txt", "does not support propagateSizeHints"),
            readFile(root / "stderr.txt").c_str());
        program->send(signal);
        const auto status = program->waitForEnd();

        QVERIFY2(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0,
            readFile(root / "stderr.txt").c_str());
        QCOMPARE(readFile(root / "tonalyx.ini"), saved(0));
    }

    // A close while the built-in synth's sound server is stopped: the program ends, its settings
    // written, before the server is continued.
    void endsWhileTheSoundServerIsStopped()
    {
        QTemporaryDir temporary;
        const fs::path root = temporary.path().toStdString();
        writeFile(root / "tonalyx.ini", "[dev]\ndev_num=0\n");
        fs::copy_file(TONALYX_PROGRAM, root / "tonalyx");
        const fs::path pulse = TONALYX_STALL_PULSE_DIR;
        // Only an open that worked shows no box, and only then does start-up come this far.
        const auto program = start(root / "tonalyx", root, Home::Unset, false,
            "unix:" + (pulse / "pulse/native").string());
        QVERIFY2(program, readFile(root / "stderr.txt").c_str());

        const pid_t server = testing::processIdIn(pulse / "pulse.pid");
        testing::StoppedServer stopped(server, std::chrono::seconds(60));
        program->send(SIGTERM);
        const auto status = program->waitForEnd();
        const std::string state = readFile("/proc/" + std::to_string(server) + "/stat");
        const bool serverStillStopped = state.find(") T ") != std::string::npos;
        stopped.resume();
        QVERIFY2(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0,
            readFile(root / "stderr.txt").c_str());
        QVERIFY(serverStillStopped);
        QVERIFY(readFile(root / "tonalyx.ini").find("dev_num=0") != std::string::npos);
    }

    // Among the user's SoundFonts, entries that are no files: none holds up start-up, which
    // opens the built-in synth (a failed open would show a box, and the program would not come
    // as far as catching signals), and each is left out with a line. Nor does that line end the
    // program when no one reads its standard error any more.
    void userSoundFontsNeverHoldUpStartUp_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<Errors>("errors");
        QTest::newRow("a FIFO") << "fifo" << Errors::ToFile;
        QTest::newRow("a link to a FIFO") << "link to a fifo" << Errors::ToFile;
        QTest::newRow("a socket") << "socket" << Errors::ToFile;
        QTest::newRow("a terminal device, through a link") << "terminal" << Errors::ToFile;
        QTest::newRow("a broken font, standard error unread") << "broken" << Errors::Unread;
    }
    void userSoundFontsNeverHoldUpStartUp()
    {
        QFETCH(QString, entry);
        QFETCH(Errors, errors);
        QTemporaryDir temporary;
        const fs::path root = temporary.path().toStdString();
        writeFile(root / "tonalyx.ini", "[dev]\ndev_num=0\n");
        fs::copy_file(TONALYX_PROGRAM, root / "tonalyx");
        const fs::path fonts = root / "data/tonalyx/soundfonts";
        fs::create_directories(fonts);
        const fs::path font = fonts / "x.sf2";
        if (entry == "fifo") {
            QCOMPARE(::mkfifo(font.c_str(), 0600), 0);
        } else if (entry == "link to a fifo") {
            QCOMPARE(::mkfifo((root / "fifo").c_str(), 0600), 0);
            fs::create_symlink(root / "fifo", font);
        } else if (entry == "socket") {
            sockaddr_un address {};
            address.sun_family = AF_UNIX;
            QVERIFY(font.string().size() < sizeof(address.sun_path));
            std::strcpy(address.sun_path, font.c_str());
            const int listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            QCOMPARE(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
            ::close(listening);
        } else if (entry == "terminal") {
            // Its reads wait for input that never comes.
            fs::create_symlink("/dev/ptmx", font);
        } else {
            writeFile(font, std::string(4096, 'x'));
        }

        const fs::path pulse = TONALYX_STALL_PULSE_DIR;
        const auto program = start(root / "tonalyx", root, Home::Unset, false,
            "unix:" + (pulse / "pulse/native").string(), errors);
        QVERIFY2(program, readFile(root / "stderr.txt").c_str());
        program->send(SIGTERM);
        const auto status = program->waitForEnd();
        const std::string printed = readFile(root / "stderr.txt");
        QVERIFY2(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0, printed.c_str());
        if (errors == Errors::ToFile) {
            const std::string line = "tonalyx: SoundFont " + font.string() + " left out: ";
            QVERIFY2(printed.find(line) != std::string::npos, printed.c_str());
        }
    }

    // The settings file is found from the executable's path as the file system spells it, and
    // never replaces the executable; when its folder cannot be written, it lives in the user's
    // configuration folder, found as the XDG Base Directory Specification says.
    void settingsFileFollowsTheExecutable_data()
    {
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("folderWritable");
        QTest::addColumn<Home>("home");
        QTest::addColumn<QByteArray>("written"); // where, in the test's folder
        QTest::newRow("plain") << QByteArray("bin") << QByteArray("tonalyx") << true << Home::Unset
                               << QByteArray("bin/tonalyx.ini");
        QTest::newRow("folder name not UTF-8")
            << QByteArray("caf\xe9") << QByteArray("tonalyx") << true << Home::Unset
            << QByteArray("caf\xe9/tonalyx.ini");
        QTest::newRow("executable named like its settings")
            << QByteArray("bin") << QByteArray("tonalyx.ini") << true << Home::Unset
            << QByteArray("bin/tonalyx.ini.ini");
        QTest::newRow("folder not writable, XDG_CONFIG_HOME set")
            << QByteArray("bin") << QByteArray("tonalyx") << false << Home::XdgConfigHome
            << QByteArray("config/tonalyx/tonalyx.ini");
        QTest::newRow("folder not writable, HOME only")
            << QByteArray("bin") << QByteArray("tonalyx") << false << Home::HomeOnly
            << QByteArray("home/.config/tonalyx/tonalyx.ini");
    }
    void settingsFileFollowsTheExecutable()
    {
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, name);
        QFETCH(bool, folderWritable);
        QFETCH(Home, home);
        QFETCH(QByteArray, written);
        QTemporaryDir temporary;
        const fs::path root = temporary.path().toStdString();
        const fs::path bin = root / folder.toStdString();
        const fs::path executable = bin / name.toStdString();
        fs::create_directories(bin);
        fs::copy_file(TONALYX_PROGRAM, executable);
        // The file beside the program is read in every case, as a system-wide install's defaults.
        const fs::path besideFile
            = bin / (name.endsWith(".ini") ? "tonalyx.ini.ini" : "tonalyx.ini");
        writeFile(besideFile, handWritten());
        if (!folderWritable)
            fs::permissions(bin, fs::perms(0555));
        // Removed here, as QTemporaryDir cannot name a folder whose name is not UTF-8.
        const auto remove = qScopeGuard([&] {
            fs::permissions(bin, fs::perms(0755));
            std::error_code ignored;
            fs::remove_all(bin, ignored);
        });

        const auto program = start(executable, root, home, !folderWritable);
        QVERIFY2(program, readFile(root / "stderr.txt").c_str());
        QVERIFY(openedTheDevice());
        program->send(SIGTERM);
        const auto status = program->waitForEnd();
        QVERIFY2(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0,
            readFile(root / "stderr.txt").c_str());

        QCOMPARE(readFile(root / written.toStdString()), saved());
        // Nothing else was written: not the executable, nor the working folder.
        QVERIFY(readFile(executable) == readFile(TONALYX_PROGRAM));
        QVERIFY(fs::is_empty(root / "cwd"));
        if (!folderWritable)
            QCOMPARE(readFile(besideFile), handWritten());
    }
};

QTEST_GUILESS_MAIN(TestProgramProcess)
#include "test_program_process.moc"
