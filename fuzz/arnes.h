// What the fuzz targets share: the error exit that returns to the target
// instead of ending the process, a private working folder for each input,
// and the one way a target reports a finding.
//
// The programs' code runs unchanged: a fatal error is an expected outcome of
// hostile input, so the fuzz build's ErrorFatal (fatal.cpp) does what the
// programs' one does (the console's AntesDeFatal hook first, then the
// temporary files removed), except printing and exiting, and throws FinFatal
// back to the target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct FinFatal {};
extern char MensajeFatal[1024];   // the message of the last fatal error

// The programs draw a bar per member on standard output; the fuzzer's own
// report goes to standard error, which stays.
void SilenciaConsola();

// Each input runs in <tmp>/fuzzXXXXXX/trabajo, made empty for it.  Leaving
// removes trabajo with everything in it, after checking that the input
// wrote nothing beside it, left only regular files in it and left no file
// open.
void EntraCarpetaTrabajo();
void SaleCarpetaTrabajo();
const std::string& CarpetaTrabajo();

void EscribeBytes(const std::string& ruta, const uint8_t* datos, size_t tamano);
std::string LeeBytes(const std::string& ruta);

// Closes the streams a fatal error leaves open; the programs' exit would.
void CierraFlujos();

// A finding: prints why on standard error and aborts, which the fuzzer
// records as a crash with the input that caused it.
[[noreturn]] void ReportaHallazgo(const char* formato, ...);
#define EXIGE(condicion) \
    ((condicion) ? (void)0 : ReportaHallazgo("%s:%d: %s", __FILE__, __LINE__, #condicion))
