// The command line shared by both programs: the one-argument call and its
// usage text stay as they always were; a first argument that begins with
// '-' opens the options of the program's table.
#pragma once

#include <cstdio>

// One option of a program: its long name, its letter (0: long only),
// whether it takes a value, and what it does.  Aplica returns nullptr, or
// the reason the value (or the option here) is refused.
struct Opcion {
    const char* larga;
    char corta;
    bool conValor;
    const char* (*aplica)(const char* valor);
};

// What LeeLlamada found.  A positive result is the index of BASE in argv
// (the names after it follow it).
constexpr int LlamadaUso = 0;          // no argument, or several without options: the usage text
constexpr int LlamadaTerminada = -1;   // --help or --version, printed: status 0
constexpr int LlamadaErronea = -2;     // a message is on standard error: status 1

// ayuda is the text of --help; version the line of --version.  A program
// that takes no names after BASE passes conNombres false.
int LeeLlamada(int argc, char* argv[], const char* programa, const Opcion* tabla, int cuenta,
               const char* ayuda, bool conNombres);

// Prints "<programa>: <mensaje>" and the hint to --help on AvisosLlamada
// (standard error); returns LlamadaErronea.
extern FILE* AvisosLlamada;
int RechazaLlamada(const char* programa, const char* mensaje, const char* detalle);
