// Compiler speed: data statements per second (targets below), and FILE
// inclusion of a 100 MB file next to a plain copy of the same file (target: close to it).
// Files are generated in a temp folder and removed afterwards.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "iffc/Compiler.h"
#include "iffc/Decompiler.h"
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

// Decompiling a 10 MB model (vertices, corners and 5 MB of other bytes), next to compiling
// the script it writes: the way back should cost no more than the way there.
const std::string& ModelFile() {
  static const std::string path = [] {
    std::vector<uint8_t> body{'M', 'E', 'S', 'H'};
    auto chunk = [&body](const char* id, const std::vector<uint8_t>& data) {
      body.insert(body.end(), id, id + 4);
      for (int shift = 24; shift >= 0; shift -= 8)
        body.push_back(static_cast<uint8_t>(data.size() >> shift));
      body.insert(body.end(), data.begin(), data.end());
      if (data.size() % 2 != 0) body.push_back(0);
    };
    uint32_t seed = 1;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    auto putFloat = [](std::vector<uint8_t>& out, float f) {
      uint8_t b[4];
      std::memcpy(b, &f, 4);
      out.insert(out.end(), b, b + 4);
    };
    std::vector<uint8_t> vert, fvrt, data;
    for (int i = 0; i < 3 * 250000; ++i)
      putFloat(vert, static_cast<float>(next() % 20000) / 100.0f - 100.0f);
    for (int i = 0; i < 130000; ++i) {
      for (int k = 0; k < 2; ++k) {
        const uint32_t v = next() % 30000;
        for (int shift = 0; shift < 32; shift += 8)
          fvrt.push_back(static_cast<uint8_t>(v >> shift));
      }
      putFloat(fvrt, static_cast<float>(next() % 1000) / 1000.0f);
      putFloat(fvrt, static_cast<float>(next() % 1000) / 1000.0f);
    }
    for (int i = 0; i < 5 * 1024 * 1024; ++i) data.push_back(static_cast<uint8_t>(next() >> 24));
    chunk("VERT", vert);
    chunk("FVRT", fvrt);
    chunk("DATA", data);
    std::vector<uint8_t> file{'F', 'O', 'R', 'M'};
    for (int shift = 24; shift >= 0; shift -= 8)
      file.push_back(static_cast<uint8_t>(body.size() >> shift));
    file.insert(file.end(), body.begin(), body.end());
    const std::string p = Folder().File("model.iff");
    testsupport::WriteBytes(p, file);
    return p;
  }();
  return path;
}

void BM_Decompile10MB(benchmark::State& state) {
  const std::string script = Folder().File("model.iff.txt");
  for (auto _ : state) benchmark::DoNotOptimize(DecompileFile(ModelFile(), script));
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(std::filesystem::file_size(ModelFile())));
}
BENCHMARK(BM_Decompile10MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The script above compiled again: the yardstick of the decompile.
void BM_CompileDecompiled10MB(benchmark::State& state) {
  const std::string script = Folder().File("model-back.iff.txt");
  DecompileFile(ModelFile(), script);
  SetMessageSink(nullptr);
  for (auto _ : state) benchmark::DoNotOptimize(CompileScript(script));
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(std::filesystem::file_size(ModelFile())));
}
BENCHMARK(BM_CompileDecompiled10MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
