// Names as both programs take, judge and show them.  A member name comes from an
// archive or a list file and may hold any byte: it is restored only when it
// names a file inside the target folder, and it reaches the terminal only
// with every byte that could drive the terminal written out as \xNN.

#include "nombres.h"

#include "consola.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>

static bool EsControl(uint8_t c) { return c < 0x20 || c == 0x7F; }

// The length of the printable character that starts at p, with its code
// point in punto, or 0 when its bytes must be escaped: a C0 control, DEL, a
// C1 control (U+0080..U+009F, which some terminals obey as controls), or
// anything that is not well-formed UTF-8 (a raw byte 0x80..0xFF, an
// overlong form, a surrogate).
static int LargoCaracterVisible(const uint8_t* p, uint32_t& punto)
{
    uint8_t c = p[0];
    punto = c;
    if (c < 0x80)
        return EsControl(c) ? 0 : 1;
    int largo;
    uint32_t minimo;
    if (c >= 0xC2 && c <= 0xDF) {
        largo = 2, punto = c & 0x1Fu, minimo = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        largo = 3, punto = c & 0x0Fu, minimo = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        largo = 4, punto = c & 0x07u, minimo = 0x10000;
    } else {
        return 0;
    }
    for (int i = 1; i < largo; ++i) {
        if ((p[i] & 0xC0) != 0x80)   // also stops at the terminator
            return 0;
        punto = punto << 6 | (p[i] & 0x3Fu);
    }
    bool valido = punto >= minimo && punto <= 0x10FFFF && (punto < 0xD800 || punto > 0xDFFF);
    return valido && punto > 0x9F ? largo : 0;
}

void EscapaNombre(const char* nombre, char* destino)
{
    const uint8_t* p = reinterpret_cast<const uint8_t*>(nombre);
    while (*p) {
        uint32_t punto;
        int largo = LargoCaracterVisible(p, punto);
        if (largo == 0) {
            destino += snprintf(destino, 5, "\\x%02x", *p++);
            continue;
        }
        memcpy(destino, p, static_cast<size_t>(largo));
        destino += largo;
        p += largo;
    }
    *destino = '\0';
}

// The ranges of wide characters and of combining marks that names are
// likely to hold; the rest take one column.
static int AnchoCaracter(uint32_t punto)
{
    if ((punto >= 0x0300 && punto <= 0x036F) || (punto >= 0x200B && punto <= 0x200F) ||
        (punto >= 0xFE00 && punto <= 0xFE0F))
        return 0;
    if ((punto >= 0x1100 && punto <= 0x115F) || (punto >= 0x2E80 && punto <= 0xA4CF && punto != 0x303F) ||
        (punto >= 0xAC00 && punto <= 0xD7A3) || (punto >= 0xF900 && punto <= 0xFAFF) ||
        (punto >= 0xFE30 && punto <= 0xFE4F) || (punto >= 0xFF00 && punto <= 0xFF60) ||
        (punto >= 0xFFE0 && punto <= 0xFFE6) || (punto >= 0x1F300 && punto <= 0x1F64F) ||
        (punto >= 0x1F900 && punto <= 0x1F9FF) || (punto >= 0x20000 && punto <= 0x3FFFD))
        return 2;
    return 1;
}

int AnchoVisible(const char* visible)
{
    int ancho = 0;
    for (const uint8_t* p = reinterpret_cast<const uint8_t*>(visible); *p;) {
        uint32_t punto;
        const int largo = LargoCaracterVisible(p, punto);   // an escaped name holds no byte it refuses
        ancho += AnchoCaracter(punto);
        p += largo > 0 ? largo : 1;
    }
    return ancho;
}

bool EsNombreSeguro(const char* nombre)
{
    if (nombre[0] == '/')
        return false;
    const char* paso = nombre;
    for (const char* p = nombre;; ++p) {
        if (*p != '/' && *p != '\0') {
            if (EsControl(static_cast<uint8_t>(*p)))
                return false;
            continue;
        }
        size_t largo = static_cast<size_t>(p - paso);
        if (largo == 2 && paso[0] == '.' && paso[1] == '.')
            return false;
        if (*p == '\0')
            return largo > 0 && !(largo == 1 && paso[0] == '.');
        paso = p + 1;
    }
}

// ---- The archive's name and fatal messages that quote a name ---------------

static const char* UltimoComponente(const char* ruta)
{
    const char* barra = strrchr(ruta, '/');
    return barra ? barra + 1 : ruta;
}

void CompruebaBase(const char* base)
{
    if (strlen(UltimoComponente(base)) > MaxLongBase || strlen(base) + 5 > TamNombreArchivo)
        ErrorFatalCon("Name too long: %s", base, Causa{0, "at most 8 characters", nullptr});
}

bool EsElArchivo(const char* base, const char* extension)
{
    const size_t largo = strlen(base), largoExtension = strlen(extension);
    const size_t largoNombre = strlen(UltimoComponente(base));
    if (largoNombre <= largoExtension || largoNombre - largoExtension > MaxLongBase ||
        largo + largoExtension >= TamNombreArchivo || strcasecmp(base + largo - largoExtension, extension) != 0)
        return false;
    char nombrado[TamNombreArchivo];
    ComponeNombreArchivo(nombrado, base, extension);
    struct stat datos;
    return stat(base, &datos) == 0 && stat(nombrado, &datos) != 0;
}

// Where the name without its extension is not itself a base (a '_' in it
// would read as '.', an extension in other letters names another file),
// the way out is the file's name after the options: they read it as given.
const char* ConsejoNombreArchivo(const char* base, const char* extension, const char* que)
{
    if (!EsElArchivo(base, extension))
        return nullptr;
    static char consejo[4 * TamNombreArchivo + 96];
    const char* visible = EscapaArgumento(base);
    const bool otro = strchr(UltimoComponente(base), '_') ||
                      strcmp(base + strlen(base) - strlen(extension), extension) != 0;
    const size_t largo = strlen(visible) - (otro ? 0 : strlen(extension));
    snprintf(consejo, sizeof consejo, "'%s' is the %s itself: call %s %s%.*s", visible, que, NombrePrograma,
             otro ? "-- " : "", static_cast<int>(largo), visible);
    return consejo;
}

void ComponeNombreArchivo(char* destino, const char* base, const char* extension)
{
    if (snprintf(destino, TamNombreArchivo, "%s%s", base, extension) < TamNombreArchivo)   // callers check the length
        ArreglaSeparador(destino + (UltimoComponente(base) - base));
}

// Room for a text of any length, grown as needed and kept for the life of
// the process (so it ends with nothing unaccounted for).  Should memory run
// out, the text is cut to what a fixed reserve holds.
struct Espacio {
    char* datos;
    size_t tamano;
    char reserva[256];
};

static char* DaEspacio(Espacio& espacio, size_t necesario, size_t* disponible)
{
    if (necesario > espacio.tamano) {
        if (char* mayor = static_cast<char*>(realloc(espacio.datos, necesario))) {
            espacio.datos = mayor;
            espacio.tamano = necesario;
        }
    }
    const bool crecido = espacio.tamano > 0;
    *disponible = crecido ? espacio.tamano : sizeof espacio.reserva;
    return crecido ? espacio.datos : espacio.reserva;
}

const char* EscapaArgumento(const char* nombre)
{
    static Espacio visible;
    size_t disponible;
    char* destino = DaEspacio(visible, 4 * strlen(nombre) + 1, &disponible);
    if (disponible < 4 * strlen(nombre) + 1)
        return "(name too long to show)";
    EscapaNombre(nombre, destino);
    return destino;
}

// The name is quoted whole, whatever its length, and escaped.
void ErrorFatalCon(const char* formato, const char* nombre, const Causa& causa)
{
    static Espacio mensaje;
    const char* visible = EscapaArgumento(nombre);
    size_t disponible;
    char* destino = DaEspacio(mensaje, strlen(formato) + strlen(visible) + 1, &disponible);
    snprintf(destino, disponible, formato, visible);
    ErrorFatal(destino, causa);
}

void ArreglaSeparador(char* nombre)
{
    for (; *nombre; ++nombre)
        if (*nombre == '_')
            *nombre = '.';
}

