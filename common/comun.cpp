// The shared core's plumbing: per-member state, composing fatal messages,
// the '_' separator fix-up, the progress bar and output files that take their
// final name only when complete.

#include "common.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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

void IniciaConsola()
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    signal(SIGXFSZ, SIG_IGN);
}

void PresentaTitulo(const char* titulo)
{
    printf("\n%s\n", titulo);
    for (size_t i = strlen(titulo); i > 0; --i)
        putchar('=');
    putchar('\n');
}

void CompruebaBase(const char* base)
{
    if (strlen(base) > MaxLongBase)
        ErrorFatalCon("Name too long: %s", base);
}

void ComponeNombreArchivo(char* destino, const char* base, const char* extension)
{
    snprintf(destino, TamNombreArchivo, "%s%s", base, extension);
    ArreglaSeparador(destino);
}

// ---- Errors and names ------------------------------------------------------

void ErrorFatalCon(const char* formato, const char* nombre)
{
    char mensaje[160];
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
        putchar('\b');
}

void DibujaBarraVacia()
{
    for (int i = 0; i < AnchoBarra; ++i)
        putchar('.');
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
        putchar('o');
}

// ---- Output written beside its final name ----------------------------------
// The temporary file is "<final name>.XXXXXX" in the same folder, so the
// closing rename never crosses file systems.  Its name is kept here so that
// the fatal error path, and an interrupt, can remove it.

static char NombreTemporal[64];
static volatile sig_atomic_t HayTemporal;

static void BorraTemporalYSal(int senal)
{
    if (HayTemporal)
        unlink(NombreTemporal);
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
    int fd = mkstemp(NombreTemporal);
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
    if (!escrito || rename(NombreTemporal, nombreFinal) != 0)
        return false;   // still registered: the caller's fatal error removes it
    HayTemporal = 0;
    return true;
}

void DescartaTemporal(FILE* archivo)
{
    if (archivo)
        fclose(archivo);
    if (HayTemporal)
        unlink(NombreTemporal);
    HayTemporal = 0;
}
