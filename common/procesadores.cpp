// A process pinned to some CPUs (taskset, a container's cpuset) may only
// use those, whatever the machine has online; a cgroup v2 quota ("cpu.max":
// QUOTA PERIOD, or "max") lets its group, or any group above it, run QUOTA
// microseconds per PERIOD: QUOTA / PERIOD CPUs' worth, rounded up.

#include "procesadores.h"

#include <algorithm>
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
    if (fscanf(f, "%ld %ld", &cuota, &periodo) == 2 && cuota > 0 && periodo > 0)
        limite = std::min(limite, (cuota + periodo - 1) / periodo);
    fclose(f);
    return limite;
}

// The quota of the process's cgroup v2 group ("0::/path" in
// /proc/self/cgroup) and of every group above it, up to the root ("").
static long LimitaPorGrupo(long limite)
{
    char carpeta[512] = "";
    if (FILE* f = fopen("/proc/self/cgroup", "re")) {
        char linea[512];
        while (fgets(linea, sizeof linea, f))
            if (strncmp(linea, "0::", 3) == 0)
                snprintf(carpeta, sizeof carpeta, "%.*s", static_cast<int>(strcspn(linea + 3, "\n")), linea + 3);
        fclose(f);
    }
    if (strcmp(carpeta, "/") == 0)
        carpeta[0] = '\0';
    for (;;) {
        limite = LimitaPorCuota(carpeta, limite);
        char* barra = strrchr(carpeta, '/');
        if (!barra)
            return limite;
        *barra = '\0';
    }
}

int CuentaProcesadores()
{
    long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    cpu_set_t mascara;
    if (sched_getaffinity(0, sizeof mascara, &mascara) == 0)
        cpus = CPU_COUNT(&mascara);
    return static_cast<int>(std::clamp(LimitaPorGrupo(cpus), 1L, 1L << 20));
}
