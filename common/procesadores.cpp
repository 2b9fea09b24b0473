// The CPU count.  A process pinned to some CPUs (taskset, a container's
// cpuset) may only use those, whatever the machine has online; a cgroup v2
// quota ("cpu.max": QUOTA PERIOD, or "max") lets the process's group run
// QUOTA microseconds per PERIOD, that is QUOTA / PERIOD CPUs' worth, rounded
// up, in its own group or any above it.

#include "procesadores.h"

#include <cstdio>
#include <cstring>
#include <sched.h>
#include <unistd.h>

// The CPUs a quota in cpu.max at `carpeta` allows, or `limite` when there
// is none or none is readable.
static long LimitaPorCuota(const char* carpeta, long limite)
{
    char ruta[512];
    snprintf(ruta, sizeof ruta, "/sys/fs/cgroup%s/cpu.max", carpeta);
    FILE* f = fopen(ruta, "re");
    if (!f)
        return limite;
    long cuota = 0, periodo = 0;
    if (fscanf(f, "%ld %ld", &cuota, &periodo) == 2 && cuota > 0 && periodo > 0) {
        const long cpus = (cuota + periodo - 1) / periodo;
        if (cpus < limite)
            limite = cpus;
    }
    fclose(f);
    return limite;
}

// The quota of the process's cgroup v2 group ("0::/path" in
// /proc/self/cgroup) and of every group above it.
static long LimitaPorGrupo(long limite)
{
    char linea[512] = "";
    FILE* f = fopen("/proc/self/cgroup", "re");
    if (!f)
        return LimitaPorCuota("", limite);
    char carpeta[512] = "";
    while (fgets(linea, sizeof linea, f))
        if (strncmp(linea, "0::", 3) == 0) {
            snprintf(carpeta, sizeof carpeta, "%s", linea + 3);
            carpeta[strcspn(carpeta, "\n")] = '\0';
        }
    fclose(f);
    for (;;) {
        limite = LimitaPorCuota(strcmp(carpeta, "/") == 0 ? "" : carpeta, limite);
        char* barra = strrchr(carpeta, '/');
        if (!barra || carpeta[0] == '\0' || strcmp(carpeta, "/") == 0)
            return limite;
        *barra = '\0';
        if (carpeta[0] == '\0')
            strcpy(carpeta, "/");
    }
}

int CuentaProcesadores()
{
    long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    cpu_set_t mascara;
    if (sched_getaffinity(0, sizeof mascara, &mascara) == 0)
        cpus = CPU_COUNT(&mascara);
    cpus = LimitaPorGrupo(cpus);
    return cpus < 1 ? 1 : cpus > 1 << 20 ? 1 << 20 : static_cast<int>(cpus);
}
