// The restorer, room by room from the bottom: its settings, a member's
// record and bytes, the LZH decoder, the member's file, the pool of
// threads, the console's member lines, and the loop over the archive.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "consola.h"
#include "format.h"
#include "nombres.h"
#include "temporales.h"

namespace vuvodiv {

// ---- Settings (opciones.cpp) --------------------------------------------------
// What the run does with each chosen member, derived once from the mode
// the options choose (restore, -p, -l, -t).
enum DestinoOctetos {
    AArchivo,            // a file for each member, beside its final name
    ASalidaEstandar,     // the restored bytes on standard output
    ANinguna,            // decoded and thrown away, or not decoded at all
};
struct Modo {
    DestinoOctetos destino;
    bool decodifica;           // false: one line per member from its header alone
    bool salidaEsProducto;     // standard output is what the user asked for: it must take every byte
    bool conHilos;             // members may be handed to threads
    bool diceOK;               // a sound member's line ends in "OK", not its size
    const char* corte;         // what a cut member's line says before the run stops, or nullptr
    const char* prefijoFallo;  // before why a member failed
    const char* fallidos;      // the closing count of failed members
};
extern const Modo ModoRestaura;   // the one-argument call
extern const Modo ModoTuberia;    // -p
extern const Modo ModoLista;      // -l
extern const Modo ModoPrueba;     // -t
extern const Modo* ModoElegido;

extern bool SinReemplazo;               // -n: an existing file is kept
extern bool Rescate;                    // -s: salvage a damaged archive
extern bool Silencio;                   // -q: errors only
extern const char* CarpetaDestino;      // -d DIR, or nullptr: the working folder
extern int HilosPedidos;                // -j N, or one per CPU the process may use

// Member names given after BASE; none means every member.
constexpr int MaxSeleccion = 1024;
extern int NumSeleccion;

// The index of BASE in argv, or one of LlamadaUso, LlamadaTerminada,
// LlamadaErronea (opciones.h).
int LeeOpciones(int argc, char* argv[]);
// Whether the member shown as nombreVisible is chosen; a name that picks it
// is marked as used.
bool EstaSeleccionado(const char* nombreVisible);
// The i-th name given after BASE when it picked no member, or nullptr.
const char* NombreSinMiembro(int i);
[[noreturn]] void MuestraUso();

// The archive's name, "<base>.cmp" with '_' read as '.', the file's own
// name, or NombreEntradaEstandar for "-".
extern char NombreArchivo[TamNombreArchivo];
constexpr const char* NombreEntradaEstandar = "(standard input)";
// Sets NombreArchivo from BASE (fatal when the name is too long).
void NombraArchivo(const char* base);

// ---- A member and its bytes (datos.cpp) ------------------------------------------
// A member as its header describes it and as one thread restores it.  Its
// conversion carries over to a next member of type 4 or more.
struct Miembro {
    char nombre[TamNombre + 1];       // the 12-byte field and a terminator, '_' read as '.'
    char visible[TamNombreVisible];   // as the console shows it (control bytes escaped)
    uint8_t tipo;
    uint8_t metodo;
    uint32_t original;                // the size as a file
    uint32_t comprimido;              // bytes of member data in the archive
    bool traducir;                    // every byte goes through Tra
    bool cuidaCR;                     // carriage returns are left out

    // Read through Entrada, or (a member handed out) with pread from the
    // archive's descriptor at posicion.
    int descriptor;                   // -1: Entrada
    int64_t posicion;
    const uint8_t* memoria;           // set (salvage): the data is read from here instead,
    uint64_t memoriaRestante;         // up to this many bytes (fewer read as a cut)
    uint32_t leidos;                  // data bytes of the member taken so far
    bool truncado;                    // the archive ended inside the data: the run stops
    bool danado;                      // the data cannot be what the encoder wrote
    int errorLectura;                 // errno of a read that failed; 0: none

    FILE* salida;                     // the member's file, standard output, or the sink
    int ultimo;                       // where the name's last component starts
    int carpeta;                      // the member's folder, closed once it is finished
    bool enVivo;                      // marks drawn as bytes are written (the main thread's line)
    uint32_t escritos;                // restored bytes, counted for the marks
    int errorEscritura;               // errno of the first write that failed (in the thread that wrote)
};

extern const uint8_t Tra[256];

// The member's name fixed up and escaped, its counters cleared and its
// conversion set from its type.
void PreparaMiembro(Miembro& m);
// Takes up to cuantos of the member's bytes and says how many it got (fewer
// only at the end of its data, or at a real end of file, which sets
// truncado and uses the member up).
size_t LeeBloqueComprimido(Miembro& m, uint8_t* destino, size_t cuantos);
// Writes a block of restored bytes, converted, and counts them (drawing
// their marks when m.enVivo).
void EscribeBloque(Miembro& m, const uint8_t* datos, size_t cuantos);
// Standard output took every byte written to it, or the run stops with
// "Can't write to standard output" and the reason.
void CompruebaSalidaEstandar();
// Whether the archive is a regular file, whose size says where it ends:
// *quedan is then how many of its bytes are left to read.
bool MideResto(int64_t* quedan);
// Passes over the rest of the member's data, seeking when the archive is a
// regular file; data cut short by the end of the archive is fatal.
void SaltaDatos(Miembro& m);
// Takes the rest of the data; a cut is fatal, as is a read error.
void PasaResto(Miembro& m);
// The archive ended (or could not be read) before the member (nullptr: its
// header) did: nothing restored from it can be trusted, so the run stops.
[[noreturn]] void ReportaCorte(const Miembro* m);

// ---- The LZH decoder (lzh.cpp) ------------------------------------------------------
// The decoder's state, one record per thread: the ring of restored bytes,
// eight windows long (a match reaches back one window at most, and restored
// bytes leave from the ring in blocks of up to the rest, written straight
// from it), the member's data read ahead, and the limits on bits.
constexpr int TamHistoria = 8 * TamVentana;
constexpr int MascaraHistoria = TamHistoria - 1;
constexpr int HolguraHistoria = 8;   // a match copied by words may spill past the ring
constexpr int TamEntrante = 16384;
struct Decodificador {
    uint8_t historia[TamHistoria + HolguraHistoria];
    uint8_t entrante[TamEntrante + 8];   // 8 bytes past the block for a word's refill
    Miembro* miembro;
    uint64_t octetosAntes;               // member bytes before entrante[0]
    int64_t limiteBits;
    int64_t limiteCorte;                 // INT64_MAX while nothing is missing
    int inicioBloque;                    // the first ring byte not yet written out
    int16_t camino[NumSimbolos];         // the nodes walked through, root first
    // Salvage's extra checks, off in every other mode: the padding bits
    // after the last code are 0 and no match reaches back further than the
    // encoder ever looks (position 4035), as in every stream it writes.
    bool estricto;
    // When the decode stops: the bytes of the tokens before the last one,
    // or all of them when it reached the member's size.  A decode stopped
    // by a cut keeps that many bytes that came only from data that is there.
    uint32_t producidosSeguros;
};

// Decodes the member's LZH data; sets m.danado when it cannot be what the
// encoder wrote.
void DecodificaLZH(Miembro& m, Decodificador& d);
// The position code expanded to look-ups by the next 8 bits of the stream:
// the upper 6 bits of the position, and the length of their code.
extern const uint8_t* const PrefijoPorOcteto;
extern const uint8_t* const LargoPorOcteto;
// A copy may not start in the window bytes this member has not written
// yet, which hold the previous member's bytes (only possible while fewer
// than 60 bytes are out), nor run past the member's size.  Written so that
// nothing wraps for a member of nearly 4 GiB.
inline bool EsCopiaValida(unsigned posicion, uint32_t longitud, uint32_t producidos, uint32_t tamano)
{
    if (producidos < Anticipo && posicion >= producidos + InicioEscritura)
        return false;
    return longitud <= tamano - producidos;
}

// ---- The target folder (destino.cpp) -------------------------------------------
// Opens the folder of -d (made when missing) or the working folder, and
// notes the archive's identity.  Call with the archive open as Entrada.
void AbreDestino();
// Opens the folders of the member's name one by one from the target folder,
// never through a symbolic link, into m.carpeta.  Returns the name's last
// component, or nullptr with *motivo saying why the member is refused;
// unless solo, space or descriptors running out leave *motivo nullptr.
const char* PreparaRuta(Miembro& m, const char** motivo, bool solo);
// Whether the last component exists in the member's folder (a link counts).
bool ExisteEnDestino(const Miembro& m, const char* ultimo);
// Closes the member's folder.
void CierraRuta(Miembro& m);

// ---- One member's data and output (miembro.cpp) ---------------------------------
// 1 and the member's header fields when a member follows; 0 at the end of
// the archive.  A header cut short or a read error is fatal.
int LeeCabecera(Miembro& m);
// The fields of a header at hand, its name terminated.
void LeeCampos(const uint8_t* cabecera, Miembro& m);
// Why the member cannot be restored whatever the folder holds (its name,
// its method, its sizes), or nullptr.
const char* MotivoRechazo(const Miembro& m, char* texto, size_t tamano);
// Space or descriptors ran out.  While other members are pending (solo
// false) they may be what holds them: the member is tried again once they
// are finished, and fails only if it fails alone.
inline bool SonRecursosAgotados(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EMFILE || error == ENFILE;
}
// Where the member's bytes go: a temporary file beside its final name in
// the target folder, standard output, or nowhere.  Agotada only when not
// solo.
enum Apertura { Abierta, Rechazada, Omitida, Agotada };
Apertura AbreSalida(Miembro& m, const char** motivo, bool solo);
// The member's file created again after its output was thrown away, and
// its counters cleared for its data to be read again.
void ReabreSalida(Miembro& m);
// Decodes the member's data (or copies a stored one) into its output, then
// takes what the decoder left, so that a cut in it is found.
void RestauraDatos(Miembro& m, Decodificador& d);
// The member's file thrown away (damaged data), or renamed into place
// (standard output flushed); a write that failed is fatal, except that
// running out of resources when not solo (SonRecursosAgotados) returns
// false, the file removed and the member's folder kept.
void DescartaSalida(Miembro& m);
bool ConfirmaSalida(Miembro& m, bool solo);

// ---- Several members at once (obreros.cpp) ---------------------------------------
constexpr int MaxObreros = MaxTemporales / 2;
// Starts the threads when HilosPedidos, the mode, the archive and the free
// descriptors allow.
void IniciaObreros(Decodificador& propio);
// Stops them; the output of a member still pending (a fatal error ended
// the walk) is thrown away.
void ParaObreros();
// Members decoded by the threads since they started (not by the main
// thread): the work the threads did.
extern uint32_t MiembrosDeObreros;
// Whether the member can be handed out: threads run, no member ran out of
// space or descriptors yet, and its data lies whole in the archive.
bool CabeEnArchivo(const Miembro& m);
// No member is handed out from now on.
void DejaDeRepartir();
// Members handed out whose outputs are open, the oldest included: none
// once they are restored again one at a time.
uint64_t SalidasPendientes();
// Whether the oldest member handed out is done, or waits with the queue full.
bool PrimeroListo();
// Whether a step of the member's name may name the file of a member still
// pending.
bool ChocaConPendiente(const Miembro& m);
// Hands out a member whose output is open; the caller passes over its data.
void Entrega(const Miembro& m);
// The oldest member handed out, once decoded (nullptr: none), and its slot
// freed once it is finished.  One whose output was thrown away is first
// restored again alone.
Miembro* EsperaPrimero();
void LiberaPrimero();
// The oldest member ran out of space or descriptors while others were
// pending: they are waited for and their outputs thrown away, no member is
// handed out any more, and the oldest is restored again alone.
void RehacePendientes();

// ---- Member lines (lineas.cpp) ---------------------------------------------------
// Finishes every member handed out; finishes those already decoded, and
// the oldest while the queue is full.
void TerminaPendientes();
void TerminaListos();
// "\n<name>" and the empty bar, once no member before it is pending.
void EmpiezaLinea(const Miembro& m);
// The end of a member whose data is all taken: the truncation or damage
// report, or its file renamed into place and its line completed.
void TerminaMiembro(Miembro& m);
// A member not restored: its line says why, its data is passed over, the
// run goes on and the end reports it.
void RechazaMiembro(Miembro& m, const char* motivo);
void OmiteMiembro(Miembro& m);   // -n and the file exists
// A failure that is no member's (a name that matched none, an unknown
// method in the listing): its line, or a line on standard error when quiet.
void InformaFallo(const char* visible, const char* motivo, bool nombreEscrito);
// Reports each given name that picked no member; returns how many.
int InformaNombresSinMiembro();
// The run's last words: "Done", or the fatal count of the members that
// failed or, when none did, of the names that chose none (0 or exit).
int Concluye(uint32_t fallidos, int sinMiembro);
// Members refused (unsafe name, unknown method, damaged data) so far.
extern uint32_t MiembrosNoRestaurados;

// ---- The list mode (listado.cpp) ---------------------------------------------------
// One line per member; the totals, after which the count starts again.
void ListaMiembro(Miembro& m);
void ListaTotales();

// ---- The archive (recorrido.cpp) ---------------------------------------------------
// Each member, in archive order: passed over, listed, refused, handed out
// or restored here with d, the main thread's decoder.
void TrataMiembro(Miembro& m, Decodificador& d);
// Every member of the archive open as Entrada, with the pool when it runs.
void RecorreArchivo(Miembro& m, Decodificador& d);

}  // namespace vuvodiv
