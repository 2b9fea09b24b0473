// The restorer: member loop, one member's file, text conversion, and the
// byte routines the LZH decoder reads and writes through.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common.h"

namespace vuvodiv {


// The archive's name, "<base>.cmp" with '_' read as '.'.
extern char NombreArchivo[TamNombreArchivo];

// ---- The member whose header was read last ----------------------------------
extern char Nombre[TamNombre + 1];      // the 12-byte field and a terminator
extern uint8_t Tipo;
extern uint8_t Metodo;
extern uint32_t ContadorLectura;        // data bytes of the member taken so far

// Text conversion, set from Tipo by PreparaTraduccion; a type of 4 or more
// leaves both as the previous member set them.
extern bool HayQueTraducir;             // every byte goes through Tra
extern bool CuidaCR;                    // carriage returns are left out
extern const uint8_t Tra[256];

// Set by the reader when the archive ends inside the member's data; the
// member is then not kept and the run stops.
extern bool Truncado;
// Set by the LZH decoder when the member's data cannot be what the encoder
// wrote; the member is then not kept and the run goes on with the next.
extern bool MiembroDanado;
// Members refused (unsafe name, unknown method, damaged data) so far.
extern uint32_t MiembrosNoRestaurados;

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
extern uint8_t Texto[TamAnillo + HolguraAnillo];
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
