// In-process cost of the hive store's steps on the hives bench/run.sh
// makes (directory in AUTHREG_BENCH_HIVES, files hive-<MiB>.reg).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "store/hive.h"

namespace {

std::string Load(int mib) {
  const char* dir = getenv("AUTHREG_BENCH_HIVES");
  std::ifstream in(std::string(dir ? dir : ".") + "/hive-" + std::to_string(mib) + ".reg",
                   std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Sz(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) out += static_cast<char>(c), out += static_cast<char>(c >> 8);
  return out + std::string(2, '\0');
}

void BM_Parse(benchmark::State& state) {
  const std::string text = Load(static_cast<int>(state.range(0)));
  if (text.empty()) return state.SkipWithError("no hive: run bench/run.sh");
  for (auto _ : state) {
    Hive h;
    std::string error;
    benchmark::DoNotOptimize(h.Parse(text, &error));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void BM_Registration(benchmark::State& state) {
  const std::string text = Load(static_cast<int>(state.range(0)));
  if (text.empty()) return state.SkipWithError("no hive: run bench/run.sh");
  const uint64_t now = 0x1dd898c67482809ULL;
  for (auto _ : state) {
    Hive h;
    std::string error;
    h.Parse(text, &error);
    const KeyPath author = u"Software\\Norvane\\example.org", soft = author + u"\\Tool";
    h.CreateKey(author, now);
    h.SetValue(author, u"Author", kRegSz, Sz(u"Example"), now);
    h.SetValue(author, u"DisplayHost", kRegSz, Sz(u"example.org"), now);
    h.SetValue(author, u"InfoURL", kRegSz, Sz(u"https://example.org/"), now);
    h.CreateKey(soft, now);
    h.SetValue(soft, u"DistinctName", kRegSz, Sz(u"tool"), now);
    h.SetValue(soft, u"DisplayName", kRegSz, Sz(u"Tool"), now);
    h.SetValue(soft, u"Build", kRegDword, std::string(4, '\x01'), now);
    size_t written = 0;
    h.Write([&](std::string_view piece) {
      written += piece.size();
      return true;
    });
    benchmark::DoNotOptimize(written);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

BENCHMARK(BM_Parse)->Arg(1)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Registration)->Arg(1)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace
