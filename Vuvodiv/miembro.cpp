// One member of the archive: its header, the checks that decide whether it
// may be restored (a name that stays inside the target folder, a method we
// know), its data decoded into its output, and that output written beside
// the final name and renamed into place only when complete.
//
// The mode chosen on the command line changes only where a member's bytes
// go (a file, standard output, nowhere); the list mode does not decode at
// all (listado.cpp).

#include "vuvodiv.h"

#include "rescate.h"

#include <cerrno>
#include <cstring>

namespace vuvodiv {

// A zero first byte ends the archive, also in a terminating header cut short:
// every member before it is whole.  Any other header cut short is truncation.
int LeeCabecera(Miembro& m)
{
    uint8_t cabecera[TamCabecera];
    size_t leidos = fread(cabecera, 1, TamCabecera, Entrada);
    if (ferror(Entrada))
        ErrorFatalCon("Can't read file '%s'", NombreArchivo, Causa{errno});
    AnotaCabecera(cabecera, leidos);
    if (leidos == 0 || cabecera[0] == 0)
        return 0;
    if (leidos < TamCabecera)
        ReportaCorte(nullptr);
    LeeCampos(cabecera, m);
    return 1;
}

void LeeCampos(const uint8_t* cabecera, Miembro& m)
{
    memcpy(m.nombre, cabecera, TamNombre);
    m.nombre[TamNombre] = '\0';
    m.tipo = cabecera[PosTipo];
    m.metodo = cabecera[PosMetodo];
    m.original = LeeTamano(cabecera + PosTamanoOriginal);
    m.comprimido = LeeTamano(cabecera + PosTamanoComprimido);
}

// A stored copy is the file itself: two sizes that differ cannot both
// describe it.
const char* MotivoRechazo(const Miembro& m, char* texto, size_t tamano)
{
    if (!EsNombreSeguro(m.nombre))
        return "unsafe name";
    if (m.metodo != MetodoPlano && m.metodo != MetodoLZH) {
        snprintf(texto, tamano, "unknown method %u", static_cast<unsigned>(m.metodo));
        return texto;
    }
    if (m.metodo == MetodoPlano && m.original != m.comprimido)
        return "damaged data";
    return nullptr;
}

// The member's file is created in its own folder; the target folder is
// where the next member's name starts again.
static Apertura CreaArchivoMiembro(Miembro& m, bool solo)
{
    const int destino = CarpetaSalida;
    CarpetaSalida = m.carpeta;
    m.salida = CreaTemporal(m.nombre + m.ultimo);
    CarpetaSalida = destino;
    if (m.salida)
        return Abierta;
    if (!solo && SonRecursosAgotados(errno)) {
        CierraRuta(m);
        return Agotada;
    }
    ErrorFatalCon("Can't create file '%s'", m.nombre, Causa{errno});
}

Apertura AbreSalida(Miembro& m, const char** motivo, bool solo)
{
    if (ModoElegido->destino != AArchivo) {
        m.salida = ModoElegido->destino == ASalidaEstandar ? stdout : AbreSumidero();
        return Abierta;
    }
    const char* ultimo = PreparaRuta(m, motivo, solo);
    if (!ultimo) {
        CierraRuta(m);
        return *motivo ? Rechazada : Agotada;
    }
    if (SinReemplazo && ExisteEnDestino(m, ultimo)) {
        CierraRuta(m);
        return Omitida;
    }
    m.ultimo = static_cast<int>(ultimo - m.nombre);
    return CreaArchivoMiembro(m, solo);
}

void ReabreSalida(Miembro& m)
{
    CreaArchivoMiembro(m, true);
    m.leidos = m.escritos = 0;
    m.truncado = m.danado = false;
    m.errorLectura = m.errorEscritura = 0;
}

// A stored member is copied by blocks through the ring (free between
// members), and at a real end of file stops without inventing the rest.
void RestauraDatos(Miembro& m, Decodificador& d)
{
    const bool plano = m.metodo == MetodoPlano;
    if (!plano)
        DecodificaLZH(m, d);
    while (m.leidos < m.comprimido) {
        const size_t leidos = LeeBloqueComprimido(m, d.historia, TamHistoria);
        if (plano)
            EscribeBloque(m, d.historia, leidos);
    }
}

// Damaged data is thrown away with its temporary file, so an older file of
// the same name stays.  Bytes already on standard output cannot be taken
// back: the member is reported all the same.
void DescartaSalida(Miembro& m)
{
    if (ModoElegido->destino == AArchivo) {
        DescartaTemporal(m.salida);
        CierraRuta(m);
    }
    m.salida = nullptr;
}

bool ConfirmaSalida(Miembro& m, bool solo)
{
    FILE* salida = m.salida;
    m.salida = nullptr;   // closed and removed either way: the fatal path must not see it
    if (ModoElegido->destino == ASalidaEstandar)
        CompruebaSalidaEstandar();
    if (ModoElegido->destino != AArchivo)
        return true;
    const bool confirmado = ConfirmaTemporal(salida, m.nombre + m.ultimo);
    const int causa = m.errorEscritura != 0 ? m.errorEscritura : errno;
    if (!confirmado && !solo && SonRecursosAgotados(causa))
        return false;
    if (!confirmado)
        ErrorFatalCon("Can't write file '%s'", m.nombre, Causa{causa});
    CierraRuta(m);
    return true;
}

}  // namespace vuvodiv
