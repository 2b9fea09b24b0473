// The console both programs write to, the progress bar of a member, and the
// one fatal error path; and the streams of the member being packed.
//
// Everything here is fixed-size global storage, set up once; nothing is
// allocated per member or per byte.
#pragma once

#include <cstdint>
#include <cstdio>

// ---- The member's streams --------------------------------------------------
// Entrada is the archive being restored.  Salida and the two sizes are the
// packer's member: the restorer keeps each member in a record of its own.
// __thread rather than thread_local: all of it starts as constants, and
// thread_local would put a check for lazy initialisation on every access
// from another file.
extern __thread uint32_t TamanoOriginal;    // the member's size as a file
extern __thread uint32_t TamanoComprimido;  // bytes of member data in the archive
extern FILE* Entrada;
extern __thread FILE* Salida;

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

// Unbuffered standard output, so every progress mark shows at once; and a
// file-size limit reported as a write error instead of killing the process.
void IniciaConsola();
// Standard output was closed when the program started (IniciaConsola put
// /dev/null there): a mode whose product is standard output must fail.
extern bool SalidaEstandarCerrada;
// The banner line and its underline of '=' as long as the line.
void PresentaTitulo(const char* titulo);

// ---- Progress bar ----------------------------------------------------------
// Twenty columns per member: one mark per (Paso + 1) bytes counted, and the
// bar is completed to twenty marks when the member is done.  Drawn by the
// main thread alone.
constexpr int AnchoBarra = 20;
extern const char Marcas[AnchoBarra + 1];   // the twenty marks of a full bar
extern uint32_t Paso;              // the member's size / 20
extern int32_t Punto;              // marks drawn for this member

void DibujaBarraVacia();           // 20 dots, cursor back on the first
void IniciaBarra(uint32_t tamano); // counters for a member of tamano bytes
void CompletaBarra();              // marks up to twenty
void RellenaBarra();               // dots up to twenty: the bar of a member that failed
void RetrocedeCursor(int columnas);

// Counts cuantos bytes more, their marks written together (one write on
// the unbuffered console).
void AvanzaBarraBloque(uint32_t cuantos);

// ---- The fatal path --------------------------------------------------------
// The only error path: prints "\nFatal error. <message>\n", removes every
// half-written output file, and exits with status 1.  AntesDeFatal, when a
// program's console sets it, runs first (once): there the console finishes
// the lines it owes before the message (the restorer's members before the
// one that failed).
//
// The same error is also written to standard error as "<program>: <message>"
// with what the line on standard output leaves out: where (a list line),
// the limit that was passed, and the system's reason (errno, captured by
// the caller where the failure happened).  That line goes out when standard
// error is not the file standard output is (so a user who sends the output
// away still sees why), and instead of the usual line when errors go to
// standard error anyway (-q, -p).
struct Causa {
    int error = 0;                  // errno of the failure; 0: none
    const char* limite = nullptr;   // "at most 300", shown in parentheses
    const char* lugar = nullptr;    // "notas.lst line 7", shown first
};
[[noreturn]] void ErrorFatal(const char* mensaje, const Causa& causa = {});
extern void (*AntesDeFatal)();
// Runs AntesDeFatal, if set, once: both builds of ErrorFatal start here.
void CumpleAntesDeFatal();
// Composes the message from a format with one %s, the name escaped as the
// console shows names (nombres.cpp), then ErrorFatal.
[[noreturn]] void ErrorFatalCon(const char* formato, const char* nombre, const Causa& causa = {});
// The lines on standard error that go with a fatal error: the form above,
// and ConsejoFatal after it when set (the way out of a common slip, such as
// an archive named with its extension where BASE is meant).
extern const char* NombrePrograma;
extern const char* ConsejoFatal;
void InformaFatalEnErrores(const char* mensaje, const Causa& causa);
