// Dedezodi's command line: the banner and usage text of the one-argument
// call, and its options (-q, --best, -j).

#include "dedezodi.h"

#include "opciones.h"
#include "procesadores.h"

#include <cstdlib>

namespace dedezodi {

// The option values.  NumHilos is resolved once, here: -j N, or one thread
// per CPU this process may use.
bool Silencio;
bool ModoOptimo;
int NumHilos = 1;

void Presenta()
{
    PresentaTitulo("Dedezodi " VERSION_PROYECTO ": packs the files of a list into one compressed archive");
}

void MuestraUso()
{
    Mensaje("\nTo call this programme:\nDedezodi FileName\n"
            "  where FileName is the name of a file with extension\n"
            "  'lst' that holds the relation of files to compress\n");
    exit(0);
}

static const char Ayuda[] =
    "Usage: Dedezodi BASE\n"
    "  or:  Dedezodi OPTION... [--] BASE\n"
    "Pack the files named in the list BASE.lst into the archive BASE.cmp,\n"
    "written beside the list; the listed names are relative to the working\n"
    "folder.  A '_' in the last component of BASE stands for '.'.\n"
    "\n"
    "      --best      choose matches by their cost in bits: smaller archives in\n"
    "                  the same format, restored by any reader of it; slower\n"
    "  -j, --threads=N use N threads (default: one per CPU); -j 1 is the plain\n"
    "                  single-threaded path; the archive is the same\n"
    "  -q, --quiet     print errors only\n"
    "  -h, --help      show this help and exit\n"
    "  -V, --version   show the version and exit\n"
    "\n"
    "Exit status: 0 when the archive was written, 1 otherwise.\n";

constexpr int OpcionMejor = PrimeraSoloLarga;

static const Opcion Opciones[] = {
    {"quiet", 'q', false},
    {"best", OpcionMejor, false},
    {"threads", 'j', true},
};

// Nothing, or why the option is refused.
static const char* AplicaOpcion(int codigo, const char* valor)
{
    switch (codigo) {
    case 'q': Silencio = true; return nullptr;
    case OpcionMejor: ModoOptimo = true; return nullptr;
    case 'j': return LeeNumeroHilos(valor, MaxHilos, &NumHilos);
    default: return "unknown option";
    }
}

int LeeOpciones(int argc, char* argv[])
{
    Silencio = ModoOptimo = false;
    NumHilos = 0;
    const int indice = LeeLlamada(argc, argv, "Dedezodi", Opciones, sizeof Opciones / sizeof Opciones[0], Ayuda,
                                  false, AplicaOpcion);
    if (NumHilos == 0) {
        const int cpus = CuentaProcesadores();
        NumHilos = cpus < MaxHilos ? cpus : MaxHilos;
    }
    return indice;
}

}  // namespace dedezodi
