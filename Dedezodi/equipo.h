// The compressor's worker threads, started once per run and shared by the
// two ways of splitting the work: whole members (reparto.cpp) and the match
// finder's trees (hilos.cpp).  Each worker waits for a task, runs it, and
// reports it done; the thread that packs the list gives the tasks.
#pragma once

#include <atomic>

namespace dedezodi {

// Starts workers 1..hilos-1 the first time (again only if the count
// changes).  Returns how many run: fewer when the system refuses a thread,
// and the archive is the same.
int ArrancaEquipo(int hilos);
// Gives worker w (1..) a task, run as tarea(w).
void Encarga(int w, void (*tarea)(int));
// Whether worker w has finished its last task; and waiting until it has.
bool Termino(int w);
void EsperaTrabajador(int w);
// Waits until every worker has finished its last task.
void EsperaEquipo();

// Set when the run ends: a worker's member stops reading at its next look up.
extern std::atomic<bool> Abandona;

}  // namespace dedezodi
