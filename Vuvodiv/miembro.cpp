// One member of the archive: its header, the checks that decide whether it
// may be restored (a name that stays inside the working folder, a method we
// know), its file written beside the final name and renamed into place only
// when complete, the text conversion, and the byte routines.
//
// Every byte of the archive is read through LeeOctetoComprimido, which never
// takes more than the member's TamanoComprimido bytes: a member whose data is
// passed over, refused or damaged still leaves the archive at the next header.
//
// The mode chosen on the command line changes only where a member's bytes
// go (a file, standard output, nowhere) and what its line says; the list
// mode does not decode at all (lista.cpp).

#include "vuvodiv.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace vuvodiv {

char NombreArchivo[TamNombreArchivo];

char Nombre[TamNombre + 1];
uint8_t Tipo;
uint8_t Metodo;
__thread uint32_t ContadorLectura;

__thread bool HayQueTraducir;
__thread bool CuidaCR;
__thread bool Truncado;
__thread bool MiembroDanado;

__thread int DescriptorLectura = -1;
__thread int64_t PosicionLectura;
__thread bool ErrorLectura;
__thread bool EnHilo;
__thread uint64_t OctetosContados;
uint32_t MiembrosNoRestaurados;

char NombreVisible[TamNombreVisible];

// ---- Translation table -------------------------------------------------------
// Entry i is written in place of byte i.  The identity except for 52 entries:
// 0x60 and most of 0x80..0xBB.  Not one-to-one (0x81 and 0x61 both give 0x61,
// 0xB8 and 0xAE both 0xAE), so a translated file cannot be turned back.
const uint8_t Tra[256] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,  // 00
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,  // 10
    0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,  // 20
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,  // 30
    0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,  // 40
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,  // 50
    0x9C, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F,  // 60
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F,  // 70
    0x84, 0x61, 0x86, 0x82, 0x94, 0x6F, 0x86, 0x81, 0x87, 0xA4, 0x91, 0x8B, 0xA0, 0x85, 0x83, 0x89,  // 80
    0x8A, 0x88, 0x8B, 0xA1, 0x8D, 0x8C, 0xA2, 0x95, 0x93, 0xA3, 0x97, 0x96, 0xE1, 0x9B, 0x9D, 0x60,  // 90
    0x8E, 0x41, 0x8F, 0x90, 0x99, 0x4F, 0xA6, 0x9A, 0x80, 0xA5, 0x92, 0xAB, 0xE0, 0xEB, 0xAE, 0xAF,  // A0
    0xE6, 0xE3, 0xED, 0xAD, 0xA8, 0xB5, 0x15, 0xB7, 0xAE, 0xAF, 0xBA, 0xF6, 0xBC, 0xBD, 0xBE, 0xBF,  // B0
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,  // C0
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,  // D0
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,  // E0
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,  // F0
};

// ---- Errors ------------------------------------------------------------------

// The archive ended (or could not be read) before the member did: nothing
// restored from it can be trusted, so the run stops here.
[[noreturn]] static void ReportaFinPrematuro(const char* nombreVisible)
{
    if (ferror(Entrada) || ErrorLectura)
        ErrorFatalCon("Can't read file '%s'", NombreArchivo);
    if (!nombreVisible)
        ErrorFatalCon("Archive '%s' is truncated in a member header", NombreArchivo);
    static char mensaje[4 * TamNombreArchivo + TamNombreVisible + 64];   // both names escaped
    snprintf(mensaje, sizeof mensaje, "Archive '%s' is truncated in member '%s'", EscapaArgumento(NombreArchivo),
             nombreVisible);
    ErrorFatal(mensaje);
}

// ---- Byte routines -------------------------------------------------------------

uint8_t LeeOctetoComprimido()
{
    if (ContadorLectura >= TamanoComprimido)
        return 0;
    int c = getc_unlocked(Entrada);
    if (c == EOF) {
        // The member is used up from here on, so a reader that asks for more
        // (the decoder's read-ahead, a skip) ends at once.
        Truncado = true;
        ContadorLectura = TamanoComprimido;
        return 0;
    }
    ++ContadorLectura;
    return static_cast<uint8_t>(c);
}

void EscribeTraduciendo(uint8_t octeto)
{
    if (HayQueTraducir)
        octeto = Tra[octeto];
    if (CuidaCR && octeto == '\r')
        return;
    putc_unlocked(octeto, Salida);
}

void EscribeOctetoPlano(uint8_t octeto)
{
    EscribeTraduciendo(octeto);
    AvanzaBarra();
}

// fread's result from the descriptor of a thread reading on its own: short
// only at the end of the file or at an error.
static size_t LeeEnPosicion(uint8_t* destino, size_t cuantos)
{
    size_t leidos = 0;
    while (leidos < cuantos) {
        const ssize_t n = pread(DescriptorLectura, destino + leidos, cuantos - leidos, PosicionLectura);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ErrorLectura = n < 0;
            break;
        }
        leidos += static_cast<size_t>(n);
        PosicionLectura += n;
    }
    return leidos;
}

size_t LeeBloqueComprimido(uint8_t* destino, size_t cuantos)
{
    const size_t quedan = TamanoComprimido - ContadorLectura;
    if (cuantos > quedan)
        cuantos = quedan;
    const size_t leidos = DescriptorLectura < 0 ? fread(destino, 1, cuantos, Entrada)
                                                : LeeEnPosicion(destino, cuantos);
    ContadorLectura += static_cast<uint32_t>(leidos);
    if (leidos < cuantos) {
        Truncado = true;   // as LeeOctetoComprimido at a real end of file
        ContadorLectura = TamanoComprimido;
    }
    return leidos;
}

// Converted bytes gather here, so a converted block is still one write.
static __thread uint8_t Convertidos[4096];

// EscribeTraduciendo over a block: translation first, then CR dropping.
static void EscribeBloqueTraduciendo(const uint8_t* datos, size_t cuantos)
{
    while (cuantos > 0) {
        const size_t trozo = cuantos < sizeof Convertidos ? cuantos : sizeof Convertidos;
        size_t n = 0;
        for (size_t i = 0; i < trozo; ++i) {
            const uint8_t octeto = HayQueTraducir ? Tra[datos[i]] : datos[i];
            Convertidos[n] = octeto;
            n += !(CuidaCR && octeto == '\r');
        }
        fwrite(Convertidos, 1, n, Salida);
        datos += trozo;
        cuantos -= trozo;
    }
}

void EscribeBloquePlano(const uint8_t* datos, size_t cuantos)
{
    if (!HayQueTraducir && !CuidaCR)
        fwrite(datos, 1, cuantos, Salida);
    else
        EscribeBloqueTraduciendo(datos, cuantos);
    if (EnHilo)   // the main thread draws the marks from the count
        OctetosContados += cuantos;
    else
        AvanzaBarraBloque(static_cast<uint32_t>(cuantos));
}

// The stored copy takes exactly TamanoComprimido bytes, whatever the original
// size says; at a real end of file it stops without inventing the rest.
void VuvodivPlano()
{
    while (ContadorLectura < TamanoComprimido) {
        uint8_t octeto = LeeOctetoComprimido();
        if (!Truncado)
            EscribeOctetoPlano(octeto);
    }
}

// Takes whatever is left of the member's data, so the next header is read
// from where this member ends.
static void ConsumeResto()
{
    while (ContadorLectura < TamanoComprimido)
        LeeOctetoComprimido();
}

static void PasaRestoDatos()
{
    ConsumeResto();
    if (Truncado)
        ReportaFinPrematuro(NombreVisible);
}

// Data cut short is found by the archive's size, as reading would find it.
void SaltaDatos()
{
    off_t resto = static_cast<off_t>(TamanoComprimido - ContadorLectura);
    off_t aqui = ftello(Entrada);
    struct stat datos;
    if (aqui >= 0 && fstat(fileno(Entrada), &datos) == 0 && S_ISREG(datos.st_mode)) {
        if (aqui + resto > datos.st_size)
            ReportaFinPrematuro(NombreVisible);
        if (fseeko(Entrada, resto, SEEK_CUR) == 0) {
            ContadorLectura = TamanoComprimido;
            return;
        }
    }
    PasaRestoDatos();
}

// ---- Headers and conversion ------------------------------------------------------

static uint32_t TomaTamano(const uint8_t* origen)
{
    return static_cast<uint32_t>(origen[0]) << 24 | static_cast<uint32_t>(origen[1]) << 16 |
           static_cast<uint32_t>(origen[2]) << 8 | origen[3];
}

// A zero first byte ends the archive, also in a terminating header cut short:
// every member before it is whole.  Any other header cut short is truncation.
int LeeCabecera()
{
    uint8_t cabecera[TamCabecera];
    size_t leidos = fread(cabecera, 1, TamCabecera, Entrada);
    if (ferror(Entrada))
        ErrorFatalCon("Can't read file '%s'", NombreArchivo);
    if (leidos == 0 || cabecera[0] == 0)
        return 0;
    if (leidos < TamCabecera)
        ReportaFinPrematuro(nullptr);
    memcpy(Nombre, cabecera, TamNombre);
    Nombre[TamNombre] = '\0';
    Tipo = cabecera[PosTipo];
    Metodo = cabecera[PosMetodo];
    TamanoOriginal = TomaTamano(cabecera + PosTamanoOriginal);
    TamanoComprimido = TomaTamano(cabecera + PosTamanoComprimido);
    return 1;
}

void PreparaTraduccion()
{
    switch (Tipo) {
    case TipoBinario:
    case TipoTexto:
        HayQueTraducir = false;
        CuidaCR = false;
        break;
    case TipoTextoSinCR:
        HayQueTraducir = false;
        CuidaCR = true;
        break;
    case TipoTextoTraducido:
        HayQueTraducir = true;
        CuidaCR = false;
        break;
    default:   // 4..255: the previous member's conversion holds
        break;
    }
}

// ---- One member ------------------------------------------------------------------

// A member that is not restored says why: after its name when lines are
// shown, on a line of its own on standard error when only errors are.
static void InformaFallo(const char* motivo, bool nombreEscrito)
{
    const char* prefijo = ModoElegido == ModoPrueba ? "" : "not restored: ";
    if (!Consola) {
        fprintf(ConsolaErrores, "%s: %s%s\n", NombreVisible, prefijo, motivo);
        return;
    }
    if (!nombreEscrito)
        Mensaje("\n%-14s", NombreVisible);
    Mensaje("  %s%s", prefijo, motivo);
}

// A member that is not restored: its line says why, its data is passed over
// and the run goes on; main counts it at the end.
static void RechazaMiembro(const char* motivo)
{
    DrenaPendientes();   // the lines of the members before it come first
    InformaFallo(motivo, false);
    SaltaDatos();
    ++MiembrosNoRestaurados;
}

const char* UltimoPaso;

FILE* AbreArchivoMiembro()
{
    const char* motivo = nullptr;
    UltimoPaso = PreparaRuta(&motivo);
    if (!UltimoPaso) {
        CierraRuta();
        RechazaMiembro(motivo);
        return nullptr;
    }
    if (SinReemplazo && ExisteEnDestino(UltimoPaso)) {
        CierraRuta();
        DrenaPendientes();
        Mensaje("\n%-14s  skipped: the file exists", NombreVisible);
        SaltaDatos();
        return nullptr;
    }
    FILE* archivo = CreaTemporal(UltimoPaso);
    if (!archivo)
        ErrorFatalCon("Can't create file '%s'", Nombre);
    return archivo;
}

// Where the member's bytes go: a temporary file beside its final name in
// the target folder, standard output, or nowhere.  False when the member is
// refused or skipped instead (its data then passed over).
static bool AbreMiembro()
{
    if (ModoElegido == ModoPrueba) {
        Salida = AbreSumidero();
    } else if (ModoElegido == ModoTuberia) {
        Salida = stdout;
    } else {
        Salida = AbreArchivoMiembro();
        if (!Salida)
            return false;
    }
    Mensaje("\n%-14s", NombreVisible);
    DibujaBarraVacia();
    IniciaBarra();
    MiembroDanado = false;
    return true;
}

static void RellenaBarra()
{
    for (int32_t columna = Punto; columna < AnchoBarra; ++columna)
        Mensaje(".");
}

static void CierraMiembro()
{
    ConsumeResto();
    TerminaMiembro();
}

// Damaged data is thrown away with its temporary file, so an older file of
// the same name stays; the bar keeps the marks drawn before the damage.
// Bytes already on standard output cannot be taken back: the member is
// reported all the same.
void TerminaMiembro()
{
    if (Truncado && ModoElegido == ModoPrueba) {
        RellenaBarra();
        InformaFallo("truncated", true);
    }
    PasaRestoDatos();   // also where a truncated archive is reported
    if (MiembroDanado) {
        if (ModoElegido == ModoRestaura) {
            DescartaTemporal(Salida);
            CierraRuta();
        }
        Salida = nullptr;
        RellenaBarra();
        InformaFallo("damaged data", true);
        ++MiembrosNoRestaurados;
        return;
    }
    if (ModoElegido == ModoRestaura) {
        bool confirmado = ConfirmaTemporal(Salida, UltimoPaso);
        Salida = nullptr;   // closed either way: the fatal path must not see it
        if (!confirmado)    // the temporary file is removed from the member's folder
            ErrorFatalCon("Can't write file '%s'", Nombre);
        CierraRuta();
    } else if (ModoElegido == ModoTuberia && (fflush(stdout) != 0 || ferror(stdout))) {
        ErrorFatal("Can't write to standard output");
    }
    Salida = nullptr;
    CompletaBarra();
    if (ModoElegido == ModoPrueba)
        Mensaje("  OK");
    else
        Mensaje("  %lu", static_cast<unsigned long>(TamanoOriginal));
}

void Vuvodiv()
{
    ArreglaSeparador(Nombre);
    EscapaNombre(Nombre, NombreVisible);
    ContadorLectura = 0;
    Truncado = false;
    PreparaTraduccion();   // also for a member passed over: a later type 4..255 follows it
    if (!EstaSeleccionado(NombreVisible)) {
        SaltaDatos();
        return;
    }
    if (ModoElegido == ModoLista) {
        ListaMiembro();
        return;
    }
    if (!EsNombreSeguro(Nombre)) {
        RechazaMiembro("unsafe name");
        return;
    }
    if (Metodo != MetodoPlano && Metodo != MetodoLZH) {
        char motivo[32];
        snprintf(motivo, sizeof motivo, "unknown method %u", static_cast<unsigned>(Metodo));
        RechazaMiembro(motivo);
        return;
    }
    // A stored copy is the file itself: two sizes that differ cannot both
    // describe it.
    if (Metodo == MetodoPlano && TamanoOriginal != TamanoComprimido) {
        RechazaMiembro("damaged data");
        return;
    }
    if (DespachaMiembro())
        return;
    if (!AbreMiembro())
        return;
    if (Metodo == MetodoPlano)
        VuvodivPlano();
    else
        VuvodivLZW();
    CierraMiembro();
}

}  // namespace vuvodiv
