// Speed of the flow statements against the compiler's target of 1,000,000 statements per
// second: conditionals around CRC32 elements with the CRC list open, script functions, and
// a TRE archive of many small blocks (each BLOCK looks its name up among all TREFILE names).
// Scripts are generated in a temp folder and removed afterwards.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "iffc/Compiler.h"
#include "support/TestSupport.h"

namespace {

testsupport::TempDir& Folder() {
  static testsupport::TempDir dir(false);
  return dir;
}

std::string Script(const std::string& name, const std::string& text) {
  const std::string path = Folder().File(name);
  if (!std::filesystem::exists(path)) testsupport::WriteText(path, text);
  return path;
}

void Run(benchmark::State& state, const std::string& script, int64_t statements) {
  SetMessageSink(nullptr);
  SetLineReader(nullptr);
  for (auto _ : state) benchmark::DoNotOptimize(CompileScript(script));
  state.SetItemsProcessed(state.iterations() * statements);
}

// 250,000 x ($IF, {, CRC32, }) = 1,000,000 statements, every CRC32 also a list line.
void BM_ConditionalsWithCrcList(benchmark::State& state) {
  std::string text =
      "IFF cond.iff\n{\nFORM BNCH\n{\nCHUNK CODE\n{\n$CRC_OUT " + Folder().File("crc.txt") + "\n";
  for (int i = 0; i < 250000; ++i)
    text += "$IF 1\n{\nCRC32 name_" + std::to_string(i % 1000) + "\n}\n";
  text += "}\n}\n}\n";
  Run(state, Script("cond.txt", text), 1000000);
}
BENCHMARK(BM_ConditionalsWithCrcList)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// 200,000 functions of two parameters and one variable: 5 statements each.
void BM_Functions(benchmark::State& state) {
  std::string text = "IFF func.iff\n{\nFORM BNCH\n{\nCHUNK CODE\n{\n";
  for (int i = 0; i < 200000; ++i) text += "$FUNC_BEGIN F A B\n$VAR X\nLONG A\nLONG X\n$FUNC_END\n";
  text += "}\n}\n}\n";
  Run(state, Script("func.txt", text), 1000000);
}
BENCHMARK(BM_Functions)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// 50,000 entries: TREFILE each, then BLOCK { LONG } } for each: 250,000 statements.
void BM_TreOfManyBlocks(benchmark::State& state) {
  constexpr int kEntries = 50000;
  std::string text = "TRE many.tre\n{\n";
  for (int i = 0; i < kEntries; ++i) text += "TREFILE dir\\block_" + std::to_string(i) + ".bin\n";
  for (int i = kEntries - 1; i >= 0; --i) {
    text +=
        "BLOCK DIR\\BLOCK_" + std::to_string(i) + ".BIN\n{\nLONG " + std::to_string(i) + "\n}\n";
  }
  text += "}\n";
  Run(state, Script("tre.txt", text), kEntries * 5 + 3);
}
BENCHMARK(BM_TreOfManyBlocks)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
