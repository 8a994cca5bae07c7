// The controlling terminal as the keyboard on POSIX systems: opening it, key-by-key mode,
// restoring, and whether this job is in its foreground.
#pragma once

// Opens /dev/tty as the console input (no terminal: no keyboard, and the run goes on), unless
// standard output is a pipe: a program down the pipeline may own the terminal, which is then left
// alone (no keyboard). When this process is the terminal's foreground job, switches the terminal
// to key-by-key input without echo; Ctrl+C becomes the key 3 when standard input is that
// terminal. Every way out (RestoreTerminal, exit, every signal whose default action ends the
// process) puts back the settings found before the first switch, and Ctrl+Z puts them back while
// the job is stopped.
void PrepareTerminal();

// Puts back the settings PrepareTerminal changed, if it changed any; later calls do nothing.
void RestoreTerminal();

// Where this process's job stands on the terminal `fd`: neither in its foreground nor in its
// background when `fd` is no terminal of this session. Async-signal-safe.
enum class TerminalJob { kNone, kForeground, kBackground };
TerminalJob JobOnTerminal(int fd);

// For the key poll: true when this process is the terminal's foreground job and may read it,
// after switching the terminal to key-by-key mode if this job was started in the background or
// was stopped since. False without a terminal, in the background, and after RestoreTerminal.
bool TerminalReadyForKeys();
