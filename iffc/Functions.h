#pragma once
// Script functions, variables and conditionals: statements that encode the game's script
// code as 32-bit code words inside chunk data.
//
//   $FUNC_BEGIN NAME COUNT | $FUNC_BEGIN NAME P1 P2 ...   function header
//   $FUNC_END                                             patches the body size
//   $VAR NAME1 NAME2 ...                                  local variables (24, 25, ...)
//   $IF VALUE  { ... }   $ELSE { ... }                    conditionals
//
// Function layout: StrCrc32(name), 0, n, n x kCodeParam, body size S, S bytes of body.
// Parameter names stand for 16, 17, ... and variable names for 24, 25, ... until
// "$FUNC_END": they are put at the front of ConstList, shadowing constants of the same name.
//
// Inside a conditional every "{" and "}" is a conditional brace that writes a code word;
// so a conditional body holds data items, calls and nested conditionals, but no FORM or
// CHUNK. GenCrc (saved by "$FUNC_BEGIN") and InIf (saved by "$IF" and "$ELSE") are kept
// on FlagStack: 256 one-byte slots with an 8-bit index that wraps, module-wide, so the
// index carries over from one run to the next.
//
// Bad input: more than 256 saves still open reports an error (the slots wrap as
// described and nothing is written outside them); "$FUNC_END" without a function reports
// «missing call to $function_begin!» and leaves GenCrc as it is; a parameter count outside
// 0..255 reports an error and writes the count 0.

#include <array>
#include <cstdint>

struct TCompilerState;

constexpr uint32_t kCodeVar = 0xE3877404;
constexpr uint32_t kCodeIf = 0xB2995D04;
constexpr uint32_t kCodeElse = 0x6E8E7D00;
constexpr uint32_t kCodeIfOpen = 0x15FBBB00;
constexpr uint32_t kCodeIfClose = 0x00827700;
constexpr uint32_t kCodeParam = 0xEB1003A3;  // StrCrc32("int")

constexpr int kFirstParamNumber = 16;
constexpr int kFirstVarNumber = 24;
constexpr int kMaxParamCount = 255;

struct TFlagStack {
  std::array<uint8_t, 256> Flags{};
  uint8_t Top = 0;  // next free slot; wraps modulo 256
};

// The module-wide stack (kept between runs).
TFlagStack& FlagStack();

// Saves a flag (reports an error when more than 256 saves are open in this output).
void PushFlag(TCompilerState& s, bool value);
// Restores the last saved flag.
bool PopFlag(TCompilerState& s);
