// The cost-based LZH encoder's steps, declared apart from the driver's
// interface so that the tests can run a member block by block and look at
// each block's parse (see optimo.cpp for how the parse works).
#pragma once

#include <cstdint>

namespace dedezodi {

// Starts a member: empty match finder, the window's spaces, the first bytes.
// The model is the caller's: IniciaHuffman comes first.
void EmpiezaMiembroOptimo();
// Reads ahead, finds the matches of the next block and returns its length
// in positions (0 once the member is coded).
int PreparaBloque();
// The three passes of the parse over a block of n positions.
void ParseaBloque(int n);
// Codes the chosen path up to the block's cut and moves on past it.
void CodificaBloque(int n);

// Under the cost tables of the block's last pass: what the chosen path
// costs, and what the greedy path (the longest match, else a literal, at
// every step) costs; in units of 1/EscalaCoste bits.
constexpr uint32_t EscalaCoste = 64;
uint32_t CosteCaminoElegido(int n);
uint32_t CosteCaminoVoraz(int n);

}  // namespace dedezodi
