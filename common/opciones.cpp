// The command line of both programs.  A call in which no argument begins
// with '-' is the one-argument call (BASE) or a call for the usage text,
// exactly as before the options existed.  Otherwise the arguments are
// parsed with getopt_long from the program's table, one option at a time,
// and the program applies each: one more option is one more line of its
// table and one more case of its switch.

#include "opciones.h"

#include "consola.h"
#include "nombres.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <getopt.h>

constexpr int MaxOpciones = 32;
constexpr int CodigoAyuda = 1000;
constexpr int CodigoVersion = 1001;
constexpr int FinOpciones = -100;   // below every code LeeOpcion returns

FILE* AvisosLlamada = stderr;
bool LlamadaExtendida;
static int ArgumentosLlamada;

void SugiereForma(const char* forma)
{
    if (ArgumentosLlamada >= 2)
        fprintf(stderr, "%s: %s\n", NombrePrograma, forma);
}

// The argument quoted in the message is escaped as every name is: it may
// hold bytes that would drive the terminal.
int RechazaLlamada(const char* mensaje, const char* detalle)
{
    fprintf(AvisosLlamada, "%s: %s%s%s\nTry '%s --help' for more information.\n", NombrePrograma, mensaje,
            detalle ? " " : "", detalle ? EscapaArgumento(detalle) : "", NombrePrograma);
    return LlamadaErronea;
}

// getopt_long's tables from the program's: "+" is not used, so options may
// follow BASE as GNU tools allow; ":" first, so the messages are ours.
static void ComponeTablas(const Opcion* tabla, int cuenta, char* cortas, option* largas)
{
    char* c = cortas;
    *c++ = ':';
    for (int i = 0; i < cuenta; ++i) {
        if (tabla[i].codigo < PrimeraSoloLarga) {
            *c++ = static_cast<char>(tabla[i].codigo);
            if (tabla[i].conValor)
                *c++ = ':';
        }
        largas[i] = option{tabla[i].larga, tabla[i].conValor ? required_argument : no_argument, nullptr,
                           tabla[i].codigo};
    }
    *c++ = 'h';
    *c++ = 'V';
    *c = '\0';
    largas[cuenta] = option{"help", no_argument, nullptr, CodigoAyuda};
    largas[cuenta + 1] = option{"version", no_argument, nullptr, CodigoVersion};
    largas[cuenta + 2] = option{};
}

// The option getopt_long stopped at, as the user wrote it.
static const char* OpcionEscrita(char* argv[], char* letra)
{
    const char* escrita = argv[optind - 1];
    if (escrita[0] == '-' && escrita[1] == '-')
        return escrita;
    if (optopt > 0 && optopt < PrimeraSoloLarga) {
        letra[0] = '-';
        letra[1] = static_cast<char>(optopt);
        letra[2] = '\0';
        return letra;
    }
    return escrita;
}

// The next option's code, with its value in *valor; or FinOpciones, or
// LlamadaTerminada after --help or --version, or LlamadaErronea.
static int LeeOpcion(int argc, char* argv[], const char* cortas, const option* largas, const char* ayuda,
                     const char** valor)
{
    char letra[3];
    int codigo = getopt_long(argc, argv, cortas, largas, nullptr);
    *valor = optarg;
    switch (codigo) {
    case -1:
        return FinOpciones;
    case 'h':
    case CodigoAyuda:
        fputs(ayuda, stdout);
        return LlamadaTerminada;
    case 'V':
    case CodigoVersion:
        printf("%s " VERSION_PROYECTO "\nMIT licence: free to use, change and share; no warranty.\n", NombrePrograma);
        return LlamadaTerminada;
    case '?':
        return RechazaLlamada("unknown option", OpcionEscrita(argv, letra));
    case ':':
        return RechazaLlamada("a value is missing after", OpcionEscrita(argv, letra));
    default:
        return codigo;
    }
}

int LeeLlamada(int argc, char* argv[], const char* programa, const Opcion* tabla, int cuenta,
               const char* ayuda, const char* (*aplica)(int codigo, const char* valor))
{
    NombrePrograma = programa;
    ArgumentosLlamada = argc - 1;
    LlamadaExtendida = std::any_of(argv + 1, argv + argc, [](const char* a) { return a[0] == '-'; });
    if (!LlamadaExtendida)
        return argc == 2 ? 1 : LlamadaUso;

    char cortas[2 * MaxOpciones + 4];
    option largas[MaxOpciones + 3];
    ComponeTablas(tabla, cuenta, cortas, largas);
    optind = 0;   // a full restart of getopt's state (the fuzz target parses many times)
    const char* valor;
    for (int codigo; (codigo = LeeOpcion(argc, argv, cortas, largas, ayuda, &valor)) != FinOpciones;) {
        if (codigo < 0)
            return codigo;
        if (const char* error = aplica(codigo, valor))
            return RechazaLlamada(error, nullptr);
    }
    return optind < argc ? optind : RechazaLlamada("the BASE name is missing", nullptr);
}

const char* LeeNumeroHilos(const char* valor, int maximo, int* hilos)
{
    char* fin = nullptr;
    errno = 0;
    const long n = strtol(valor, &fin, 10);
    if (fin == valor || *fin != '\0' || errno != 0 || n < 1)
        return "-j takes a whole number of threads, 1 or more";
    *hilos = n < maximo ? static_cast<int>(n) : maximo;
    return nullptr;
}
