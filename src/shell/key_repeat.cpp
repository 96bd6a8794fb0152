// SPDX-License-Identifier: GPL-3.0-or-later
#include "key_repeat.h"

#include <QGuiApplication>

// Xlib's headers define macros (Bool, None, Status) that clash with the toolkit's: they come last.
#include <X11/XKBlib.h>

namespace tonalyx::shell {

void requestDetectableKeyRepeat()
{
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->display() == nullptr)
        return;
    // A server without the keyboard extension keeps the pairs; nothing else can be done then.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(x11->display(), True, &supported);
}

} // namespace tonalyx::shell
