// Dedezodi: packs the files named in <base>.lst into the archive <base>.cmp,
// or, with options, the files named after BASE or with -T.

#include "dedezodi.h"

#include "opciones.h"

#include <cerrno>

using namespace dedezodi;

int main(int argc, char* argv[])
{
    IniciaConsola();
    int indice = LeeOpciones(argc, argv);
    if (indice < 0)
        return indice == LlamadaTerminada ? 0 : 1;
    EligeConsola(false, Silencio);
    PresentaTitulo("Dedezodi " VERSION_PROYECTO ": packs the files of a list into one compressed archive");
    if (indice == LlamadaUso)
        MuestraUso();
    const char* base = argv[indice];

    // The list and the archive share the base's folder; the names in the
    // list, and those given without one, are opened relative to the
    // working folder.
    int cuenta;
    if (ArchivoNombres || indice + 1 < argc) {
        CompruebaBase(base);
        ComponeNombreArchivo(NombreArchivo, base, ".cmp");
        cuenta = TomaNombres(argv + indice + 1, argc - indice - 1, ArchivoNombres,
                             Binario ? TipoBinario : TipoTexto);
    } else {
        static char nombreLista[TamNombreArchivo];   // named in messages about its lines
        NombraArchivos(base, nombreLista);
        Mensaje("\nData file: %s\n", EscapaArgumento(nombreLista));
        cuenta = ExtraeNombres(nombreLista);
        ConsejoFatal = nullptr;
    }
    Mensaje("\nNumber of files: %d\n", cuenta);

    Salida = CreaTemporal(NombreArchivo);
    if (!Salida)
        ErrorFatalCon("Can't create file '%s'", NombreArchivo, Causa{errno});
    EmpaquetaMiembros(cuenta);
    EscribeFalsaCabecera();
    if (!ConfirmaTemporal(Salida, NombreArchivo))
        ErrorFatalCon("Can't write file '%s'", NombreArchivo, Causa{errno});
    Salida = nullptr;
    Mensaje("\n\nDone\n");
    return 0;
}
