// The adaptive Huffman model shared by the encoder and the decoder.
//
// The tree's tables (huffman.h) keep the nodes sorted by count, so an update
// only has to raise the counts on one leaf-to-root path and, whenever a
// raised node would pass a run of equal counts above it, swap it with the
// last node of that run: every count stays in order without re-sorting, and
// the sentinel above the last node ends every upward scan without a bounds
// test.
//
// Both programs must hold the identical tree after every symbol, so the
// arithmetic is exact: counts are unsigned 16-bit, the rebuild fires only when
// the root equals FrecuenciaMaxima (never passes it, so no sum can overflow),
// and ties are always broken the same way (the raised node goes to the top of
// its run; a rebuilt node goes after every node of an equal count).
// Nothing is allocated: the rebuild shifts runs of the tables in place.

#include <cstring>

#include "huffman.h"

__thread uint16_t Frecuencia[NumNodos + 1];
__thread int16_t Hijo[NumNodos];
__thread int16_t Padre[NumNodos + NumSimbolos];

void IniciaHuffman()
{
    for (int s = 0; s < NumSimbolos; ++s) {
        Frecuencia[s] = 1;
        Hijo[s] = static_cast<int16_t>(s + MarcaHoja);
        Padre[s + MarcaHoja] = static_cast<int16_t>(s);
    }
    // Pair the lowest two unjoined nodes into each new node, in order.
    for (int n = NumSimbolos, i = 0; n < NumNodos; ++n, i += 2) {
        Frecuencia[n] = static_cast<uint16_t>(Frecuencia[i] + Frecuencia[i + 1]);
        Hijo[n] = static_cast<int16_t>(i);
        Padre[i] = Padre[i + 1] = static_cast<int16_t>(n);
    }
    Frecuencia[NumNodos] = Centinela;
    // Node 0 is always a leaf, so 0 can stand for "no parent" at the root.
    Padre[Raiz] = 0;
}

// The last node of the run of counts below k that begins at l (the counts
// are sorted, and the sentinel ends every run).  Four counts are compared at
// once as the 16-bit lanes of a 64-bit word, the first lane lowest in memory.
static inline int FinDeRacha(int l, uint16_t k)
{
    constexpr uint64_t Altos = 0x8000800080008000u;
    const uint64_t kk = k * uint64_t{0x0001000100010001u};
    int j = l + 1;
    for (; j + 3 <= NumNodos; j += 4) {
        uint64_t x;
        std::memcpy(&x, &Frecuencia[j], sizeof x);
        // Per lane, x >= k: the top bits decide unless they are equal, and
        // then the lower 15 bits do (their difference cannot borrow across
        // lanes with the top bit of x set).
        const uint64_t bajos = (x | Altos) - (kk & ~Altos);
        const uint64_t noMenor = ((x & ~kk) | (~(x ^ kk) & bajos)) & Altos;
        if (noMenor != 0) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            return j + __builtin_ctzll(noMenor) / 16 - 1;
#else
            return j + __builtin_clzll(noMenor) / 16 - 1;
#endif
        }
    }
    while (Frecuencia[j] < k) {
        ++j;
    }
    return j - 1;
}

// Node n has just been raised to k and would pass the run above it: it
// trades places with the run's last node l, which takes the count k, and
// the update goes on from l.
static inline int SubeSobreRacha(int n, uint16_t k)
{
    // Every node from n + 1 up to l still counts k - 1; find the last.
    const int l = FinDeRacha(n + 1, k);
    Frecuencia[n] = static_cast<uint16_t>(k - 1);
    Frecuencia[l] = k;

    // Swap the subtrees hanging at n and l; the links of n and l to their
    // own parents stay, so each subtree takes the other's place.
    const int i = Hijo[n];
    Padre[i] = static_cast<int16_t>(l);
    if (i < MarcaHoja) {
        Padre[i + 1] = static_cast<int16_t>(l);
    }
    const int j = Hijo[l];
    Hijo[l] = static_cast<int16_t>(i);
    Padre[j] = static_cast<int16_t>(n);
    if (j < MarcaHoja) {
        Padre[j + 1] = static_cast<int16_t>(n);
    }
    Hijo[n] = static_cast<int16_t>(j);
    return l;
}

// Counts one more on every node from n up to the root, keeping them sorted.
static inline void SubeDesde(int n)
{
    do {
        const uint16_t k = ++Frecuencia[n];
        if (Frecuencia[n + 1] < k) {
            n = SubeSobreRacha(n, k);
        }
        n = Padre[n];
    } while (n != 0);
}

void Actualiza(int simbolo)
{
    // Tested before any count moves, so the code just sent or read was taken
    // from the same tree on both sides.
    if (Frecuencia[Raiz] == FrecuenciaMaxima) {
        Reconstruye();
    }
    SubeDesde(Padre[simbolo + MarcaHoja]);
}

void SigueDesdeRacha(const int16_t* camino, int igual)
{
    // Actualiza would have stopped raising the path at camino[igual] to swap
    // it, so the counts above it go back, and the update goes on from there.
    for (int i = 0; i < igual; ++i) {
        --Frecuencia[camino[i]];
    }
    const int n = camino[igual];
    SubeDesde(Padre[SubeSobreRacha(n, Frecuencia[n])]);   // n is not the root: it never swaps
}

void Reconstruye()
{
    // Gather the leaves, in their order, into nodes 0..313 with halved counts
    // rounded up, so no count ever drops to 0.  The order stays sorted.
    int j = 0;
    for (int n = 0; n < NumNodos; ++n) {
        if (Hijo[n] >= MarcaHoja) {
            Frecuencia[j] = static_cast<uint16_t>((Frecuencia[n] + 1) / 2);
            Hijo[j] = Hijo[n];
            ++j;
        }
    }

    // Join the two lowest unjoined nodes and insert the sum after every node
    // of a lower or equal count.  The insertion point always lies above the
    // pair just joined, so children already named by Hijo never move.
    for (int k = NumSimbolos, i = 0; k < NumNodos; ++k, i += 2) {
        const uint16_t f = static_cast<uint16_t>(Frecuencia[i] + Frecuencia[i + 1]);
        int l = k - 1;
        while (Frecuencia[l] > f) {
            --l;
        }
        const int p = l + 1;
        const size_t mover = static_cast<size_t>(k - p);
        std::memmove(&Frecuencia[p + 1], &Frecuencia[p], mover * sizeof Frecuencia[0]);
        std::memmove(&Hijo[p + 1], &Hijo[p], mover * sizeof Hijo[0]);
        Frecuencia[p] = f;
        Hijo[p] = static_cast<int16_t>(i);
    }

    // Parent links from the children.  The root is nobody's child, so
    // Padre[Raiz] keeps its 0.
    for (int n = 0; n < NumNodos; ++n) {
        const int m = Hijo[n];
        Padre[m] = static_cast<int16_t>(n);
        if (m < MarcaHoja) {
            Padre[m + 1] = static_cast<int16_t>(n);
        }
    }
}
