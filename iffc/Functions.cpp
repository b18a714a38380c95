// Stand-in for the flow statements (script functions, conditionals, TRE archives, CRC
// lists): it registers no statement, so their keywords stay undeclared identifiers, and
// its hooks only reset the flow fields of the state. The files that implement those
// statements replace this one.

#include "iffc/CompilerState.h"

void RegisterFlowStatements(TDispatchTable&, TDispatchTable&) {}

void ResetFlowState(TCompilerState& s) {
  s.TreNames.clear();
  s.TreDeclCount = 0;
  s.InTre = false;
  s.FuncSizePos = -1;
  s.VarCount = 0;
  s.InIf = false;
}

void CloseBlock(TCompilerState& s) {
  s.InBlock = false;
  s.Handled = true;
}

void CloseTre(TCompilerState& s) {
  s.InTre = false;
  s.Handled = true;
}

void WriteCrcListLine(TCompilerState&, std::string_view) {}

void TreEndCheck(TCompilerState&) {}

void EndFlowRun(TCompilerState& s) { s.TreNames.clear(); }
