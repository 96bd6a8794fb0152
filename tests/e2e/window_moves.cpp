// SPDX-License-Identifier: GPL-3.0-or-later
// Watches the X display from outside, as a person's eye would, for the windows of one name: prints
// "ready" once it watches, then for each such window "mapped X Y WIDTH HEIGHT" when it can first
// be seen, "moved X Y WIDTH HEIGHT" whenever its frame moves or changes size while it is shown,
// and "unmapped" when it goes. The rectangle is the outer one of the window manager's frame around
// the window (of the window itself without a window manager).
//   window_moves NAME
// The frame is followed from the server's own events, in the order the server made the changes,
// not asked for afterwards: a window that appears in one place and moves at once to another shows
// both. Every window created after the start is followed (its parent, its place in it, whether it
// is mapped), so the window counts as seen only once its frame is mapped too.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace {

struct Node {
    Window parent = None;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int border = 0;
    bool mapped = false;
};

// A top-level window's outer rectangle on the screen, its border included.
struct Rectangle {
    int x;
    int y;
    int width;
    int height;
    friend bool operator==(const Rectangle&, const Rectangle&) = default;
};

// Windows vanish while they are being followed; the errors that causes are expected.
int ignoreErrors(Display*, XErrorEvent*)
{
    return 0;
}

class Watcher {
public:
    Watcher(Display* display, std::string name)
        : display_(display)
        , root_(DefaultRootWindow(display))
        , name_(std::move(name))
    {
        follow(root_);
    }

    void handle(const XEvent& event)
    {
        switch (event.type) {
        case CreateNotify: {
            const auto& created = event.xcreatewindow;
            nodes_[created.window] = { created.parent, created.x, created.y, created.width,
                created.height, created.border_width };
            follow(created.window);
            break;
        }
        case ReparentNotify: {
            auto& node = nodes_[event.xreparent.window];
            node.parent = event.xreparent.parent;
            node.x = event.xreparent.x;
            node.y = event.xreparent.y;
            break;
        }
        case ConfigureNotify:
            // A window manager's synthetic notice says where the client is on the screen, not in
            // its parent: the real notices alone keep the tree right.
            if (auto found = nodes_.find(event.xconfigure.window);
                found != nodes_.end() && !event.xconfigure.send_event) {
                found->second.x = event.xconfigure.x;
                found->second.y = event.xconfigure.y;
                found->second.width = event.xconfigure.width;
                found->second.height = event.xconfigure.height;
                found->second.border = event.xconfigure.border_width;
            }
            break;
        case MapNotify:
            if (auto found = nodes_.find(event.xmap.window); found != nodes_.end()) {
                found->second.mapped = true;
                if (isNamed(event.xmap.window))
                    named_.insert(event.xmap.window);
            }
            break;
        case UnmapNotify:
            if (auto found = nodes_.find(event.xunmap.window); found != nodes_.end())
                found->second.mapped = false;
            break;
        case DestroyNotify:
            nodes_.erase(event.xdestroywindow.window);
            break;
        default:
            break;
        }
        report();
    }

private:
    // What changed for each named window: whether it can be seen, and where.
    void report()
    {
        for (const Window window : named_) {
            const auto place = visiblePlaceOf(window);
            const auto shown = shown_.find(window);
            if (shown == shown_.end() && place) {
                shown_[window] = *place;
                print("mapped", *place);
            } else if (shown != shown_.end() && !place) {
                shown_.erase(shown);
                std::puts("unmapped");
            } else if (shown != shown_.end() && *place != shown->second) {
                shown->second = *place;
                print("moved", *place);
            }
        }
        std::erase_if(named_, [this](Window window) { return nodes_.count(window) == 0; });
        std::fflush(stdout);
    }

    void follow(Window window)
    {
        XSelectInput(display_, window, SubstructureNotifyMask | StructureNotifyMask);
    }

    bool isNamed(Window window) const
    {
        char* name = nullptr;
        const bool named
            = XFetchName(display_, window, &name) != 0 && name != nullptr && name_ == name;
        if (name != nullptr)
            XFree(name);
        return named;
    }

    static void print(const char* what, const Rectangle& place)
    {
        std::printf("%s %d %d %d %d\n", what, place.x, place.y, place.width, place.height);
    }

    // The outer rectangle of the top-level window that holds the window (the window manager's
    // frame, or the window itself without one), while it and every window between it and the
    // root are mapped: while it can be seen.
    std::optional<Rectangle> visiblePlaceOf(Window window) const
    {
        for (;;) {
            const auto found = nodes_.find(window);
            if (found == nodes_.end() || !found->second.mapped)
                return std::nullopt;
            const Node& node = found->second;
            if (node.parent == root_)
                return Rectangle { node.x, node.y, node.width + 2 * node.border,
                    node.height + 2 * node.border };
            window = node.parent;
        }
    }

    Display* display_;
    Window root_;
    std::string name_;
    std::map<Window, Node> nodes_;
    std::set<Window> named_;
    std::map<Window, Rectangle> shown_;
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_moves NAME\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "window_moves: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    Watcher watcher(display, argv[1]);
    XSync(display, False);
    std::puts("ready");
    std::fflush(stdout);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        watcher.handle(event);
    }
}
