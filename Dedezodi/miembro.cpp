// One member of the archive: a placeholder header, the data (LZH, or the
// file's bytes when LZH is not strictly smaller), then the real header
// written over the placeholder.  Also the byte routines of the member.

#include "dedezodi.h"

#include <sys/stat.h>

namespace dedezodi {

char NombreArchivo[TamNombreArchivo];
bool ModoOptimo = false;

// The file being packed, for messages, and how many of its bytes have been
// delivered: never more than the size measured up front, so the header
// always describes the data even if the file changes under us.
static const char* NombreEntrada;
static uint32_t OctetosLeidos;

// ---- Byte routines ---------------------------------------------------------

int LeeOctetoPlano(uint8_t* octeto)
{
    if (OctetosLeidos == TamanoOriginal)
        return 0;
    int c = getc_unlocked(Entrada);
    if (c == EOF)
        ErrorFatalCon("Can't read file '%s'", NombreEntrada);
    ++OctetosLeidos;
    *octeto = static_cast<uint8_t>(c);
    AvanzaBarra();
    return 1;
}

void EscribeOctetoComprimido(uint8_t octeto)
{
    putc_unlocked(octeto, Salida);
    ++TamanoComprimido;
}

void DedezodiPlano()
{
    uint8_t octeto;
    while (LeeOctetoPlano(&octeto))
        EscribeOctetoComprimido(octeto);
}

// ---- Headers ---------------------------------------------------------------

void EscribeFalsaCabecera()
{
    static const uint8_t ceros[TamCabecera] = {};
    fwrite(ceros, 1, TamCabecera, Salida);
}

static void PonTamano(uint8_t* destino, uint32_t tamano)
{
    destino[0] = static_cast<uint8_t>(tamano >> 24);
    destino[1] = static_cast<uint8_t>(tamano >> 16);
    destino[2] = static_cast<uint8_t>(tamano >> 8);
    destino[3] = static_cast<uint8_t>(tamano);
}

void EscribeCabecera(const char* nombre, uint8_t tipo, uint8_t metodo,
                     uint32_t tamanoOriginal, uint32_t tamanoComprimido)
{
    uint8_t cabecera[TamCabecera] = {};
    for (int i = 0; i < TamNombre && nombre[i]; ++i)
        cabecera[i] = static_cast<uint8_t>(nombre[i]);
    cabecera[PosTipo] = tipo;
    cabecera[PosMetodo] = metodo;
    PonTamano(cabecera + PosTamanoOriginal, tamanoOriginal);
    PonTamano(cabecera + PosTamanoComprimido, tamanoComprimido);
    fwrite(cabecera, 1, TamCabecera, Salida);
}

// ---- One member ------------------------------------------------------------

// The size of a regular file; anything else (a directory, a device, a pipe)
// has no size we could promise in the header.
static uint32_t MideEntrada()
{
    struct stat datos;
    if (fstat(fileno(Entrada), &datos) != 0 || !S_ISREG(datos.st_mode))
        ErrorFatalCon("Can't read file '%s'", NombreEntrada);
    if (static_cast<uint64_t>(datos.st_size) > UINT32_MAX)
        ErrorFatalCon("File too large: %s", NombreEntrada);
    return static_cast<uint32_t>(datos.st_size);
}

void EmpiezaPasada()
{
    rewind(Entrada);
    OctetosLeidos = 0;
    TamanoComprimido = 0;
    IniciaBarra();
}

static int CalculaPorcentaje()
{
    if (TamanoOriginal == 0)
        return 0;
    return static_cast<int>(static_cast<double>(TamanoComprimido) / TamanoOriginal * 100.0 + 0.5);
}

void Dedezodi(const char* nombre, uint8_t tipo)
{
    Entrada = fopen(nombre, "rb");
    if (!Entrada)
        ErrorFatalCon("Can't open file '%s'", nombre);
    NombreEntrada = nombre;
    printf("\n%-20s", nombre);
    DibujaBarraVacia();

    off_t inicio = ftello(Salida);
    EscribeFalsaCabecera();
    TamanoOriginal = MideEntrada();

    uint8_t metodo = MetodoLZH;
    EmpiezaPasada();
    int menor = ModoOptimo ? DedezodiLZHOptimo() : DedezodiLZH();
    CompletaBarra();
    if (!menor) {
        // Store instead, over the LZH attempt, and draw the bar again.
        EmpiezaPasada();
        fseeko(Salida, inicio + TamCabecera, SEEK_SET);
        RetrocedeCursor(AnchoBarra);
        DibujaBarraVacia();
        metodo = MetodoPlano;
        DedezodiPlano();
        CompletaBarra();
    }

    off_t fin = ftello(Salida);
    fseeko(Salida, inicio, SEEK_SET);
    EscribeCabecera(nombre, tipo, metodo, TamanoOriginal, TamanoComprimido);
    fseeko(Salida, fin, SEEK_SET);
    fclose(Entrada);
    Entrada = nullptr;
    if (ferror(Salida))
        ErrorFatalCon("Can't write file '%s'", NombreArchivo);

    // Back over the bar and the end of the name field: the percentage sits
    // there with the bar still visible behind it.
    RetrocedeCursor(AnchoBarra + 6);
    printf("%3d%%", CalculaPorcentaje());
}

}  // namespace dedezodi
