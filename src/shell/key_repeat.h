// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tonalyx::shell {

// Asks an X11 server to report a held key as repeated presses followed by one release.
//
// By default the server repeats a held key as pairs of release and press. The toolkit tells such a
// pair from a real release only by looking ahead in its event queue for the press, and that press
// often has not been read yet: the release then looks real, and a key held on a focused button
// would end its preview note and start it again many times a second. With the presses alone, the
// one release is the real one and a repeated press is ignored by the preview. Nothing happens on
// other window systems. Call it once the application object exists.
void requestDetectableKeyRepeat();

} // namespace tonalyx::shell
