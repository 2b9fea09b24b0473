// The restorer's console: a line per member (its name, its bar of marks, and
// its size, "OK" or why it failed), in archive order.  A member handed to a
// thread has its line drawn when it is finished, with the marks its counted
// bytes draw; any line for a later member, and a fatal error, first
// finishes every member handed out before it, so the lines read exactly as
// one thread would write them.

#include "vuvodiv.h"

namespace vuvodiv {

uint32_t MiembrosNoRestaurados;

int InformaNombresSinMiembro()
{
    int cuenta = 0;
    for (int i = 0; i < NumSeleccion; ++i) {
        if (const char* nombre = NombreSinMiembro(i)) {
            InformaFallo(EscapaArgumento(nombre), "not in the archive", false);
            ++cuenta;
        }
    }
    return cuenta;
}

int Concluye(uint32_t fallidos, int sinMiembro)
{
    if (fallidos == 0 && sinMiembro == 0) {
        Mensaje("\n\nDone\n");
        return 0;
    }
    char mensaje[64];
    if (fallidos > 0)
        snprintf(mensaje, sizeof mensaje, "%lu member%s %s", static_cast<unsigned long>(fallidos),
                 fallidos == 1 ? "" : "s", ModoElegido->fallidos);
    else
        snprintf(mensaje, sizeof mensaje, "%d name%s matched no member", sinMiembro, sinMiembro == 1 ? "" : "s");
    ErrorFatal(mensaje);
}

void InformaFallo(const char* visible, const char* motivo, bool nombreEscrito)
{
    if (!Consola) {
        fprintf(ConsolaErrores, "%s: %s: %s\n", NombrePrograma, visible, motivo);
        return;
    }
    if (!nombreEscrito)
        Mensaje("\n%-14s", visible);
    Mensaje("  %s", motivo);
}

// A member's failure says why: after its name when lines are shown, on a
// line of its own on standard error when only errors are.
static void InformaFalloMiembro(const Miembro& m, const char* motivo, bool nombreEscrito)
{
    char texto[80];
    snprintf(texto, sizeof texto, "%s%s", ModoElegido->prefijoFallo, motivo);
    InformaFallo(m.visible, texto, nombreEscrito);
}

void EmpiezaLinea(const Miembro& m)
{
    Mensaje("\n%-14s", m.visible);
    DibujaBarraVacia();
    IniciaBarra(m.original);
}

// The oldest member handed out: its line with the marks of its bytes, then
// its end.  A fatal error on the way (also in restoring it again alone) is
// this member's: the members after it are not finished first.
static bool TerminaPrimero()
{
    void (*antes)() = AntesDeFatal;
    AntesDeFatal = nullptr;
    Miembro* m = EsperaPrimero();
    if (m) {
        EmpiezaLinea(*m);
        AvanzaBarraBloque(m->escritos);
        TerminaMiembro(*m);
        LiberaPrimero();
    }
    AntesDeFatal = antes;
    return m != nullptr;
}

void TerminaPendientes()
{
    while (TerminaPrimero()) {
    }
}

void TerminaListos()
{
    while (PrimeroListo())
        TerminaPrimero();
}

// Damaged data leaves the marks drawn before the damage, and the dots after.
void TerminaMiembro(Miembro& m)
{
    if (m.truncado && ModoElegido->corte) {
        RellenaBarra();
        InformaFalloMiembro(m, ModoElegido->corte, true);
    }
    PasaResto(m);   // also where a truncated archive is reported
    if (m.danado) {
        DescartaSalida(m);
        RellenaBarra();
        InformaFalloMiembro(m, "damaged data", true);
        ++MiembrosNoRestaurados;
        return;
    }
    if (!ConfirmaSalida(m, SalidasPendientes() <= 1)) {
        RehacePendientes();   // m is the oldest: restored again alone, to the same bytes and marks
        PasaResto(m);
        ConfirmaSalida(m, true);
    }
    CompletaBarra();
    if (ModoElegido->diceOK)
        Mensaje("  OK");
    else
        Mensaje("  %lu", static_cast<unsigned long>(m.original));
}

void RechazaMiembro(Miembro& m, const char* motivo)
{
    TerminaPendientes();
    InformaFalloMiembro(m, motivo, false);
    SaltaDatos(m);
    ++MiembrosNoRestaurados;
}

void OmiteMiembro(Miembro& m)
{
    TerminaPendientes();
    Mensaje("\n%-14s  skipped: the file exists", m.visible);
    SaltaDatos(m);
}

}  // namespace vuvodiv
