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

#include <cstring>

namespace dedezodi {

// ---- Bit writer ----------------------------------------------------------------

// Pending bits sit at the top of Pendientes, NumPendientes counts them (0..7
// between calls).  Each thread that codes a member has its own.
static __thread uint16_t Pendientes;
static __thread uint8_t NumPendientes;

void EmpiezaBits()
{
    Pendientes = 0;
    NumPendientes = 0;
}

// Appends the top `cuenta` bits of `codigo` (1..16, the rest zero); one call
// writes at most 2 bytes.
void EscribeBit(int cuenta, uint16_t codigo)
{
    Pendientes = static_cast<uint16_t>(Pendientes | (codigo >> NumPendientes));
    NumPendientes = static_cast<uint8_t>(NumPendientes + cuenta);
    if (NumPendientes < 8)
        return;
    EscribeOctetoComprimido(static_cast<uint8_t>(Pendientes >> 8));
    NumPendientes = static_cast<uint8_t>(NumPendientes - 8);
    if (NumPendientes >= 8) {
        EscribeOctetoComprimido(static_cast<uint8_t>(Pendientes));
        NumPendientes = static_cast<uint8_t>(NumPendientes - 8);
        // The bits of codigo that did not fit in the two bytes just written.
        Pendientes = static_cast<uint16_t>(static_cast<uint32_t>(codigo) << (cuenta - NumPendientes));
    } else {
        Pendientes = static_cast<uint16_t>(Pendientes << 8);
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
    const unsigned u = posicion >> BitsPosicionBajos;
    EscribeBit(LongCodigoPosicion[u], static_cast<uint16_t>(BitsCodigoPosicion[u] << 8));
    EscribeBit(BitsPosicionBajos, static_cast<uint16_t>((posicion & 0x3F) << 10));
}

// The last partial byte, padded with zero bits.
void CodificaFinal()
{
    if (NumPendientes != 0)
        EscribeOctetoComprimido(static_cast<uint8_t>(Pendientes >> 8));
}

// ---- The rules every encoder shares -------------------------------------------

int EmpiezaVentana(uint8_t* ventana)
{
    EmpiezaBits();
    memset(ventana, RellenoVentana, InicioEscritura);
    int n = 0;
    while (n < Anticipo && LeeOctetoPlano(&ventana[InicioEscritura + n]))
        ++n;
    return n;
}

int CodificaPaso(unsigned largo, unsigned posicion, uint8_t primero, uint64_t resto)
{
    if (largo > resto)
        largo = static_cast<unsigned>(resto);
    if (largo <= Umbral) {
        CodificaOcteto(primero);
        return 1;
    }
    CodificaOcteto(static_cast<int>(largo) + DesplazamientoLongitud);
    CodificaPosicion(posicion);
    return static_cast<int>(largo);
}

// ---- Main loop -------------------------------------------------------------------

int DedezodiLZH()
{
    IniciaArbol();
    uint64_t leidos = static_cast<uint64_t>(EmpiezaVentana(Texto));
    bool fin = leidos < Anticipo;
    InsertaPrimeras([](int) { return true; });
    uint64_t t = 0;   // slides made: the step codes input byte t
    do {
        const uint8_t primero = Texto[(InicioEscritura + t) & MascaraVentana];
        const uint64_t hasta = t + static_cast<unsigned>(CodificaPaso(
            static_cast<unsigned>(LongIgual), PosIgual, primero, fin ? leidos - t : Anticipo));
        while (t < hasta) {
            uint8_t octeto;
            fin = fin || !LeeOctetoPlano(&octeto);   // once ended, slide on without new bytes
            leidos += !fin;
            ++t;
            Desliza(t, fin ? nullptr : &octeto, InsertaEnDeslizada(t, leidos));
        }
    } while (t < leidos);

    CodificaFinal();
    return OctetosComprimidos < OctetosLeidos;
}

}  // namespace dedezodi
