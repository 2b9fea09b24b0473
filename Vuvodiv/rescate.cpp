// Salvage: every member that damage left whole, from an archive the plain
// reader gives up on.  The format has no magic number, index or checksum,
// so a member is trusted only when its bytes prove it:
//
//   - The walk reads the archive's image in memory front to back.  A member
//     that follows an accepted one is in sequence: an LZH member is decoded
//     straight into its output, a stored one copied.
//   - Where the walk breaks (a header that fails the rules, data that fails
//     its decode, zeros that are no end header) a scan tries every later
//     offset, cheapest rule first, and takes the first candidate it can
//     confirm: an LZH member by a full decode with exact bit accounting, a
//     stored one only when what follows it links up (the end of the file, a
//     true end header, or a short chain of headers reaching a decoded
//     member).  A damaged member's stated size is not trusted: the scan
//     starts right after its header's first byte.
//   - A size one bit off is repaired when the data proves it; a member cut
//     by the end of the file or a zeroed block keeps its verified prefix as
//     NAME.partial; a stored member a zeroed block overlaps is NAME.suspect.
//
// Decodes are the plain decoder with extra checks (padding bits 0, no
// position beyond the encoder's reach), fed from memory; each stops at its
// first failed check, and their data in all is capped at a small multiple
// of the archive's size, so no file can make this slow.  Main thread only.

#include "rescate.h"
#include "vuvodiv.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vuvodiv {

namespace {

constexpr uint64_t Ninguno = UINT64_MAX;
constexpr uint64_t TamBloque = 512;      // the sector a damaged medium loses whole
constexpr int MaxSaltosEnlace = 6;       // headers a link may pass through

const uint8_t* Datos;        // the archive's bytes
uint64_t Tamano;
bool Mapeado;
uint64_t FinNoCero;          // one past the last byte other than 0

uint64_t Trabajo;            // data bytes decodes took, and 1/16 of their output
bool TopeVisto;              // a candidate went unchecked for the cap below

// Decoding may cost 16 times the archive's bytes up to where it stands, and
// 1 MiB more: a crafted stretch uses up its own share, never the share of
// the members after it, and the whole run stays within 16 times the file.
bool Agotado(uint64_t hasta)
{
    return Trabajo > 16 * hasta + (uint64_t{1} << 20);
}
uint64_t AlcanceCola;        // how far the accepted stored members' attempts reach

uint32_t Aceptados, Reparados, Parciales, Sospechosos, Perdidos;
uint32_t Rechazados;         // refused as a plain restore refuses them
uint64_t NoContados;
bool FinVisto;

// Whether the walk has met damage so far.
bool HayDano() { return NoContados + Perdidos + Parciales + Sospechosos + Reparados > 0; }

uint64_t Pos;                // where the walk stands; past 0, what led here vouches for a header

// A member the walk or a scan found: its record (the name to write, or "@"
// and the offset), where its header stands and what was repaired in it.
struct Hallado : Miembro {
    uint64_t inicio;                  // of the header
    char reparacion[80];              // what was repaired, or ""
    uint64_t Datos() const { return inicio + TamCabecera; }
    uint64_t Fin() const { return Datos() + comprimido; }
};

Decodificador Deco;   // salvage's own, strict, on the main thread
Miembro Muestra;      // the record of a decode that only verifies

// ---- The archive in memory ----------------------------------------------------

// What is no regular file is read whole, into a block that doubles.
void LeeEntero(int fd)
{
    uint8_t* bloque = nullptr;
    for (size_t capacidad = 1 << 16;; capacidad *= 2) {
        uint8_t* mayor = static_cast<uint8_t*>(realloc(bloque, capacidad));
        if (!mayor)
            ErrorFatal("Not enough memory to salvage the archive");   // Datos keeps the block for LiberaRescate
        Datos = bloque = mayor;
        while (Tamano < capacidad) {
            const ssize_t n = read(fd, bloque + Tamano, capacidad - Tamano);
            if (n == 0)
                return;
            if (n < 0 && errno != EINTR)
                ErrorFatalCon("Can't read file '%s'", NombreArchivo, Causa{errno});
            Tamano += n > 0 ? static_cast<uint64_t>(n) : 0;
        }
    }
}

// The map of a file cut short under it (by another process) faults where
// the file no longer is: that is reported as a read error, not a crash.
char MensajeCorte[4 * TamNombreArchivo + 96];
size_t LargoCorte;
int DescriptorCorte;
struct sigaction BusAnterior;

void TrataCorte(int) { SalDesdeSenal(DescriptorCorte, MensajeCorte, LargoCorte); }

void VigilaCorte()
{
    const char* formato = ConsolaErrores == stderr ? "Vuvodiv: can't read '%s': it was cut short while read\n"
                                                   : "\nFatal error. Can't read file '%s'\n";
    const int n = snprintf(MensajeCorte, sizeof MensajeCorte, formato, EscapaArgumento(NombreArchivo));
    LargoCorte = n > 0 ? std::min(static_cast<size_t>(n), sizeof MensajeCorte - 1) : 0;
    DescriptorCorte = fileno(ConsolaErrores);
    struct sigaction accion = {};
    accion.sa_handler = TrataCorte;
    sigemptyset(&accion.sa_mask);
    sigaction(SIGBUS, &accion, &BusAnterior);
}

void CargaArchivo()
{
    const int fd = fileno(Entrada);
    struct stat datos;
    Tamano = 0;
    Mapeado = fstat(fd, &datos) == 0 && S_ISREG(datos.st_mode);
    if (!Mapeado) {
        LeeEntero(fd);
    } else if ((Tamano = static_cast<uint64_t>(datos.st_size)) > 0) {
        void* imagen = mmap(nullptr, Tamano, PROT_READ, MAP_PRIVATE, fd, 0);
        if (imagen == MAP_FAILED)
            ErrorFatalCon("Can't read file '%s'", NombreArchivo);
        madvise(imagen, Tamano, MADV_SEQUENTIAL);
        Datos = static_cast<const uint8_t*>(imagen);
        VigilaCorte();
    }
    for (FinNoCero = Tamano; FinNoCero > 0 && Datos[FinNoCero - 1] == 0; --FinNoCero) {
    }
}

// ---- What is printed ----------------------------------------------------------------

// A member's line (visible: its name) or a line of the archive's own
// (nullptr).  Quiet, only an exception is printed, on standard error.
void Linea(bool excepcion, const char* visible, const char* formato, ...) __attribute__((format(printf, 3, 4)));
void Linea(bool excepcion, const char* visible, const char* formato, ...)
{
    char texto[TamNombreVisible + 160];
    va_list argumentos;
    va_start(argumentos, formato);
    vsnprintf(texto, sizeof texto, formato, argumentos);
    va_end(argumentos);
    if (Consola && visible)
        Mensaje("\n%-14s  %s", visible, texto);
    else if (Consola)
        Mensaje("\n%s", texto);
    else if (excepcion && visible)
        fprintf(ConsolaErrores, "%s: %s\n", visible, texto);
    else if (excepcion)
        fprintf(ConsolaErrores, "%s\n", texto);
}

// A range found by a search that the work limit cut short is blamed on the
// limit, whatever broke the walk there.
void NoContado(uint64_t desde, uint64_t hasta, const char* motivo, const char* visible)
{
    if (TopeVisto) {
        motivo = "the work limit was reached";
        visible = nullptr;
        TopeVisto = false;
    }
    if (hasta <= desde)
        return;
    NoContados += hasta - desde;
    Linea(true, nullptr, "bytes %llu-%llu (%llu) not accounted for: %s%s%s%s", static_cast<unsigned long long>(desde),
          static_cast<unsigned long long>(hasta), static_cast<unsigned long long>(hasta - desde), motivo,
          visible ? " '" : "", visible ? visible : "", visible ? "'" : "");
}

// ---- The rules ---------------------------------------------------------------------------

void LeeMiembro(uint64_t inicio, Hallado& m)
{
    const uint8_t* c = Datos + inicio;
    m.inicio = inicio;
    LeeCampos(c, m);
    PreparaMiembro(m);   // its conversion too: salvage takes types 0..3 only
    // A name the console must escape (a byte of an invalid sequence, as a
    // flipped high bit leaves) is as unusable as an unsafe one.
    if (!EsNombrePlausible(c, TamNombre) || !EsNombreSeguro(m.nombre) || strcmp(m.nombre, m.visible) != 0) {
        snprintf(m.nombre, sizeof m.nombre, "@%08llx", static_cast<unsigned long long>(inicio));
        EscapaNombre(m.nombre, m.visible);
    }
    m.reparacion[0] = '\0';
}

// A header as the compressor writes it: type, method, sizes it can have and
// a name safe to write; with cabida, data that ends inside the file, as a
// header a scan stops at must have; with unBit, a stored header whose sizes
// are one bit apart passes too, as one a repair may mend.
bool EsCabecera(uint64_t q, bool cabida, bool unBit = false)
{
    if (q + TamCabecera > Tamano)
        return false;
    const uint8_t* c = Datos + q;
    if (c[PosMetodo] > MetodoLZH || c[PosTipo] > TipoTextoTraducido || !EsNombrePlausible(c, TamNombre))
        return false;
    const uint32_t original = LeeTamano(c + PosTamanoOriginal);
    const uint32_t comprimido = LeeTamano(c + PosTamanoComprimido);
    if (!SonTamanosPlausibles(c[PosMetodo], original, comprimido) &&
        !(unBit && c[PosMetodo] == MetodoPlano && __builtin_popcount(original ^ comprimido) == 1))
        return false;
    if (cabida && q + TamCabecera + comprimido > Tamano)
        return false;
    char nombre[TamNombre + 1];
    memcpy(nombre, c, TamNombre);
    nombre[TamNombre] = '\0';
    ArreglaSeparador(nombre);
    return EsNombreSeguro(nombre);
}

bool EsCandidato(uint64_t q) { return EsCabecera(q, true); }

// Zeros at q are the end header when 22 of them are there and what follows
// is nothing, zeros, or no further than a stored member's attempt reached.
// The sound bound of an attempt is loose, so a tail is taken only where
// more is known: a scan takes zeros that run to the end of the file; a
// stored member found by a scan takes exactly 22 zeros within its own
// attempt's reach; the walk, in sequence, takes zeros within the reach of
// the stored members before them when no member can be confirmed after.
enum class Fin { Escaneo, Enlace, Secuencia };
uint64_t Busca(uint64_t desde, bool finales);

bool EsFin(uint64_t q, Fin clase, uint64_t alcance)
{
    static const uint8_t ceros[TamCabecera] = {};
    if (q + TamCabecera > Tamano || memcmp(Datos + q, ceros, TamCabecera) != 0)
        return false;
    if (q + TamCabecera >= FinNoCero)
        return true;
    if (clase == Fin::Escaneo || Tamano > alcance)
        return false;
    if (clase == Fin::Enlace)
        return Datos[q + TamCabecera] != 0;
    return Busca(q + 1, false) == Tamano;
}

struct Decodificado {
    bool verificado;
    bool cortado;        // stopped by the end of the data at hand, no damage seen before
    uint32_t seguros;    // bytes of whole tokens inside the data at hand
};

// The plain decoder, strict, on hay of the member's data (fewer than
// comprimido reads as a cut), through the record r into salida.
Decodificado Decodifica(Miembro& r, uint64_t datos, uint32_t original, uint32_t comprimido, uint64_t hay,
                        FILE* salida)
{
    hay = std::min<uint64_t>(hay, comprimido);
    if (Agotado(datos + hay)) {
        TopeVisto = true;
        return {false, false, 0};
    }
    r.original = original;
    r.comprimido = comprimido;
    r.leidos = r.escritos = 0;
    r.truncado = r.danado = r.enVivo = false;
    r.errorLectura = 0;
    r.descriptor = -1;
    r.memoria = Datos + datos;
    r.memoriaRestante = hay;
    r.salida = salida;
    Deco.estricto = true;
    Deco.producidosSeguros = 0;
    DecodificaLZH(r, Deco);
    Trabajo += hay - r.memoriaRestante + Deco.producidosSeguros / 16;   // what the decode did, not what it might have
    r.memoria = nullptr;
    r.salida = nullptr;
    return {!r.danado && !r.truncado, r.truncado && !r.danado, Deco.producidosSeguros};
}

// A decode that only verifies, into the sink.
Decodificado Verifica(uint64_t datos, uint32_t original, uint32_t comprimido, uint64_t hay)
{
    return Decodifica(Muestra, datos, original, comprimido, hay, AbreSumidero());
}

bool VerificaLZH(const Hallado& m)
{
    return Verifica(m.Datos(), m.original, m.comprimido, m.comprimido).verificado;
}

// Whether what starts at e, where a stored member's data ends, can follow a
// member: the end of the file, the end header, or a member.  What a member
// there must show depends on who asks: the walk in sequence, a header (or
// stored sizes one bit apart, which a repair may mend); a repair, a header;
// a member found by a scan, a chain of a few headers that ends at the end
// or at a decoded LZH member (one that fails its decode on the way is
// passed by its stated size: only where the chain ends is trusted).
enum class Enlace { Cabecera, Plausible, Cadena };

bool Enlaza(uint64_t e, uint64_t alcance, Enlace clase, int saltos = 0)
{
    if (e == Tamano)
        return true;
    if (e + TamCabecera > Tamano)
        return false;
    if (Datos[e] == 0)
        return EsFin(e, clase == Enlace::Cadena ? Fin::Enlace : Fin::Secuencia, alcance);
    if (clase != Enlace::Cadena)
        return EsCabecera(e, false, clase == Enlace::Cabecera);
    if (!EsCandidato(e))
        return false;
    Hallado m;
    LeeMiembro(e, m);
    if (m.metodo == MetodoLZH && VerificaLZH(m))
        return true;
    if (m.metodo == MetodoPlano)
        alcance = std::max(alcance, m.Datos() + AlcanceIntento(m.comprimido));
    return saltos < MaxSaltosEnlace && Enlaza(m.Fin(), alcance, clase, saltos + 1);
}

bool Confirma(uint64_t q)
{
    Hallado m;
    LeeMiembro(q, m);
    if (m.metodo == MetodoLZH)
        return VerificaLZH(m);
    return Enlaza(m.Fin(), std::max(AlcanceCola, m.Datos() + AlcanceIntento(m.comprimido)), Enlace::Cadena);
}

// The walk and the scans only go forward (a member's bytes are read again
// at most from its header on), so the pages of a mapped archive behind
// hasta are let go: memory stays at what a stretch of it needs, however
// large the archive.  Pages read again come back from the file.
uint64_t Suelto;   // pages let go below here

void SueltaHasta(uint64_t hasta)
{
    constexpr uint64_t Paso = uint64_t{1} << 20;
    if (!Mapeado || hasta < Suelto + Paso)
        return;
    Suelto = hasta / Paso * Paso;
    madvise(const_cast<uint8_t*>(Datos), Suelto, MADV_DONTNEED);
}

// The first offset from desde on where a confirmed member or (finales)
// the end header starts, or the archive's size.  The type and method bytes
// turn away nearly every offset, so the loop stays cheap.
uint64_t Busca(uint64_t desde, bool finales)
{
    if (Tamano < TamCabecera)
        return Tamano;
    constexpr uint64_t Tramo = uint64_t{1} << 18;
    const uint64_t ultimo = Tamano - TamCabecera;
    for (uint64_t q = desde; q <= ultimo;) {
        for (const uint64_t hasta = std::min(q + Tramo, ultimo + 1); q < hasta; ++q) {
            const uint8_t* c = Datos + q;
            if (c[PosMetodo] > MetodoLZH || c[PosTipo] > TipoTextoTraducido)
                continue;
            if (c[0] == 0) {
                if (finales && EsFin(q, Fin::Escaneo, 0))
                    return q;
                continue;
            }
            if (EsCandidato(q) && Confirma(q))
                return q;
        }
        if (q > desde + 4 * Tramo)
            SueltaHasta(q - 4 * Tramo);
    }
    return Tamano;
}

// The first aligned block of zeros (512 bytes, or fewer at the end of the
// file) that meets [desde, hasta); where it starts inside it, or Ninguno.
uint64_t BloqueCero(uint64_t desde, uint64_t hasta)
{
    for (uint64_t b = desde / TamBloque * TamBloque; b < hasta && b < Tamano; b += TamBloque)
        if (std::all_of(Datos + b, Datos + std::min(b + TamBloque, Tamano), [](uint8_t x) { return x == 0; }))
            return std::max(b, desde);
    return Ninguno;
}

// ---- What is written ------------------------------------------------------------

char Final[TamNombre + 16];   // the last step of the name and its suffix

// The names written, by a hash of name and suffix: on a damaged archive a
// later member of the same name (a damaged bit may make one) is written by
// its offset, not over the first.  A full table compares no more names.
constexpr int TamEscritos = 8192;
uint64_t Escritos[TamEscritos];

// Whether the name with sufijo was written before; anota: it is now.
bool Escrito(const char* nombre, const char* sufijo, bool anota)
{
    uint64_t h = 14695981039346656037u;
    for (const char* t : {nombre, "/", sufijo})
        for (; *t; ++t)
            h = (h ^ static_cast<uint8_t>(*t)) * 1099511628211u;
    h |= 1;   // 0 marks a free entry
    for (int i = 0; i < TamEscritos; ++i) {
        uint64_t& entrada = Escritos[(h + static_cast<uint64_t>(i)) % TamEscritos];
        if (entrada == 0 && anota)
            entrada = h;
        if (entrada == h || entrada == 0)
            return entrada == h;
    }
    return false;
}

// The member's temporary file beside its final name (the name and sufijo),
// with every rule of a plain restore; nullptr when nothing is to be
// written, with *motivo saying why when the member was refused.
FILE* AbreArchivo(Hallado& m, const char* sufijo, const char** motivo)
{
    *motivo = nullptr;
    if (ModoElegido->destino != AArchivo || !EstaSeleccionado(m.visible))
        return nullptr;
    // On an archive not known to be damaged a name met twice is what the
    // packer wrote: the later member replaces the earlier, as in a restore.
    if (HayDano() && Escrito(m.nombre, sufijo, false)) {
        snprintf(m.nombre, sizeof m.nombre, "@%08llx", static_cast<unsigned long long>(m.inicio));
        EscapaNombre(m.nombre, m.visible);
    }
    const char* ultimo = PreparaRuta(m, motivo, true);   // one member at a time
    if (!ultimo) {
        CierraRuta(m);
        return nullptr;
    }
    snprintf(Final, sizeof Final, "%s%s", ultimo, sufijo);
    if (SinReemplazo && ExisteEnDestino(m, Final)) {
        CierraRuta(m);
        *motivo = "skipped: the file exists";
        return nullptr;
    }
    const int destino = CarpetaSalida;
    CarpetaSalida = m.carpeta;
    m.errorEscritura = 0;
    FILE* archivo = CreaTemporal(Final);
    CarpetaSalida = destino;
    if (!archivo) {
        const int error = errno;
        CierraRuta(m);
        ErrorFatalCon("Can't create file '%s'", m.nombre, Causa{error});
    }
    return archivo;
}

// Keeps or drops the member's file, and prints its line when it was chosen.
// A member refused (its path blocked, a link, the archive itself) is not
// restored, as in a plain restore; one skipped by -n is.
void CierraSalida(FILE* archivo, Hallado& m, const char* sufijo, bool conservar, const char* motivo,
                  const char* estado)
{
    if (archivo) {
        if (!conservar) {
            DescartaTemporal(archivo);
        } else if (!ConfirmaTemporal(archivo, Final)) {
            const int error = m.errorEscritura != 0 ? m.errorEscritura : errno;
            CierraRuta(m);
            ErrorFatalCon("Can't write file '%s'", m.nombre, Causa{error});
        } else {
            Escrito(m.nombre, sufijo, true);
        }
        CierraRuta(m);
    }
    if (!conservar || !EstaSeleccionado(m.visible))
        return;
    if (motivo) {
        const bool omitido = strncmp(motivo, "skipped", 7) == 0;
        Rechazados += !omitido;
        Linea(true, m.visible, "%s%s", omitido ? "" : "not restored: ", motivo);
    } else
        Linea(*m.reparacion != '\0' || strcmp(estado, "restored") != 0, m.visible, "%10lu  %s%s%s",
              static_cast<unsigned long>(m.original), ModoElegido->destino != AArchivo ? "verified" : estado,
              *m.reparacion ? ", " : "", m.reparacion);
}

void Acepta(const Hallado& m)
{
    ++Aceptados;
    Reparados += *m.reparacion != '\0';
    Pos = m.Fin();
}

// Stored bytes pass through a buffer of ours: written straight from the
// map, a page of an archive cut short under it would fail the write (the
// kernel reads it) and be blamed on the member's file, where read here it
// faults as the read error it is.
void CopiaDelMapa(Miembro& m, const uint8_t* datos, uint64_t cuantos)
{
    static uint8_t bloque[1 << 16];
    while (cuantos > 0) {
        const size_t trozo = static_cast<size_t>(std::min<uint64_t>(cuantos, sizeof bloque));
        memcpy(bloque, datos, trozo);
        EscribeBloque(m, bloque, trozo);
        datos += trozo;
        cuantos -= trozo;
    }
}

// The member's first cuantos bytes into its file (the name and sufijo) or
// the sink: copied, or decoded from hay bytes of its data.  An LZH member
// is kept when its decode verifies or when its data was cut (hay short of
// it), the bytes the data at hand proves; false when nothing is kept.  A
// file with a suffix is reported after causa, by the name it got.
bool Vuelca(Hallado& m, const char* sufijo, uint64_t cuantos, uint64_t hay, const char* causa)
{
    const char* motivo;
    FILE* archivo = AbreArchivo(m, sufijo, &motivo);
    FILE* destino = archivo ? archivo : AbreSumidero();
    bool bien = true;
    if (m.metodo == MetodoLZH) {
        bien = Decodifica(m, m.Datos(), static_cast<uint32_t>(cuantos), m.comprimido, hay, destino).verificado ||
               hay < m.comprimido;
    } else {
        m.salida = destino;
        CopiaDelMapa(m, Datos + m.Datos(), cuantos);
        m.salida = nullptr;
    }
    char estado[TamNombreVisible + 96];
    snprintf(estado, sizeof estado, "%skept as '%s%s'", causa, m.visible, sufijo);
    CierraSalida(archivo, m, sufijo, bien, motivo, *sufijo ? estado : "restored");
    return bien;
}

bool EscribeLZH(Hallado& m) { return Vuelca(m, "", m.original, m.comprimido, ""); }

// The prefix that the data at hand proves (hay bytes of it), as NAME.partial;
// the walk goes on after those bytes.
void EscribeParcial(Hallado& m, uint64_t hay, const char* causa)
{
    Pos = m.Datos() + hay;
    uint64_t seguros = hay;
    if (m.metodo == MetodoLZH) {
        const Decodificado d = Verifica(m.Datos(), m.original, m.comprimido, hay);
        seguros = d.cortado ? d.seguros : 0;
    }
    if (seguros == 0) {
        ++Perdidos;
        if (EstaSeleccionado(m.visible))
            Linea(true, m.visible, "not restored: %s, nothing of it verified", causa);
        return;
    }
    ++Parciales;
    char corte[96];
    snprintf(corte, sizeof corte, "%s: %llu bytes ", causa, static_cast<unsigned long long>(seguros));
    Vuelca(m, ".partial", seguros, hay, corte);
}

// ---- Repairs ---------------------------------------------------------------------

// The header's size campo (called nombre) set to bueno, and the repair noted.
bool Repara(Hallado& m, uint32_t& campo, const char* nombre, uint32_t bueno)
{
    snprintf(m.reparacion, sizeof m.reparacion, "%s size repaired (the header said %lu)", nombre,
             static_cast<unsigned long>(campo));
    campo = bueno;
    return true;
}

// One size of an LZH header one bit off.  The original size: a decode with
// no size to stop at produces, before it runs out of data, the member's
// bytes and at most 7 more (literals in the padding bits); one value near
// that count differs from the header's in one bit worth 64 or more.  The
// packed size: the data must then end where a member or the end begins.
bool ReparaLZH(Hallado& m)
{
    const uint64_t hay = Tamano - m.Datos();
    if (m.comprimido > 0 && m.comprimido <= hay) {
        const uint32_t tope = static_cast<uint32_t>(std::min<uint64_t>(48 * uint64_t{m.comprimido} + Anticipo, UINT32_MAX));
        const uint32_t seguros = Verifica(m.Datos(), tope, m.comprimido, hay).seguros;
        for (int bit = 6; bit < 32; ++bit) {
            const uint32_t original = m.original ^ (uint32_t{1} << bit);
            if (original <= seguros && original + 8 > seguros &&
                SonTamanosPlausibles(MetodoLZH, original, m.comprimido) &&
                Verifica(m.Datos(), original, m.comprimido, hay).verificado)
                return Repara(m, m.original, "original", original);
        }
    }
    for (int bit = 0; bit < 32; ++bit) {
        const uint32_t comprimido = m.comprimido ^ (uint32_t{1} << bit);
        if (comprimido <= hay && SonTamanosPlausibles(MetodoLZH, m.original, comprimido) &&
            Enlaza(m.Datos() + comprimido, AlcanceCola, Enlace::Plausible) &&
            Verifica(m.Datos(), m.original, comprimido, hay).verificado)
            return Repara(m, m.comprimido, "packed", comprimido);
    }
    return false;
}

// A stored header whose two sizes differ in one bit: the right one is the
// one after which, and only after which, a member or the end begins.
bool ReparaPlano(Hallado& m)
{
    if (__builtin_popcount(m.original ^ m.comprimido) != 1)
        return false;
    auto enlaza = [&](uint32_t tamano) {
        return m.Datos() + tamano <= Tamano &&
               Enlaza(m.Datos() + tamano, std::max(AlcanceCola, m.Datos() + AlcanceIntento(tamano)), Enlace::Plausible);
    };
    const bool porOriginal = enlaza(m.original);
    if (porOriginal == enlaza(m.comprimido))
        return false;
    return porOriginal ? Repara(m, m.comprimido, "packed", m.original)
                       : Repara(m, m.original, "original", m.comprimido);
}

// ---- The walk ------------------------------------------------------------------------

// The walk broke at desde: on from the next confirmed member or end header.
void Salta(uint64_t desde, const char* motivo, const char* visible = nullptr)
{
    const uint64_t q = Busca(desde + 1, true);
    NoContado(desde, q, motivo, visible);
    Pos = q;
}

void Pierde(const Hallado& m, const char* motivo)
{
    ++Perdidos;
    if (EstaSeleccionado(m.visible))
        Linea(true, m.visible, "not restored: %s", motivo);
}

void SigueLZH(Hallado& m)
{
    const uint64_t hay = Tamano - m.Datos();
    const bool tamanos = SonTamanosPlausibles(MetodoLZH, m.original, m.comprimido);
    if ((tamanos && m.comprimido <= hay && EscribeLZH(m)) || (ReparaLZH(m) && EscribeLZH(m)))
        return Acepta(m);
    if (tamanos && m.comprimido > hay)
        return EscribeParcial(m, hay, "cut by the end of the archive");
    const uint64_t cero = tamanos ? BloqueCero(m.Datos(), m.Fin()) : Ninguno;
    if (cero != Ninguno) {
        EscribeParcial(m, cero - m.Datos(), "cut by a zeroed block");
        return Salta(cero, "zeroed bytes in", m.visible);
    }
    Pierde(m, tamanos ? "damaged data" : "damaged header");
    Salta(m.inicio, tamanos ? "damaged data of" : "damaged header of", m.visible);
}

// A stored member written and accepted; its attempt's tail may follow.
void AceptaPlano(Hallado& m)
{
    const bool sospechoso = BloqueCero(m.Datos(), m.Fin()) != Ninguno;
    Sospechosos += sospechoso;
    Vuelca(m, sospechoso ? ".suspect" : "", m.comprimido, m.comprimido, "a zeroed block overlaps it: ");
    AlcanceCola = std::max(AlcanceCola, m.Datos() + AlcanceIntento(m.comprimido));
    Acepta(m);
}

// A stored member in sequence: nothing in its data can be checked, but
// what follows it can.  When that is no member, the member's data may be
// longer or shorter than its header says, or the header may be bytes that
// only look like one: the scan then starts inside it, and a member found
// there means this one is not what its header says.
// At the start of the file nothing vouches for the header: a member must
// be confirmed after it.
void SiguePlano(Hallado& m)
{
    const bool principio = m.inicio == 0;
    if (m.original != m.comprimido && !ReparaPlano(m)) {
        Pierde(m, "damaged header");
        return Salta(m.inicio, "damaged header of", m.visible);
    }
    if (m.Fin() > Tamano)
        return EscribeParcial(m, Tamano - m.Datos(), "cut by the end of the archive");
    if (Enlaza(m.Fin(), std::max(AlcanceCola, m.Datos() + AlcanceIntento(m.comprimido)), Enlace::Cabecera))
        return AceptaPlano(m);
    const uint64_t q = Busca(m.inicio + 1, true);
    // An empty member that nothing vouches for and that zeros follow is the
    // last bytes of a shifted member read with the start of the end header.
    const bool vacio = m.comprimido == 0 && m.Fin() < Tamano && Datos[m.Fin()] == 0;
    if (!principio && q < m.Fin()) {
        Pierde(m, "its data overlaps a later member");
        NoContado(m.inicio, q, "damaged member", m.visible);
    } else if (vacio || (principio && (q < m.Fin() || q == Tamano))) {
        NoContado(m.inicio, q, "bytes that are no member", nullptr);
    } else {
        AceptaPlano(m);
        NoContado(m.Fin(), q, "damaged bytes after", m.visible);
    }
    Pos = q;
}

void Camina()
{
    while (Pos < Tamano) {
        if (Datos[Pos] == 0) {
            if (EsFin(Pos, Fin::Secuencia, AlcanceCola)) {
                FinVisto = true;
                return;
            }
            Salta(Pos, Pos + TamCabecera > Tamano ? "an end header cut short" : "bytes that are no member");
            continue;
        }
        if (Pos + TamCabecera > Tamano) {
            NoContado(Pos, Tamano, "a member header cut short", nullptr);
            return;
        }
        SueltaHasta(Pos);
        Hallado m;
        LeeMiembro(Pos, m);
        // Nothing before the first header vouches for it: it is in sequence
        // too, but only when it passes every rule a scan asks of one, and a
        // stored member there must link.
        const bool principio = Pos == 0;
        if (principio ? !EsCandidato(Pos) : m.tipo > TipoTextoTraducido || m.metodo > MetodoLZH) {
            Salta(Pos, principio ? "bytes that are no member" : "damaged header of", principio ? nullptr : m.visible);
            continue;
        }
        if (m.metodo == MetodoLZH)
            SigueLZH(m);
        else
            SiguePlano(m);
    }
}

void Inicia()
{
    Pos = Trabajo = AlcanceCola = NoContados = Suelto = 0;
    memset(Escritos, 0, sizeof Escritos);
    Aceptados = Reparados = Parciales = Sospechosos = Perdidos = Rechazados = 0;
    FinVisto = TopeVisto = false;
    Datos = nullptr;
    CargaArchivo();
}

}  // namespace

void LiberaRescate()
{
    if (Mapeado && Tamano > 0) {
        munmap(const_cast<uint8_t*>(Datos), Tamano);
        sigaction(SIGBUS, &BusAnterior, nullptr);
    }
    else if (!Mapeado)
        free(const_cast<uint8_t*>(Datos));
    Datos = nullptr;
    Tamano = 0;
    Mapeado = false;
}

uint64_t TrabajoDeRescate() { return Trabajo; }

int Rescata()
{
    Inicia();
    Camina();
    if (!FinVisto)
        Linea(true, nullptr, "%s", Tamano == 0 ? "the archive is empty" : "the archive ends without its end header");
    LiberaRescate();
    fclose(Entrada);
    Entrada = nullptr;
    Mensaje("\n\n%lu member%s %s (%lu repaired), %lu partial, %lu suspect, %lu lost; "
            "%llu bytes not accounted for",
            static_cast<unsigned long>(Aceptados), Aceptados == 1 ? "" : "s",
            ModoElegido->destino != AArchivo ? "verified" : "salvaged", static_cast<unsigned long>(Reparados),
            static_cast<unsigned long>(Parciales), static_cast<unsigned long>(Sospechosos),
            static_cast<unsigned long>(Perdidos), static_cast<unsigned long long>(NoContados));
    const int sinMiembro = InformaNombresSinMiembro();
    if (!FinVisto || HayDano())
        ErrorFatalCon("Archive '%s' is damaged: not all of it could be salvaged", NombreArchivo);
    return Concluye(Rechazados, sinMiembro);
}

}  // namespace vuvodiv
