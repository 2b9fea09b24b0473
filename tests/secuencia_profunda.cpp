#include "secuencia_profunda.h"

#include "format.h"

std::vector<int> GeneraSecuenciaProfunda()
{
    // 320 exceeds the weight of the 305 untouched symbols, so the chain
    // starts above their subtree instead of mixing into it.
    constexpr int Base = 320;
    constexpr int Eslabones = 9;

    std::vector<int> secuencia;
    int bloque = Base;
    int siguiente = Base;
    for (int e = 0; e < Eslabones; ++e) {
        secuencia.insert(secuencia.end(), bloque, NumSimbolos - 1 - e);
        const int suma = bloque + siguiente;
        bloque = siguiente;
        siguiente = suma;
    }
    secuencia.push_back(SimboloProfundo);
    return secuencia;
}
