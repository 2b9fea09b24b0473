// The console: its streams, the banner, the progress bar, and the hook the
// fatal path runs first.

#include "consola.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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
static uint32_t ContadorParcial;   // bytes counted since the last mark
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

void AvanzaBarraBloque(uint32_t cuantos)
{
    const uint64_t paso = uint64_t{Paso} + 1;
    const uint64_t cuenta = uint64_t{ContadorParcial} + cuantos;
    ContadorParcial = static_cast<uint32_t>(cuenta % paso);
    for (uint64_t marcas = cuenta / paso; marcas > 0;) {
        const int trozo = marcas < AnchoBarra ? static_cast<int>(marcas) : AnchoBarra;
        Mensaje("%.*s", trozo, Marcas);
        Punto += trozo;
        marcas -= static_cast<uint64_t>(trozo);
    }
}

void CompletaBarra() { TerminaBarra(Marcas); }
void RellenaBarra() { TerminaBarra(Puntos); }


// ---- Errors on standard error ----------------------------------------------

const char* NombrePrograma = "";
const char* ConsejoFatal;

// "<message>" as the line on standard error says it, after "<program>: ":
// lower case first, "Can't open file 'x'" as "can't open 'x'" (the quoted
// name says what it is), then the limit and the reason.
static void ComponeFormaGNU(char* destino, size_t tamano, const char* mensaje, const Causa& causa)
{
    int verbo = 0;
    const char* resto = mensaje;
    if (strncmp(mensaje, "Can't ", 6) == 0) {
        const char* espacio = strchr(mensaje + 6, ' ');
        if (espacio && strncmp(espacio, " file '", 7) == 0) {
            verbo = static_cast<int>(espacio - mensaje);
            resto = espacio + 5;
        }
    }
    const size_t inicio = causa.lugar ? strlen(causa.lugar) + 2 : 0;
    size_t n = static_cast<size_t>(snprintf(destino, tamano, "%s%s%.*s%s", causa.lugar ? causa.lugar : "",
                                            causa.lugar ? ": " : "", verbo, mensaje, resto));
    if (inicio < n && inicio + 1 < tamano && destino[inicio] >= 'A' && destino[inicio] <= 'Z')
        destino[inicio] = static_cast<char>(destino[inicio] - 'A' + 'a');
    if (causa.limite && n < tamano)
        n += static_cast<size_t>(snprintf(destino + n, tamano - n, " (%s)", causa.limite));
    if (causa.error != 0 && n < tamano)
        snprintf(destino + n, tamano - n, ": %s", strerror(causa.error));
}

// Two descriptors on one file (a terminal, a pipe, 2>&1) would show the
// error twice.
static bool MismoArchivo(int a, int b)
{
    struct stat x, y;
    return fstat(a, &x) == 0 && fstat(b, &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

void InformaFatalEnErrores(const char* mensaje, const Causa& causa)
{
    if (ConsolaErrores == stderr || !MismoArchivo(STDOUT_FILENO, STDERR_FILENO)) {
        char linea[1024];
        ComponeFormaGNU(linea, sizeof linea, mensaje, causa);
        // Member lines on standard error (-p) end without a newline.
        fprintf(stderr, "%s%s: %s\n", Consola == stderr ? "\n" : "", NombrePrograma, linea);
    }
    if (ConsejoFatal)
        fprintf(stderr, "%s: %s\n", NombrePrograma, ConsejoFatal);
}
