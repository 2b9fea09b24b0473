// Damage as old media and careless copies do it, applied with fixed seeds to
// archives the programs themselves make, and a count of what a restore got
// back from them.  A member is "untouched" when no damaged byte falls inside
// it (header and data); such a member must come back exact.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class ModeloDano {
    Sector,         // one 512-byte block, aligned as on a disk, zeroed
    Bit,            // 1 bit flipped anywhere
    Bits4,          // 4 bits flipped
    Bits16,         // 16 bits flipped
    Corte,          // cut at a random offset
    SinCabeza,      // the first N bytes missing (1..4096)
    Insercion,      // 1..8 random bytes inserted
    Borrado,        // 1..8 bytes deleted
    BitCabecera,    // one bit flipped in one member header
};
constexpr ModeloDano TodosLosModelos[] = {
    ModeloDano::Sector, ModeloDano::Bit, ModeloDano::Bits4, ModeloDano::Bits16, ModeloDano::Corte,
    ModeloDano::SinCabeza, ModeloDano::Insercion, ModeloDano::Borrado, ModeloDano::BitCabecera};
const char* NombreModelo(ModeloDano modelo);

struct MiembroPrueba {
    std::string nombre;
    std::string datos;      // the file's bytes, as restored
    size_t inicio = 0;      // of its header in the archive
    size_t fin = 0;         // one past its data
};

struct ArchivoPrueba {
    std::string bytes;
    std::vector<MiembroPrueba> miembros;
};

// Packs the files (name, bytes) with Dedezodi in a temporary folder, with
// the extra options given (e.g. "--best"), and finds each member's place in
// the archive.  Names must be unique, safe and at most 12 characters.
ArchivoPrueba EmpaquetaPrueba(const std::vector<std::pair<std::string, std::string>>& archivos,
                              const std::vector<std::string>& opciones = {});

struct ArchivoDanado {
    std::string bytes;
    std::vector<bool> tocado;   // per member: some damaged byte falls inside it
};
ArchivoDanado Dana(const ArchivoPrueba& archivo, ModeloDano modelo, uint32_t semilla);

struct Recuento {
    int intactos = 0;     // untouched members
    int exactos = 0;      // of them, restored exact under their name
    int inventados = 0;   // files that are no member's, nor a prefix of one
    int erroneos = 0;     // files under a member's name whose bytes are not that member's
    int renombrados = 0;  // a damaged member's exact bytes under its name with one bit flipped
    int estado = -1;      // the run's exit status
    std::string salida;   // what the run printed, for a failing test to show
};

// Runs Vuvodiv with `opciones`, "-d out" and the damaged archive in a
// temporary folder and counts what came out.  NAME.partial must hold a
// prefix of NAME's bytes; NAME.suspect and "@XXXXXXXX" names are counted as
// neither exact nor invented.
Recuento MideRestauracion(const ArchivoPrueba& archivo, const ArchivoDanado& danado,
                          const std::vector<std::string>& opciones);
