// A member's bytes: its header fields made ready, its data read from the
// archive, its restored bytes converted and written, and its data passed
// over.  Every byte of the archive is read through LeeBloqueComprimido,
// which never takes more than the member's comprimido bytes: a member whose
// data is passed over, refused or damaged still leaves the archive at the
// next header.

#include "vuvodiv.h"

#include "rescate.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace vuvodiv {

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

void PreparaMiembro(Miembro& m)
{
    ArreglaSeparador(m.nombre);
    EscapaNombre(m.nombre, m.visible);
    m.descriptor = -1;
    m.memoria = nullptr;
    m.carpeta = -1;   // none of its own yet
    m.leidos = m.escritos = 0;
    m.truncado = m.danado = m.enVivo = false;
    m.errorLectura = m.errorEscritura = 0;
    m.salida = nullptr;
    if (m.tipo <= TipoTextoTraducido) {   // 4..255: the previous member's conversion holds
        m.traducir = m.tipo == TipoTextoTraducido;
        m.cuidaCR = m.tipo == TipoTextoSinCR;
    }
}

// ---- Reading ---------------------------------------------------------------------

void ReportaCorte(const Miembro* m)
{
    if (ferror(Entrada) || (m && m->errorLectura))
        ErrorFatalCon("Can't read file '%s'", NombreArchivo, Causa{m && m->errorLectura ? m->errorLectura : errno});
    if (PrimeraCabeceraExtrana())
        ErrorFatalCon("File '%s' is not an archive of this format", NombreArchivo);
    if (!m)
        ErrorFatalCon("Archive '%s' is truncated in a member header", NombreArchivo);
    static char mensaje[4 * TamNombreArchivo + TamNombreVisible + 64];   // both names escaped
    snprintf(mensaje, sizeof mensaje, "Archive '%s' is truncated in member '%s'", EscapaArgumento(NombreArchivo),
             m->visible);
    ErrorFatal(mensaje);
}

// fread's result from the descriptor of a member read apart: short only at
// the end of the file or at an error.
static size_t LeeEnPosicion(Miembro& m, uint8_t* destino, size_t cuantos)
{
    size_t leidos = 0;
    while (leidos < cuantos) {
        const ssize_t n = pread(m.descriptor, destino + leidos, cuantos - leidos, m.posicion);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m.errorLectura = n < 0 ? errno : 0;
            break;
        }
        leidos += static_cast<size_t>(n);
        m.posicion += n;
    }
    return leidos;
}

static size_t LeeDeMemoria(Miembro& m, uint8_t* destino, size_t cuantos)
{
    const size_t leidos = cuantos < m.memoriaRestante ? cuantos : static_cast<size_t>(m.memoriaRestante);
    memcpy(destino, m.memoria, leidos);
    m.memoria += leidos;
    m.memoriaRestante -= leidos;
    return leidos;
}

size_t LeeBloqueComprimido(Miembro& m, uint8_t* destino, size_t cuantos)
{
    cuantos = std::min<size_t>(cuantos, m.comprimido - m.leidos);
    const size_t leidos = m.memoria           ? LeeDeMemoria(m, destino, cuantos)
                          : m.descriptor < 0 ? fread(destino, 1, cuantos, Entrada)
                                             : LeeEnPosicion(m, destino, cuantos);
    m.leidos += static_cast<uint32_t>(leidos);
    if (leidos < cuantos) {
        if (m.descriptor < 0 && ferror(Entrada))
            m.errorLectura = errno;
        // The member is used up from here on, so a reader that asks for more
        // (the decoder's read-ahead, a skip) ends at once.
        m.truncado = true;
        m.leidos = m.comprimido;
    }
    return leidos;
}

void PasaResto(Miembro& m)
{
    uint8_t resto[4096];
    while (m.leidos < m.comprimido)
        LeeBloqueComprimido(m, resto, sizeof resto);
    if (m.truncado)
        ReportaCorte(&m);
}

bool MideResto(int64_t* quedan)
{
    const off_t aqui = ftello(Entrada);
    struct stat datos;
    if (aqui < 0 || fstat(fileno(Entrada), &datos) != 0 || !S_ISREG(datos.st_mode))
        return false;
    *quedan = datos.st_size - aqui;
    return true;
}

// Data cut short is found by the archive's size, as reading would find it.
void SaltaDatos(Miembro& m)
{
    const off_t resto = static_cast<off_t>(m.comprimido - m.leidos);
    int64_t quedan;
    if (MideResto(&quedan)) {
        if (resto > quedan)
            ReportaCorte(&m);
        if (fseeko(Entrada, resto, SEEK_CUR) == 0) {
            m.leidos = m.comprimido;
            return;
        }
    }
    PasaResto(m);
}

// ---- Writing ---------------------------------------------------------------------

// The reason a write failed is noted where it happens: a member restored by
// a thread has its file closed, and its failure reported, by the main one.
static void Escribe(Miembro& m, const uint8_t* datos, size_t cuantos)
{
    if (fwrite(datos, 1, cuantos, m.salida) != cuantos && m.errorEscritura == 0)
        m.errorEscritura = errno;
}

// Translation first, then CR dropping; converted bytes gather in a block,
// so a converted block is still one write.
static void EscribeBloqueTraduciendo(Miembro& m, const uint8_t* datos, size_t cuantos)
{
    uint8_t convertidos[4096];
    while (cuantos > 0) {
        const size_t trozo = cuantos < sizeof convertidos ? cuantos : sizeof convertidos;
        size_t n = 0;
        for (size_t i = 0; i < trozo; ++i) {
            const uint8_t octeto = m.traducir ? Tra[datos[i]] : datos[i];
            convertidos[n] = octeto;
            n += !(m.cuidaCR && octeto == '\r');
        }
        Escribe(m, convertidos, n);
        datos += trozo;
        cuantos -= trozo;
    }
}

// Every restored byte counts for the marks, also one the conversion leaves
// out.
void EscribeBloque(Miembro& m, const uint8_t* datos, size_t cuantos)
{
    if (!m.traducir && !m.cuidaCR)
        Escribe(m, datos, cuantos);
    else
        EscribeBloqueTraduciendo(m, datos, cuantos);
    m.escritos += static_cast<uint32_t>(cuantos);
    if (m.enVivo)
        AvanzaBarraBloque(static_cast<uint32_t>(cuantos));
}

void CompruebaSalidaEstandar()
{
    errno = 0;
    if (fflush(stdout) != 0 || ferror(stdout))
        ErrorFatal("Can't write to standard output", Causa{errno});
}

}  // namespace vuvodiv
