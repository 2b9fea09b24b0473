// The walk over the archive: each header in turn, and for each member one
// decision, taken here alone: passed over (not chosen), listed, refused,
// skipped, handed to a thread, or restored here by the main thread.

#include "vuvodiv.h"

namespace vuvodiv {

// A member restored here waits for every member handed out before it: what
// it finds in the folder, and its line, come after theirs.  One handed out
// waits only when its name may meet a pending one's file, or when the
// pending ones hold the space or descriptors its file needs: then it is
// tried again alone, and the run goes on on this thread.
void TrataMiembro(Miembro& m, Decodificador& d)
{
    PreparaMiembro(m);   // also for a member passed over: a later type 4..255 follows it
    if (!EstaSeleccionado(m.visible)) {
        SaltaDatos(m);
        return;
    }
    if (!ModoElegido->decodifica) {
        ListaMiembro(m);
        return;
    }
    char texto[32];
    if (const char* motivo = MotivoRechazo(m, texto, sizeof texto)) {
        RechazaMiembro(m, motivo);
        return;
    }
    bool aparte = CabeEnArchivo(m);
    if (aparte)
        TerminaListos();
    if (!aparte || ChocaConPendiente(m))
        TerminaPendientes();
    const char* motivo = nullptr;
    Apertura apertura = AbreSalida(m, &motivo, SalidasPendientes() == 0);
    if (apertura == Agotada) {
        TerminaPendientes();
        DejaDeRepartir();
        aparte = false;
        apertura = AbreSalida(m, &motivo, true);
    }
    switch (apertura) {
    case Rechazada: RechazaMiembro(m, motivo); return;
    case Omitida: OmiteMiembro(m); return;
    case Abierta:
    case Agotada: break;   // not when alone
    }
    if (aparte) {
        Entrega(m);
        m.salida = nullptr;   // the slot's now, with the member's folder
        m.carpeta = -1;
        SaltaDatos(m);
        return;
    }
    m.enVivo = true;
    EmpiezaLinea(m);
    RestauraDatos(m, d);
    TerminaMiembro(m);
}

void RecorreArchivo(Miembro& m, Decodificador& d)
{
    IniciaObreros(d);
    AntesDeFatal = TerminaPendientes;   // a fatal error's line comes after the members before it
    while (LeeCabecera(m))
        TrataMiembro(m, d);
    TerminaPendientes();
    AntesDeFatal = nullptr;
    ParaObreros();
}

}  // namespace vuvodiv
