// The command line of both programs.  A call whose first argument does not
// begin with '-' is the one-argument call (BASE) or a call for the usage
// text, exactly as before the options existed.  Otherwise the arguments are
// parsed with getopt_long from the program's table, so one more option is
// one more line of that table.

#include "opciones.h"

#include "common.h"

#include <cstring>
#include <getopt.h>

constexpr int MaxOpciones = 32;
// A long option without a letter is returned by getopt_long as this plus
// its index in the table.
constexpr int PrimeraSoloLarga = 256;

FILE* AvisosLlamada = stderr;

int RechazaLlamada(const char* programa, const char* mensaje, const char* detalle)
{
    fprintf(AvisosLlamada, "%s: %s%s%s\nTry '%s --help' for more information.\n", programa, mensaje,
            detalle ? " " : "", detalle ? detalle : "", programa);
    return LlamadaErronea;
}

// getopt_long's tables from the program's: "+" is not used, so options may
// follow BASE as GNU tools allow; ":" first, so the messages are ours.
static void ComponeTablas(const Opcion* tabla, int cuenta, char* cortas, option* largas)
{
    char* c = cortas;
    *c++ = ':';
    for (int i = 0; i < cuenta; ++i) {
        int valor = tabla[i].corta ? tabla[i].corta : PrimeraSoloLarga + i;
        if (tabla[i].corta) {
            *c++ = tabla[i].corta;
            if (tabla[i].conValor)
                *c++ = ':';
        }
        largas[i] = option{tabla[i].larga, tabla[i].conValor ? required_argument : no_argument, nullptr, valor};
    }
    *c = '\0';
    largas[cuenta] = option{"help", no_argument, nullptr, 'h' + PrimeraSoloLarga + MaxOpciones};
    largas[cuenta + 1] = option{"version", no_argument, nullptr, 'v' + PrimeraSoloLarga + MaxOpciones};
    largas[cuenta + 2] = option{};
}

static const Opcion* BuscaOpcion(const Opcion* tabla, int cuenta, int valor)
{
    for (int i = 0; i < cuenta; ++i)
        if (tabla[i].corta ? tabla[i].corta == valor : PrimeraSoloLarga + i == valor)
            return &tabla[i];
    return nullptr;
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

int LeeLlamada(int argc, char* argv[], const char* programa, const Opcion* tabla, int cuenta,
               const char* ayuda, bool conNombres)
{
    if (argc < 2 || argv[1][0] != '-')
        return argc == 2 ? 1 : LlamadaUso;

    char cortas[2 * MaxOpciones + 2];
    option largas[MaxOpciones + 3];
    ComponeTablas(tabla, cuenta, cortas, largas);
    char letra[3];
    optind = 0;   // a full restart of getopt's state (the fuzz target parses many times)
    for (int valor; (valor = getopt_long(argc, argv, cortas, largas, nullptr)) != -1;) {
        if (valor == 'h' + PrimeraSoloLarga + MaxOpciones) {
            fputs(ayuda, stdout);
            return LlamadaTerminada;
        }
        if (valor == 'v' + PrimeraSoloLarga + MaxOpciones) {
            printf("%s " VERSION_PROYECTO "\nMIT licence: free to use, change and share; no warranty.\n",
                   programa);
            return LlamadaTerminada;
        }
        if (valor == '?')
            return RechazaLlamada(programa, "unknown option", OpcionEscrita(argv, letra));
        if (valor == ':')
            return RechazaLlamada(programa, "a value is missing after", OpcionEscrita(argv, letra));
        const Opcion* opcion = BuscaOpcion(tabla, cuenta, valor);
        const char* error = opcion->aplica(opcion->conValor ? optarg : nullptr);
        if (error)
            return RechazaLlamada(programa, error, nullptr);
    }
    if (optind >= argc)
        return RechazaLlamada(programa, "the BASE name is missing", nullptr);
    if (!conNombres && optind + 1 < argc)
        return RechazaLlamada(programa, "unexpected argument", argv[optind + 1]);
    return optind;
}
