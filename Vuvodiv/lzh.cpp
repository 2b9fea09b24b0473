// The LZH decoder.  It walks the adaptive Huffman tree from the root one bit
// per edge to read each symbol, expands matches from the window (so a match
// nearer than its length repeats itself), and updates the model exactly as
// the encoder did.  The bits come from a 64-bit buffer kept in locals of the
// decode loop and refilled a word at a time from a block of the member's
// data; restored bytes stay in the window ring until they leave as a block.
// Its state is the thread's Decodificador, so threads decode apart.
//
// The stream has no checksum, but the encoder always ends it inside its last
// byte, so the decoder keeps count of the bits it has consumed: a member that
// needs more bits than its data holds, leaves its last byte unused, ends in a
// match longer than the bytes still due, or copies from window bytes it has
// not written (which would hold the previous member's bytes) is damaged.
// Decoding stops as soon as that is known, so the work stays bounded by the
// member's data.  An archive cut inside the data is seen after the same
// token as when the bits were fetched a byte at a time, so a cut member shows
// the same progress, however far the block read ran ahead.

#include "vuvodiv.h"

#include "huffman.h"

#include <cstdint>
#include <cstring>

namespace vuvodiv {

// ---- Position code -------------------------------------------------------------

struct TablasPosicion {
    uint8_t codigo[256];
    uint8_t longitud[256];
};

static constexpr TablasPosicion ExpandeCodigoPosicion()
{
    TablasPosicion tablas{};
    for (int u = 0; u < NumPrefijosPosicion; ++u) {
        int primero = BitsCodigoPosicion[u];
        int cuantos = 1 << (8 - LongCodigoPosicion[u]);
        for (int b = primero; b < primero + cuantos; ++b) {
            tablas.codigo[b] = static_cast<uint8_t>(u);
            tablas.longitud[b] = LongCodigoPosicion[u];
        }
    }
    return tablas;
}

static constexpr TablasPosicion Tablas = ExpandeCodigoPosicion();
const uint8_t* const PrefijoPorOcteto = Tablas.codigo;
const uint8_t* const LargoPorOcteto = Tablas.longitud;

// ---- Bit reader -------------------------------------------------------------------
// The member's data is read in blocks into d.entrante; zeros stand for the
// bytes past its end (a stream that asks for them is damaged).  A refill
// takes the next 8 bytes from p as one big-endian word, so 8 bytes past the
// block are always there.
//
// Bits consumed beyond d.limiteBits stop the member: more than its data
// holds, or beyond d.limiteCorte, as far as a reader taking a byte at a time
// would have gone before it asked for the first byte a cut archive lacks.

// Fills d.entrante after its first quedan bytes; returns its start.
static const uint8_t* LlenaEntrante(Decodificador& d, size_t quedan)
{
    Miembro& m = *d.miembro;
    const bool antes = m.truncado;
    const size_t leidos = LeeBloqueComprimido(m, d.entrante + quedan, TamEntrante - quedan);
    memset(d.entrante + quedan + leidos, 0, TamEntrante - quedan - leidos + 8);
    if (m.truncado && !antes) {
        // A fetch at bit c read byte c / 8 + 1 whenever it was missing, and
        // every token ends on a one-bit fetch: byte T was asked for by the
        // token that left more than 8 * T - 8 bits consumed.
        const int64_t corte = static_cast<int64_t>(d.octetosAntes + quedan + leidos);
        d.limiteCorte = 8 * corte - 8;
        if (d.limiteCorte < d.limiteBits)
            d.limiteBits = d.limiteCorte;
    }
    return d.entrante;
}

// Moves the bytes from p to the front of d.entrante and fills the rest.
static const uint8_t* CargaEntrante(Decodificador& d, const uint8_t* p)
{
    const size_t quedan = static_cast<size_t>(d.entrante + TamEntrante - p);
    memmove(d.entrante, p, quedan);
    d.octetosAntes += static_cast<uint64_t>(p - d.entrante);
    return LlenaEntrante(d, quedan);
}

struct LectorBits {
    uint64_t bits;        // the next bits, at the top
    int cuantos;          // of them valid, 0..63
    const uint8_t* p;     // the first byte not yet in bits
};

static inline void Rellena(Decodificador& d, LectorBits& l)
{
    if (l.p > d.entrante + TamEntrante - 8)
        l.p = CargaEntrante(d, l.p);
    uint64_t palabra = 0;
    for (int i = 0; i < 8; ++i)
        palabra = palabra << 8 | l.p[i];
    l.bits |= palabra >> l.cuantos;
    l.p += (63 - l.cuantos) >> 3;
    l.cuantos |= 56;
}

static inline int64_t BitsConsumidos(const Decodificador& d, const LectorBits& l)
{
    return 8 * static_cast<int64_t>(d.octetosAntes + static_cast<uint64_t>(l.p - d.entrante)) - l.cuantos;
}

// ---- Symbols and positions ------------------------------------------------------------

static inline int TraeBit(Decodificador& d, LectorBits& l)
{
    if (l.cuantos == 0)
        Rellena(d, l);
    const int bit = static_cast<int>(l.bits >> 63);
    l.bits <<= 1;
    --l.cuantos;
    return bit;
}

// Bit 0 takes the even child, 1 the odd.  The counts rise on the way down
// (CuentaNodo) except when a rebuild is due, which must come first.
static inline int DecodificaOcteto(Decodificador& d, LectorBits& l)
{
    int nodo = Raiz;
    int hijo = Hijo[Raiz];
    if (Frecuencia[Raiz] == FrecuenciaMaxima) {
        while (hijo < MarcaHoja)
            hijo = Hijo[hijo + TraeBit(d, l)];
        Actualiza(hijo - MarcaHoja);
        return hijo - MarcaHoja;
    }
    int largo = 0;
    int igual = -1;
    for (;;) {
        CuentaNodo(d.camino, largo, igual, nodo);
        if (hijo >= MarcaHoja)
            break;
        nodo = hijo + TraeBit(d, l);
        hijo = Hijo[nodo];
    }
    if (igual >= 0)   // otherwise no node met a run: every count is final
        SigueDesdeRacha(d.camino, igual);
    return hijo - MarcaHoja;
}

// The first 8 bits hold the code of the upper 6 bits and the start of the
// lower 6, which follow the code whole.
static inline int DecodificaPosicion(Decodificador& d, LectorBits& l)
{
    if (l.cuantos < 14)
        Rellena(d, l);
    const int b = static_cast<int>(l.bits >> 56);
    const int largo = LargoPorOcteto[b] + BitsPosicionBajos;
    const int bajos = static_cast<int>(l.bits >> (64 - largo)) & 0x3F;
    l.bits <<= largo;
    l.cuantos -= largo;
    return bajos | (PrefijoPorOcteto[b] << BitsPosicionBajos);
}

// ---- Main loop --------------------------------------------------------------------------
// Restored bytes stay in the ring until it wraps or the member ends, and then
// leave as one block from d.historia[d.inicioBloque] up to the write position.

static void VuelcaBloque(Decodificador& d, int r)
{
    EscribeBloque(*d.miembro, &d.historia[d.inicioBloque], static_cast<size_t>(r - d.inicioBloque));
    d.inicioBloque = r;
}

static inline void EmiteOcteto(Decodificador& d, uint8_t octeto, int& r)
{
    d.historia[r] = octeto;
    if (++r == TamHistoria) {
        VuelcaBloque(d, r);
        r = d.inicioBloque = 0;
    }
}

// A copy that neither wraps the ring nor reaches its end goes without masks
// or block checks.  From 8 bytes back or more it moves 8 bytes at a time,
// each word read only from bytes already final; the last word may spill up
// to 7 bytes past the copy, over ring bytes a whole ring old (or into the
// slack), which no later match reaches.  A nearer copy repeats itself byte
// by byte.
static inline void CopiaCoincidencia(Decodificador& d, int inicio, int distancia, int longitud, int& r)
{
    if (r + longitud < TamHistoria && inicio + longitud <= TamHistoria) {
        uint8_t* destino = &d.historia[r];
        const uint8_t* origen = &d.historia[inicio];
        if (distancia >= 8) {
            for (int k = 0; k < longitud; k += 8) {
                uint64_t palabra;
                memcpy(&palabra, origen + k, sizeof palabra);
                memcpy(destino + k, &palabra, sizeof palabra);
            }
        } else {
            for (int k = 0; k < longitud; ++k)
                destino[k] = origen[k];
        }
        r += longitud;
        return;
    }
    for (int k = 0; k < longitud; ++k)
        EmiteOcteto(d, d.historia[(inicio + k) & MascaraHistoria], r);
}

// Decodes until the member's size is reached or the data is known to be
// damaged or cut; returns the write position.
static int DecodificaMiembro(Miembro& m, Decodificador& d)
{
    memset(d.historia, RellenoVentana, InicioEscritura);
    int r = InicioEscritura;
    d.inicioBloque = r;
    uint32_t producidos = 0;

    d.octetosAntes = 0;
    d.limiteBits = 8 * static_cast<int64_t>(m.comprimido);
    d.limiteCorte = INT64_MAX;
    LectorBits l{0, 0, LlenaEntrante(d, 0)};

    const uint32_t tamano = m.original;
    const bool estricto = d.estricto;
    while (producidos < tamano) {
        const uint32_t antes = producidos;
        if (l.cuantos < 32)
            Rellena(d, l);
        int simbolo = DecodificaOcteto(d, l);
        if (simbolo < PrimerSimboloLongitud) {
            EmiteOcteto(d, static_cast<uint8_t>(simbolo), r);
            ++producidos;
        } else {
            int posicion = DecodificaPosicion(d, l);
            int longitud = simbolo - DesplazamientoLongitud;
            if (!EsCopiaValida(static_cast<unsigned>(posicion), static_cast<uint32_t>(longitud), producidos,
                               tamano) ||
                (estricto && posicion >= InicioEscritura)) {
                m.danado = true;
                d.producidosSeguros = producidos;
                return r;
            }
            CopiaCoincidencia(d, (r - posicion - 1) & MascaraHistoria, posicion + 1, longitud, r);
            producidos += static_cast<uint32_t>(longitud);
        }
        const int64_t consumidos = BitsConsumidos(d, l);
        if (consumidos > d.limiteBits) {
            m.danado = consumidos <= d.limiteCorte;   // a cut archive is not damage
            d.producidosSeguros = antes;
            return r;
        }
    }
    d.producidosSeguros = producidos;
    // The encoder's last code always ends inside its last byte, and fills
    // the rest of that byte with 0 bits.
    const int64_t consumidos = BitsConsumidos(d, l);
    if (consumidos + 8 <= 8 * static_cast<int64_t>(m.comprimido))
        m.danado = true;
    const int relleno = static_cast<int>(-consumidos & 7);
    if (estricto && relleno > 0 && l.bits >> (64 - relleno) != 0)
        m.danado = true;
    return r;
}

void DecodificaLZH(Miembro& m, Decodificador& d)
{
    if (m.original == 0) {
        // Nothing to decode; data the encoder would never have written is
        // damage all the same.
        m.danado = m.comprimido != 0;
        return;
    }
    IniciaHuffman();
    d.miembro = &m;
    VuelcaBloque(d, DecodificaMiembro(m, d));
}

}  // namespace vuvodiv
