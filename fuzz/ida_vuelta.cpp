// Fuzz target: arbitrary bytes packed by Dedezodi's member driver and
// restored by Vuvodiv's member loop must come back unchanged, packed once by
// the greedy encoder and once by the cost-based one.
//
// The input is split in two files at a point its first byte chooses, so
// every run also checks that nothing of one member leaks into the next.
// Each member must be stored exactly when the encoder's LZH data, measured
// on its own, is not smaller than the file, and the archive must hold just
// the two members and the terminating header.  Any fatal error is a finding:
// the archive was made by the project itself.

#include "arbol.h"
#include "arnes.h"
#include "dedezodi.h"
#include "vuvodiv.h"

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Miembro {
    const char* nombre;
    std::string datos;
    std::string lzh;   // the encoder's output for the file on its own
};

// The compressor's window as a fresh process has it, so that the LZH
// measured alone and the LZH attempt inside the driver see the same state.
void LimpiaVentana() { memset(dedezodi::Texto, 0, sizeof dedezodi::Texto); }

std::string MideLZH(const Miembro& miembro)
{
    dedezodi::EntradaMiembro = fopen(miembro.nombre, "rb");
    Salida = fopen("lzh", "wb+");
    EXIGE(dedezodi::EntradaMiembro && Salida);
    TamanoOriginal = static_cast<uint32_t>(miembro.datos.size());
    LimpiaVentana();
    dedezodi::EmpiezaPasada();
    if (dedezodi::ModoOptimo)
        dedezodi::DedezodiLZHOptimo();
    else
        dedezodi::DedezodiLZH();
    uint64_t tamano = dedezodi::OctetosComprimidos;
    dedezodi::CierraEntrada();
    CierraFlujos();
    std::string lzh = LeeBytes("lzh");
    EXIGE(lzh.size() == tamano);
    return lzh;
}

void Empaqueta(Miembro* miembros, int cuenta)
{
    Salida = fopen("x.cmp", "wb+");
    EXIGE(Salida != nullptr);
    for (int i = 0; i < cuenta; ++i) {
        LimpiaVentana();
        dedezodi::Dedezodi(miembros[i].nombre, TipoBinario);
    }
    dedezodi::EscribeFalsaCabecera();
    EXIGE(fclose(Salida) == 0);
    Salida = nullptr;
}

uint32_t TomaTamano(const std::string& bytes, size_t pos)
{
    uint32_t tamano = 0;
    for (int i = 0; i < 4; ++i)
        tamano = tamano << 8 | static_cast<uint8_t>(bytes[pos + i]);
    return tamano;
}

// Header and data of each member, then 22 zero bytes.  Bytes after them can
// only be the rest of a longer LZH attempt of the last member.
void CompruebaArchivo(const Miembro* miembros, int cuenta)
{
    std::string archivo = LeeBytes("x.cmp");
    size_t pos = 0;
    for (int i = 0; i < cuenta; ++i) {
        const Miembro& m = miembros[i];
        EXIGE(archivo.size() >= pos + TamCabecera);
        std::string nombre(archivo, pos, TamNombre);
        EXIGE(strcmp(nombre.c_str(), m.nombre) == 0);
        bool almacenado = m.lzh.size() >= m.datos.size();
        EXIGE(archivo[pos + PosTipo] == TipoBinario);
        EXIGE(archivo[pos + PosMetodo] == (almacenado ? MetodoPlano : MetodoLZH));
        EXIGE(TomaTamano(archivo, pos + PosTamanoOriginal) == m.datos.size());
        const std::string& esperado = almacenado ? m.datos : m.lzh;
        EXIGE(TomaTamano(archivo, pos + PosTamanoComprimido) == esperado.size());
        pos += TamCabecera;
        EXIGE(archivo.compare(pos, esperado.size(), esperado) == 0);
        pos += esperado.size();
    }
    EXIGE(archivo.compare(pos, TamCabecera, std::string(TamCabecera, '\0')) == 0);
}

void Restaura(const Miembro* miembros, int cuenta)
{
    EXIGE(mkdir("vuelta", 0700) == 0 && chdir("vuelta") == 0);
    snprintf(vuvodiv::NombreArchivo, sizeof vuvodiv::NombreArchivo, "x.cmp");
    vuvodiv::MiembrosNoRestaurados = 0;
    Entrada = fopen("../x.cmp", "rb");
    EXIGE(Entrada != nullptr);
    int restaurados = 0;
    static vuvodiv::Miembro miembro;
    static vuvodiv::Decodificador decodificador;
    miembro = vuvodiv::Miembro{};
    try {
        for (; vuvodiv::LeeCabecera(miembro); ++restaurados)
            vuvodiv::TrataMiembro(miembro, decodificador);
    } catch (const FinFatal&) {
        ReportaHallazgo("restoring our own archive: %s", MensajeFatal);
    }
    CierraFlujos();
    EXIGE(restaurados == cuenta && vuvodiv::MiembrosNoRestaurados == 0);
    for (int i = 0; i < cuenta; ++i)
        EXIGE(LeeBytes(miembros[i].nombre) == miembros[i].datos);
    EXIGE(chdir("..") == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SilenciaConsola();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t tamano)
{
    size_t corte = tamano == 0 ? 0 : datos[0] * tamano / 256;
    const char* bytes = reinterpret_cast<const char*>(datos);
    for (bool optimo : {false, true}) {
        dedezodi::ModoOptimo = optimo;
        Miembro miembros[2] = {{"uno", std::string(bytes, corte), {}},
                               {"dos", std::string(bytes + corte, tamano - corte), {}}};
        EntraCarpetaTrabajo();
        try {
            for (Miembro& m : miembros) {
                EscribeBytes(m.nombre, reinterpret_cast<const uint8_t*>(m.datos.data()), m.datos.size());
                m.lzh = MideLZH(m);
            }
            Empaqueta(miembros, 2);
        } catch (const FinFatal&) {
            ReportaHallazgo("packing: %s", MensajeFatal);
        }
        CompruebaArchivo(miembros, 2);
        Restaura(miembros, 2);
        SaleCarpetaTrabajo();
    }
    dedezodi::ModoOptimo = false;
    return 0;
}
