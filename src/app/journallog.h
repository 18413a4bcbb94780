#pragma once

// When standard error is the systemd journal (JOURNAL_STREAM names it), every
// line carries its priority as a "<N>" prefix, so that journalctl -p warning
// shows the warnings and errors; the journal adds its own time stamps.
namespace JournalLog {

bool stderrIsJournal();
// Installs the message handler when stderrIsJournal(); returns whether it did.
bool install();

} // namespace JournalLog
