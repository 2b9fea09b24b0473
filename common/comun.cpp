// The shared core's plumbing: per-member state, composing fatal messages,
// the '_' separator fix-up, the progress bar and output files that take their
// final name only when complete.

#include "common.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
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

// A program started with standard input, output or error closed would
// otherwise hand that number to the first file it opens, and its console
// text would go into the archive or a restored file.
static void AbreDescriptoresEstandar()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lower numbers are open, so open() takes exactly this one.
        if (open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY) != fd)
            _exit(1);
    }
}

void IniciaConsola()
{
    AbreDescriptoresEstandar();
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

// The name is quoted whole, whatever its length, and escaped.  The buffer
// lives on so that the process ends with nothing unaccounted for.
void ErrorFatalCon(const char* formato, const char* nombre)
{
    static std::string visible;
    static std::string mensaje;
    visible.resize(4 * strlen(nombre) + 1);
    EscapaNombre(nombre, &visible[0]);
    mensaje.resize(strlen(formato) + visible.size());
    snprintf(&mensaje[0], mensaje.size(), formato, visible.c_str());
    ErrorFatal(mensaje.c_str());
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

// The signals that end a run and so must take the temporary file with them.
// One that the caller set to be ignored (nohup, a background job) stays
// ignored.
static const int SenalesDeFin[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
static sigset_t SenalesAtendidas;

static void BorraTemporalYSal(int senal)
{
    if (HayTemporal)
        unlink(NombreTemporal);
    signal(senal, SIG_DFL);
    raise(senal);
}

static void InstalaSenales()
{
    static bool instaladas;
    if (instaladas)
        return;
    instaladas = true;
    sigemptyset(&SenalesAtendidas);
    for (int senal : SenalesDeFin) {
        struct sigaction actual;
        if (sigaction(senal, nullptr, &actual) == 0 && actual.sa_handler == SIG_IGN)
            continue;
        struct sigaction nueva = {};
        nueva.sa_handler = BorraTemporalYSal;
        sigemptyset(&nueva.sa_mask);
        sigaction(senal, &nueva, nullptr);
        sigaddset(&SenalesAtendidas, senal);
    }
}

// A file that replaces another keeps its permission bits, as writing it in
// place would; a new one gets what fopen() would give it (0666 less the
// umask), not mkstemp()'s 0600.
static mode_t CalculaPermisos(const char* nombreFinal)
{
    struct stat anterior;
    if (stat(nombreFinal, &anterior) == 0 && S_ISREG(anterior.st_mode))
        return anterior.st_mode & 0777;
    mode_t mascara = umask(0);
    umask(mascara);
    return 0666 & ~mascara;
}

// The handled signals are held from before the file exists until it is
// recorded, so an interrupt can never leave it behind.
FILE* CreaTemporal(const char* nombreFinal)
{
    InstalaSenales();
    int n = snprintf(NombreTemporal, sizeof NombreTemporal, "%s.XXXXXX", nombreFinal);
    if (n < 0 || n >= static_cast<int>(sizeof NombreTemporal))
        return nullptr;
    sigset_t previas;
    sigprocmask(SIG_BLOCK, &SenalesAtendidas, &previas);
    int fd = mkstemp(NombreTemporal);
    HayTemporal = fd >= 0;
    sigprocmask(SIG_SETMASK, &previas, nullptr);
    if (fd < 0)
        return nullptr;
    FILE* archivo = nullptr;
    if (fchmod(fd, CalculaPermisos(nombreFinal)) != 0 || !(archivo = fdopen(fd, "wb+"))) {
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
