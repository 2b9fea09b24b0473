// Vuvodiv: restores the files of the archive <base>.cmp into the working
// folder, or, with options, lists, tests or writes them to standard output.

#include "vuvodiv.h"

#include "opciones.h"
#include "rescate.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

using namespace vuvodiv;

// An archive from standard input is read once, front to back: its members
// are restored one at a time, in order.
static void AbreArchivo(const char* base)
{
    NombraArchivo(base);
    Mensaje("\nFile of compressed data: %s\n", EscapaArgumento(NombreArchivo));
    if (strcmp(base, "-") == 0) {
        if (isatty(STDIN_FILENO))
            ErrorFatal("Standard input is a terminal, not an archive");
        Entrada = stdin;
    } else {
        Entrada = fopen(NombreArchivo, "rb");
    }
    if (!Entrada)
        ErrorFatalCon("Can't open file '%s'", NombreArchivo, Causa{errno});
    ConsejoFatal = nullptr;
    if (ModoElegido->destino == AArchivo)
        AbreDestino();
    IniciaLectura();
}

// Refused members, names that chose nothing and an archive whose end is
// wrong did not stop the run, but it did not do its job; data on standard
// output must have reached it.
static int Termina(const char* fin)
{
    if (!ModoElegido->decodifica)
        ListaTotales();
    int sinMiembro = InformaNombresSinMiembro();
    if (ModoElegido->salidaEsProducto)
        CompruebaSalidaEstandar();
    if (fin && MiembrosNoRestaurados == 0 && sinMiembro == 0)
        ErrorFatal(fin);
    if (fin)   // a line of its own before the fatal one
        fprintf(ConsolaErrores, Consola ? "\n%s" : "%s\n", fin);
    return Concluye(MiembrosNoRestaurados, sinMiembro);
}

int main(int argc, char* argv[])
{
    IniciaConsola();
    int base = LeeOpciones(argc, argv);
    if (base < 0)
        return base == LlamadaTerminada ? 0 : 1;
    EligeConsola(ModoElegido->destino == ASalidaEstandar, Silencio);
    PresentaTitulo("Vuvodiv " VERSION_PROYECTO ": restores the files of a compressed archive");
    if (base == LlamadaUso)
        MuestraUso();
    if (ModoElegido->salidaEsProducto && SalidaEstandarCerrada)
        ErrorFatal("Can't write to standard output", Causa{EBADF});
    AbreArchivo(argv[base]);
    if (Rescate)
        return Rescata();
    static Miembro miembro;
    static Decodificador decodificador;
    RecorreArchivo(miembro, decodificador);
    const char* fin = CompruebaFinArchivo();
    fclose(Entrada);
    Entrada = nullptr;
    return Termina(fin);
}
