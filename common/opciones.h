// The command line shared by both programs: the one-argument call and its
// usage text stay as they always were; an argument that begins with '-',
// wherever it stands, opens the options of the program's table.
#pragma once

#include <cstdio>

// One option of a program: its long name, its code (its letter, or a value
// from PrimeraSoloLarga on for a long option alone) and whether it takes a
// value.
struct Opcion {
    const char* larga;
    int codigo;
    bool conValor;
};
constexpr int PrimeraSoloLarga = 256;

// What LeeLlamada found.  A positive result is the index of BASE in argv
// (the names after it follow it).
constexpr int LlamadaUso = 0;          // no argument, or several without options: the usage text
constexpr int LlamadaTerminada = -1;   // --help or --version, printed: status 0
constexpr int LlamadaErronea = -2;     // a message is on standard error: status 1

// ayuda is the text of --help.  Each option read is handed to the program's
// aplica with its code and value; it returns nullptr, or why it refuses
// it.
int LeeLlamada(int argc, char* argv[], const char* programa, const Opcion* tabla, int cuenta,
               const char* ayuda, const char* (*aplica)(int codigo, const char* valor));

// Whether some argument begins with '-' (the options, where a name may also
// be a file's own name).  LeeLlamada also sets NombrePrograma (consola.h).
extern bool LlamadaExtendida;
// The line on standard error after the usage text of a call with several
// arguments and no option: the form the user probably meant.
void SugiereForma(const char* forma);

// Prints "<program>: <mensaje>" and the hint to --help on AvisosLlamada
// (standard error); returns LlamadaErronea.
extern FILE* AvisosLlamada;
int RechazaLlamada(const char* mensaje, const char* detalle);

// The value of -j: a whole number from 1, at most maximo (more threads would
// only wait); nullptr, or why it is refused.
const char* LeeNumeroHilos(const char* valor, int maximo, int* hilos);
