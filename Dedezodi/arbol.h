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

// Every thread that runs the finder has its own copy of the state below: a
// worker thread replays the same window over the trees it owns (hilos.cpp).
// It is __thread rather than thread_local: all of it starts as zeros, and
// thread_local would put a lazy-initialisation check on every access from
// another file, the encoder's per-byte window writes among them.

// The window ring, then a copy of positions 0..Anticipo-2 so that the string
// at any position reads straight through without wrapping, then slack for
// the match finder's word reads.  The encoder fills the ring and the copy;
// the match finder only reads.
constexpr int HolguraTexto = 8;
extern __thread uint8_t Texto[TamVentana + Anticipo - 1 + HolguraTexto];

// Links indexed by position.  Entry EnlaceVacio of Superior takes the writes
// made through an empty child link; Derecho[PrimeraRaiz + b] is the top of
// tree b.
extern __thread int16_t Superior[TamVentana + 1];
extern __thread int16_t Izquierdo[TamVentana + 1];
extern __thread int16_t Derecho[TamVentana + 1 + NumArboles];

// The best match the last InsertaNodo found: its length (3..60, or 0 when
// there was none) and its distance minus one.  PosIgual is left alone when
// there is no match.
extern __thread int16_t LongIgual;
extern __thread uint16_t PosIgual;

// Nodes visited by InsertaNodo in each tree since the caller last cleared
// it: the measure by which the trees are shared among threads.
extern __thread uint32_t Trabajo[NumArboles];

// Puts a new byte at window position s, and in the copy after the ring that
// lets the match finder read across the wrap.
inline void GuardaEnVentana(int s, uint8_t octeto)
{
    Texto[s] = octeto;
    if (s < Anticipo - 1)
        Texto[s + TamVentana] = octeto;
}

void IniciaArbol();         // empty all trees
void InsertaNodo(int r);    // add position r, leave its best match
void BorraNodo(int p);      // remove position p; nothing if it is in no tree

}  // namespace dedezodi
