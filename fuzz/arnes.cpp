// The fuzz targets' helpers: console, working folder, files, findings.

#include "arnes.h"
#include "common.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

void ReportaHallazgo(const char* formato, ...)
{
    va_list argumentos;
    va_start(argumentos, formato);
    fprintf(stderr, "\n==== finding: ");
    vfprintf(stderr, formato, argumentos);
    fprintf(stderr, "\n");
    va_end(argumentos);
    abort();
}

void SilenciaConsola()
{
    int nulo = open("/dev/null", O_WRONLY);
    if (nulo < 0 || dup2(nulo, STDOUT_FILENO) < 0)
        ReportaHallazgo("cannot send standard output to /dev/null");
    close(nulo);
}

// ---- Working folder ------------------------------------------------------------

static std::string Base;      // <tmp>/fuzzXXXXXX, one per process
static std::string Trabajo;   // Base + "/trabajo"

static void BorraBase()
{
    std::error_code ignorado;
    fs::remove_all(Base, ignorado);
}

static void CreaBase()
{
    const char* tmp = getenv("TMPDIR");
    std::string plantilla = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzzXXXXXX";
    if (!mkdtemp(plantilla.data()))
        ReportaHallazgo("mkdtemp failed");
    Base = plantilla;
    Trabajo = Base + "/trabajo";
    atexit(BorraBase);
}

const std::string& CarpetaTrabajo() { return Trabajo; }

// The lowest free descriptor, which open() always hands out next: if an
// input leaves a file open, it is higher afterwards.
static int PrimerDescriptorLibre()
{
    int descriptor = open("/dev/null", O_RDONLY);
    close(descriptor);
    return descriptor;
}

static int DescriptorLibreAlEntrar;

void EntraCarpetaTrabajo()
{
    if (Base.empty())
        CreaBase();
    DescriptorLibreAlEntrar = PrimerDescriptorLibre();
    if (!fs::create_directory(Trabajo) || chdir(Trabajo.c_str()) != 0)
        ReportaHallazgo("cannot enter %s", Trabajo.c_str());
}

// A name from the input must never reach past the working folder, and the
// programs create nothing but regular files.
static void CompruebaContenido()
{
    for (const auto& entrada : fs::directory_iterator(Base))
        if (entrada.path().filename() != "trabajo")
            ReportaHallazgo("written outside the working folder: %s", entrada.path().c_str());
    for (const auto& entrada : fs::recursive_directory_iterator(Trabajo))
        if (!entrada.is_regular_file() && !entrada.is_directory())
            ReportaHallazgo("not a regular file: %s", entrada.path().c_str());
}

void SaleCarpetaTrabajo()
{
    if (chdir(Base.c_str()) != 0)
        ReportaHallazgo("cannot leave %s", Trabajo.c_str());
    CompruebaContenido();
    fs::remove_all(Trabajo);
    if (PrimerDescriptorLibre() != DescriptorLibreAlEntrar)
        ReportaHallazgo("a file was left open");
}

// ---- Files and streams -----------------------------------------------------------

void EscribeBytes(const std::string& ruta, const uint8_t* datos, size_t tamano)
{
    FILE* archivo = fopen(ruta.c_str(), "wb");
    if (!archivo || fwrite(datos, 1, tamano, archivo) != tamano || fclose(archivo) != 0)
        ReportaHallazgo("cannot write %s", ruta.c_str());
}

std::string LeeBytes(const std::string& ruta)
{
    std::ifstream archivo(ruta, std::ios::binary);
    if (!archivo)
        ReportaHallazgo("cannot read %s", ruta.c_str());
    std::ostringstream contenido;
    contenido << archivo.rdbuf();
    return contenido.str();
}

void CierraFlujos()
{
    if (Entrada)
        fclose(Entrada);
    if (Salida)
        fclose(Salida);
    Entrada = nullptr;
    Salida = nullptr;
}
