// The cost-based LZH encoder: the same stream as DedezodiLZH, with the
// matches chosen by what they cost in bits rather than by their length.
//
// The stream fixes how a member is decoded, not which matches the encoder
// takes.  The greedy encoder codes, at every step, the longest match its
// trees offer; here the input is cut into blocks of TamBloque bytes and each
// block is parsed as a shortest path: position i of the block is a node, a
// literal is an edge to i + 1, and a match of length L is an edge to i + L.
// Every length 3..60 of every position is a candidate, at the nearest
// position that offers it, since a nearer position never costs more bits;
// only where a match of the full 60 bytes exists is that one the only
// candidate, which keeps long runs from costing 58 edges per byte.
//
// Edge costs come from the adaptive model: a symbol costs -log2(count /
// total) bits, at least one, from the counts at the block's start; a match
// position costs its fixed code.  The model changes as the block is coded,
// so up to two more passes take their costs from the block's start counts
// plus the counts of the path the previous pass chose (a pass whose costs
// did not change would find the same path, and is skipped).  The path of
// the last pass is then coded for real, with the adaptive model, up to the
// first step that ends at or past the block's end; the parse looks
// Horizonte bytes beyond that end, so the last steps of a block are not
// chosen blind.
//
// The matches come from a binary tree per pair of first bytes, over the
// positions of the last MaxDistancia bytes, in which every node is newer than
// the nodes below it and the strings are in order.  Inserting a position
// walks from the root down to its place, and the nodes met on the way include
// the nearest position for every length the new string shares with an older
// one: for each length, the nearest string sharing it has no newer string
// between it and the new one in sorted order, so it sits on the walk.  A
// match as long as the lookahead ends the walk, the old node giving its place
// to the new one.  The walk stops at the first node farther than
// MaxDistancia, since all below it are older still, or after Corte nodes.
//
// Memory is fixed (the sizes below), and positions are counted in 64 bits
// from the member's start, so a member of 4 GiB needs no renumbering.


#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "arbol.h"
#include "dedezodi.h"

namespace dedezodi {

// ---- Sizes -----------------------------------------------------------------

constexpr int TamBloque = 8192;        // bytes coded per block
constexpr int Horizonte = 120;         // bytes parsed past the block's end
constexpr int MaxBloque = TamBloque + Horizonte;
constexpr int MinLongitud = Umbral + 1;                  // 3
constexpr int MaxCandidatos = Anticipo - Umbral;         // lengths 3..60
// The greedy encoder's reach (lzh.cpp, arbol.cpp): before it inserts
// position r + 1 it removes position r + Anticipo, which modulo the window
// is r + 1 - (InicioEscritura + 1), so its trees hold positions at most
// InicioEscritura behind the one that looks for a match.
constexpr int MaxDistancia = InicioEscritura;            // 4036
constexpr int Corte = 64;              // nodes visited per insertion at most

// The input buffer holds the window behind the block, the block, its
// horizon and the lookahead of the horizon's last position; it slides when
// that no longer fits, keeping the window behind the next block.  Twice a
// block's room leaves that window whole at every slide.
constexpr int TamBuffer = 1 << 16;
static_assert(TamBuffer >= TamVentana + 2 * (MaxBloque + Anticipo), "a slide keeps the window");
// The matches wait for the parse in two rings: one slot per position, and
// the matches themselves packed one after another, so that a pass over a
// block reads them in order from a few hundred KiB.  A block's positions
// and their matches fit whatever the block's start.
constexpr int TamAnillo = 1 << 14;
constexpr int MascaraAnillo = TamAnillo - 1;
static_assert(TamAnillo >= MaxBloque + Anticipo, "a block's positions fit in the ring");
constexpr uint32_t TamPares = 1 << 19;
constexpr uint32_t MascaraPares = TamPares - 1;
static_assert(TamPares >= MaxBloque * MaxCandidatos, "a block's matches fit in the ring");
// Tree nodes by position modulo TamVentana: a node is reused only when it
// is farther than MaxDistancia, when no walk reaches it any more.
constexpr int MascaraNodos = TamVentana - 1;
static_assert(TamVentana > MaxDistancia, "a live node is never reused");

// Position 0 stands for "no node": the member's first byte (the first window
// space) is at Origen, farther than MaxDistancia from every position coded.
constexpr uint64_t Vacio = 0;
constexpr uint64_t Origen = TamVentana;
constexpr uint64_t PrimeraEntrada = Origen + InicioEscritura;   // the first input byte

constexpr uint32_t CosteInfinito = UINT32_MAX;

// ---- State -----------------------------------------------------------------

// Input: Buffer[i] holds the member's byte at position Base + i; bytes up to
// FinDatos are read, and FinEntrada says the member has no more.
static uint8_t Buffer[TamBuffer];
static uint64_t Base;
static uint64_t FinDatos;
static bool FinEntrada;

// Where the next block starts (everything before it is coded), and the next
// position the match finder takes.
static uint64_t Cursor;
static uint64_t Buscado;

// Match finder: the newest position for each pair of first bytes, and each
// node's two subtrees (strings below it, strings above it).
static uint64_t Raices[1 << 16];
static uint64_t Hijos[2 * TamVentana];

// The matches of position p: NumCandidatos[p & MascaraAnillo] of them from
// Pares[PrimerPar[p & MascaraAnillo] & MascaraPares] on, lengths rising,
// each with the nearest position P (distance - 1) that offers it, packed as
// P << 8 | length.  SiguientePar counts every match stored in the member.
static uint8_t NumCandidatos[TamAnillo];
static uint32_t PrimerPar[TamAnillo];
static uint32_t Pares[TamPares];
static uint32_t SiguientePar;

static inline int LongPar(uint32_t par) { return static_cast<int>(par & 0xFF); }
static inline unsigned PosPar(uint32_t par) { return par >> 8; }
static inline uint32_t Par(int ranura, int k)
{
    return Pares[(PrimerPar[ranura] + static_cast<uint32_t>(k)) & MascaraPares];
}

// Costs of the pass under way, in 1/EscalaCoste bits.
constexpr uint32_t EscalaCoste = 64;
static uint32_t CosteSimbolo[NumSimbolos];
static uint32_t CostePrefijo[NumPrefijosPosicion];   // a position's code by its upper 6 bits

// The shortest paths: the cost to reach each block position, and the last
// step of the cheapest way there (length 1 for a literal, and the match's P).
static uint32_t Coste[MaxBloque + 1];
static uint8_t LongElegida[MaxBloque + 1];
static uint16_t PosElegida[MaxBloque + 1];

// ---- Input -----------------------------------------------------------------

static inline const uint8_t* Octetos(uint64_t posicion)
{
    return &Buffer[posicion - Base];
}

// Reads until the buffer holds position `hasta` - 1 or the member ends,
// sliding the buffer first when `hasta` lies past its end.  The window
// behind Cursor stays, for the matches the next block may take.
static void LeeHasta(uint64_t hasta)
{
    if (hasta - Base > TamBuffer) {
        const uint64_t nuevaBase = Cursor - TamVentana;
        memmove(Buffer, Octetos(nuevaBase), FinDatos - nuevaBase);
        Base = nuevaBase;
    }
    uint8_t* destino = &Buffer[FinDatos - Base];
    const uint8_t* const fin = &Buffer[std::min<uint64_t>(hasta - Base, TamBuffer)];
    while (!FinEntrada && destino < fin) {
        if (LeeOctetoPlano(destino))
            ++destino;
        else
            FinEntrada = true;
    }
    FinDatos = Base + static_cast<uint64_t>(destino - Buffer);
}

// ---- Match finder ----------------------------------------------------------

// How many of the first `limite` bytes of two strings agree, knowing that
// the first `comun` do: eight at a time while eight remain, the first
// differing byte of two words found from their exclusive or.
static inline int MideComun(const uint8_t* clave, const uint8_t* otra, int comun, int limite)
{
    for (; comun + 8 <= limite; comun += 8) {
        const uint64_t diferentes = CargaPalabra(clave + comun) ^ CargaPalabra(otra + comun);
        if (diferentes != 0)
            return comun + PrimerOctetoDistinto(diferentes);
    }
    while (comun < limite && otra[comun] == clave[comun])
        ++comun;
    return comun;
}

// Inserts `posicion` into its tree and leaves in its ring slot the nearest
// match for every length it shares with an earlier string.
static void Busca(uint64_t posicion)
{
    const int ranura = static_cast<int>(posicion & MascaraAnillo);
    const int limite = static_cast<int>(std::min<uint64_t>(Anticipo, FinDatos - posicion));
    if (limite < MinLongitud) {
        // No later position can share 3 bytes with this one either.
        NumCandidatos[ranura] = 0;
        return;
    }
    const uint8_t* const clave = Octetos(posicion);
    int cuantos = 0;

    uint64_t& raiz = Raices[clave[0] | clave[1] << 8];
    uint64_t candidato = raiz;
    raiz = posicion;
    // Where the walk hangs the next node found below the new string, and the
    // next one found above it; and how many bytes each of those two sides is
    // known to share with the new string.
    uint64_t* debajo = &Hijos[2 * (posicion & MascaraNodos)];
    uint64_t* encima = debajo + 1;
    int comunDebajo = 2, comunEncima = 2;
    int mejor = Umbral;

    for (int visitas = 0;; ++visitas) {
        const uint64_t distancia = posicion - candidato;
        if (distancia > MaxDistancia || visitas == Corte) {
            *debajo = *encima = Vacio;
            break;
        }
        uint64_t* const nodo = &Hijos[2 * (candidato & MascaraNodos)];
        const uint8_t* const otra = Octetos(candidato);
        const int comun = MideComun(clave, otra, std::min(comunDebajo, comunEncima), limite);
        if (comun > mejor) {
            mejor = comun;
            Pares[(SiguientePar + static_cast<uint32_t>(cuantos)) & MascaraPares] =
                static_cast<uint32_t>(distancia - 1) << 8 | static_cast<uint32_t>(comun);
            ++cuantos;
            if (comun == limite) {
                // Equal as far as can be compared: the new node takes its place.
                *debajo = nodo[0];
                *encima = nodo[1];
                break;
            }
        }
        // The candidate hangs on the new node's side, and the walk goes on
        // into its subtree that faces the new string.
        if (otra[comun] < clave[comun]) {
            *debajo = candidato;
            debajo = &nodo[1];
            candidato = nodo[1];
            comunDebajo = comun;
        } else {
            *encima = candidato;
            encima = &nodo[0];
            candidato = nodo[0];
            comunEncima = comun;
        }
    }
    NumCandidatos[ranura] = static_cast<uint8_t>(cuantos);
    PrimerPar[ranura] = SiguientePar;
    SiguientePar += static_cast<uint32_t>(cuantos);
}

// ---- Costs -----------------------------------------------------------------

static inline int Simbolo(uint64_t posicion, int longitud)
{
    return longitud == 1 ? *Octetos(posicion) : longitud + DesplazamientoLongitud;
}

// The costs from the model's counts plus those of the path the last pass
// chose through the block's first n positions (none when n is 0), halved as
// the model halves them when their total reaches the top.  Returns whether
// any cost changed.
static bool CostesDelCamino(int n)
{
    uint32_t cuentas[NumSimbolos];
    for (int s = 0; s < NumSimbolos; ++s)
        cuentas[s] = Frecuencia[Padre[s + MarcaHoja]];
    uint32_t total = Frecuencia[Raiz];
    for (int j = n; j > 0; j -= LongElegida[j]) {
        if (total == FrecuenciaMaxima) {
            total = 0;
            for (uint32_t& c : cuentas)
                total += c = (c + 1) / 2;
        }
        ++cuentas[Simbolo(Cursor + static_cast<uint64_t>(j - LongElegida[j]), LongElegida[j])];
        ++total;
    }
    // At least one bit: no code of the model is shorter.
    const double log2Total = std::log2(static_cast<double>(total));
    bool cambio = false;
    for (int s = 0; s < NumSimbolos; ++s) {
        const double bits = std::max(log2Total - std::log2(static_cast<double>(cuentas[s])), 1.0);
        const uint32_t coste = static_cast<uint32_t>(std::lround(bits * EscalaCoste));
        cambio |= coste != CosteSimbolo[s];
        CosteSimbolo[s] = coste;
    }
    return cambio;
}

// ---- Shortest path ---------------------------------------------------------

// The cheapest path from the block's start to each of its n positions under
// the current costs.
static void BuscaCamino(int n)
{
    Coste[0] = 0;
    std::fill(Coste + 1, Coste + n + 1, CosteInfinito);
    const uint8_t* const texto = Octetos(Cursor);
    for (int i = 0; i < n; ++i) {
        const uint32_t aqui = Coste[i];
        const uint32_t literal = aqui + CosteSimbolo[texto[i]];
        if (literal < Coste[i + 1]) {
            Coste[i + 1] = literal;
            LongElegida[i + 1] = 1;
        }
        const int ranura = static_cast<int>((Cursor + static_cast<uint64_t>(i)) & MascaraAnillo);
        const int cuantos = NumCandidatos[ranura];
        const int maximo = n - i;
        int longitud = MinLongitud;
        int k = 0;
        if (cuantos > 0 && LongPar(Par(ranura, cuantos - 1)) == Anticipo && maximo >= Anticipo) {
            // A full 60-byte match is the only candidate (see the top).
            k = cuantos - 1;
            longitud = Anticipo;
        }
        for (; k < cuantos && longitud <= maximo; ++k) {
            const uint32_t par = Par(ranura, k);
            const unsigned posicion = PosPar(par);
            const uint32_t conPosicion = aqui + CostePrefijo[posicion >> BitsPosicionBajos];
            const int hasta = std::min(LongPar(par), maximo);
            for (; longitud <= hasta; ++longitud) {
                const uint32_t total = conPosicion + CosteSimbolo[longitud + DesplazamientoLongitud];
                if (total < Coste[i + longitud]) {
                    Coste[i + longitud] = total;
                    LongElegida[i + longitud] = static_cast<uint8_t>(longitud);
                    PosElegida[i + longitud] = static_cast<uint16_t>(posicion);
                }
            }
        }
    }
}

// ---- Blocks ----------------------------------------------------------------

static int PreparaBloque()
{
    LeeHasta(Cursor + MaxBloque + Anticipo);
    const int n = static_cast<int>(std::min<uint64_t>(MaxBloque, FinDatos - Cursor));
    while (Buscado < Cursor + static_cast<uint64_t>(n))
        Busca(Buscado++);
    return n;
}

// The block is coded up to the first step that ends at or past TamBloque,
// unless the member ends within the block's positions: then all of them.
static void CodificaBloque(int n)
{
    static uint16_t pasos[MaxBloque];   // the path's step ends, last first
    int cuantos = 0;
    for (int j = n; j > 0; j -= LongElegida[j])
        pasos[cuantos++] = static_cast<uint16_t>(j);
    const bool ultimo = FinEntrada && Cursor + static_cast<uint64_t>(n) == FinDatos;
    int desde = 0;
    while (cuantos > 0 && (ultimo || desde < TamBloque)) {
        const int hasta = pasos[--cuantos];
        const int longitud = hasta - desde;
        CodificaOcteto(Simbolo(Cursor + static_cast<uint64_t>(desde), longitud));
        if (longitud > 1)
            CodificaPosicion(PosElegida[hasta]);
        desde = hasta;
    }
    Cursor += static_cast<uint64_t>(desde);
}

// ---- Member ----------------------------------------------------------------

int DedezodiLZHOptimo()
{
    std::fill(std::begin(Raices), std::end(Raices), Vacio);
    SiguientePar = 0;
    Base = Origen;
    const int primeros = EmpiezaVentana(Buffer);
    FinDatos = PrimeraEntrada + static_cast<uint64_t>(primeros);
    FinEntrada = primeros < Anticipo;
    Cursor = PrimeraEntrada;
    // All-space strings older than these 61 equal the oldest of them, which
    // is nearer: only the spaces whose strings differ need a node.
    Buscado = PrimeraEntrada - Anticipo - 1;
    while (Buscado < PrimeraEntrada)
        Busca(Buscado++);
    for (int u = 0; u < NumPrefijosPosicion; ++u)
        CostePrefijo[u] = (LongCodigoPosicion[u] + BitsPosicionBajos) * EscalaCoste;
    for (int n; (n = PreparaBloque()) > 0;) {
        CostesDelCamino(0);
        BuscaCamino(n);
        for (int pasada = 0; pasada < 2 && CostesDelCamino(n); ++pasada)
            BuscaCamino(n);
        CodificaBloque(n);
    }
    CodificaFinal();
    return OctetosComprimidos < OctetosLeidos;
}

}  // namespace dedezodi
