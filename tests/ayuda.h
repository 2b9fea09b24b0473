// Test helpers: temporary folders, files as byte strings, hand-built member
// headers, and running the built programs in a folder as a user would.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes.
class CarpetaTemporal {
public:
    CarpetaTemporal();
    ~CarpetaTemporal();
    CarpetaTemporal(const CarpetaTemporal&) = delete;
    CarpetaTemporal& operator=(const CarpetaTemporal&) = delete;
    const std::string& Ruta() const { return ruta_; }
    std::string operator/(const std::string& nombre) const { return ruta_ + "/" + nombre; }

private:
    std::string ruta_;
};

// Makes the folder (when missing) one in which no file can be created, also
// by root: immutable where the file system allows it, read-only otherwise.
// False when neither holds.  CarpetaTemporal undoes it before removing.
bool BloqueaCarpeta(const std::string& ruta);

void EscribeArchivo(const std::string& ruta, const std::string& bytes);
std::string LeeArchivo(const std::string& ruta);
std::string LeeTodo(FILE* archivo);   // every byte of an open stream, from its start
bool ExisteArchivo(const std::string& ruta);
std::vector<std::string> ListaCarpeta(const std::string& ruta);   // sorted names

struct Resultado {
    int estado;          // exit status, or 128 + signal number
    std::string salida;  // everything written to standard output
    std::string errores = {};   // everything written to standard error
};

// In a child process: runs programa with args in carpeta, or ends with 127.
[[noreturn]] void EjecutaEnCarpeta(const std::string& programa, const std::vector<std::string>& args,
                                   const std::string& carpeta);

// Runs programa with args in carpeta; limiteArchivo > 0 caps the size of any
// file it writes (RLIMIT_FSIZE), to provoke write errors, and
// limiteDescriptores > 0 the descriptors it may hold (RLIMIT_NOFILE).
Resultado EjecutaPrograma(const std::string& programa, const std::vector<std::string>& args,
                          const std::string& carpeta, long limiteArchivo = 0, long limiteDescriptores = 0);

// A 22-byte member header built independently of the programs' own code.
std::string Cabecera(const std::string& nombre, int tipo, int metodo,
                     uint32_t tamanoOriginal, uint32_t tamanoComprimido);

// Deterministic test data.
std::string DatosAleatorios(size_t tamano, uint32_t semilla);
std::string TextoDePrueba(size_t tamano, uint32_t semilla);   // word-like text with lines

// A file whose compression codes a symbol deeper than 16 edges below the
// root of the adaptive tree, so that its code is longer than 16 bits.
std::string EntradaProfunda();
