// The shared core of both programs: the per-member state, the one fatal
// error path, name fix-up, the progress bar, output files that appear only
// when complete, and the adaptive Huffman model of the LZH stream.
//
// Everything here is fixed-size global storage, set up once and reset per
// member; nothing is allocated per member or per byte.
#pragma once

#include <cstdint>
#include <cstdio>

#include "format.h"

// ---- Per-member state ------------------------------------------------------
// A thread that restores members of its own has its own member, its own
// output stream and its own model; the archive's headers are read by the
// main thread alone.  __thread rather than thread_local: all of it starts
// as constants, and thread_local would put a check for lazy initialisation
// on every access from another file.
extern __thread uint32_t TamanoOriginal;    // the member's size as a file
extern __thread uint32_t TamanoComprimido;  // bytes of member data in the archive
extern FILE* Entrada;                           // the stream being read
extern __thread FILE* Salida;               // the stream being written

// ---- Console streams -------------------------------------------------------
// Every line the user sees goes to one of two streams.  Consola takes the
// banner, member lines and bars: standard output, standard error when
// standard output carries data, nothing (nullptr) when the user asks for
// quiet.  ConsolaErrores takes fatal errors and failed members: standard
// output as the programs always did, standard error in those two cases.
extern FILE* Consola;
extern FILE* ConsolaErrores;
void EligeConsola(bool datosPorSalida, bool silencio);
// printf to Consola, or nothing when it is quiet.
void Mensaje(const char* formato, ...) __attribute__((format(printf, 1, 2)));
// A stream that takes bytes and throws them away (for a mode that decodes
// without writing); opened once.
FILE* AbreSumidero();

// ---- Progress bar ----------------------------------------------------------
// Twenty columns per member: one mark per (Paso + 1) bytes counted, and the
// bar is completed to twenty marks when the member is done.
constexpr int AnchoBarra = 20;
extern uint32_t Paso;              // TamanoOriginal / 20
extern uint32_t ContadorParcial;   // bytes counted since the last mark
extern int32_t Punto;              // marks drawn for this member

void DibujaBarraVacia();           // 20 dots, cursor back on the first
void IniciaBarra();                // counters for a member of TamanoOriginal bytes
void CompletaBarra();              // marks up to twenty
void RetrocedeCursor(int columnas);

// A member that turns out longer than its size said (a file that grows
// while it is packed) still draws no more than the twenty columns.
inline void AvanzaBarra()
{
    if (++ContadorParcial > Paso) {
        ContadorParcial = 0;
        if (Punto < AnchoBarra) {
            if (Consola)
                putc_unlocked('o', Consola);
            ++Punto;
        }
    }
}

// AvanzaBarra for cuantos bytes at once: the same marks, one per Paso + 1
// bytes, written together (one write on the unbuffered console).
inline void AvanzaBarraBloque(uint32_t cuantos)
{
    static const char Marcas[] = "oooooooooooooooooooo";
    const uint64_t paso = uint64_t{Paso} + 1;
    const uint64_t cuenta = uint64_t{ContadorParcial} + cuantos;
    ContadorParcial = static_cast<uint32_t>(cuenta % paso);
    for (uint64_t marcas = cuenta / paso; marcas > 0;) {
        const size_t trozo = marcas < AnchoBarra ? static_cast<size_t>(marcas) : AnchoBarra;
        if (Consola)
            fwrite(Marcas, 1, trozo, Consola);
        Punto += static_cast<int32_t>(trozo);
        marcas -= trozo;
    }
}

// ---- Console and command line ----------------------------------------------
constexpr int MaxLongBase = 8;     // the last component of the base name
constexpr int TamNombreArchivo = 4096;   // a path: folders, base, extension, terminator

// Unbuffered standard output, so every progress mark shows at once; and a
// file-size limit reported as a write error instead of killing the process.
void IniciaConsola();
// The banner line and its underline of '=' as long as the line.
void PresentaTitulo(const char* titulo);
// Stops with "Name too long" for a base name whose last component is over
// 8 characters (or a path too long to hold).
void CompruebaBase(const char* base);
// "<base><extension>" with every '_' of the last component read as '.';
// the folders before it keep their names.
void ComponeNombreArchivo(char* destino, const char* base, const char* extension);

// ---- Errors and names ------------------------------------------------------
// The only error path: prints "\nFatal error. <message>\n", removes every
// half-written output file, and exits with status 1.  AntesDeFatal, when
// set, runs first (once): the restorer finishes there the members before
// the one that failed, whose lines come first.
[[noreturn]] void ErrorFatal(const char* mensaje);
extern void (*AntesDeFatal)();
// Composes the message from a format with one %s, then ErrorFatal.
[[noreturn]] void ErrorFatalCon(const char* formato, const char* nombre);
// '_' stands for '.' in every name the user or the archive gives.
void ArreglaSeparador(char* nombre);

// ---- Names -----------------------------------------------------------------
// A name is shown as it is where it is printable UTF-8; every byte of a
// control character (C0, DEL, C1) or of an invalid sequence is written as
// \xNN, so no name can drive the terminal.  destino holds at least
// 4 * strlen(nombre) + 1 bytes.
void EscapaNombre(const char* nombre, char* destino);
// The same for a name of any length (a command-line argument); the result
// holds until the next call.
const char* EscapaArgumento(const char* nombre);
constexpr int TamNombreVisible = 4 * TamNombre + 1;
// A member name may only name a file inside the target folder: not
// absolute, no ".." step, no control bytes, and a last step that can be a
// file ("sub/" or "a/." could never be created).
bool EsNombreSeguro(const char* nombre);

// ---- Output written beside its final name ----------------------------------
// An output file is created under a temporary name in the same folder and
// takes its final name only once it is complete, so a failed run never leaves
// a half-written file nor destroys an older one.  Up to MaxTemporales may be
// pending at once, each known by its stream; all of them are created,
// confirmed and discarded by one thread.  Names are relative to the folder
// open as CarpetaSalida (AT_FDCWD: the working folder) when the file is
// created, and its rename stays in that folder; neither the temporary file
// nor the final rename follows a link in it.
constexpr int MaxTemporales = 32;
extern int CarpetaSalida;
FILE* CreaTemporal(const char* nombreFinal);      // nullptr if it cannot be created (or too many pending)
bool ConfirmaTemporal(FILE* archivo, const char* nombreFinal);  // flush, close, rename
// Closes archivo and removes its file; with nullptr, removes every pending one.
void DescartaTemporal(FILE* archivo);

// ---- Adaptive Huffman model ------------------------------------------------
// Node n (0..626) has count Frecuencia[n]; counts never decrease with n.
// Hijo[n] >= 627 marks a leaf holding symbol Hijo[n] - 627, otherwise the
// children are Hijo[n] (even) and Hijo[n] + 1.  Padre[0..626] are parent
// links (Padre[626] == 0 marks the root) and Padre[627 + s] is the leaf that
// holds symbol s.  Frecuencia[627] is a sentinel above every count.
extern __thread uint16_t Frecuencia[NumNodos + 1];
extern __thread int16_t Hijo[NumNodos];
extern __thread int16_t Padre[NumNodos + NumSimbolos];

void IniciaHuffman();              // starting tree
void Actualiza(int simbolo);       // count one more of simbolo

// The decoder's update, done on its walk down the tree so that no parent
// link has to be loaded: CuentaNodo on every node it passes, the root first
// and the symbol's node last, then CompletaCamino, and the tree is the one
// Actualiza leaves.  Not while the root stands at FrecuenciaMaxima: then
// the walk only reads and Actualiza follows (the rebuild comes first).
//
// Counting top-down is exact because a node's upper neighbour n + 1 is
// never below it on the path (children have lower indices than their
// parents), so the test Actualiza makes going up, Frecuencia[n + 1] equal
// to the count n had, reads the same on the way down.  Only the deepest node
// that passes it swaps first; CompletaCamino takes back the counts above it
// and goes on as Actualiza from there.
inline void CuentaNodo(int16_t* camino, int& largo, int& igual, int nodo)
{
    const uint16_t f = Frecuencia[nodo];
    igual = Frecuencia[nodo + 1] == f ? largo : igual;
    Frecuencia[nodo] = static_cast<uint16_t>(f + 1);
    camino[largo++] = static_cast<int16_t>(nodo);
}
void SigueDesdeRacha(const int16_t* camino, int igual);
inline void CompletaCamino(const int16_t* camino, int igual)
{
    if (igual >= 0)   // otherwise no node met a run: every count is final
        SigueDesdeRacha(camino, igual);
}
void Reconstruye();                // rebuild with halved counts
