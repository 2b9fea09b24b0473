// The compressor's match finder: 256 binary search trees over the window
// positions, one per first byte, keyed on the 60-byte string at each
// position.  Inserting a position and finding its longest earlier match are
// one walk.
#pragma once

#include <cstdint>

#include "format.h"

namespace dedezodi {

constexpr int EnlaceVacio = TamVentana;       // 4096: no node, in every link array
constexpr int PrimeraRaiz = TamVentana + 1;   // 4097: root of the tree for first byte 0
constexpr int NumArboles = 256;

// The window ring, then a copy of positions 0..Anticipo-2 so that the string
// at any position reads straight through without wrapping, then slack for
// the match finder's word reads.  The encoder fills the ring and the copy;
// the match finder only reads.
constexpr int HolguraTexto = 8;
extern uint8_t Texto[TamVentana + Anticipo - 1 + HolguraTexto];

// Links indexed by position.  Entry EnlaceVacio of Superior takes the writes
// made through an empty child link; Derecho[PrimeraRaiz + b] is the top of
// tree b.
extern int16_t Superior[TamVentana + 1];
extern int16_t Izquierdo[TamVentana + 1];
extern int16_t Derecho[TamVentana + 1 + NumArboles];

// The best match the last InsertaNodo found: its length (3..60, or 0 when
// there was none) and its distance minus one.  PosIgual is left alone when
// there is no match.
extern int16_t LongIgual;
extern uint16_t PosIgual;

void IniciaArbol();         // empty all trees
void InsertaNodo(int r);    // add position r, leave its best match
void BorraNodo(int p);      // remove position p; nothing if it is in no tree

}  // namespace dedezodi
