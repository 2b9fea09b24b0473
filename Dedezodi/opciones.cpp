// Dedezodi's command line: the banner and usage text of the one-argument
// call, its options (-q, --best, -j, -T, -b), and the names of the list and
// the archive.

#include "dedezodi.h"

#include "opciones.h"
#include "procesadores.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace dedezodi {

bool Silencio;
bool ModoOptimo;
int NumHilos = 1;
const char* ArchivoNombres;
bool Binario;
char NombreArchivo[TamNombreArchivo];

void MuestraUso()
{
    Mensaje("\nTo call this programme:\nDedezodi FileName\n"
            "  where FileName is the name of a file with extension\n"
            "  'lst' that holds the relation of files to compress\n");
    SugiereForma("to pack named files without a list, call Dedezodi -- BASE FILE...");
    exit(0);
}

static const char Ayuda[] =
    "Usage: Dedezodi BASE\n"
    "  or:  Dedezodi OPTION... [--] BASE\n"
    "  or:  Dedezodi [OPTION]... [--] BASE FILE...\n"
    "  or:  Dedezodi [OPTION]... -T NAMES BASE [FILE]...\n"
    "Pack the files named in the list BASE.lst into the archive BASE.cmp,\n"
    "written beside the list; the listed names are relative to the working\n"
    "folder.  A '_' in the last component of BASE stands for '.'.  With\n"
    "options, BASE may be the list's own file (notas.lst).  Files named after\n"
    "BASE, or with -T, are packed without a list, in that order, each read\n"
    "under the name given; a '_' in it is stored as '.', the name it is\n"
    "restored under.\n"
    "\n"
    "      --best      choose matches by their cost in bits: smaller archives in\n"
    "                  the same format, restored by any reader of it; slower\n"
    "  -j, --threads=N use N threads (default: one per CPU); -j 1 is the plain\n"
    "                  single-threaded path; the archive is the same\n"
    "  -q, --quiet     print errors only\n"
    "  -T, --files-from=NAMES  pack the files named in NAMES, one a line, as\n"
    "                  written ('-': standard input)\n"
    "  -b, --binary    files named without a list are binary (default: text)\n"
    "  -h, --help      show this help and exit\n"
    "  -V, --version   show the version and exit\n"
    "\n"
    "Exit status: 0 when the archive was written, 1 otherwise.\n";

constexpr int OpcionMejor = PrimeraSoloLarga;

static const Opcion Opciones[] = {
    {"quiet", 'q', false},
    {"best", OpcionMejor, false},
    {"threads", 'j', true},
    {"files-from", 'T', true},
    {"binary", 'b', false},
};

// Nothing, or why the option is refused.
static const char* AplicaOpcion(int codigo, const char* valor)
{
    switch (codigo) {
    case 'q': Silencio = true; return nullptr;
    case OpcionMejor: ModoOptimo = true; return nullptr;
    case 'j': return LeeNumeroHilos(valor, MaxHilos, &NumHilos);
    case 'T': ArchivoNombres = valor; return nullptr;
    case 'b': Binario = true; return nullptr;
    default: return "unknown option";
    }
}

int LeeOpciones(int argc, char* argv[])
{
    Silencio = ModoOptimo = Binario = false;
    ArchivoNombres = nullptr;
    NumHilos = 0;
    const int base = LeeLlamada(argc, argv, "Dedezodi", Opciones, sizeof Opciones / sizeof Opciones[0], Ayuda,
                                AplicaOpcion);
    if (NumHilos == 0)
        NumHilos = std::min(CuentaProcesadores(), MaxHilos);
    if (base > 0 && Binario && !ArchivoNombres && base + 1 == argc)
        return RechazaLlamada("-b applies only to files named without a list", nullptr);
    return base;
}

void NombraArchivos(const char* base, char* nombreLista)
{
    if (LlamadaExtendida && EsElArchivo(base, ".lst")) {
        const int raiz = static_cast<int>(strlen(base) - strlen(".lst"));
        snprintf(nombreLista, TamNombreArchivo, "%s", base);
        snprintf(NombreArchivo, TamNombreArchivo, "%.*s.cmp", raiz, base);
        return;
    }
    ConsejoFatal = LlamadaExtendida ? nullptr : ConsejoNombreArchivo(base, ".lst", "list");
    CompruebaBase(base);
    ComponeNombreArchivo(nombreLista, base, ".lst");
    ComponeNombreArchivo(NombreArchivo, base, ".cmp");
}

}  // namespace dedezodi
