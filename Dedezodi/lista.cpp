// The list file: one name per line, an optional type word after it, '*' in
// the first column for a comment.  Lines are read in pieces of at most 80
// characters, each piece taken as a line of its own.

#include "dedezodi.h"

#include <cctype>
#include <cstring>

namespace dedezodi {

char Nombres[MaxArchivos][TamNombre + 1];
uint8_t Tipos[MaxArchivos];

// A carriage return also ends a token, so lists written with CR LF line ends
// name the files and not "file\r".  Returns 0 at the end of the list or on
// a read error, which the caller tells apart.
int LeePalabra(FILE* lista, char* nombre, uint8_t* tipo)
{
    char linea[LongLinea + 1];
    while (fgets(linea, sizeof linea, lista)) {
        if (linea[0] == '\n' || linea[0] == '*')
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

int ExtraeNombres(const char* nombreLista, char nombres[][TamNombre + 1], uint8_t tipos[])
{
    FILE* lista = fopen(nombreLista, "r");
    if (!lista)
        ErrorFatalCon("Can't open file '%s'", nombreLista);
    char nombre[LongLinea + 1];
    uint8_t tipo;
    int cuenta = 0;
    while (LeePalabra(lista, nombre, &tipo)) {
        // The list is closed before every fatal error here, so the error
        // path leaves nothing open even where it does not end the process.
        const char* error = cuenta == MaxArchivos ? "Too many files"
                            : strlen(nombre) > TamNombre ? "Name too long: %s" : nullptr;
        if (!error) {
            ArreglaSeparador(nombre);
            // A name the restorer would refuse makes an archive that cannot
            // be restored: refused here, before anything is written.
            error = EsNombreSeguro(nombre) ? nullptr : "Unsafe name: %s";
        }
        if (error) {
            fclose(lista);
            ErrorFatalCon(error, nombre);
        }
        strcpy(nombres[cuenta], nombre);
        tipos[cuenta] = tipo;
        ++cuenta;
    }
    const bool error = ferror(lista);
    fclose(lista);
    if (error)
        ErrorFatalCon("Can't read file '%s'", nombreLista);
    return cuenta;
}

}  // namespace dedezodi
