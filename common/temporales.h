// Output written beside its final name.  An output file is created under a
// temporary name in the same folder and takes its final name only once it
// is complete, so a failed run never leaves a half-written file nor
// destroys an older one.  Up to MaxTemporales may be pending at once, each
// known by its stream; all of them are created, confirmed and discarded by
// one thread.  Names are relative to the folder open as CarpetaSalida
// (AT_FDCWD: the working folder) when the file is created, and its rename
// stays in that folder; neither the temporary file nor the final rename
// follows a link in it.
#pragma once

#include <cstdio>

constexpr int MaxTemporales = 32;
extern int CarpetaSalida;
// nullptr, with errno, if it cannot be created (EMFILE: too many pending).
FILE* CreaTemporal(const char* nombreFinal);
// Flush, close, rename; false when a step failed, the file removed, and
// errno saying why (0 for a write that failed before the call).
bool ConfirmaTemporal(FILE* archivo, const char* nombreFinal);
// Closes archivo and removes its file; with nullptr, removes every pending one.
void DescartaTemporal(FILE* archivo);
// From a signal handler, for a fault the program can explain (a file it
// maps cut short under it): removes every pending temporary file, writes
// the message to descriptor fd and ends with status 1.  Async-signal-safe.
[[noreturn]] void SalDesdeSenal(int fd, const char* mensaje, size_t largo);
