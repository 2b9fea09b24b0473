// One member of the archive: a placeholder header, the data (LZH, or the
// file's bytes when LZH is not strictly smaller), then the real header
// written over the placeholder.  Also the byte routines of the member.

#include "dedezodi.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dedezodi {

char NombreArchivo[TamNombreArchivo];
uint64_t OctetosComprimidos;
bool ModoOptimo = false;

// The file being packed, for messages, and how many of its bytes this pass
// has read.  A pass reads the file to its end, whatever size it reported
// when it was opened (a file under /proc reports 0), and the header takes
// the count.
static const char* NombreEntrada = "";
uint32_t OctetosLeidos;

// ---- Byte routines ---------------------------------------------------------

int LeeOctetoPlano(uint8_t* octeto)
{
    int c = getc_unlocked(Entrada);
    if (c == EOF) {
        if (ferror(Entrada))
            ErrorFatalCon("Can't read file '%s'", NombreEntrada);
        return 0;
    }
    if (OctetosLeidos == UINT32_MAX)   // one byte more than a size field holds
        ErrorFatalCon("File too large: %s", NombreEntrada);
    ++OctetosLeidos;
    *octeto = static_cast<uint8_t>(c);
    AvanzaBarra();
    return 1;
}

void EscribeOctetoComprimido(uint8_t octeto)
{
    putc_unlocked(octeto, Salida);
    ++OctetosComprimidos;
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

// Opens a listed file.  It is opened without blocking, so that a FIFO
// cannot hang the run, and judged by the open descriptor, so that what is
// checked is what is read: anything but a regular file (a folder, a
// device, a pipe) has no size we could promise in the header.
static void AbreEntrada(const char* nombre)
{
    NombreEntrada = nombre;
    int fd = open(nombre, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        ErrorFatalCon("Can't open file '%s'", nombre);
    struct stat datos;
    if (fstat(fd, &datos) != 0 || !S_ISREG(datos.st_mode) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 || !(Entrada = fdopen(fd, "rb"))) {
        close(fd);
        ErrorFatalCon("Can't read file '%s'", nombre);
    }
    // Too large already: refused before any data is read.
    if (static_cast<uint64_t>(datos.st_size) > UINT32_MAX)
        ErrorFatalCon("File too large: %s", nombre);
    // The size the file reports sets the bar's pace; the header gets the
    // bytes actually read.
    TamanoOriginal = static_cast<uint32_t>(datos.st_size);
}

void EmpiezaPasada()
{
    rewind(Entrada);
    OctetosLeidos = 0;
    OctetosComprimidos = 0;
    IniciaBarra(TamanoOriginal);
}

static int CalculaPorcentaje()
{
    if (TamanoOriginal == 0)
        return 0;
    return static_cast<int>(static_cast<double>(TamanoComprimido) / TamanoOriginal * 100.0 + 0.5);
}

void Dedezodi(const char* nombre, uint8_t tipo)
{
    AbreEntrada(nombre);
    char visible[TamNombreVisible];
    EscapaNombre(nombre, visible);
    Mensaje("\n%-20s", visible);
    DibujaBarraVacia();

    off_t inicio = ftello(Salida);
    EscribeFalsaCabecera();

    uint8_t metodo = MetodoLZH;
    EmpiezaPasada();
    int menor = ModoOptimo ? DedezodiLZHOptimo() : DedezodiLZH();
    const uint32_t leidos = OctetosLeidos;
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
        // The stored copy must be the bytes the first pass counted.
        if (OctetosLeidos != leidos)
            ErrorFatalCon("Can't read file '%s'", nombre);
    }
    TamanoOriginal = leidos;
    TamanoComprimido = static_cast<uint32_t>(OctetosComprimidos);   // no more than leidos

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
    Mensaje("%3d%%", CalculaPorcentaje());
}

}  // namespace dedezodi
