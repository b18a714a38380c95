// Compiler speed: data statements per second (targets below), and FILE
// inclusion of a 100 MB file next to a plain copy of the same file (target: close to it).
// Files are generated in a temp folder and removed afterwards.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "iffc/Compiler.h"
#include "support/TestSupport.h"

namespace {

testsupport::TempDir& Folder() {
  static testsupport::TempDir dir(false);
  return dir;
}

// A script of `lines` data statements inside one chunk, behind `constants` CONST
// declarations. Each kind of script has its own file, named after all three.
std::string DataScript(const std::string& tag, int lines, const std::string& statement,
                       int constants = 0) {
  const std::string path = Folder().File("data-" + tag + "-" + std::to_string(lines) + "-" +
                                         std::to_string(constants) + ".txt");
  if (!std::filesystem::exists(path)) {
    std::string text;
    for (int i = 0; i < constants; ++i)
      text += "$CONST NAME_" + std::to_string(i) + " = " + std::to_string(i) + "\n";
    text += "IFF data.iff\n{\nFORM BNCH\n{\nCHUNK DATA\n{\n";
    for (int i = 0; i < lines; ++i) text += statement;
    text += "}\n}\n}\n";
    testsupport::WriteText(path, text);
  }
  return path;
}

void RunScript(benchmark::State& state, const std::string& script, int lines) {
  SetMessageSink(nullptr);
  SetLineReader(nullptr);
  for (auto _ : state) benchmark::DoNotOptimize(CompileScript(script));
  state.SetItemsProcessed(state.iterations() * lines);
  state.counters["statements/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * lines, benchmark::Counter::kIsRate);
}

// Target: at least 5,000,000 statements per second.
void BM_LongStatements(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  RunScript(state, DataScript("long8", lines, "LONG [8] 1 2 3 4 5 6 7 8\n"), lines);
}
BENCHMARK(BM_LongStatements)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Target: at least 3,000,000 statements per second with 10,000 constants declared (every
// token of every statement is looked up among them).
void BM_LongStatementsWithConstants(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  RunScript(state, DataScript("long8", lines, "LONG [8] 1 2 3 4 5 6 7 8\n", 10000), lines);
}
BENCHMARK(BM_LongStatementsWithConstants)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// The shortest statement: the per-line cost alone.
void BM_ShortStatements(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  RunScript(state, DataScript("long1", lines, "LONG 7\n"), lines);
}
BENCHMARK(BM_ShortStatements)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

constexpr size_t kBigFile = 100u * 1024 * 1024;

const std::string& BigFile() {
  static const std::string path = [] {
    const std::string p = Folder().File("big.bin");
    std::vector<uint8_t> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i)
      block[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
    std::ofstream f(p, std::ios::binary);
    for (size_t done = 0; done < kBigFile; done += block.size()) {
      f.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(block.size()));
    }
    return p;
  }();
  return path;
}

void BM_FileInclusion100MB(benchmark::State& state) {
  const std::string script = Folder().File("file.txt");
  testsupport::WriteText(
      script, "IFF file.iff\n{\nFORM BNCH\n{\nCHUNK DATA\n{\nFILE " + BigFile() + "\n}\n}\n}\n");
  SetMessageSink(nullptr);
  for (auto _ : state) benchmark::DoNotOptimize(CompileScript(script));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBigFile));
}
BENCHMARK(BM_FileInclusion100MB)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The yardstick: reading the file and writing a copy with large blocks.
void BM_PlainCopy100MB(benchmark::State& state) {
  const std::string out = Folder().File("copy.bin");
  std::vector<char> buf(1 << 20);
  for (auto _ : state) {
    const int in = ::open(BigFile().c_str(), O_RDONLY);
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ssize_t n;
    while ((n = ::read(in, buf.data(), buf.size())) > 0) {
      if (::write(fd, buf.data(), static_cast<size_t>(n)) != n) state.SkipWithError("write failed");
    }
    ::close(fd);
    ::close(in);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBigFile));
}
BENCHMARK(BM_PlainCopy100MB)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
