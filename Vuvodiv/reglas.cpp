// What a member header and the end of an archive can look like when the
// compressor wrote them, and the plain reader's checks of the archive's end:
// every archive ends with a 22-byte end header, after which only the tail
// of a stored member's longer LZH attempt can follow.

#include "rescate.h"
#include "vuvodiv.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace vuvodiv {

bool EsNombrePlausible(const uint8_t* nombre, int cuantos)
{
    if (cuantos > 0 && nombre[0] == 0)
        return false;
    int i = 0;
    for (; i < cuantos && nombre[i] != 0; ++i)
        if (nombre[i] < 0x20 || nombre[i] == 0x7F)
            return false;
    for (; i < cuantos; ++i)
        if (nombre[i] != 0)
            return false;
    return true;
}

// A stored copy is the file: both sizes are its length.  An LZH stream is
// kept only when strictly smaller than the file, and its shortest token (a
// 1-bit symbol and a 9-bit position) yields 60 bytes from 10 bits, so a
// byte of it yields at most 48 bytes, and the last partial one 60.
bool SonTamanosPlausibles(uint8_t metodo, uint32_t original, uint32_t comprimido)
{
    if (metodo == MetodoPlano)
        return original == comprimido;
    return comprimido > 0 && comprimido < original && original <= 48 * uint64_t{comprimido} + Anticipo;
}

uint32_t LeeTamano(const uint8_t* origen)
{
    return static_cast<uint32_t>(origen[0]) << 24 | static_cast<uint32_t>(origen[1]) << 16 |
           static_cast<uint32_t>(origen[2]) << 8 | origen[3];
}

static bool EsCabeceraPlausible(const uint8_t* cabecera)
{
    return cabecera[PosMetodo] <= MetodoLZH && cabecera[PosTipo] <= TipoTextoTraducido &&
           EsNombrePlausible(cabecera, TamNombre) &&
           SonTamanosPlausibles(cabecera[PosMetodo], LeeTamano(cabecera + PosTamanoOriginal),
                                LeeTamano(cabecera + PosTamanoComprimido));
}

// The compressor writes a member's LZH attempt whole before it falls back
// to storing it, and never cuts the archive back.  Every code it writes for
// a byte is a literal's path in the adaptive tree, or a match's path and
// 9..14 position bits for 3 bytes or more.  The tree keeps the sibling
// property (it is a Huffman tree of its counts), every count is at least 1,
// and the root's count is at most 0x8000 when a symbol is coded; a leaf at
// depth d in such a tree needs a root count of at least Fibonacci(d + 2),
// and Fibonacci(24) = 46368 > 0x8000, so no path is longer than 21 bits.
// A match then costs at most (21 + 14) / 3 < 21 bits a byte, so the attempt
// holds at most 21 bits for each byte of the file, rounded up to a byte.
uint64_t AlcanceIntento(uint32_t almacenado)
{
    constexpr uint64_t MaxBitsPorOcteto = 21;
    return (MaxBitsPorOcteto * almacenado + 7) / 8;
}

// ---- The plain reader's end of the archive -----------------------------------

// FinLimpio: the end header is 22 zero bytes; FinSucio: it is not (or
// none was read yet).
enum FinLeido { FinLimpio, FinSucio, FinVacio, FinCorto };

static uint64_t PosicionCabecera;   // where the next header starts
static uint64_t AlcanceCola;        // the furthest a stored member's attempt reached
static bool Extrana;                // the first member header fails the rules
static FinLeido Fin;

void IniciaLectura()
{
    PosicionCabecera = AlcanceCola = 0;
    Extrana = false;
    Fin = FinSucio;
}

void AnotaCabecera(const uint8_t* cabecera, size_t leidos)
{
    if (leidos == 0 || cabecera[0] == 0) {
        static const uint8_t ceros[TamCabecera] = {};
        if (leidos == TamCabecera)
            Fin = memcmp(cabecera, ceros, TamCabecera) == 0 ? FinLimpio : FinSucio;
        else
            Fin = PosicionCabecera == 0 && leidos == 0 ? FinVacio : FinCorto;
        return;
    }
    // Only the first header is at offset 0; a header cut short is the last.
    const int hay = static_cast<int>(leidos);
    Extrana = PosicionCabecera == 0 &&
              (hay < TamCabecera ? !EsNombrePlausible(cabecera, std::min(hay, TamNombre)) ||
                                       (hay > PosTipo && cabecera[PosTipo] > TipoTextoTraducido) ||
                                       (hay > PosMetodo && cabecera[PosMetodo] > MetodoLZH)
                                 : !EsCabeceraPlausible(cabecera));
    if (hay < TamCabecera)
        return;
    const uint32_t original = LeeTamano(cabecera + PosTamanoOriginal);
    const uint32_t comprimido = LeeTamano(cabecera + PosTamanoComprimido);
    const uint64_t datos = PosicionCabecera + TamCabecera;
    if (cabecera[PosMetodo] == MetodoPlano && original == comprimido)
        AlcanceCola = std::max(AlcanceCola, datos + AlcanceIntento(comprimido));
    PosicionCabecera = datos + comprimido;
}

bool PrimeraCabeceraExtrana() { return Extrana; }

// Passes over cuantos bytes after the end header (seeking in a regular
// file), then reads the rest: true when a byte other than 0 is there.
static bool HayDatosTras(uint64_t cuantos)
{
    struct stat datos;
    const off_t aqui = ftello(Entrada);
    if (aqui >= 0 && fstat(fileno(Entrada), &datos) == 0 && S_ISREG(datos.st_mode)) {
        if (static_cast<uint64_t>(datos.st_size) <= aqui + cuantos)
            return false;
        fseeko(Entrada, static_cast<off_t>(aqui + cuantos), SEEK_SET);
    } else {
        for (; cuantos > 0 && getc_unlocked(Entrada) != EOF; --cuantos) {
        }
    }
    uint8_t bloque[4096];
    for (size_t n; (n = fread(bloque, 1, sizeof bloque, Entrada)) > 0;)
        if (std::any_of(bloque, bloque + n, [](uint8_t b) { return b != 0; }))
            return true;
    return false;
}

const char* CompruebaFinArchivo()
{
    static char mensaje[4 * TamNombreArchivo + 80];
    const char* formato = nullptr;
    const uint64_t trasFin = PosicionCabecera + TamCabecera;
    if (Fin == FinVacio)
        formato = "Archive '%s' is empty";
    else if (Fin == FinCorto)
        formato = "Archive '%s' ends without its end header: it may be cut short";
    else if (Fin == FinSucio || HayDatosTras(AlcanceCola > trasFin ? AlcanceCola - trasFin : 0))
        formato = "Archive '%s' holds data after its end header: try --salvage";
    if (ferror(Entrada))
        ErrorFatalCon("Can't read file '%s'", NombreArchivo);
    if (!formato)
        return nullptr;
    snprintf(mensaje, sizeof mensaje, formato, EscapaArgumento(NombreArchivo));
    return mensaje;
}

}  // namespace vuvodiv
