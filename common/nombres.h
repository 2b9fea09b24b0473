// Names as both programs take, judge and show them: the archive's name from
// BASE, the '_' that stands for '.', the escaping of bytes that could drive
// the terminal, and the names a member may have.
#pragma once

#include "format.h"

constexpr int MaxLongBase = 8;     // the last component of the base name
constexpr int TamNombreArchivo = 4096;   // a path: folders, base, extension, terminator

// Stops with "Name too long" for a base name whose last component is over
// 8 characters (or a path too long to hold).
void CompruebaBase(const char* base);
// Whether base names the file itself (notas.cmp where notas is meant): it
// ends in extension, in any case, after a name within the limit, it
// exists, and the file the base would name ("<base><extension>") does not.
bool EsElArchivo(const char* base, const char* extension);
// The way out for a call without options whose BASE is the file itself
// ("'notas.cmp' is the archive itself: call Vuvodiv notas"), or nullptr.
// que says what the file is ("archive", "list").
const char* ConsejoNombreArchivo(const char* base, const char* extension, const char* que);
// "<base><extension>" with every '_' of the last component read as '.';
// the folders before it keep their names.
void ComponeNombreArchivo(char* destino, const char* base, const char* extension);
// '_' stands for '.' in every name the user or the archive gives.
void ArreglaSeparador(char* nombre);

// A name is shown as it is where it is printable UTF-8; every byte of a
// control character (C0, DEL, C1) or of an invalid sequence is written as
// \xNN, so no name can drive the terminal.  destino holds at least
// 4 * strlen(nombre) + 1 bytes.
void EscapaNombre(const char* nombre, char* destino);
// The columns an escaped name takes on a terminal, so that a column after
// it lines up: one per character, two for a wide one (CJK, emoji), none
// for a combining mark.
int AnchoVisible(const char* visible);
// The same for a name of any length (a command-line argument); the result
// holds until the next call.
const char* EscapaArgumento(const char* nombre);
constexpr int TamNombreVisible = 4 * TamNombre + 1;
// A member name may only name a file inside the target folder: not
// absolute, no ".." step, no control bytes, and a last step that can be a
// file ("sub/" or "a/." could never be created).
bool EsNombreSeguro(const char* nombre);
