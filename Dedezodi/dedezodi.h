// The compressor: list file, per-member driver with stored fallback, and the
// byte routines the LZH encoder reads and writes through.
#pragma once

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

void Presenta();
[[noreturn]] void MuestraUso();

// The command line (opciones.cpp): -q sets Silencio.  Returns the index of
// BASE in argv, or one of LlamadaUso, LlamadaTerminada, LlamadaErronea
// (opciones.h).
extern bool Silencio;
int LeeOpciones(int argc, char* argv[]);

int ExtraeNombres(const char* nombreLista, char nombres[][TamNombre + 1], uint8_t tipos[]);
// nombre receives the whole first token: room for LongLinea + 1 bytes.
int LeePalabra(FILE* lista, char* nombre, uint8_t* tipo);

void Dedezodi(const char* nombre, uint8_t tipo);
void EscribeFalsaCabecera();
void EscribeCabecera(const char* nombre, uint8_t tipo, uint8_t metodo,
                     uint32_t tamanoOriginal, uint32_t tamanoComprimido);
void DedezodiPlano();
// Rewinds Entrada and resets the counters for one pass over the member.
void EmpiezaPasada();
int DedezodiLZH();
// The same stream with matches chosen by their cost in bits (optimo.cpp):
// smaller and slower.  Dedezodi() uses it for every member while ModoOptimo
// is set.
int DedezodiLZHOptimo();
extern bool ModoOptimo;

// Threads that pack a member: 1 is the plain single-threaded encoder; more
// share the match finder's trees among them (hilos.cpp) and write the same
// archive.  It starts as the number of processors online.
constexpr int MaxHilos = 32;
extern int NumHilos;
int DedezodiLZHHilos();

// The LZH encoder's pieces: the position code tables (length and
// left-aligned bits of the code of a position's upper 6 bits) and the bit
// writer, which takes the top `cuenta` bits of `codigo`.
extern const uint8_t* const ValorLong;
extern const uint8_t* const ValorCodigo;
void EscribeBit(int cuenta, uint16_t codigo);
void CodificaOcteto(int simbolo);
void CodificaPosicion(unsigned posicion);
void CodificaFinal();

// Byte routines of the member being packed.  LeeOctetoPlano reads the file
// to its end, counting each byte in OctetosLeidos and for the progress bar;
// EscribeOctetoComprimido counts in OctetosComprimidos, which, unlike the
// header's 32-bit field, cannot wrap on the LZH attempt of a file near
// 4 GiB.  Both are reset by EmpiezaPasada.
extern uint32_t OctetosLeidos;
extern uint64_t OctetosComprimidos;
int LeeOctetoPlano(uint8_t* octeto);
void EscribeOctetoComprimido(uint8_t octeto);

}  // namespace dedezodi
