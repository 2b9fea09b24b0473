// Fuzz target: Dedezodi packs the same files with 1 thread and with
// several, and the two archives must be the same bytes; the threads must
// have done part of the work.
//
// The input's first byte chooses the number of threads (2 to 5) and whether
// the members are stretched past the shared-tree encoder's rounds of 32 Ki
// slides by repeating them (so trees change hands between rounds); the rest
// is cut in three files at points the next two bytes choose, so short
// members that depend on the window bytes the one before left are met too.
// The three are packed as one list (workers take whole members) and the
// first alone (its trees shared among the threads when it is long enough).  Any fatal error or
// difference is a finding.

#include "arbol.h"
#include "arnes.h"
#include "dedezodi.h"

#include <cstring>

namespace {

constexpr int NumMiembros = 3;
char A[] = "a", B[] = "b", C[] = "c";
char* const Nombres[NumMiembros] = {A, B, C};

std::string EmpaquetaCon(int hilos, int cuantos)
{
    dedezodi::NumHilos = hilos;
    // Every chain starts from the window of a fresh process.
    memset(dedezodi::Texto, 0, sizeof dedezodi::Texto);
    Salida = fopen("x.cmp", "wb+");
    EXIGE(Salida != nullptr);
    EXIGE(dedezodi::TomaNombres(Nombres, cuantos, nullptr, TipoBinario) == cuantos);
    dedezodi::EmpaquetaMiembros(cuantos);
    dedezodi::EscribeFalsaCabecera();
    EXIGE(fclose(Salida) == 0);
    Salida = nullptr;
    return LeeBytes("x.cmp");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SilenciaConsola();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t tamano)
{
    if (tamano < 3)
        return 0;
    const int hilos = 2 + datos[0] % 4;
    const bool estira = datos[0] & 0x80;
    const size_t resto = tamano - 3;
    size_t cortes[NumMiembros + 1] = {0, datos[1] * resto / 255, 0, resto};
    cortes[2] = cortes[1] + datos[2] * (resto - cortes[1]) / 255;
    EntraCarpetaTrabajo();
    size_t tamanos[NumMiembros];
    for (int i = 0; i < NumMiembros; ++i) {
        std::string miembro(reinterpret_cast<const char*>(datos + 3 + cortes[i]), cortes[i + 1] - cortes[i]);
        // Repeated past two rounds of the shared-tree encoder.
        if (estira && !miembro.empty())
            while (miembro.size() < dedezodi::MinimoCompartido + 5000)
                miembro += miembro;
        EscribeBytes(Nombres[i], reinterpret_cast<const uint8_t*>(miembro.data()), miembro.size());
        tamanos[i] = miembro.size();
    }
    try {
        for (int cuantos : {NumMiembros, 1}) {
            const int miembros = dedezodi::MiembrosAjenos;
            const uint64_t deslizadas = dedezodi::DeslizadasAjenas;
            const std::string uno = EmpaquetaCon(1, cuantos);
            EXIGE(dedezodi::MiembrosAjenos == miembros && dedezodi::DeslizadasAjenas == deslizadas);
            const std::string varios = EmpaquetaCon(hilos, cuantos);
            EXIGE(uno == varios);
            // The second member goes to a worker from the start (one of 119
            // bytes or more is laid as the worker packed it), unless it is
            // big enough to be shared, when the workers replay its rounds.
            // A lone member's first round is replayed by every thread.
            if (cuantos == 1 && tamanos[0] >= dedezodi::MinimoCompartido)
                EXIGE(dedezodi::DeslizadasAjenas > deslizadas);
            else if (cuantos > 1 && tamanos[0] >= 119 && tamanos[1] >= 119)   // or its trees shared, when big
                EXIGE(dedezodi::MiembrosAjenos > miembros || dedezodi::DeslizadasAjenas > deslizadas);
        }
    } catch (const FinFatal&) {
        dedezodi::CierraEntrada();
        ReportaHallazgo("fatal error packing our own files: %s", MensajeFatal);
    }
    SaleCarpetaTrabajo();
    return 0;
}
