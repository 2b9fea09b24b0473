// The shared core of both programs, by concern: the archive's constants,
// the Huffman model, the console and fatal path, output files that appear
// only when complete, and names.
#pragma once

#include "consola.h"
#include "format.h"
#include "huffman.h"
#include "nombres.h"
#include "temporales.h"
