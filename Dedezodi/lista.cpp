// The list file: one name per line, an optional type word after it, '*' in
// the first column for a comment.  Lines are read in pieces of at most 80
// characters, each piece taken as a line of its own.
//
// Files may also be named without a list, on the command line or one a
// line in the file of -T, and those names are taken literally: the file is
// read under the name given, and the member stored with '_' read as '.',
// the name every reader restores it under.  Each entry keeps where it was
// named, for the messages.

#include "dedezodi.h"

#include <cctype>
#include <cerrno>
#include <cstring>

namespace dedezodi {

char Nombres[MaxArchivos][TamNombre + 1];
uint8_t Tipos[MaxArchivos];
char Archivos[MaxArchivos][TamNombre + 1];
static uint32_t Lineas[MaxArchivos];   // 0: named on the command line

static const char* NombreListaActual;   // the list or the file of -T
static uint32_t LineaActual;            // the line of the piece read last
static bool EnMedio;                    // that piece did not end its line

// nombre receives the whole first token: room for LongLinea + 1 bytes.  A
// carriage return also ends a token, so lists written with CR LF line ends
// name the files and not "file\r".  Returns 0 at the end of the list or on
// a read error, which the caller tells apart.
static int LeePalabra(FILE* lista, char* nombre, uint8_t* tipo)
{
    char linea[LongLinea + 1];
    while (fgets(linea, sizeof linea, lista)) {
        LineaActual += !EnMedio;   // the pieces of a long line share its number
        EnMedio = strchr(linea, '\n') == nullptr;
        if (linea[0] == '*')
            continue;
        const char* palabra = strtok(linea, " \n\t\r");
        if (!palabra)
            continue;
        strcpy(nombre, palabra);
        const char* clase = strtok(nullptr, " \t");
        *tipo = clase && toupper(static_cast<unsigned char>(clase[0])) == 'B' ? TipoBinario : TipoTexto;
        return 1;
    }
    return 0;
}

// "notas.lst line 7" for an entry read from a file, nullptr for one named
// on the command line.
static const char* Lugar(uint32_t linea)
{
    static char lugar[4 * TamNombreArchivo + 32];
    if (linea == 0 || !NombreListaActual)
        return nullptr;
    snprintf(lugar, sizeof lugar, "%s line %lu", EscapaArgumento(NombreListaActual),
             static_cast<unsigned long>(linea));
    return lugar;
}

// The file is closed before every fatal error here, so the error path
// leaves nothing open even where it does not end the process.
static void CierraNombres(FILE* archivo)
{
    if (archivo && archivo != stdin)
        fclose(archivo);
}

[[noreturn]] static void RechazaNombre(FILE* archivo, const char* formato, const char* nombre, const char* limite)
{
    CierraNombres(archivo);
    ErrorFatalCon(formato, nombre, Causa{0, limite, Lugar(LineaActual)});
}

// Takes the entry at index cuenta from the file `archivo` (nullptr: the
// command line), or ends the run saying why not.  A name the restorer
// would refuse makes an archive that cannot be restored: refused here,
// before anything is written.
static void AnadeNombre(int cuenta, const char* dado, bool literal, uint8_t tipo, FILE* archivo)
{
    if (cuenta == MaxArchivos)
        RechazaNombre(archivo, "Too many files", dado, "at most 300");
    if (strlen(dado) > TamNombre)
        RechazaNombre(archivo, "Name too long: %s", dado, "at most 12 characters");
    strcpy(Nombres[cuenta], dado);
    ArreglaSeparador(Nombres[cuenta]);
    if (!EsNombreSeguro(Nombres[cuenta]))
        RechazaNombre(archivo, "Unsafe name: %s", Nombres[cuenta], nullptr);
    strcpy(Archivos[cuenta], literal ? dado : Nombres[cuenta]);
    Tipos[cuenta] = tipo;
    Lineas[cuenta] = LineaActual;
}

// A read error ends the names as the end of the file does: told apart here.
static void CierraLeido(FILE* archivo)
{
    const bool error = ferror(archivo);
    const int causa = errno;
    CierraNombres(archivo);
    if (error)
        ErrorFatalCon("Can't read file '%s'", NombreListaActual, Causa{causa});
}

int ExtraeNombres(const char* nombreLista)
{
    FILE* lista = fopen(nombreLista, "r");
    if (!lista)
        ErrorFatalCon("Can't open file '%s'", nombreLista, Causa{errno});
    NombreListaActual = nombreLista;
    LineaActual = 0;
    EnMedio = false;
    char nombre[LongLinea + 1];
    uint8_t tipo;
    int cuenta = 0;
    for (; LeePalabra(lista, nombre, &tipo); ++cuenta)
        AnadeNombre(cuenta, nombre, false, tipo, lista);
    CierraLeido(lista);
    return cuenta;
}

// The names of -T, one a line, whole: blanks are part of a name, only the
// line end is not; empty lines are skipped.
static int LeeNombresDe(const char* origen, uint8_t tipo, int cuenta)
{
    const bool estandar = strcmp(origen, "-") == 0;
    FILE* archivo = estandar ? stdin : fopen(origen, "r");
    if (!archivo)
        ErrorFatalCon("Can't open file '%s'", origen, Causa{errno});
    NombreListaActual = estandar ? "(standard input)" : origen;
    char linea[TamNombreArchivo];
    while (fgets(linea, sizeof linea, archivo)) {
        ++LineaActual;
        size_t largo = strlen(linea);
        if (largo > 0 && linea[largo - 1] == '\n')
            linea[--largo] = '\0';
        else if (!feof(archivo))   // longer than any path: too long for a name
            RechazaNombre(archivo, "Name too long: %s", linea, "at most 12 characters");
        if (largo > 0)
            AnadeNombre(cuenta++, linea, true, tipo, archivo);
    }
    CierraLeido(archivo);
    return cuenta;
}

int TomaNombres(char* const nombres[], int cuantos, const char* archivoNombres, uint8_t tipo)
{
    NombreListaActual = nullptr;
    LineaActual = 0;
    for (int i = 0; i < cuantos; ++i)
        AnadeNombre(i, nombres[i], true, tipo, nullptr);
    return archivoNombres ? LeeNombresDe(archivoNombres, tipo, cuantos) : cuantos;
}

static int IndiceDe(const char* nombre)
{
    const char* primero = Nombres[0];
    if (nombre < primero || nombre >= primero + sizeof Nombres)
        return -1;
    return static_cast<int>((nombre - primero) / (TamNombre + 1));
}

const char* ArchivoDe(const char* nombre)
{
    const int i = IndiceDe(nombre);
    return i < 0 ? nombre : Archivos[i];
}

Causa CausaDe(const char* nombre, int error)
{
    const int i = IndiceDe(nombre);
    return Causa{error, nullptr, i < 0 ? nullptr : Lugar(Lineas[i])};
}

}  // namespace dedezodi
