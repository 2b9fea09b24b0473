// Measures what a restore gets back from damaged archives: for each damage
// model, the share of untouched members restored exact, files invented,
// damaged members restored exact under a name one flipped bit away,
// files under a member's name with wrong bytes, and runs that ended with
// status 0 although something was damaged.
//
//   medida_danos [TRIALS] [VUVODIV OPTION...]
//
// e.g. "medida_danos 500 --salvage"; without options, a plain restore.  With
// MEDIDA_DETALLE set in the environment, the output of every run that lost
// an untouched member or invented one is shown.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ayuda.h"
#include "danos.h"

// Archives of varied members: text, random bytes (stored), tiny and empty
// files, packed by default and with --best.
static std::vector<ArchivoPrueba> ArchivosDeMuestra()
{
    std::vector<ArchivoPrueba> archivos;
    for (uint32_t k = 0; k < 8; ++k) {
        std::vector<std::pair<std::string, std::string>> ficheros;
        const int cuantos = 6 + static_cast<int>(k % 4) * 2;
        for (int i = 0; i < cuantos; ++i) {
            const uint32_t semilla = 100 * k + static_cast<uint32_t>(i);
            const size_t tamano = (semilla * 7919u) % 30000u + (i == 0 ? 0u : 1u);
            char nombre[16];
            snprintf(nombre, sizeof nombre, "m%02d.%s", i, i % 3 == 2 ? "bin" : "txt");
            std::string datos = i % 3 == 2 ? DatosAleatorios(tamano, semilla) : TextoDePrueba(tamano, semilla);
            if (i == 1)
                datos = "";
            ficheros.emplace_back(nombre, datos);
        }
        archivos.push_back(EmpaquetaPrueba(ficheros, k % 2 ? std::vector<std::string>{"--best"}
                                                            : std::vector<std::string>{}));
    }
    return archivos;
}

int main(int argc, char* argv[])
{
    const int pruebas = argc > 1 ? atoi(argv[1]) : 100;
    const std::vector<std::string> opciones(argv + (argc > 1 ? 2 : 1), argv + argc);
    const auto archivos = ArchivosDeMuestra();
    const bool detalle = getenv("MEDIDA_DETALLE") != nullptr;   // the runs that lost or invented a member
    printf("| damage | untouched members restored exact | invented | renamed | wrong bytes | damaged, status 0 |\n"
           "|---|---:|---:|---:|---:|---:|\n");
    for (ModeloDano modelo : TodosLosModelos) {
        long intactos = 0, exactos = 0, inventados = 0, renombrados = 0, erroneos = 0, callados = 0;
        for (int p = 0; p < pruebas; ++p) {
            const ArchivoPrueba& archivo = archivos[static_cast<size_t>(p) % archivos.size()];
            const ArchivoDanado danado = Dana(archivo, modelo, static_cast<uint32_t>(p) * 2654435761u + 1);
            const Recuento cuenta = MideRestauracion(archivo, danado, opciones);
            if (detalle && (cuenta.exactos < cuenta.intactos || cuenta.inventados > 0))
                printf("-- %s, trial %d: %d of %d exact, %d invented\n%s\n", NombreModelo(modelo), p,
                       cuenta.exactos, cuenta.intactos, cuenta.inventados, cuenta.salida.c_str());
            intactos += cuenta.intactos;
            exactos += cuenta.exactos;
            inventados += cuenta.inventados;
            renombrados += cuenta.renombrados;
            erroneos += cuenta.erroneos;
            callados += danado.bytes != archivo.bytes && cuenta.estado == 0;
        }
        printf("| %s | %.1f%% (%ld of %ld) | %ld | %ld | %ld | %ld |\n", NombreModelo(modelo),
               intactos ? 100.0 * static_cast<double>(exactos) / static_cast<double>(intactos) : 100.0, exactos,
               intactos, inventados, renombrados, erroneos, callados);
    }
    return 0;
}
