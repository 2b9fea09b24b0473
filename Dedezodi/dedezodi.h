// The compressor: list file, per-member driver with stored fallback, and the
// byte routines the LZH encoder reads and writes through.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "common.h"

namespace dedezodi {

constexpr int MaxArchivos = 300;
constexpr int LongLinea = 80;           // a list line is read in pieces of 80

// The archive's name, "<base>.cmp" with '_' read as '.'.
extern char NombreArchivo[TamNombreArchivo];

// The list, read whole before the archive is created.
extern char Nombres[MaxArchivos][TamNombre + 1];
extern uint8_t Tipos[MaxArchivos];

[[noreturn]] void MuestraUso();

// The command line (opciones.cpp).  Returns the index of BASE in argv, or
// one of LlamadaUso, LlamadaTerminada, LlamadaErronea (opciones.h).
extern bool Silencio;                // -q
extern const char* ArchivoNombres;   // -T FILE: names one a line ("-": standard input)
extern bool Binario;                 // -b: files named without a list are binary
int LeeOpciones(int argc, char* argv[]);
// The list file's and the archive's names from BASE: "<base>.lst" and
// "<base>.cmp", or, with options, the list's own file (notas.lst) and the
// archive beside it.
void NombraArchivos(const char* base, char* nombreLista);

// Fill Nombres and Tipos (and the files they are read from): from the list
// file; or without a list, the cuantos names given, then the names of
// archivoNombres (or nullptr), each read literally, all of type tipo, with
// the same limits and checks.  Each returns the count.
int ExtraeNombres(const char* nombreLista);
int TomaNombres(char* const nombres[], int cuantos, const char* archivoNombres, uint8_t tipo);
// For an entry of Nombres: the file it is read from (its own name from a
// list, the name given when named without one), and the cause of an error
// with the list line it was named on.
const char* ArchivoDe(const char* nombre);
Causa CausaDe(const char* nombre, int error);

// Packs the listed members into Salida in list order, on NumHilos threads
// (reparto.cpp).
void EmpaquetaMiembros(int cuenta);
// Members packed by a thread other than the caller since the run began.
extern int MiembrosAjenos;

// One member written straight into Salida by the calling thread, its line
// drawn as it goes (miembro.cpp).  It chooses the member's encoder.
void Dedezodi(const char* nombre, uint8_t tipo);
// Its pieces, for a member a worker packs apart (AbreEntrada: octetos.cpp).
// CodificaMiembro packs it into Salida from where Salida stands, storing it
// when the encoder's stream is not smaller (over the attempt, whose
// `intento` bytes reach further); it leaves the sizes in TamanoOriginal and
// TamanoComprimido and returns the method.  On a thread that is Encargado,
// nothing is drawn and a failure sets Fallido instead of ending the run.
// DibujaMiembro draws the whole line of a member so packed (its sizes set).
extern __thread bool Encargado;
extern __thread bool Fallido;
bool Falla(const char* formato, int error = 0);
bool AbreEntrada(const char* nombre);
void CierraEntrada();
uint8_t CodificaMiembro(int (*codificador)(), uint64_t* intento);
void DibujaMiembro(const char* nombre, uint8_t metodo);
void EscribeFalsaCabecera();
void EscribeCabecera(const char* nombre, uint8_t tipo, uint8_t metodo,
                     uint32_t tamanoOriginal, uint32_t tamanoComprimido);
void DedezodiPlano();
// Rewinds EntradaMiembro and resets the counters and the model for one
// pass over the member.
void EmpiezaPasada();

// The member's console line (linea.cpp): its name and empty bar; the bar
// drawn again for the stored copy; the percentage over the bar's end and
// the name stored, if another.
void EmpiezaLinea(const char* nombre);
void RehaceBarra();
void TerminaLinea(const char* nombre);

// The encoders, each from EntradaMiembro into Salida over a pass begun by
// EmpiezaPasada; each returns whether its stream is smaller than the input.
// DedezodiLZH is the plain single-threaded one; DedezodiLZHHilos shares the
// match finder's trees among NumHilos threads (hilos.cpp);
// DedezodiLZHOptimo chooses matches by their cost in bits (optimo.cpp):
// smaller and slower.
int DedezodiLZH();
int DedezodiLZHHilos();
int DedezodiLZHOptimo();
extern bool ModoOptimo;

// Threads that pack the list, set once by -j or to the CPUs the process may
// use: 1 is the plain single-threaded path.
constexpr int MaxHilos = 32;
extern int NumHilos;
// Slides of the shared-tree encoder replayed by threads other than the
// coder since the run began.
extern std::atomic<uint64_t> DeslizadasAjenas;
// The smallest member whose trees are shared: two rounds of slides.
constexpr uint32_t MinimoCompartido = 1 << 16;

// The LZH encoder's pieces (lzh.cpp); EmpiezaBits empties the bit writer.
void EmpiezaBits();
void EscribeBit(int cuenta, uint16_t codigo);
void CodificaOcteto(int simbolo);
void CodificaPosicion(unsigned posicion);
void CodificaFinal();
// The window at a member's start: InicioEscritura spaces, then the member's
// first bytes (up to 60); and the bit writer empty.  Returns how many it read.
int EmpiezaVentana(uint8_t* ventana);
// One step: the match of `largo` bytes at `posicion`, cut to the `resto`
// bytes left, or the literal `primero` when that leaves 2 bytes or fewer.
// Returns the bytes the step covers.
int CodificaPaso(unsigned largo, unsigned posicion, uint8_t primero, uint64_t resto);

// Byte routines of the member being packed, one set per thread.
// LeeOctetoPlano reads EntradaMiembro to its end, counting each byte in
// OctetosLeidos and, on the thread that draws it, for the progress bar;
// EscribeOctetoComprimido writes to Salida and counts in OctetosComprimidos,
// which, unlike the header's 32-bit field, cannot wrap on the LZH attempt of
// a file near 4 GiB.  Both counts are reset by EmpiezaPasada.
extern __thread FILE* EntradaMiembro;
extern __thread uint32_t OctetosLeidos;
extern __thread uint64_t OctetosComprimidos;
void EscribeOctetoComprimido(uint8_t octeto);

// The count of bytes read at which the reader next looks up from them (the
// next mark of the bar, or on a worker a check that the run goes on), and
// what it does then and at the input's end: whether a byte may be read.
extern __thread uint32_t AvisoLectura;
bool SigueLeyendo(int c);

inline int LeeOctetoPlano(uint8_t* octeto)
{
    const int c = getc_unlocked(EntradaMiembro);
    if ((c == EOF || OctetosLeidos >= AvisoLectura) && !SigueLeyendo(c))
        return 0;
    ++OctetosLeidos;
    *octeto = static_cast<uint8_t>(c);
    return 1;
}

}  // namespace dedezodi
