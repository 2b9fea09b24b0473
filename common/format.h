// The constants both programs must agree on: the member header of the
// archive, the sliding window and the symbol alphabet of the LZH stream, and
// the shape of the adaptive Huffman tree.  Changing any of them changes the
// archive format.
#pragma once

#include <cstdint>

// ---- Member header ---------------------------------------------------------
// name[12] type[1] method[1] original size[4, big-endian] compressed size[4]
constexpr int TamCabecera = 22;
constexpr int TamNombre = 12;             // a 12-character name has no terminator
constexpr int PosTipo = 12;
constexpr int PosMetodo = 13;
constexpr int PosTamanoOriginal = 14;
constexpr int PosTamanoComprimido = 18;
constexpr uint8_t MetodoPlano = 0;        // stored: the file's bytes unchanged
constexpr uint8_t MetodoLZH = 1;          // compressed stream
constexpr uint8_t TipoBinario = 0;
constexpr uint8_t TipoTexto = 1;
constexpr uint8_t TipoTextoSinCR = 2;     // carriage returns dropped on restore
constexpr uint8_t TipoTextoTraducido = 3; // bytes translated on restore
static_assert(PosTamanoComprimido + 4 == TamCabecera, "header fields fill 22 bytes");

// ---- Sliding window --------------------------------------------------------
constexpr int TamVentana = 4096;          // ring of recent bytes, positions mod 4096
constexpr int MascaraVentana = TamVentana - 1;
constexpr int Anticipo = 60;              // lookahead: the longest match
constexpr int Umbral = 2;                 // matches of 1 or 2 bytes are coded as literals
constexpr int InicioEscritura = TamVentana - Anticipo;   // 4036: first write position
constexpr uint8_t RellenoVentana = ' ';   // what positions 0..4035 hold at a member's start
static_assert((TamVentana & MascaraVentana) == 0, "window size is a power of two");

// ---- Symbol alphabet and tree ----------------------------------------------
// 0..255 are literals, 256..313 match lengths 3..60 (symbol = length + 253).
constexpr int NumSimbolos = 256 + Anticipo - Umbral;     // 314
constexpr int PrimerSimboloLongitud = 256;
constexpr int DesplazamientoLongitud = PrimerSimboloLongitud - Umbral - 1;  // 253
constexpr int NumNodos = 2 * NumSimbolos - 1;            // 627
constexpr int Raiz = NumNodos - 1;                       // 626
constexpr int MarcaHoja = NumNodos;  // a child entry >= 627 names symbol (entry - 627)
constexpr uint16_t FrecuenciaMaxima = 0x8000;  // the root's count that forces a rebuild
constexpr uint16_t Centinela = 0xFFFF;         // count above every real one
static_assert(NumSimbolos == 314 && Raiz == 626 && DesplazamientoLongitud == 253,
              "alphabet and tree sizes are fixed by the format");

// ---- Position code ---------------------------------------------------------
// A match position P (distance - 1, 12 bits) is sent as a prefix code for its
// upper 6 bits followed by its lower 6 bits as they are.
constexpr int BitsPosicionBajos = 6;
constexpr int NumPrefijosPosicion = TamVentana >> BitsPosicionBajos;   // 64

// The prefix code of the upper 6 bits u: lengths 3 to 8 bits, shorter for
// nearer positions; each code is the previous one plus one, shifted left
// where the length grows.  The bits are held left-aligned in a byte.
inline constexpr uint8_t LongCodigoPosicion[NumPrefijosPosicion] = {
    3, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6,
    6, 6, 6, 6, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};
inline constexpr uint8_t BitsCodigoPosicion[NumPrefijosPosicion] = {
    0x00, 0x20, 0x30, 0x40, 0x50, 0x58, 0x60, 0x68, 0x70, 0x78, 0x80, 0x88, 0x90, 0x94, 0x98, 0x9C,
    0xA0, 0xA4, 0xA8, 0xAC, 0xB0, 0xB4, 0xB8, 0xBC, 0xC0, 0xC2, 0xC4, 0xC6, 0xC8, 0xCA, 0xCC, 0xCE,
    0xD0, 0xD2, 0xD4, 0xD6, 0xD8, 0xDA, 0xDC, 0xDE, 0xE0, 0xE2, 0xE4, 0xE6, 0xE8, 0xEA, 0xEC, 0xEE,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
