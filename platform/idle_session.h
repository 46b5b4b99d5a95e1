// The --idle watcher's place in a Linux session: its XDG autostart entry, which is
// also where the dialog reads whether the watcher is on, and the lock in
// $XDG_RUNTIME_DIR that keeps it to one watcher per session, whoever starts it.
#pragma once

#include <string>

namespace quipix::platform {

// $XDG_CONFIG_HOME/autostart/quipix-idle.desktop (~/.config when unset).
std::string IdleAutostartPath();
// The seconds the autostart entry starts the watcher with; 0 when there is no entry
// (or it is hidden, or runs no --idle).
int ReadIdleAutostart();
// Writes the entry: program --idle seconds at each login. False when it cannot.
bool WriteIdleAutostart(int seconds, const std::string& program);
void RemoveIdleAutostart();

// Takes the session's watcher lock for this process, for as long as it runs; false
// when another watcher holds it.
bool TakeIdleWatcherLock();
// Ends the session's running watcher, if there is one, and waits until it has gone.
void EndIdleWatcher();

// The dialog's switch: seconds > 0 writes the autostart entry and starts this
// program's watcher now (in place of a running one); 0 removes the entry and ends
// the watcher. Nothing happens when the entry already says so.
void SetIdleAutostart(int seconds);

}  // namespace quipix::platform
