// The worker threads.  They are POSIX ones: the C++ library's would bring in
// a shared library whose loading alone costs more memory than the encoder
// uses.  A task is given by raising the worker's count of tasks given, and
// reported by raising its count of tasks done; a waiting thread spins a
// little (a round of the shared-tree encoder takes milliseconds and the
// others are usually about to finish) before it sleeps.

#include "equipo.h"
#include "dedezodi.h"

#include <cstdint>
#include <cstdlib>
#include <pthread.h>

namespace dedezodi {

std::atomic<bool> Abandona;

struct alignas(64) Trabajador {
    std::atomic<uint32_t> dadas;
    std::atomic<uint32_t> hechas;
    void (*tarea)(int);
    pthread_t hilo;
};
static Trabajador Equipo[MaxHilos];   // 0 is the thread that gives the tasks
static int Arrancados;                // workers running: 1..Arrancados
static int Pedidos;                   // the thread count they were started for
static pthread_mutex_t Cerrojo = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t Despierta = PTHREAD_COND_INITIALIZER;

static void Espera(const std::atomic<uint32_t>& contador, uint32_t valor)
{
    for (int i = 0; i < 4000; ++i) {
        if (contador.load(std::memory_order_acquire) >= valor)
            return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    pthread_mutex_lock(&Cerrojo);
    while (contador.load(std::memory_order_acquire) < valor)
        pthread_cond_wait(&Despierta, &Cerrojo);
    pthread_mutex_unlock(&Cerrojo);
}

static void Publica(std::atomic<uint32_t>& contador, uint32_t valor)
{
    // Under the lock, so that a thread between its test and its sleep cannot
    // miss the change.
    pthread_mutex_lock(&Cerrojo);
    contador.store(valor, std::memory_order_release);
    pthread_mutex_unlock(&Cerrojo);
    pthread_cond_broadcast(&Despierta);
}

static void* Trabaja(void* numero)
{
    const int yo = static_cast<int>(reinterpret_cast<intptr_t>(numero));
    Trabajador& t = Equipo[yo];
    for (uint32_t hecha = t.hechas.load();;) {
        Espera(t.dadas, hecha + 1);
        if (t.tarea == nullptr)
            return nullptr;
        t.tarea(yo);
        Publica(t.hechas, ++hecha);
    }
}

void Encarga(int w, void (*tarea)(int))
{
    Equipo[w].tarea = tarea;
    Publica(Equipo[w].dadas, Equipo[w].dadas.load() + 1);
}

bool Termino(int w)
{
    return Equipo[w].hechas.load(std::memory_order_acquire) == Equipo[w].dadas.load();
}

void EsperaTrabajador(int w)
{
    Espera(Equipo[w].hechas, Equipo[w].dadas.load());
}

void EsperaEquipo()
{
    for (int w = 1; w <= Arrancados; ++w)
        EsperaTrabajador(w);
}

static void TerminaEquipo()
{
    Abandona = true;
    for (int w = 1; w <= Arrancados; ++w) {
        EsperaTrabajador(w);
        Encarga(w, nullptr);
        pthread_join(Equipo[w].hilo, nullptr);
        Equipo[w].hechas.store(Equipo[w].dadas.load());
    }
    Arrancados = 0;
    Abandona = false;
}

int ArrancaEquipo(int hilos)
{
    if (Pedidos == hilos)
        return Arrancados;
    if (Pedidos == 0)   // the first start: stopped at exit
        atexit(TerminaEquipo);
    TerminaEquipo();
    Pedidos = hilos;
    for (int w = 1; w < hilos; ++w) {
        if (pthread_create(&Equipo[w].hilo, nullptr, Trabaja, reinterpret_cast<void*>(static_cast<intptr_t>(w))) != 0)
            break;   // fewer threads, the same archive
        Arrancados = w;
    }
    return Arrancados;
}

}  // namespace dedezodi
