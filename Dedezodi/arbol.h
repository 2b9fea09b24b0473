// The compressor's match finder: 256 binary search trees over the window
// positions, one per first byte, keyed on the 60-byte string at each
// position.  Inserting a position and finding its longest earlier match are
// one walk.
#pragma once

#include <cstdint>
#include <cstring>

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

// Nodes visited by InsertaNodo<true> in each tree since the caller last
// cleared it: the measure by which the trees are shared among threads.  The
// single-threaded encoder inserts with InsertaNodo<false> and pays nothing
// for it.
extern __thread uint32_t Trabajo[NumArboles];

inline uint64_t CargaPalabra(const uint8_t* p)
{
    uint64_t palabra;
    memcpy(&palabra, p, sizeof palabra);
    return palabra;
}

// Which byte of two words, in memory order, is the first to differ
// (diferentes != 0 is their exclusive or).
inline int PrimerOctetoDistinto(uint64_t diferentes)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return __builtin_clzll(diferentes) >> 3;
#else
    return __builtin_ctzll(diferentes) >> 3;
#endif
}

void IniciaArbol();         // empty all trees
template <bool Cuenta = false>
void InsertaNodo(int r);    // add position r, leave its best match
void BorraNodo(int p);      // remove position p; nothing if it is in no tree
extern template void InsertaNodo<false>(int r);
extern template void InsertaNodo<true>(int r);

// The finder's operations do not depend on the coder's choices.  A member
// starts with the 60 positions before InicioEscritura inserted and then
// InicioEscritura itself; slide t (1, 2, ...) then removes position t - 1,
// writes input byte t + 59 there when the input has it, and inserts
// position InicioEscritura + t while input byte t exists (an empty member
// still makes that one insertion, unused).
// `admite` says which positions this thread inserts.
template <bool Cuenta = false, class Admite>
inline void InsertaPrimeras(Admite admite)
{
    for (int i = 1; i <= Anticipo; ++i)
        if (admite(InicioEscritura - i))
            InsertaNodo<Cuenta>(InicioEscritura - i);
    if (admite(InicioEscritura))
        InsertaNodo<Cuenta>(InicioEscritura);
}

inline bool InsertaEnDeslizada(uint64_t t, uint64_t leidos)
{
    return t < leidos || leidos == 0;
}

// Slide t; `nuevo` is input byte t + 59, or nullptr when the input has ended.
template <bool Cuenta = false>
inline void Desliza(uint64_t t, const uint8_t* nuevo, bool inserta)
{
    const int s = static_cast<int>((t - 1) & MascaraVentana);
    BorraNodo(s);
    if (nuevo) {
        Texto[s] = *nuevo;
        if (s < Anticipo - 1)
            Texto[s + TamVentana] = *nuevo;
    }
    if (inserta)
        InsertaNodo<Cuenta>(static_cast<int>((InicioEscritura + t) & MascaraVentana));
}

}  // namespace dedezodi
