// How many CPUs this process may run on: the CPUs of its affinity mask,
// fewer when a cgroup CPU quota allows less time than that, and never fewer
// than one.  What "one thread per CPU" means for both programs.
#pragma once

int CuentaProcesadores();
