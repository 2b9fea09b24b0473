// The adaptive Huffman model of the LZH stream, shared by the encoder and
// the decoder.
#pragma once

#include <cstdint>

#include "format.h"

// Node n (0..626) has count Frecuencia[n]; counts never decrease with n.
// Hijo[n] >= 627 marks a leaf holding symbol Hijo[n] - 627, otherwise the
// children are Hijo[n] (even) and Hijo[n] + 1.  Padre[0..626] are parent
// links (Padre[626] == 0 marks the root) and Padre[627 + s] is the leaf that
// holds symbol s.  Frecuencia[627] is a sentinel above every count.  Each
// thread that codes or decodes a member has its own tree.
extern __thread uint16_t Frecuencia[NumNodos + 1];
extern __thread int16_t Hijo[NumNodos];
extern __thread int16_t Padre[NumNodos + NumSimbolos];

void IniciaHuffman();              // starting tree
void Actualiza(int simbolo);       // count one more of simbolo

// The decoder's update, done on its walk down the tree so that no parent
// link has to be loaded: CuentaNodo on every node it passes, the root first
// and the symbol's node last; then, when some node met a run (igual >= 0),
// SigueDesdeRacha, and the tree is the one Actualiza leaves.  Not while the
// root stands at FrecuenciaMaxima: then the walk only reads and Actualiza
// follows (the rebuild comes first).
//
// Counting top-down is exact because a node's upper neighbour n + 1 is
// never below it on the path (children have lower indices than their
// parents), so the test Actualiza makes going up, Frecuencia[n + 1] equal
// to the count n had, reads the same on the way down.  Only the deepest node
// that passes it swaps first; SigueDesdeRacha takes back the counts above it
// and goes on as Actualiza from there.
inline void CuentaNodo(int16_t* camino, int& largo, int& igual, int nodo)
{
    const uint16_t f = Frecuencia[nodo];
    igual = Frecuencia[nodo + 1] == f ? largo : igual;
    Frecuencia[nodo] = static_cast<uint16_t>(f + 1);
    camino[largo++] = static_cast<int16_t>(nodo);
}
void SigueDesdeRacha(const int16_t* camino, int igual);
void Reconstruye();                // rebuild with halved counts
