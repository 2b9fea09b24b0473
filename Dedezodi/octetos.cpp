// The member's input file and the byte routines every encoder reads and
// writes through (dedezodi.h); the file is read to its end, whatever size
// it reported (a file under /proc reports 0).

#include "dedezodi.h"
#include "equipo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dedezodi {

__thread FILE* EntradaMiembro;
__thread uint32_t OctetosLeidos;
__thread uint64_t OctetosComprimidos;
__thread bool Encargado;
__thread bool Fallido;

// The file being packed, for messages.
static __thread const char* NombreEntrada = "";

__thread uint32_t AvisoLectura;
constexpr uint32_t PasoEncargado = 1 << 20;

// ---- Byte routines ---------------------------------------------------------

// A failure of the member: on a worker, the member ends here (Fallido, and
// false returned) and is packed again in order; on the thread that packs
// the list, the fatal error, under the name the file was given, with the
// list line it was named on, the system's reason (error) and, for a file
// too large, the limit.
bool Falla(const char* formato, int error)
{
    if (Encargado) {
        Fallido = true;
        return false;
    }
    Causa causa = CausaDe(NombreEntrada, error);
    if (strncmp(formato, "File too large", 14) == 0)
        causa.limite = "at most 4294967295 bytes";
    ErrorFatalCon(formato, ArchivoDe(NombreEntrada), causa);
}

static void PonAviso()
{
    const uint64_t aviso = Encargado              ? uint64_t{OctetosLeidos} + PasoEncargado
                           : Punto < AnchoBarra ? (static_cast<uint64_t>(Punto) + 1) * (uint64_t{Paso} + 1) - 1
                                                : UINT32_MAX;
    AvisoLectura = static_cast<uint32_t>(std::min<uint64_t>(aviso, UINT32_MAX));
}

// The reader's rare cases: the end, an error, one byte more than a size
// field holds, a mark of the bar, the end of the run.
bool SigueLeyendo(int c)
{
    if (c == EOF)
        return ferror(EntradaMiembro) ? Falla("Can't read file '%s'", errno) : false;
    if (OctetosLeidos == UINT32_MAX)
        return Falla("File too large: %s");
    if (!Encargado) {
        Mensaje("o");   // PonAviso asks for no mark past the bar's end
        ++Punto;
    } else if (Abandona.load(std::memory_order_relaxed))
        return Falla(nullptr);
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

// ---- The input file --------------------------------------------------------

// Opens a listed file into EntradaMiembro, or fails the member (Falla) and
// returns false.  It is opened without blocking, so that a FIFO cannot hang
// the run, and judged by the open descriptor, so that what is checked is
// what is read: anything but a regular file (a folder, a device, a pipe)
// has no size we could promise in the header.  The size it reports sets the
// bar's pace.  Of the failures, a folder says so; another kind of file (a
// FIFO, a device), or one too large, has no reason of the system's.
bool AbreEntrada(const char* nombre)
{
    NombreEntrada = nombre;
    Fallido = false;
    int fd = open(ArchivoDe(nombre), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Falla("Can't open file '%s'", errno);
    struct stat datos;
    const bool leido = fstat(fd, &datos) == 0;
    if (!leido || !S_ISREG(datos.st_mode) || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
        !(EntradaMiembro = fdopen(fd, "rb"))) {
        const int causa = !leido || S_ISREG(datos.st_mode) ? errno : S_ISDIR(datos.st_mode) ? EISDIR : 0;
        close(fd);
        return Falla("Can't read file '%s'", causa);
    }
    // Too large already: refused before any data is read.
    if (static_cast<uint64_t>(datos.st_size) > UINT32_MAX)
        return Falla("File too large: %s");
    TamanoOriginal = static_cast<uint32_t>(datos.st_size);
    return true;
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
    IniciaHuffman();
    if (!Encargado)
        IniciaBarra(TamanoOriginal);
    PonAviso();
}

}  // namespace dedezodi
