// The list mode: one line per chosen member from its header alone (name,
// type, method, both sizes, ratio) and a line of totals.  The data is
// passed over without decoding; a member cut short by the end of the
// archive and an unknown method are reported as restoring would report
// them.  The listing is what the mode is asked for, so a quiet run prints
// it too, alone and line by line, for a pipe.

#include "vuvodiv.h"

#include <cstdarg>

namespace vuvodiv {

static uint64_t TotalOriginal;
static uint64_t TotalComprimido;
static uint32_t Listados;

// Packed size as a percentage of the original, as the compressor shows it.
static int Proporcion(uint64_t comprimido, uint64_t original)
{
    if (original == 0)
        return 0;
    return static_cast<int>(static_cast<double>(comprimido) / static_cast<double>(original) * 100.0 + 0.5);
}

static void NombraTipo(char* texto, size_t tamano)
{
    static const char* const nombres[] = {"binary", "text", "text without CR", "translated text"};
    if (Tipo < sizeof nombres / sizeof nombres[0])
        snprintf(texto, tamano, "%s", nombres[Tipo]);
    else
        snprintf(texto, tamano, "%u", static_cast<unsigned>(Tipo));
}

static void NombraMetodo(char* texto, size_t tamano)
{
    if (Metodo == MetodoPlano)
        snprintf(texto, tamano, "stored");
    else if (Metodo == MetodoLZH)
        snprintf(texto, tamano, "LZH");
    else
        snprintf(texto, tamano, "unknown %u", static_cast<unsigned>(Metodo));
}

static void EscribeLinea(const char* formato, ...) __attribute__((format(printf, 1, 2)));
static void EscribeLinea(const char* formato, ...)
{
    char linea[TamNombreVisible + 80];
    va_list argumentos;
    va_start(argumentos, formato);
    vsnprintf(linea, sizeof linea, formato, argumentos);
    va_end(argumentos);
    if (Consola)
        Mensaje("\n%s", linea);
    else
        printf("%s\n", linea);
}

void ListaMiembro()
{
    if (Listados++ == 0)
        EscribeLinea("%-14s  %-15s  %-11s  %10s  %10s  %5s", "Name", "Type", "Method", "Original", "Packed",
                     "Ratio");
    SaltaDatos();   // before the line: a member cut short is reported instead
    char tipo[16], metodo[16];
    NombraTipo(tipo, sizeof tipo);
    NombraMetodo(metodo, sizeof metodo);
    EscribeLinea("%-14s  %-15s  %-11s  %10lu  %10lu  %4d%%", NombreVisible, tipo, metodo,
                 static_cast<unsigned long>(TamanoOriginal), static_cast<unsigned long>(TamanoComprimido),
                 Proporcion(TamanoComprimido, TamanoOriginal));
    if (Metodo != MetodoPlano && Metodo != MetodoLZH) {
        ++MiembrosNoRestaurados;
        if (!Consola)
            fprintf(ConsolaErrores, "%s: unknown method %u\n", NombreVisible, static_cast<unsigned>(Metodo));
    }
    TotalOriginal += TamanoOriginal;
    TotalComprimido += TamanoComprimido;
}

uint32_t ListaTotales()
{
    char miembros[32];
    snprintf(miembros, sizeof miembros, "%lu member%s", static_cast<unsigned long>(Listados),
             Listados == 1 ? "" : "s");
    EscribeLinea("%-14s  %-15s  %-11s  %10llu  %10llu  %4d%%", miembros, "", "",
                 static_cast<unsigned long long>(TotalOriginal), static_cast<unsigned long long>(TotalComprimido),
                 Proporcion(TotalComprimido, TotalOriginal));
    uint32_t listados = Listados;
    Listados = 0;
    TotalOriginal = TotalComprimido = 0;
    return listados;
}

}  // namespace vuvodiv
