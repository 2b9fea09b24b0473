// Fuzz target: Vuvodiv's command line and its list mode.  The input is a
// command line (its arguments separated by newlines) up to the first zero
// byte, and an archive after it.  The options are parsed as main parses
// them and BASE named as main names it (a base, the archive's own file
// x.cmp, or "-" for standard input, here the archive in memory); whatever
// the options ask for, the archive is then listed, with the member names
// given after BASE choosing the members.
//
// The same command line is also parsed as Dedezodi's, and the files it
// names after BASE taken as a run without a list takes them.
//
// A finding, besides the harness's own: a parse result outside its
// contract, a named file not read under the name given or stored with a
// '_', a listing that writes a file, or a listing that disagrees with
// a plain walk over the headers (how many members, whether the archive is
// cut short).

#include "arnes.h"
#include "dedezodi.h"
#include "opciones.h"
#include "vuvodiv.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace vuvodiv;

namespace {

// The members a plain walk finds, or -1 when the archive is cut short.
long CuentaMiembros(const uint8_t* datos, size_t tamano)
{
    size_t pos = 0;
    long cuenta = 0;
    while (pos < tamano && datos[pos] != 0) {
        if (tamano - pos < TamCabecera)
            return -1;
        const uint8_t* c = datos + pos + PosTamanoComprimido;
        uint64_t largo = uint64_t{c[0]} << 24 | uint64_t{c[1]} << 16 | uint64_t{c[2]} << 8 | c[3];
        pos += TamCabecera;
        if (largo > tamano - pos)
            return -1;
        pos += largo;
        ++cuenta;
    }
    return cuenta;
}

std::vector<std::string> PartesLlamada(const uint8_t* datos, size_t largo)
{
    std::vector<std::string> partes{"Vuvodiv"};
    std::string llamada(reinterpret_cast<const char*>(datos), largo);
    for (size_t inicio = 0; inicio <= llamada.size() && partes.size() < 64;) {
        size_t fin = llamada.find('\n', inicio);
        if (fin == std::string::npos)
            fin = llamada.size();
        partes.push_back(llamada.substr(inicio, fin - inicio));
        inicio = fin + 1;
    }
    return partes;
}

// Dedezodi's parse of the same call; the names after BASE as a run without
// a list takes them (those of -T are not read: "-" would wait on the
// fuzzer's standard input).
void ComparaDedezodi(int argc, char* argv[])
{
    const int base = dedezodi::LeeOpciones(argc, argv);
    EXIGE(base == LlamadaErronea || base == LlamadaTerminada || base == LlamadaUso ||
          (base >= 1 && base < argc));
    if (base <= 0 || base + 1 == argc)
        return;
    int cuenta = -1;
    try {
        cuenta = dedezodi::TomaNombres(argv + base + 1, argc - base - 1, nullptr, TipoTexto);
    } catch (const FinFatal&) {
        return;   // a name refused, as a list line would be
    }
    EXIGE(cuenta == argc - base - 1);
    for (int i = 0; i < cuenta; ++i) {
        EXIGE(strcmp(dedezodi::ArchivoDe(dedezodi::Nombres[i]), argv[base + 1 + i]) == 0);
        EXIGE(strchr(dedezodi::Nombres[i], '_') == nullptr);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SilenciaConsola();
    AvisosLlamada = AbreSumidero();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t tamano)
{
    const uint8_t* cero = static_cast<const uint8_t*>(memchr(datos, 0, tamano));
    if (!cero)
        return 0;
    auto partes = PartesLlamada(datos, static_cast<size_t>(cero - datos));
    std::vector<char*> argv;
    for (auto& parte : partes)
        argv.push_back(parte.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(partes.size());
    ComparaDedezodi(argc, argv.data());
    int base = LeeOpciones(argc, argv.data());
    EXIGE(base == LlamadaErronea || base == LlamadaTerminada || base == LlamadaUso ||
          (base >= 1 && base < argc));
    if (base <= 0)
        return 0;

    const uint8_t* archivo = cero + 1;
    size_t largo = tamano - static_cast<size_t>(archivo - datos);
    EntraCarpetaTrabajo();
    EscribeBytes("x.cmp", archivo, largo);
    try {
        NombraArchivo(argv[base]);
    } catch (const FinFatal&) {
        ConsejoFatal = nullptr;
        SaleCarpetaTrabajo();
        return 0;   // a base too long
    }
    ConsejoFatal = nullptr;
    const bool tuberia = strcmp(NombreArchivo, NombreEntradaEstandar) == 0;
    EXIGE(tuberia == (strcmp(argv[base], "-") == 0));
    // A stream in memory has no descriptor: it is read as a pipe is.
    Entrada = tuberia && largo > 0 ? fmemopen(const_cast<uint8_t*>(archivo), largo, "rb")
                                   : fopen(tuberia ? "x.cmp" : NombreArchivo, "rb");
    if (!Entrada) {   // a base that names no archive here
        EXIGE(!tuberia && strcmp(NombreArchivo, "x.cmp") != 0);
        SaleCarpetaTrabajo();
        return 0;
    }
    static Miembro miembro;
    static Decodificador decodificador;
    miembro = Miembro{};
    MiembrosNoRestaurados = 0;
    ModoElegido = &ModoLista;
    bool cortado = false;
    uint32_t listados = 0;   // every member, when no name chooses
    try {
        for (; LeeCabecera(miembro); ++listados)
            TrataMiembro(miembro, decodificador);
        ListaTotales();
        InformaNombresSinMiembro();
    } catch (const FinFatal&) {
        // Reports on the archive's shape: cut, empty, without its end
        // header, with data after it, or no archive at all.
        cortado = strstr(MensajeFatal, "rchive '") != nullptr || strstr(MensajeFatal, "not an archive") != nullptr;
        ListaTotales();   // clears the totals for the next input
    }
    CierraFlujos();
    // A cut archive is always reported; one the walk reads whole lists
    // every member.  The reader's checks of the end may report more.
    long esperados = CuentaMiembros(archivo, largo);
    EXIGE(esperados >= 0 || cortado);
    EXIGE(cortado || NumSeleccion > 0 || listados == static_cast<uint32_t>(esperados));
    EXIGE(std::distance(std::filesystem::directory_iterator("."), std::filesystem::directory_iterator{}) == 1);
    SaleCarpetaTrabajo();
    return 0;
}
