// The console: its streams, the banner, the progress bar, and the hook the
// fatal path runs first.

#include "consola.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

__thread uint32_t TamanoOriginal;
__thread uint32_t TamanoComprimido;
FILE* Entrada;
__thread FILE* Salida;
void (*AntesDeFatal)();

void CumpleAntesDeFatal()
{
    if (void (*antes)() = AntesDeFatal) {
        AntesDeFatal = nullptr;   // a fatal error on the way is the one reported
        antes();
    }
}

uint32_t Paso;
uint32_t ContadorParcial;
int32_t Punto;

// ---- Console ---------------------------------------------------------------

FILE* Consola = stdout;
FILE* ConsolaErrores = stdout;

// A program started with standard input, output or error closed would
// otherwise hand that number to the first file it opens, and its console
// text would go into the archive or a restored file.
bool SalidaEstandarCerrada;

static void AbreDescriptoresEstandar()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        SalidaEstandarCerrada = SalidaEstandarCerrada || fd == STDOUT_FILENO;
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

// ---- Progress bar ----------------------------------------------------------

// Each piece of the bar goes out in one write: the console is unbuffered,
// so that marks show at once, and a character at a time would cost a system
// call each.
static const char Retrocesos[] = "\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b";

void RetrocedeCursor(int columnas)
{
    Mensaje("%.*s", columnas, Retrocesos);
}

static const char Puntos[] = "....................";
const char Marcas[AnchoBarra + 1] = "oooooooooooooooooooo";
static_assert(sizeof Puntos == AnchoBarra + 1, "one bar wide");
static_assert(sizeof Retrocesos > AnchoBarra + 6, "back over the bar and the percentage's columns");

void DibujaBarraVacia()
{
    Mensaje("%s%.*s", Puntos, AnchoBarra, Retrocesos);
}

void IniciaBarra(uint32_t tamano)
{
    Paso = tamano / AnchoBarra;
    ContadorParcial = 0;
    Punto = 0;
}

static void TerminaBarra(const char* relleno)
{
    if (Punto < AnchoBarra)
        Mensaje("%.*s", static_cast<int>(AnchoBarra - Punto), relleno);
    Punto = AnchoBarra;
}

void CompletaBarra() { TerminaBarra(Marcas); }
void RellenaBarra() { TerminaBarra(Puntos); }

