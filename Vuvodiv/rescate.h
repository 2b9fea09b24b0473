// Salvage (-s): members recovered from a damaged archive by walking it and,
// where the walk breaks, scanning for the next member that can be confirmed;
// and the rules of what a member header and the end of an archive may look
// like, which the plain reader uses too for its end-of-archive checks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vuvodiv {

// Cheap rules no header the compressor writes can fail: a name that starts
// with a byte other than 0, has no control byte and is padded with zeros
// (cuantos: the bytes of the name field at hand, in a header cut short);
// sizes a stored member or an LZH stream can have.
bool EsNombrePlausible(const uint8_t* nombre, int cuantos);
bool SonTamanosPlausibles(uint8_t metodo, uint32_t original, uint32_t comprimido);
// A header's 4-byte big-endian size field.
uint32_t LeeTamano(const uint8_t* campo);

// How far past the start of a stored member's data its longer LZH attempt
// may have reached; the bytes of it past the end header stay in the file.
uint64_t AlcanceIntento(uint32_t almacenado);

// The plain reader's account of how the archive ended, kept by LeeCabecera
// and IniciaLectura; CompruebaFinArchivo, once the members are read, reads
// what follows the end header and returns why the archive's end is wrong,
// or nullptr.
void IniciaLectura();
void AnotaCabecera(const uint8_t* cabecera, size_t leidos);
const char* CompruebaFinArchivo();
// Whether the first header read fails the rules: the file is then no
// archive of this format rather than one cut short.
bool PrimeraCabeceraExtrana();

// The whole salvage run over the archive open as Entrada: the member lines,
// the ranges not accounted for and the summary; the exit status.
int Rescata();
// Lets the archive's image go; Rescata does it itself, a caller that
// catches a fatal error in the middle of it (the fuzz target) must.
void LiberaRescate();
// Data bytes handed to decodes in the last run, and 1/16 of their output:
// at most 16 times the archive's size and 1 MiB, and one decode more.
uint64_t TrabajoDeRescate();

}  // namespace vuvodiv
