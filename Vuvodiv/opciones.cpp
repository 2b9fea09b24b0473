// Vuvodiv's command line: the banner and usage text of the one-argument
// call, and the options that choose a mode (-l, -t, -p), where files go
// (-d, -n), how much is said (-q), and which members (the names after BASE).

#include "vuvodiv.h"

#include "opciones.h"
#include "procesadores.h"
#include "rescate.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fnmatch.h>

namespace vuvodiv {

// Each mode once: where bytes go, whether to decode, threads, and the
// words of its lines.
const Modo ModoRestaura = {AArchivo, true, false, true, false, nullptr, "not restored: ", "not restored"};
const Modo ModoTuberia = {ASalidaEstandar, true, true, false, false, nullptr, "not restored: ", "not restored"};
const Modo ModoLista = {ANinguna, false, true, false, false, nullptr, "", "cannot be restored"};
const Modo ModoPrueba = {ANinguna, true, false, true, true, "truncated", "", "cannot be restored"};
const Modo* ModoElegido = &ModoRestaura;
bool SinReemplazo;
bool Rescate;
bool Silencio;
const char* CarpetaDestino;
int HilosPedidos;

char NombreArchivo[TamNombreArchivo];

// With options, "-" is standard input and an archive may be named by its
// file (notas.cmp); without them BASE is always a base, and a BASE that is
// the archive itself gets the way out after its error (until the archive
// is open).
void NombraArchivo(const char* base)
{
    if (strcmp(base, "-") == 0) {
        snprintf(NombreArchivo, TamNombreArchivo, "%s", NombreEntradaEstandar);
    } else if (LlamadaExtendida && EsElArchivo(base, ".cmp")) {
        snprintf(NombreArchivo, TamNombreArchivo, "%s", base);
    } else {
        ConsejoFatal = LlamadaExtendida ? nullptr : ConsejoNombreArchivo(base, ".cmp", "archive");
        CompruebaBase(base);
        ComponeNombreArchivo(NombreArchivo, base, ".cmp");
    }
}

int NumSeleccion;
static char* const* Seleccion;
static bool Usado[MaxSeleccion];

void MuestraUso()
{
    Mensaje("\nTo call this programme:\nVuvodiv FileName\n"
            "  where FileName is the name of a file with extension\n"
            "  'cmp' that holds the compressed data\n");
    SugiereForma("to restore only some members, call Vuvodiv -- BASE NAME...");
    exit(0);
}

static const char Ayuda[] =
    "Usage: Vuvodiv BASE\n"
    "  or:  Vuvodiv OPTION... [--] BASE [MEMBER]...\n"
    "Restore the files of the archive BASE.cmp into the working folder.  A '_'\n"
    "in the last component of BASE stands for '.'.\n"
    "\n"
    "  -l, --list            list the members: type, method, sizes, ratio\n"
    "  -t, --test            decode every member and write nothing\n"
    "  -p, --pipe            write the restored bytes to standard output\n"
    "  -d, --directory=DIR   restore into DIR (created when missing)\n"
    "  -n, --no-overwrite    keep existing files and skip their members\n"
    "  -q, --quiet           print errors only (and the listing of -l)\n"
    "  -j, --threads=N       restore or test up to N members at once (default:\n"
    "                        one per CPU; the output is the same)\n"
    "  -s, --salvage         recover what damage left of a damaged archive:\n"
    "                        every member that can be confirmed, the rest\n"
    "                        reported (with -t: report only)\n"
    "  -h, --help            show this help and exit\n"
    "  -V, --version         show the version and exit\n"
    "\n"
    "MEMBER names or shell patterns (*, ?, [...]), compared without regard to\n"
    "case, choose the members to restore, list, test or write.  Exit status: 0\n"
    "when every chosen member was restored (or would be, with -l and -t), 1\n"
    "otherwise.\n";

static const char* EligeModo(const Modo& modo)
{
    if (ModoElegido != &ModoRestaura && ModoElegido != &modo)
        return "-l, -t and -p exclude each other";
    ModoElegido = &modo;
    return nullptr;
}

static const Opcion Opciones[] = {
    {"list", 'l', false},      {"test", 't', false},         {"pipe", 'p', false},
    {"directory", 'd', true},  {"no-overwrite", 'n', false}, {"quiet", 'q', false},
    {"threads", 'j', true},    {"salvage", 's', false},
};

// Nothing, or why the option is refused.
static const char* AplicaOpcion(int codigo, const char* valor)
{
    switch (codigo) {
    case 'l': return EligeModo(ModoLista);
    case 't': return EligeModo(ModoPrueba);
    case 'p': return EligeModo(ModoTuberia);
    case 'd': CarpetaDestino = valor; return nullptr;
    case 'n': SinReemplazo = true; return nullptr;
    case 'q': Silencio = true; return nullptr;
    case 'j': return LeeNumeroHilos(valor, MaxObreros, &HilosPedidos);
    case 's': Rescate = true; return nullptr;
    default: return "unknown option";
    }
}

int LeeOpciones(int argc, char* argv[])
{
    ModoElegido = &ModoRestaura;
    SinReemplazo = Silencio = Rescate = false;
    CarpetaDestino = nullptr;
    HilosPedidos = 0;
    NumSeleccion = 0;
    int base = LeeLlamada(argc, argv, "Vuvodiv", Opciones, sizeof Opciones / sizeof Opciones[0], Ayuda,
                          AplicaOpcion);
    if (HilosPedidos == 0)
        HilosPedidos = std::min(CuentaProcesadores(), MaxObreros);
    if (base <= 0)
        return base;
    if (Rescate && ModoElegido != &ModoRestaura && ModoElegido != &ModoPrueba)
        return RechazaLlamada("-s does not combine with -l or -p", nullptr);
    if (ModoElegido->destino != AArchivo && (CarpetaDestino || SinReemplazo))
        return RechazaLlamada("-d and -n apply only when files are restored", nullptr);
    if (argc - base - 1 > MaxSeleccion)
        return RechazaLlamada("too many member names", nullptr);
    Seleccion = argv + base + 1;
    NumSeleccion = argc - base - 1;
    memset(Usado, 0, sizeof Usado);
    return base;
}

// A name given may be a shell pattern (*, ?, [...]).  Names are compared as
// the listing shows them, without regard to case (the archives come from a
// system whose names ignore it), and with '_' standing for '.' as in every
// name the user gives.  A pattern too long for the buffer could only match
// a name longer than any member's, so it matches none.
static bool MismoNombre(const char* dado, const char* visible)
{
    char patron[4 * TamNombreVisible];
    size_t i = 0;
    for (; dado[i] != '\0' && i + 1 < sizeof patron; ++i)
        patron[i] = dado[i] == '_' ? '.' : dado[i];
    patron[i] = '\0';
    return dado[i] == '\0' && fnmatch(patron, visible, FNM_CASEFOLD) == 0;
}

bool EstaSeleccionado(const char* nombreVisible)
{
    bool elegido = NumSeleccion == 0;
    for (int i = 0; i < NumSeleccion; ++i)
        if (MismoNombre(Seleccion[i], nombreVisible))
            elegido = Usado[i] = true;
    return elegido;
}

const char* NombreSinMiembro(int i) { return Usado[i] ? nullptr : Seleccion[i]; }

}  // namespace vuvodiv
