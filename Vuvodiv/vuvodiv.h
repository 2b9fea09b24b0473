// The restorer: member loop, one member's file, text conversion, and the
// byte routines the LZH decoder reads and writes through.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common.h"

namespace vuvodiv {

// ---- The command line (opciones.cpp) ----------------------------------------
// What the run does with each chosen member; set once by LeeOpciones.
enum Modo {
    ModoRestaura,   // a file for each member (the one-argument call)
    ModoTuberia,    // -p: the restored bytes on standard output
    ModoLista,      // -l: a line per member, data passed over
    ModoPrueba,     // -t: decoded in full, nothing written
};
extern Modo ModoElegido;
extern bool SinReemplazo;               // -n: an existing file is kept
extern bool Silencio;                   // -q: errors only
extern const char* CarpetaDestino;      // -d DIR, or nullptr: the working folder
extern int Hilos;                       // -j N; 0: one per online CPU

// Member names given after BASE; none means every member.
constexpr int MaxSeleccion = 1024;
extern int NumSeleccion;

// The index of BASE in argv, or one of LlamadaUso, LlamadaTerminada,
// LlamadaErronea (opciones.h).
int LeeOpciones(int argc, char* argv[]);
// Whether the member shown as nombreVisible is chosen; a name that picks it
// is marked as used.
bool EstaSeleccionado(const char* nombreVisible);
// Reports each given name that picked no member; returns how many.
int InformaNombresSinMiembro();

// ---- The target folder (destino.cpp) -------------------------------------------
// Opens the folder of -d (made when missing) or the working folder, and
// notes the archive's identity.  Call with the archive open as Entrada.
void AbreDestino();
// Opens the folders of the member's name one by one from the target folder,
// never through a symbolic link, and leaves CarpetaSalida on the last one.
// Returns the name's last component, or nullptr with *motivo saying why the
// member is refused.
const char* PreparaRuta(const char** motivo);
// Whether the last component exists in CarpetaSalida (a link counts).
bool ExisteEnDestino(const char* ultimo);
// Back to the target folder; closes the member's folder.
void CierraRuta();
// Back to the target folder, leaving the member's folder open: its number
// is returned, for CierraRuta to close once CarpetaSalida is set to it again.
int TomaRuta();


// The archive's name, "<base>.cmp" with '_' read as '.'.
extern char NombreArchivo[TamNombreArchivo];

// ---- The member whose header was read last ----------------------------------
extern char Nombre[TamNombre + 1];      // the 12-byte field and a terminator
extern uint8_t Tipo;
extern uint8_t Metodo;
extern __thread uint32_t ContadorLectura;   // data bytes of the member taken so far

// Text conversion, set from Tipo by PreparaTraduccion; a type of 4 or more
// leaves both as the previous member set them.
extern __thread bool HayQueTraducir;   // every byte goes through Tra
extern __thread bool CuidaCR;          // carriage returns are left out
extern const uint8_t Tra[256];

// Set by the reader when the archive ends inside the member's data; the
// member is then not kept and the run stops.
extern __thread bool Truncado;
// Set by the LZH decoder when the member's data cannot be what the encoder
// wrote; the member is then not kept and the run goes on with the next.
extern __thread bool MiembroDanado;
// Members refused (unsafe name, unknown method, damaged data) so far.
extern uint32_t MiembrosNoRestaurados;
// The current member's name as the console shows it (control bytes escaped).
extern char NombreVisible[];

// The list mode (lista.cpp): one line per member; the totals, which also
// returns how many members were listed and starts the count again.
void ListaMiembro();
uint32_t ListaTotales();
// Passes over the rest of the member's data, seeking when the archive is a
// regular file; data cut short by the end of the archive is fatal.
void SaltaDatos();

// ---- Several members at once (paralelo.cpp) ------------------------------------
// Restoring and testing hand whole members to a fixed pool of threads: the
// main thread reads the headers and decides every member in archive order,
// each thread decodes its member from the archive's descriptor at the
// member's offset into its own temporary file (the main thread too, rather
// than wait: Hilos - 1 threads are started), and the main thread prints
// the members' lines, renames their files into place and reports errors in
// archive order, exactly as one thread would.
constexpr int MaxHilos = MaxTemporales / 2;
// Starts the threads when Hilos, the mode and the archive allow.
void IniciaHilos();
// Hands the member whose header was read last to a thread (true), after
// it has passed the checks of Vuvodiv; false when it is left to the caller.
bool DespachaMiembro();
// Finishes every member handed out, in order.
void DrenaPendientes();
// Drains and stops the threads.
void ParaHilos();

// Pieces of one member that paralelo.cpp shares with the plain path.
// A thread reading on its own: the archive's descriptor and offset
// (LeeBloqueComprimido reads there with pread), whether a read failed, and
// the restored bytes, counted instead of drawn.
extern __thread int DescriptorLectura;   // -1: Entrada
extern __thread int64_t PosicionLectura;
extern __thread bool ErrorLectura;
extern __thread bool EnHilo;
extern __thread uint64_t OctetosContados;
extern const char* UltimoPaso;               // the last component of the member's name
// The output of a member to be restored: its temporary file, or nullptr when
// it was refused or skipped (the line is then printed and the data passed).
FILE* AbreArchivoMiembro();
// The end of a member whose data is all taken: the truncation or damage
// report, or its file renamed into place and its line completed.
void TerminaMiembro();

void Presenta();
[[noreturn]] void MuestraUso();

// 1 and the member's fields when a member follows; 0 at the end of the
// archive.  A header cut short or a read error is fatal.
int LeeCabecera();
void Vuvodiv();
void PreparaTraduccion();
void VuvodivPlano();
void VuvodivLZW();

// The LZH decoder's pieces: the window ring and the position code expanded
// to look-ups by the next 8 bits of the stream (the upper 6 bits of the
// position, and the length of their code).  The ring is eight windows long:
// a match reaches back one window at most, and restored bytes leave from the
// ring in blocks of up to the rest, written straight from it.
constexpr int TamAnillo = 8 * TamVentana;
constexpr int MascaraAnillo = TamAnillo - 1;
constexpr int HolguraAnillo = 8;   // a match copied by words may spill past the ring
extern __thread uint8_t Texto[TamAnillo + HolguraAnillo];
extern const uint8_t* const ValorCodigo;
extern const uint8_t* const ValorLong;
// A copy may not start in the window bytes this member has not written
// yet, which hold the previous member's bytes (only possible while fewer
// than 60 bytes are out), nor run past the member's size.  Written so that
// nothing wraps for a member of nearly 4 GiB.
inline bool EsCopiaValida(unsigned posicion, uint32_t longitud, uint32_t producidos)
{
    if (producidos < Anticipo && posicion >= producidos + InicioEscritura)
        return false;
    return longitud <= TamanoOriginal - producidos;
}

// Byte routines of the member being restored.  LeeOctetoComprimido never
// takes more than TamanoComprimido bytes and gives 0 past them (or at a real
// end of file, which sets Truncado).  EscribeOctetoPlano counts every byte
// for the progress bar, also one that EscribeTraduciendo leaves out.
uint8_t LeeOctetoComprimido();
void EscribeOctetoPlano(uint8_t octeto);
void EscribeTraduciendo(uint8_t octeto);
// The same over blocks: LeeBloqueComprimido takes up to cuantos of the
// member's bytes and says how many it got (fewer only at the end of the
// member's data, or at a real end of file, which sets Truncado);
// EscribeBloquePlano is EscribeOctetoPlano on every byte of the block, in
// one write and with the same progress marks.
size_t LeeBloqueComprimido(uint8_t* destino, size_t cuantos);
void EscribeBloquePlano(const uint8_t* datos, size_t cuantos);

}  // namespace vuvodiv
