// The LZH encoder.  Each step finds the longest earlier match for the text
// at the current position (match finder), codes either a literal or a
// length symbol with the adaptive Huffman model followed by the match's
// position code, and slides the window by the bytes just coded.
//
// The window starts every member as 4036 spaces with the lookahead behind
// them, so text that begins with spaces can match into the window at once.
// Bits go out most significant first through a 16-bit buffer that writes
// whole bytes as soon as it holds them.

#include "arbol.h"
#include "dedezodi.h"

namespace dedezodi {

// ---- Position code -----------------------------------------------------------
// Indexed by the upper 6 bits of a position: the code's length, and its bits
// left-aligned in a byte.
const uint8_t* const ValorLong = LongCodigoPosicion;
const uint8_t* const ValorCodigo = BitsCodigoPosicion;

// ---- Bit writer ----------------------------------------------------------------

// Appends the top `cuenta` bits of `codigo` (1..16, the rest zero).  The
// buffer holds 0..7 bits between calls, so one call writes at most 2 bytes.
void EscribeBit(int cuenta, uint16_t codigo)
{
    AuxLZW = static_cast<uint16_t>(AuxLZW | (codigo >> LongLZW));
    LongLZW = static_cast<uint8_t>(LongLZW + cuenta);
    if (LongLZW < 8)
        return;
    EscribeOctetoComprimido(static_cast<uint8_t>(AuxLZW >> 8));
    LongLZW = static_cast<uint8_t>(LongLZW - 8);
    if (LongLZW >= 8) {
        EscribeOctetoComprimido(static_cast<uint8_t>(AuxLZW));
        LongLZW = static_cast<uint8_t>(LongLZW - 8);
        // The bits of codigo that did not fit in the two bytes just written.
        AuxLZW = static_cast<uint16_t>(static_cast<uint32_t>(codigo) << (cuenta - LongLZW));
    } else {
        AuxLZW = static_cast<uint16_t>(AuxLZW << 8);
    }
}

// Writes the symbol's path from the root down to its leaf, then counts the
// symbol.  The path is collected walking up, so each step's bit enters at
// the top and the root's edge ends first.  A path can be longer than 16
// edges; it cannot reach 32, since a leaf of depth d in a Huffman tree whose
// counts are at least 1 needs a root count of at least Fibonacci(d + 1),
// and the root never exceeds 0x8000.
void CodificaOcteto(int simbolo)
{
    uint32_t codigo = 0;
    int cuenta = 0;
    int nodo = Padre[simbolo + MarcaHoja];
    do {
        codigo = (codigo >> 1) | (static_cast<uint32_t>(nodo & 1) << 31);
        ++cuenta;
        nodo = Padre[nodo];
    } while (nodo != Raiz);
    if (cuenta > 16) {
        EscribeBit(16, static_cast<uint16_t>(codigo >> 16));
        EscribeBit(cuenta - 16, static_cast<uint16_t>(codigo));
    } else {
        EscribeBit(cuenta, static_cast<uint16_t>(codigo >> 16));
    }
    Actualiza(simbolo);
}

void CodificaPosicion(unsigned posicion)
{
    unsigned u = posicion >> BitsPosicionBajos;
    EscribeBit(ValorLong[u], static_cast<uint16_t>(ValorCodigo[u] << 8));
    EscribeBit(BitsPosicionBajos, static_cast<uint16_t>((posicion & 0x3F) << 10));
}

// The last partial byte, padded with zero bits.
void CodificaFinal()
{
    if (LongLZW != 0)
        EscribeOctetoComprimido(static_cast<uint8_t>(AuxLZW >> 8));
}

// ---- Main loop -------------------------------------------------------------------

int DedezodiLZH()
{
    if (NumHilos > 1)
        return DedezodiLZHHilos();
    IniciaHuffman();
    IniciaArbol();
    int s = 0;                   // where the next input byte goes: r + 60
    int r = InicioEscritura;     // the first byte of the lookahead
    for (int i = 0; i < r; ++i)
        Texto[i] = RellenoVentana;

    int len = 0;                 // lookahead bytes still to code
    uint8_t octeto;
    while (len < Anticipo && LeeOctetoPlano(&octeto))
        Texto[r + len++] = octeto;
    for (int i = 1; i <= Anticipo; ++i)
        InsertaNodo(r - i);
    InsertaNodo(r);

    do {
        if (LongIgual > len)
            LongIgual = static_cast<int16_t>(len);
        if (LongIgual <= Umbral) {
            LongIgual = 1;
            CodificaOcteto(Texto[r]);
        } else {
            CodificaOcteto(LongIgual + DesplazamientoLongitud);
            CodificaPosicion(PosIgual);
        }
        const int ultimo = LongIgual;
        int i = 0;
        for (; i < ultimo && LeeOctetoPlano(&octeto); ++i) {
            BorraNodo(s);
            GuardaEnVentana(s, octeto);
            s = (s + 1) & MascaraVentana;
            r = (r + 1) & MascaraVentana;
            InsertaNodo(r);
        }
        // The input has ended: slide on without new bytes.
        for (; i < ultimo; ++i) {
            BorraNodo(s);
            s = (s + 1) & MascaraVentana;
            r = (r + 1) & MascaraVentana;
            if (--len != 0)
                InsertaNodo(r);
        }
    } while (len > 0);

    CodificaFinal();
    // Counted in 64 bits: the attempt on an incompressible file near 4 GiB
    // grows past what 32 bits hold and must not wrap into "smaller".
    return OctetosComprimidos < OctetosLeidos;
}

}  // namespace dedezodi
