// SPDX-License-Identifier: GPL-3.0-or-later
#include "rtkit.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <dbus/dbus.h>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <system_error>
#include <thread>

namespace tonalyx::midi {

namespace {

constexpr const char* kService = "org.freedesktop.RealtimeKit1";
constexpr const char* kPath = "/org/freedesktop/RealtimeKit1";
constexpr const char* kInterface = "org.freedesktop.RealtimeKit1";

class BusError {
public:
    BusError() { dbus_error_init(&error_); }
    ~BusError() { dbus_error_free(&error_); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;

    DBusError* get() { return &error_; }
    bool isSet() const { return dbus_error_is_set(&error_) != 0; }
    std::string text() const
    {
        return isSet() ? std::string(error_.name) + ": " + error_.message : "no answer";
    }

private:
    DBusError error_;
};

struct ClosePrivateConnection {
    void operator()(DBusConnection* connection) const
    {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};
using Connection = std::unique_ptr<DBusConnection, ClosePrivateConnection>;
using Message = std::unique_ptr<DBusMessage, decltype(&dbus_message_unref)>;

Message call(DBusConnection& bus, Message request, int timeoutMs, BusError& error)
{
    if (!request)
        return { nullptr, &dbus_message_unref };
    return { dbus_connection_send_with_reply_and_block(&bus, request.get(), timeoutMs, error.get()),
        &dbus_message_unref };
}

std::optional<long long> integerProperty(
    DBusConnection& bus, const char* name, int timeoutMs, BusError& error)
{
    Message request(
        dbus_message_new_method_call(kService, kPath, "org.freedesktop.DBus.Properties", "Get"),
        &dbus_message_unref);
    if (!request
        || !dbus_message_append_args(request.get(), DBUS_TYPE_STRING, &kInterface, DBUS_TYPE_STRING,
            &name, DBUS_TYPE_INVALID))
        return std::nullopt;
    const auto reply = call(bus, std::move(request), timeoutMs, error);
    DBusMessageIter answer;
    if (!reply || !dbus_message_iter_init(reply.get(), &answer)
        || dbus_message_iter_get_arg_type(&answer) != DBUS_TYPE_VARIANT)
        return std::nullopt;
    DBusMessageIter value;
    dbus_message_iter_recurse(&answer, &value);
    switch (dbus_message_iter_get_arg_type(&value)) {
    case DBUS_TYPE_INT32: {
        dbus_int32_t number = 0;
        dbus_message_iter_get_basic(&value, &number);
        return number;
    }
    case DBUS_TYPE_INT64: {
        dbus_int64_t number = 0;
        dbus_message_iter_get_basic(&value, &number);
        return number;
    }
    default:
        return std::nullopt;
    }
}

std::string describe(const Scheduling& scheduling)
{
    return scheduling.realTime ? "SCHED_RR priority " + std::to_string(scheduling.level)
                               : "nice " + std::to_string(scheduling.level);
}

Promotion refused(std::string why)
{
    return { Promotion::Outcome::Unchanged, "rtkit: " + std::move(why) };
}

Promotion exchange(pid_t thread, Scheduling wanted, int timeoutMs)
{
    BusError error;
    const Connection bus(dbus_bus_get_private(DBUS_BUS_SYSTEM, error.get()));
    if (!bus)
        return refused("no system D-Bus: " + error.text());
    // A bus connection ends the process when the bus goes away, unless told otherwise.
    dbus_connection_set_exit_on_disconnect(bus.get(), false);

    RtkitLimits limits;
    const auto priority = integerProperty(*bus, "MaxRealtimePriority", timeoutMs, error);
    const auto nice = integerProperty(*bus, "MinNiceLevel", timeoutMs, error);
    const auto rttime = integerProperty(*bus, "RTTimeUSecMax", timeoutMs, error);
    if (!priority || !nice || !rttime)
        return refused("not reached: " + error.text());
    limits.maxRealtimePriority = static_cast<int>(*priority);
    limits.minNiceLevel = static_cast<int>(*nice);
    limits.rttimeUsecMax = *rttime;
    const auto granted = withinRtkitLimits(wanted, limits);
    if (!granted)
        return refused("it grants no "
            + std::string(wanted.realTime ? "real-time priority" : "higher priority"));

    Message request(nullptr, &dbus_message_unref);
    const dbus_uint64_t id = static_cast<dbus_uint64_t>(thread);
    if (granted->realTime) {
        rlimit current {};
        getrlimit(RLIMIT_RTTIME, &current);
        if (const auto lowered = rttimeLimitForRtkit(current, limits.rttimeUsecMax);
            lowered && setrlimit(RLIMIT_RTTIME, &*lowered) != 0)
            return refused(std::string("cannot lower RLIMIT_RTTIME: ") + std::strerror(errno));
        const dbus_uint32_t level = static_cast<dbus_uint32_t>(granted->level);
        request.reset(
            dbus_message_new_method_call(kService, kPath, kInterface, "MakeThreadRealtime"));
        if (request)
            dbus_message_append_args(
                request.get(), DBUS_TYPE_UINT64, &id, DBUS_TYPE_UINT32, &level, DBUS_TYPE_INVALID);
    } else {
        const dbus_int32_t level = granted->level;
        request.reset(
            dbus_message_new_method_call(kService, kPath, kInterface, "MakeThreadHighPriority"));
        if (request)
            dbus_message_append_args(
                request.get(), DBUS_TYPE_UINT64, &id, DBUS_TYPE_INT32, &level, DBUS_TYPE_INVALID);
    }
    if (!call(*bus, std::move(request), timeoutMs, error))
        return refused("refused " + describe(*granted) + ": " + error.text());
    return { granted->realTime ? Promotion::Outcome::RealTime : Promotion::Outcome::HighPriority,
        describe(*granted) + " from rtkit" };
}

// What the asking thread and the one talking to the bus share: the latter may outlive the wait.
struct Exchange {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<Promotion> answer; // guarded by mutex
};

} // namespace

Promotion askRtkit(pid_t thread, Scheduling wanted, std::chrono::milliseconds timeout)
{
    auto shared = std::make_shared<Exchange>();
    try {
        std::thread([shared, thread, wanted, timeoutMs = static_cast<int>(timeout.count())] {
            pthread_setname_np(pthread_self(), "rtkit-call");
            auto answer = exchange(thread, wanted, timeoutMs);
            {
                const std::lock_guard lock(shared->mutex);
                shared->answer = std::move(answer);
            }
            shared->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return refused("no thread to ask it on");
    }
    std::unique_lock lock(shared->mutex);
    if (!shared->done.wait_for(lock, timeout, [&] { return shared->answer.has_value(); }))
        return refused("no answer within " + std::to_string(timeout.count()) + " ms");
    return *shared->answer;
}

} // namespace tonalyx::midi
