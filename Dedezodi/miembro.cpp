// One member of the archive: a placeholder header, the data (LZH, or the
// file's bytes when LZH is not strictly smaller), then the real header
// written over the placeholder.  Also the byte routines of the member and
// the member's line on the console.

#include "dedezodi.h"
#include "equipo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dedezodi {

char NombreArchivo[TamNombreArchivo];
__thread FILE* EntradaMiembro;
__thread uint32_t OctetosLeidos;
__thread uint64_t OctetosComprimidos;
__thread bool Encargado;
__thread bool Fallido;

// The file being packed, for messages.  A pass reads the file to its end,
// whatever size it reported when it was opened (a file under /proc reports
// 0), and the header takes the count.
static __thread const char* NombreEntrada = "";

__thread uint32_t AvisoLectura;
constexpr uint32_t PasoEncargado = 1 << 20;

// ---- The member's line on the console -------------------------------------------
// "name     oooooooooooooooooooo 42%": written as the member is packed, or
// all at once for a member another thread packed.

static void EmpiezaLinea(const char* nombre)
{
    char visible[TamNombreVisible];
    EscapaNombre(ArchivoDe(nombre), visible);
    Mensaje("\n%-20s", visible);
    DibujaBarraVacia();
}

static void DibujaMarca()
{
    if (Punto < AnchoBarra) {
        if (Consola)
            putc_unlocked('o', Consola);
        ++Punto;
    }
}

// The marks of `leidos` bytes on a bar just started, then the rest of it.
static void LlenaBarra(uint32_t leidos)
{
    for (uint64_t marca = uint64_t{Paso} + 1; marca <= leidos && Punto < AnchoBarra; marca += uint64_t{Paso} + 1)
        DibujaMarca();
    CompletaBarra();
}

// The stored copy is drawn over the LZH attempt's bar.
static void RehaceBarra()
{
    RetrocedeCursor(AnchoBarra);
    DibujaBarraVacia();
}

// Back over the bar and the end of the name field: the percentage sits
// there with the bar still visible behind it.
static void TerminaLinea()
{
    int porcentaje = 0;
    if (TamanoOriginal != 0)
        porcentaje = static_cast<int>(static_cast<double>(TamanoComprimido) / TamanoOriginal * 100.0 + 0.5);
    RetrocedeCursor(AnchoBarra + 6);
    Mensaje("%3d%%", porcentaje);
}

void DibujaMiembro(const char* nombre, uint32_t tamanoDicho, uint8_t metodo)
{
    const uint32_t leidos = TamanoOriginal;
    EmpiezaLinea(nombre);
    IniciaBarra(tamanoDicho);
    LlenaBarra(leidos);
    if (metodo == MetodoPlano) {
        RehaceBarra();
        IniciaBarra(tamanoDicho);
        LlenaBarra(leidos);
    }
    TerminaLinea();
    NotaNombreGuardado(nombre);
}

// ---- Byte routines ---------------------------------------------------------

// The fatal error of a member's file: under the name it was given, with the
// list line it was named on, the system's reason (error) and, for a file
// too large, the limit.
[[noreturn]] static void FallaMiembro(const char* formato, int error)
{
    Causa causa = CausaDe(NombreEntrada, error);
    if (strncmp(formato, "File too large", 14) == 0)
        causa.limite = "at most 4294967295 bytes";
    ErrorFatalCon(formato, ArchivoDe(NombreEntrada), causa);
}

// A failure of the member: the fatal error on the thread that packs the
// list; on a worker, the member ends here and is packed again in order.
static bool Falla(const char* formato, int error = 0)
{
    if (!Encargado)
        FallaMiembro(formato, error);
    Fallido = true;
    return false;
}

static void PonAviso()
{
    uint64_t aviso = uint64_t{OctetosLeidos} + PasoEncargado;
    if (!Encargado)
        aviso = Punto < AnchoBarra ? (static_cast<uint64_t>(Punto) + 1) * (uint64_t{Paso} + 1) - 1 : UINT32_MAX;
    AvisoLectura = aviso < UINT32_MAX ? static_cast<uint32_t>(aviso) : UINT32_MAX;
}

// The reader's rare cases: the end, an error, one byte more than a size
// field holds, a mark of the bar, the end of the run.
bool SigueLeyendo(int c)
{
    if (c == EOF)
        return ferror(EntradaMiembro) ? Falla("Can't read file '%s'", errno) : false;
    if (OctetosLeidos == UINT32_MAX)
        return Falla("File too large: %s");
    if (Encargado && Abandona.load(std::memory_order_relaxed))
        return Falla(nullptr);
    if (!Encargado)
        DibujaMarca();
    PonAviso();
    return true;
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

// Opens a listed file; returns why it cannot be packed, or nullptr.  It is
// opened without blocking, so that a FIFO cannot hang the run, and judged
// by the open descriptor, so that what is checked is what is read: anything
// but a regular file (a folder, a device, a pipe) has no size we could
// promise in the header.  The size it reports sets the bar's pace.  errno
// says why it failed: a folder says so; another kind of file (a FIFO, a
// device), or one too large, has no reason of the system's.
const char* AbreEntrada(const char* nombre)
{
    NombreEntrada = nombre;
    Fallido = false;
    int fd = open(ArchivoDe(nombre), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "Can't open file '%s'";
    struct stat datos;
    const bool leido = fstat(fd, &datos) == 0;
    if (!leido || !S_ISREG(datos.st_mode) || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
        !(EntradaMiembro = fdopen(fd, "rb"))) {
        const int causa = !leido || S_ISREG(datos.st_mode) ? errno : S_ISDIR(datos.st_mode) ? EISDIR : 0;
        close(fd);
        errno = causa;
        return "Can't read file '%s'";
    }
    // Too large already: refused before any data is read.
    if (static_cast<uint64_t>(datos.st_size) > UINT32_MAX) {
        errno = 0;
        return "File too large: %s";
    }
    TamanoOriginal = static_cast<uint32_t>(datos.st_size);
    return nullptr;
}

void CierraEntrada()
{
    if (EntradaMiembro)
        fclose(EntradaMiembro);
    EntradaMiembro = nullptr;
}

void EmpiezaPasada()
{
    rewind(EntradaMiembro);
    OctetosLeidos = 0;
    OctetosComprimidos = 0;
    if (!Encargado)
        IniciaBarra(TamanoOriginal);
    PonAviso();
}

uint8_t CodificaMiembro(int (*codificador)(), off_t datos, uint64_t* intento)
{
    uint8_t metodo = MetodoLZH;
    EmpiezaPasada();
    const int menor = codificador();
    const uint32_t leidos = OctetosLeidos;
    *intento = OctetosComprimidos;
    if (!Encargado)
        CompletaBarra();
    if (!menor && !Fallido) {
        // Store instead, over the LZH attempt.
        EmpiezaPasada();
        fseeko(Salida, datos, SEEK_SET);
        if (!Encargado)
            RehaceBarra();
        metodo = MetodoPlano;
        DedezodiPlano();
        if (!Encargado)
            CompletaBarra();
        // The stored copy must be the bytes the first pass counted.
        if (OctetosLeidos != leidos)
            Falla("Can't read file '%s'");
    }
    TamanoOriginal = leidos;
    TamanoComprimido = static_cast<uint32_t>(OctetosComprimidos);   // no more than leidos
    return metodo;
}

void Dedezodi(const char* nombre, uint8_t tipo)
{
    if (const char* error = AbreEntrada(nombre))
        FallaMiembro(error, errno);
    // The encoder, chosen here once per member: the cost-based one when
    // asked; the trees shared among the threads when there are several and
    // the member reports at least two of their rounds; else the plain one.
    int (*codificador)() = DedezodiLZH;
    if (ModoOptimo)
        codificador = DedezodiLZHOptimo;
    else if (NumHilos > 1 && TamanoOriginal >= MinimoCompartido)
        codificador = DedezodiLZHHilos;
    EmpiezaLinea(nombre);
    const off_t inicio = ftello(Salida);
    EscribeFalsaCabecera();
    uint64_t intento;
    const uint8_t metodo = CodificaMiembro(codificador, inicio + TamCabecera, &intento);
    const off_t fin = ftello(Salida);
    fseeko(Salida, inicio, SEEK_SET);
    EscribeCabecera(nombre, tipo, metodo, TamanoOriginal, TamanoComprimido);
    fseeko(Salida, fin, SEEK_SET);
    CierraEntrada();
    if (ferror(Salida))
        ErrorFatalCon("Can't write file '%s'", NombreArchivo);
    TerminaLinea();
    NotaNombreGuardado(nombre);
}

}  // namespace dedezodi
