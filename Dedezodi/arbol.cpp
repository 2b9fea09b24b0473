// Match finder (arbol.h); its trees are not balanced.  Inserting the
// current position walks from the root to an empty link, and the nodes met
// on that walk are exactly the candidates worth measuring: the strings
// sharing the longest prefixes with the new one lie on its search path.
// The longest common prefix wins, the nearest position among equal lengths,
// and a full 60-byte match ends the walk by putting the new position in the
// old one's place, so a tree never holds two equal strings and the newer
// always wins.  The encoder's output depends on every one of these choices,
// so none of them may change.
//
// Why it is fast: splitting by first byte keeps the trees small and lets the
// comparison skip byte 0; the comparison reads eight bytes at a time and
// stops at the first word that differs, without wrap tests because Texto
// repeats its first 59 bytes after the ring; the link arrays carry one spare
// entry so that writes through an empty link need no test; nothing is
// allocated.
//
// The walk is a chain of dependent loads (each node's link names the next),
// and the CPU runs it ahead on predicted branches.  So the comparison always
// starts at byte 1: starting it past a prefix known from earlier nodes saves
// bytes but makes each node's comparison wait for the previous one's result,
// which on long chains costs more than the bytes it saves.

#include "arbol.h"

namespace dedezodi {

__thread uint8_t Texto[TamVentana + Anticipo - 1 + HolguraTexto];
__thread int16_t Superior[TamVentana + 1];
__thread int16_t Izquierdo[TamVentana + 1];
__thread int16_t Derecho[TamVentana + 1 + NumArboles];
__thread int16_t LongIgual;
__thread uint16_t PosIgual;
__thread uint32_t Trabajo[NumArboles];

void IniciaArbol()
{
    // Child links of positions are set when a position is inserted, so only
    // the roots and the "in a tree" marks need clearing.
    for (int b = 0; b < NumArboles; ++b)
        Derecho[PrimeraRaiz + b] = EnlaceVacio;
    for (int p = 0; p < TamVentana; ++p)
        Superior[p] = EnlaceVacio;
}

// The length of the common prefix of two 60-byte strings that share byte 0,
// and in `diferencia` the difference of the first bytes that differ (0 when
// all agree).  The last word reads up to 5 bytes past the strings, into the
// slack after Texto; a difference there is not counted.
static inline int MidePrefijo(const uint8_t* clave, const uint8_t* otra, int& diferencia)
{
    for (int i = 1; i < Anticipo; i += 8) {
        const uint64_t diferentes = CargaPalabra(clave + i) ^ CargaPalabra(otra + i);
        if (diferentes != 0) {
            const int j = i + PrimerOctetoDistinto(diferentes);
            if (j >= Anticipo)
                break;
            diferencia = clave[j] - otra[j];
            return j;
        }
    }
    diferencia = 0;
    return Anticipo;
}

// Put r where x hangs, taking over its children, and drop x from the tree.
static void ReemplazaNodo(int x, int r)
{
    const int16_t nuevo = static_cast<int16_t>(r);
    Superior[r] = Superior[x];
    Izquierdo[r] = Izquierdo[x];
    Derecho[r] = Derecho[x];
    Superior[Izquierdo[x]] = nuevo;   // an empty link writes the spare entry
    Superior[Derecho[x]] = nuevo;
    const int q = Superior[x];
    if (Derecho[q] == x)
        Derecho[q] = nuevo;
    else
        Izquierdo[q] = nuevo;
    Superior[x] = EnlaceVacio;
}

template <bool Cuenta>
void InsertaNodo(int r)
{
    const uint8_t* const clave = &Texto[r];
    // Links are read as unsigned 16-bit values: a zero-extending load gives
    // the next index as it is, where a signed one needed two more
    // instructions on the chain of dependent loads that the walk is.
    unsigned x = PrimeraRaiz + clave[0];
    int comparacion = 1;          // a root's only link is its right one
    int largo = 0;                // kept in locals during the walk
    unsigned posicion = PosIgual;
    uint32_t visitas = 0;
    Izquierdo[r] = EnlaceVacio;
    Derecho[r] = EnlaceVacio;

    for (;;) {
        if (comparacion >= 0) {
            const unsigned siguiente = static_cast<uint16_t>(Derecho[x]);
            if (siguiente == EnlaceVacio) {
                Derecho[x] = static_cast<int16_t>(r);
                Superior[r] = static_cast<int16_t>(x);
                break;
            }
            x = siguiente;
        } else {
            const unsigned siguiente = static_cast<uint16_t>(Izquierdo[x]);
            if (siguiente == EnlaceVacio) {
                Izquierdo[x] = static_cast<int16_t>(r);
                Superior[r] = static_cast<int16_t>(x);
                break;
            }
            x = siguiente;
        }

        ++visitas;
        const int i = MidePrefijo(clave, &Texto[x], comparacion);
        if (i > Umbral) {
            const unsigned p = ((static_cast<unsigned>(r) - x) & MascaraVentana) - 1u;
            if (i > largo) {
                largo = i;
                posicion = p;
                if (i >= Anticipo) {
                    ReemplazaNodo(static_cast<int>(x), r);
                    break;
                }
            } else if (i == largo && p < posicion) {
                posicion = p;     // equal length: the nearer one wins
            }
        }
    }

    if (Cuenta)
        Trabajo[clave[0]] += visitas;
    LongIgual = static_cast<int16_t>(largo);
    PosIgual = static_cast<uint16_t>(posicion);
}

template void InsertaNodo<false>(int r);
template void InsertaNodo<true>(int r);

void BorraNodo(int p)
{
    if (Superior[p] == EnlaceVacio)
        return;

    int y;   // the node that takes p's place, possibly the empty link
    if (Derecho[p] == EnlaceVacio) {
        y = Izquierdo[p];
    } else if (Izquierdo[p] == EnlaceVacio) {
        y = Derecho[p];
    } else {
        // Two children: the largest string below p on the left moves up.
        y = Izquierdo[p];
        if (Derecho[y] != EnlaceVacio) {
            do
                y = Derecho[y];
            while (Derecho[y] != EnlaceVacio);
            Derecho[Superior[y]] = Izquierdo[y];
            Superior[Izquierdo[y]] = Superior[y];
            Izquierdo[y] = Izquierdo[p];
            Superior[Izquierdo[p]] = static_cast<int16_t>(y);
        }
        Derecho[y] = Derecho[p];
        Superior[Derecho[p]] = static_cast<int16_t>(y);
    }

    const int q = Superior[p];
    Superior[y] = static_cast<int16_t>(q);
    if (Derecho[q] == p)
        Derecho[q] = static_cast<int16_t>(y);
    else
        Izquierdo[q] = static_cast<int16_t>(y);   // never a root: p hangs right of one
    Superior[p] = EnlaceVacio;
}

}  // namespace dedezodi
