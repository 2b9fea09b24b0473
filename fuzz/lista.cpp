// Fuzz target: the list file reader on arbitrary text, checked against a
// model of the list format written here from its rules, independently of
// the reader's fgets/strtok code:
//   - a line is read in pieces of at most 80 bytes, each ending at its first
//     newline; a piece ends at its first zero byte, as a C string does;
//   - a piece that starts with a newline or '*' is skipped;
//   - the name is the first run of bytes other than space, newline, tab and
//     carriage return; a piece without one is skipped;
//   - the type word starts after the byte that ended the name, past spaces
//     and tabs; a first letter b or B makes the file binary (0), anything
//     else, or no word, text (1);
//   - a 301st name is "Too many files", a name over 12 bytes "Name too
//     long: NAME", both fatal; '_' in a name reads as '.';
//   - a name that is absolute, has a ".." step, holds a control byte (below
//     32, or 127) or ends in "/" or "/." is "Unsafe name: NAME", fatal;
//   - NAME in a message is shown escaped, as every name on the console.

#include "arnes.h"
#include "dedezodi.h"

#include <cstring>
#include <vector>

using namespace dedezodi;

namespace {

struct Lista {
    std::vector<std::string> nombres;
    std::vector<int> tipos;
    std::string error;   // the fatal message, empty if the list is good
};

std::vector<std::string> CortaEnPiezas(const std::string& texto)
{
    std::vector<std::string> piezas;
    size_t inicio = 0;
    while (inicio < texto.size()) {
        size_t fin = inicio;
        while (fin < texto.size() && fin - inicio < LongLinea && texto[fin] != '\n')
            ++fin;
        if (fin < texto.size() && fin - inicio < LongLinea)
            ++fin;   // the newline belongs to the piece
        std::string pieza = texto.substr(inicio, fin - inicio);
        piezas.push_back(pieza.substr(0, pieza.find('\0')));
        inicio = fin;
    }
    return piezas;
}

bool EsSeparadorNombre(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

// False for a piece that names no file.
bool ModelaPieza(const std::string& pieza, std::string* nombre, int* tipo)
{
    if (pieza.empty() || pieza[0] == '\n' || pieza[0] == '*')
        return false;
    size_t i = 0;
    while (i < pieza.size() && EsSeparadorNombre(pieza[i]))
        ++i;
    if (i == pieza.size())
        return false;
    size_t j = i;
    while (j < pieza.size() && !EsSeparadorNombre(pieza[j]))
        ++j;
    *nombre = pieza.substr(i, j - i);
    *tipo = TipoTexto;
    if (j == pieza.size())
        return true;
    size_t k = j + 1;
    while (k < pieza.size() && (pieza[k] == ' ' || pieza[k] == '\t'))
        ++k;
    if (k < pieza.size() && (pieza[k] == 'b' || pieza[k] == 'B'))
        *tipo = TipoBinario;
    return true;
}

std::string Visible(const std::string& nombre)
{
    char visible[4 * (LongLinea + 1) + 1];
    EscapaNombre(nombre.c_str(), visible);
    return visible;
}

bool ModelaNombreSeguro(const std::string& nombre)
{
    for (unsigned char c : nombre)
        if (c < 32 || c == 127)
            return false;
    const std::string rodeado = "/" + nombre + "/";
    const size_t ultimo = nombre.rfind('/');
    const std::string final = ultimo == std::string::npos ? nombre : nombre.substr(ultimo + 1);
    return nombre[0] != '/' && rodeado.find("/../") == std::string::npos && !final.empty() && final != ".";
}

Lista ModelaLista(const std::string& texto)
{
    Lista lista;
    std::string nombre;
    int tipo;
    for (const std::string& pieza : CortaEnPiezas(texto)) {
        if (!ModelaPieza(pieza, &nombre, &tipo))
            continue;
        if (lista.nombres.size() == MaxArchivos) {
            lista.error = "Too many files";
            break;
        }
        if (nombre.size() > TamNombre) {
            lista.error = "Name too long: " + Visible(nombre);
            break;
        }
        for (char& c : nombre)
            c = c == '_' ? '.' : c;
        if (!ModelaNombreSeguro(nombre)) {
            lista.error = "Unsafe name: " + Visible(nombre);
            break;
        }
        lista.nombres.push_back(nombre);
        lista.tipos.push_back(tipo);
    }
    return lista;
}

Lista LeeLista()
{
    Lista lista;
    try {
        int cuenta = ExtraeNombres("x.lst");
        for (int i = 0; i < cuenta; ++i) {
            lista.nombres.push_back(Nombres[i]);
            lista.tipos.push_back(Tipos[i]);
        }
    } catch (const FinFatal&) {
        lista.error = MensajeFatal;
    }
    return lista;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SilenciaConsola();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t tamano)
{
    EntraCarpetaTrabajo();
    EscribeBytes("x.lst", datos, tamano);
    Lista leida = LeeLista();
    Lista esperada = ModelaLista(std::string(reinterpret_cast<const char*>(datos), tamano));
    EXIGE(leida.error == esperada.error);
    if (leida.error.empty()) {
        EXIGE(leida.nombres == esperada.nombres);
        EXIGE(leida.tipos == esperada.tipos);
    }
    SaleCarpetaTrabajo();
    return 0;
}
