#pragma once
// Lets the window see what the program prints without changing the console: stdout is
// replaced by a stream that writes every byte unchanged to file descriptor 1, as the
// original stream did, and hands the same bytes to a listener. Buffering is the original
// stream's mode (the window sets line buffering), so the console receives the same bytes
// at the same flushes. GL-free; glibc streams.

#include <cstddef>

using ConsoleListener = void (*)(const char* data, size_t size);

// Flushes stdout and replaces it by the tee with the given buffering mode (_IOLBF, ...).
// Returns false (stdout unchanged) when the stream cannot be made.
bool installConsoleTee(ConsoleListener listener, int bufferMode);
// Stops handing bytes to the listener; the tee keeps writing to the console. For the end of
// the process, when the listener's objects may be gone.
void detachConsoleListener();
// Flushes the tee and puts the original stdout back (tests).
void removeConsoleTee();
