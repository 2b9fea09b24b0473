// The shared core's plumbing: per-member state, composing fatal messages,
// the '_' separator fix-up, the progress bar and output files that take their
// final name only when complete.

#include "common.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

uint32_t TamanoOriginal;
uint32_t TamanoComprimido;
FILE* Entrada;
FILE* Salida;

uint32_t Paso;
uint32_t ContadorParcial;
int32_t Punto;

// ---- Console and command line ----------------------------------------------

FILE* Consola = stdout;
FILE* ConsolaErrores = stdout;

void IniciaConsola()
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    signal(SIGXFSZ, SIG_IGN);
}

// Data on standard output is written in blocks (it was unbuffered for the
// progress marks, and no byte has gone to it yet).
void EligeConsola(bool datosPorSalida, bool silencio)
{
    if (datosPorSalida)
        setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    Consola = silencio ? nullptr : datosPorSalida ? stderr : stdout;
    ConsolaErrores = silencio || datosPorSalida ? stderr : stdout;
}

void Mensaje(const char* formato, ...)
{
    if (!Consola)
        return;
    va_list argumentos;
    va_start(argumentos, formato);
    vfprintf(Consola, formato, argumentos);
    va_end(argumentos);
}

static ssize_t TiraOctetos(void*, const char*, size_t tamano) { return static_cast<ssize_t>(tamano); }

FILE* AbreSumidero()
{
    static FILE* sumidero;
    if (!sumidero)
        sumidero = fopencookie(nullptr, "w", cookie_io_functions_t{nullptr, TiraOctetos, nullptr, nullptr});
    return sumidero;
}

void PresentaTitulo(const char* titulo)
{
    Mensaje("\n%s\n", titulo);
    for (size_t i = strlen(titulo); i > 0; --i)
        Mensaje("=");
    Mensaje("\n");
}

static const char* UltimoComponente(const char* ruta)
{
    const char* barra = strrchr(ruta, '/');
    return barra ? barra + 1 : ruta;
}

void CompruebaBase(const char* base)
{
    if (strlen(UltimoComponente(base)) > MaxLongBase || strlen(base) + 5 > TamNombreArchivo)
        ErrorFatalCon("Name too long: %s", base);
}

void ComponeNombreArchivo(char* destino, const char* base, const char* extension)
{
    snprintf(destino, TamNombreArchivo, "%s%s", base, extension);
    ArreglaSeparador(destino + (UltimoComponente(base) - base));
}

// ---- Errors and names ------------------------------------------------------

void ErrorFatalCon(const char* formato, const char* nombre)
{
    char mensaje[TamNombreArchivo + 160];
    snprintf(mensaje, sizeof mensaje, formato, nombre);
    ErrorFatal(mensaje);
}

void ArreglaSeparador(char* nombre)
{
    for (; *nombre; ++nombre)
        if (*nombre == '_')
            *nombre = '.';
}

// ---- Progress bar ----------------------------------------------------------

void RetrocedeCursor(int columnas)
{
    for (int i = 0; i < columnas; ++i)
        Mensaje("\b");
}

void DibujaBarraVacia()
{
    for (int i = 0; i < AnchoBarra; ++i)
        Mensaje(".");
    RetrocedeCursor(AnchoBarra);
}

void IniciaBarra()
{
    Paso = TamanoOriginal / AnchoBarra;
    ContadorParcial = 0;
    Punto = 0;
}

void CompletaBarra()
{
    for (; Punto < AnchoBarra; ++Punto)
        Mensaje("o");
}

// ---- Output written beside its final name ----------------------------------
// The temporary file is "<final name>.XXXXXX" in the same folder, so the
// closing rename never crosses file systems.  Its name is kept here so that
// the fatal error path, and an interrupt, can remove it.

int CarpetaSalida = AT_FDCWD;
static char NombreTemporal[TamNombreArchivo + 8];
static volatile sig_atomic_t HayTemporal;

static void BorraTemporalYSal(int senal)
{
    if (HayTemporal)
        unlinkat(CarpetaSalida, NombreTemporal, 0);
    signal(senal, SIG_DFL);
    raise(senal);
}

// A new file gets the permissions fopen() would give it (0666 less the
// umask), not mkstemp()'s 0600.
static mode_t CalculaPermisos()
{
    mode_t mascara = umask(0);
    umask(mascara);
    return 0666 & ~mascara;
}

// mkstemp() within CarpetaSalida: the six X at the end of plantilla become
// letters until a name is free.  O_NOFOLLOW: a link planted under the
// temporary name is never written through.
static int CreaUnico(char* plantilla)
{
    static const char letras[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static uint64_t azar;
    if (azar == 0 && getrandom(&azar, sizeof azar, GRND_NONBLOCK) != sizeof azar)
        azar = static_cast<uint64_t>(time(nullptr)) ^ static_cast<uint64_t>(getpid()) << 32;
    char* x = plantilla + strlen(plantilla) - 6;
    for (int intento = 0; intento < 1000; ++intento) {
        azar = azar * 6364136223846793005u + 1442695040888963407u;
        uint64_t bits = azar >> 16;
        for (int i = 0; i < 6; ++i, bits /= 62)
            x[i] = letras[bits % 62];
        int fd = openat(CarpetaSalida, plantilla, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

FILE* CreaTemporal(const char* nombreFinal)
{
    static bool senalesInstaladas;
    if (!senalesInstaladas) {
        signal(SIGINT, BorraTemporalYSal);
        signal(SIGTERM, BorraTemporalYSal);
        signal(SIGHUP, BorraTemporalYSal);
        senalesInstaladas = true;
    }
    int n = snprintf(NombreTemporal, sizeof NombreTemporal, "%s.XXXXXX", nombreFinal);
    if (n < 0 || n >= static_cast<int>(sizeof NombreTemporal))
        return nullptr;
    int fd = CreaUnico(NombreTemporal);
    if (fd < 0)
        return nullptr;
    HayTemporal = 1;
    FILE* archivo = nullptr;
    if (fchmod(fd, CalculaPermisos()) != 0 || !(archivo = fdopen(fd, "wb+"))) {
        close(fd);
        DescartaTemporal(nullptr);
        return nullptr;
    }
    return archivo;
}

bool ConfirmaTemporal(FILE* archivo, const char* nombreFinal)
{
    bool escrito = fflush(archivo) == 0 && !ferror(archivo);
    escrito = fclose(archivo) == 0 && escrito;
    if (!escrito || renameat(CarpetaSalida, NombreTemporal, CarpetaSalida, nombreFinal) != 0)
        return false;   // still registered: the caller's fatal error removes it
    HayTemporal = 0;
    return true;
}

void DescartaTemporal(FILE* archivo)
{
    if (archivo)
        fclose(archivo);
    if (HayTemporal)
        unlinkat(CarpetaSalida, NombreTemporal, 0);
    HayTemporal = 0;
}
