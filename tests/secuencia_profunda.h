// A symbol sequence that drives one leaf of the adaptive Huffman tree deeper
// than 16 edges below the root, kept as a test input: a code that long must
// still be written and read whole.
//
// Nine symbols, 313 down to 305, are sent in blocks of 320 x (1, 1, 2, 3, 5,
// 8, 13, 21, 34) symbols, 28160 in all.  The 305 symbols never sent keep
// count 1 and form one subtree of weight 305; since 320 + 1 exceeds that
// weight, the nine sent symbols hang above it as a Fibonacci chain nine levels
// deep, and the subtree's deepest leaves end 9 levels further down.  The last
// element, symbol 48 (one of those deepest leaves), is therefore coded at
// depth 18, as update number 28161 of a fresh model: well before the first
// rebuild, so the depth does not depend on how a rebuild reorders the tree.
#pragma once

#include <vector>

constexpr int SimboloProfundo = 48;        // the last element of the sequence
constexpr int ProfundidadAlcanzada = 18;   // its leaf's depth when it is coded

// Returns the whole sequence, SimboloProfundo last; every element is 0..313.
std::vector<int> GeneraSecuenciaProfunda();
