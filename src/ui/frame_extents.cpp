// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame_extents.h"

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>
#include <xcb/xcb.h>

namespace tonalyx::ui {

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeReply>;

xcb_atom_t atom(xcb_connection_t* connection, std::string_view name)
{
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()),
        nullptr));
    return reply ? reply->atom : xcb_atom_t { XCB_ATOM_NONE };
}

// The 32-bit values of a window's property; none when it is not there with that type.
std::vector<std::uint32_t> property(
    xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
{
    constexpr std::uint32_t kMostValues = 1024;
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, name, type, 0, kMostValues), nullptr));
    if (!reply || reply->type != type || reply->format != 32)
        return {};
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return { values, values + reply->value_len };
}

// A running window manager of the Extended Window Manager Hints names a window of its own on the
// root, which names itself back (a name left behind by one that has ended does not), and lists
// the requests it answers.
bool windowManagerAnswers(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t request)
{
    const xcb_atom_t check = atom(connection, "_NET_SUPPORTING_WM_CHECK");
    const auto manager = property(connection, root, check, XCB_ATOM_WINDOW);
    if (manager.size() != 1 || property(connection, manager[0], check, XCB_ATOM_WINDOW) != manager)
        return false;
    const auto supported
        = property(connection, root, atom(connection, "_NET_SUPPORTED"), XCB_ATOM_ATOM);
    return std::find(supported.begin(), supported.end(), request) != supported.end();
}

} // namespace

std::optional<QMargins> frameBeforeMapping(QWidget& window, std::chrono::milliseconds patience)
{
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr)
        return std::nullopt;
    const auto native = static_cast<xcb_window_t>(window.winId());
    const Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, native), nullptr));
    if (!tree)
        return std::nullopt;
    const xcb_atom_t request = atom(connection, "_NET_REQUEST_FRAME_EXTENTS");
    if (!windowManagerAnswers(connection, tree->root, request))
        return std::nullopt;

    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = native;
    message.type = request;
    xcb_send_event(connection, 0, tree->root,
        XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
        reinterpret_cast<const char*>(&message));
    xcb_flush(connection);

    // The answer is a property of the window. The toolkit reads the connection's events on a
    // thread of its own, so the property is read until it is there rather than waited for.
    const xcb_atom_t extents = atom(connection, "_NET_FRAME_EXTENTS");
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        if (const auto values = property(connection, native, extents, XCB_ATOM_CARDINAL);
            values.size() == 4) {
            // Left, right, top and bottom, in the display's pixels.
            const qreal ratio = window.devicePixelRatioF();
            const auto scaled = [ratio](std::uint32_t pixels) { return qRound(pixels / ratio); };
            return QMargins(
                scaled(values[0]), scaled(values[2]), scaled(values[1]), scaled(values[3]));
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace tonalyx::ui
