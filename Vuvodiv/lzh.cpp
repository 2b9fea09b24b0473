// The LZH decoder.  It walks the adaptive Huffman tree from the root one bit
// per edge to read each symbol, expands matches byte by byte from the window
// (so a match nearer than its length repeats itself), and updates the model
// exactly as the encoder did.
//
// The stream has no checksum, but the encoder always ends it inside its last
// byte, so the decoder keeps count of the bits it has consumed: a member that
// needs more bits than its data holds, leaves its last byte unused, ends in a
// match longer than the bytes still due, or copies from window bytes it has
// not written (which would hold the previous member's bytes) is damaged.  Decoding stops as
// soon as that is known, so the work stays bounded by the member's data.

#include "vuvodiv.h"

namespace vuvodiv {

uint8_t Texto[TamAnillo];

// ---- Position code -------------------------------------------------------------
// Indexed by the next 8 bits of the stream: the upper 6 bits u of the
// position whose code those bits begin with, and that code's length.

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
const uint8_t* const ValorCodigo = Tablas.codigo;
const uint8_t* const ValorLong = Tablas.longitud;

// ---- Bit reader -------------------------------------------------------------------
// AuxLZW holds the next bits at its top and is refilled a byte at a time
// whenever fewer than 9 remain, so a whole byte can always be taken.  Bytes
// past the member's data read as 0.

static uint64_t BitsConsumidos;   // bits delivered to the decoder so far
static uint64_t BitsDatos;        // 8 * TamanoComprimido

static inline void RellenaBits()
{
    while (LongLZW <= 8) {
        AuxLZW = static_cast<uint16_t>(AuxLZW | (LeeOctetoComprimido() << (8 - LongLZW)));
        LongLZW = static_cast<uint8_t>(LongLZW + 8);
    }
}

int TraeBit()
{
    RellenaBits();
    int bit = AuxLZW >> 15;
    AuxLZW = static_cast<uint16_t>(AuxLZW << 1);
    --LongLZW;
    ++BitsConsumidos;
    return bit;
}

int TraeOcteto()
{
    RellenaBits();
    int octeto = AuxLZW >> 8;
    AuxLZW = static_cast<uint16_t>(AuxLZW << 8);
    LongLZW = static_cast<uint8_t>(LongLZW - 8);
    BitsConsumidos += 8;
    return octeto;
}

// ---- Symbols and positions ------------------------------------------------------------

int DecodificaOcteto()
{
    int nodo = Hijo[Raiz];
    while (nodo < MarcaHoja)
        nodo = Hijo[nodo + TraeBit()];   // bit 0 the even child, 1 the odd
    int simbolo = nodo - MarcaHoja;
    Actualiza(simbolo);
    return simbolo;
}

// The first byte holds the code of the upper 6 bits and the start of the
// lower 6; the rest of those follow one bit at a time.
int DecodificaPosicion()
{
    int b = TraeOcteto();
    int u = ValorCodigo[b];
    for (int n = ValorLong[b] - 2; n > 0; --n)
        b = (b << 1) + TraeBit();
    return (b & 0x3F) | (u << BitsPosicionBajos);
}

// ---- Main loop --------------------------------------------------------------------------
// Restored bytes stay in the ring until it wraps or the member ends, and then
// leave as one block from Texto[InicioBloque] up to the write position.

static int InicioBloque;

static void VuelcaBloque(int r)
{
    EscribeBloquePlano(&Texto[InicioBloque], static_cast<size_t>(r - InicioBloque));
    InicioBloque = r;
}

static inline void EmiteOcteto(uint8_t octeto, int& r)
{
    Texto[r] = octeto;
    if (++r == TamAnillo) {
        VuelcaBloque(r);
        r = InicioBloque = 0;
    }
}

static void DecodificaMiembro()
{
    IniciaHuffman();
    for (int i = 0; i < InicioEscritura; ++i)
        Texto[i] = RellenoVentana;
    int r = InicioEscritura;
    InicioBloque = r;
    uint32_t producidos = 0;
    BitsConsumidos = 0;
    BitsDatos = 8 * static_cast<uint64_t>(TamanoComprimido);

    while (producidos < TamanoOriginal) {
        int simbolo = DecodificaOcteto();
        if (simbolo < PrimerSimboloLongitud) {
            EmiteOcteto(static_cast<uint8_t>(simbolo), r);
            ++producidos;
        } else {
            int posicion = DecodificaPosicion();
            uint32_t longitud = static_cast<uint32_t>(simbolo - DesplazamientoLongitud);
            // A copy may not start in the window bytes this member has not
            // written yet, nor run past the member's size.
            if (static_cast<uint32_t>(posicion) >= producidos + InicioEscritura ||
                longitud > TamanoOriginal - producidos) {
                MiembroDanado = true;
                VuelcaBloque(r);
                return;
            }
            int inicio = (r - posicion - 1) & MascaraAnillo;
            for (uint32_t k = 0; k < longitud; ++k)
                EmiteOcteto(Texto[(inicio + static_cast<int>(k)) & MascaraAnillo], r);
            producidos += longitud;
        }
        if (BitsConsumidos > BitsDatos || Truncado) {
            MiembroDanado = !Truncado;
            VuelcaBloque(r);
            return;
        }
    }
    VuelcaBloque(r);
    // The encoder's last code always ends inside its last byte.
    if (BitsConsumidos + 8 <= BitsDatos)
        MiembroDanado = true;
}

void VuvodivLZW()
{
    if (TamanoOriginal == 0) {
        // Nothing to decode; data the encoder would never have written is
        // damage all the same.
        MiembroDanado = TamanoComprimido != 0;
        return;
    }
    DecodificaMiembro();
}

}  // namespace vuvodiv
