// One member of the archive: a placeholder header, the data (LZH, or the
// file's bytes when LZH is not strictly smaller), then the real header
// written over the placeholder.  The member's input and byte routines are
// in octetos.cpp, its console line in linea.cpp.

#include "dedezodi.h"

#include <cstring>

namespace dedezodi {

// ---- Headers ---------------------------------------------------------------

void EscribeFalsaCabecera()
{
    EscribeCabecera("", 0, 0, 0, 0);   // all zeros
}

// Most significant byte first.
static void PonTamano(uint8_t* destino, uint32_t tamano)
{
    for (int i = 0; i < 4; ++i)
        destino[i] = static_cast<uint8_t>(tamano >> (24 - 8 * i));
}

void EscribeCabecera(const char* nombre, uint8_t tipo, uint8_t metodo,
                     uint32_t tamanoOriginal, uint32_t tamanoComprimido)
{
    uint8_t cabecera[TamCabecera] = {};
    strncpy(reinterpret_cast<char*>(cabecera), nombre, TamNombre);
    cabecera[PosTipo] = tipo;
    cabecera[PosMetodo] = metodo;
    PonTamano(cabecera + PosTamanoOriginal, tamanoOriginal);
    PonTamano(cabecera + PosTamanoComprimido, tamanoComprimido);
    fwrite(cabecera, 1, TamCabecera, Salida);
}

// ---- One member ------------------------------------------------------------

uint8_t CodificaMiembro(int (*codificador)(), uint64_t* intento)
{
    const off_t datos = ftello(Salida);
    EmpiezaPasada();
    const bool guarda = !codificador() && !Fallido;
    const uint32_t leidos = OctetosLeidos;
    *intento = OctetosComprimidos;
    if (!Encargado)
        CompletaBarra();
    if (guarda) {
        // Store instead, over the LZH attempt.
        EmpiezaPasada();
        fseeko(Salida, datos, SEEK_SET);
        if (!Encargado)
            RehaceBarra();
        DedezodiPlano();
        if (!Encargado)
            CompletaBarra();
        // The stored copy must be the bytes the first pass counted.
        if (OctetosLeidos != leidos)
            Falla("Can't read file '%s'");
    }
    TamanoOriginal = leidos;
    TamanoComprimido = static_cast<uint32_t>(OctetosComprimidos);   // no more than leidos
    return guarda ? MetodoPlano : MetodoLZH;
}

void Dedezodi(const char* nombre, uint8_t tipo)
{
    AbreEntrada(nombre);   // a failure here ends the run
    // The encoder, chosen here once per member: with several threads, the
    // trees are shared only when the member reports two of their rounds.
    int (*codificador)() = ModoOptimo ? DedezodiLZHOptimo
                           : NumHilos > 1 && TamanoOriginal >= MinimoCompartido ? DedezodiLZHHilos
                                                                                : DedezodiLZH;
    EmpiezaLinea(nombre);
    const off_t inicio = ftello(Salida);
    EscribeFalsaCabecera();
    uint64_t intento;
    const uint8_t metodo = CodificaMiembro(codificador, &intento);
    const off_t fin = ftello(Salida);
    fseeko(Salida, inicio, SEEK_SET);
    EscribeCabecera(nombre, tipo, metodo, TamanoOriginal, TamanoComprimido);
    fseeko(Salida, fin, SEEK_SET);
    CierraEntrada();
    if (ferror(Salida))
        ErrorFatalCon("Can't write file '%s'", NombreArchivo);
    TerminaLinea(nombre);
}

}  // namespace dedezodi
