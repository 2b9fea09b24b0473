// Fuzz target: the restorer on an archive of arbitrary bytes with one
// thread and with several, and the two runs must end alike: the same files
// and folders with the same bytes, the same console lines, the same fatal
// error or count of members not restored.  And the threads must have done
// work: whenever a member was restored, a thread decoded at least one (the
// main thread takes a member itself only when every thread is busy).
//
// The input's first byte chooses the number of threads (2 to 5); the rest
// is the archive, restored in a folder of its own for each run.

#include "arnes.h"
#include "vuvodiv.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace vuvodiv;
namespace fs = std::filesystem;

namespace {

struct Corrida {
    std::string lineas;
    std::string archivos;   // each path, and the bytes of each file
    std::string fin;        // the fatal error, or the members not restored
    int restaurados;        // files restored (one named as the archive aside)
};

Miembro M;
Decodificador D;

// Every file and folder below the working folder, in name order.
void DescribeCarpeta(Corrida& c)
{
    std::vector<std::string> rutas;
    for (const auto& entrada : fs::recursive_directory_iterator("."))
        rutas.push_back(entrada.path().string());
    std::sort(rutas.begin(), rutas.end());
    for (const auto& ruta : rutas) {
        c.archivos += ruta + '\n';
        if (fs::is_regular_file(ruta)) {
            c.archivos += LeeBytes(ruta) + '\n';
            c.restaurados += ruta != "./x.cmp";
        }
    }
}

// The member loop as Vuvodiv's main drives it, from a fresh process's
// state, in the folder carpeta, its lines kept.
Corrida Restaura(const char* carpeta, const uint8_t* datos, size_t tamano, int hilos)
{
    if (mkdir(carpeta, 0700) != 0 || chdir(carpeta) != 0)
        ReportaHallazgo("cannot enter %s", carpeta);
    EscribeBytes("x.cmp", datos, tamano);
    M = Miembro{};
    M.carpeta = -1;
    D = Decodificador{};
    HilosPedidos = hilos;
    MiembrosNoRestaurados = 0;
    snprintf(NombreArchivo, sizeof NombreArchivo, "x.cmp");
    char* lineas = nullptr;
    size_t largo = 0;
    Consola = ConsolaErrores = open_memstream(&lineas, &largo);
    Corrida c{};
    Entrada = fopen(NombreArchivo, "rb");
    EXIGE(Entrada != nullptr);
    try {
        AbreDestino();
        RecorreArchivo(M, D);
        c.fin = std::to_string(MiembrosNoRestaurados) + " not restored";
    } catch (const FinFatal&) {
        c.fin = MensajeFatal;
        if (M.salida)
            fclose(M.salida);
        M.salida = nullptr;
        CierraRuta(M);
        ParaObreros();   // and the members still pending thrown away
    }
    CierraFlujos();
    fclose(Consola);
    c.lineas.assign(lineas, largo);
    free(lineas);
    Consola = ConsolaErrores = stdout;
    DescribeCarpeta(c);
    if (chdir("..") != 0)
        ReportaHallazgo("cannot leave %s", carpeta);
    return c;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SilenciaConsola();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t tamano)
{
    if (tamano < 1)
        return 0;
    const int hilos = 2 + datos[0] % 4;
    EntraCarpetaTrabajo();
    const Corrida uno = Restaura("uno", datos + 1, tamano - 1, 1);
    const uint32_t deObrerosSolo = MiembrosDeObreros;
    const Corrida varios = Restaura("varios", datos + 1, tamano - 1, hilos);
    EXIGE(deObrerosSolo == 0);
    EXIGE(uno.fin == varios.fin);
    EXIGE(uno.lineas == varios.lineas);
    EXIGE(uno.archivos == varios.archivos);
    EXIGE(uno.restaurados == 0 || MiembrosDeObreros > 0);
    SaleCarpetaTrabajo();
    return 0;
}
