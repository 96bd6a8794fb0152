// SPDX-License-Identifier: GPL-3.0-or-later
#include "key_accessible.h"

#include "key_shape.h"

#include <QAccessibleWidget>

namespace tonalyx::ui {

namespace {

// A key as a screen reader sees it. The key takes no focus and has no state to show, so a push
// button with the one action "press" is all there is to it; its name and description are the
// widget's own.
class KeyAccessible : public QAccessibleWidget {
public:
    explicit KeyAccessible(KeyShape* key)
        : QAccessibleWidget(key, QAccessible::Button)
    { }

    QStringList actionNames() const override { return { pressAction() }; }

    // The press and the release of a click, back to back, through the key's own signals: what
    // they send, and how the release ends the note of the press, is the selection logic's. No
    // mouse button makes it a press of its own, apart from any the mouse may hold meanwhile.
    void doAction(const QString& actionName) override
    {
        if (actionName != pressAction())
            return;
        auto* key = static_cast<KeyShape*>(widget());
        emit key->mouseDown(Qt::NoButton);
        emit key->mouseUp(Qt::NoButton);
    }
};

QAccessibleInterface* keyInterface(const QString& className, QObject* object)
{
    auto* key = qobject_cast<KeyShape*>(object);
    if (!key || className != QLatin1String(KeyShape::staticMetaObject.className()))
        return nullptr;
    // Owned by Qt's accessibility cache, which deletes it with the key.
    return new KeyAccessible(key);
}

} // namespace

void makeKeysPressableByAssistiveTools()
{
    // Qt keeps a factory once, however often it is installed.
    QAccessible::installFactory(keyInterface);
}

} // namespace tonalyx::ui
