// Dedezodi's command line: the banner and usage text of the one-argument
// call, and its options (-q, --best, -j).

#include "dedezodi.h"

#include "opciones.h"

#include <cstdlib>

namespace dedezodi {

bool Silencio;

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
    return LeeLlamada(argc, argv, "Dedezodi", Opciones, sizeof Opciones / sizeof Opciones[0], Ayuda, false,
                      AplicaOpcion);
}

}  // namespace dedezodi
