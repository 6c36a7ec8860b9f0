// Drives the platform's hidden-window messages from the Qt event loop of the user-interface
// thread, so messages that worker threads send or post to windows of that thread are handled by
// the Qt loop (and by QCoreApplication::processEvents() called from inside a handler).
#pragma once

namespace platform {

// Call once on the user-interface thread after the QCoreApplication exists. Installs the wake
// hook (replacing any other) and pumps whatever is already queued.
void InstallQtMessagePump();

}  // namespace platform
