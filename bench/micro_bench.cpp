// Micro-benchmarks of the scanners, the TDF record reading, the report escape,
// the node index and the instance table.
// Build with -DTALLYREP_BENCHMARKS=ON; run build/bench/micro_bench.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "base/hash.h"
#include "base/out_buffer.h"
#include "model/tree.h"
#include "readers/instance_table.h"
#include "readers/jtdffile.h"
#include "readers/scanner.h"
#include "readers/trace_stream.h"
#include "readers/tsffile.h"
#include "report/markup.h"

namespace {

std::string hex_text(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

std::string tdf_lines(int count) {
  std::string data;
  for (int i = 0; i < count; ++i) {
    data += "GL 96 " + std::to_string(100 + i % 5000) + "\nNO 1a \"check text of some length\"\n";
  }
  return data;
}

void BM_ScanNumbers(benchmark::State& state) {
  const std::string data = tdf_lines(10000);
  for (auto _ : state) {
    TraceStream stream;
    stream_open_buffer(stream, data.data(), data.size());
    uint64_t sum = 0;
    while (!stream.eof) {
      sum += scan_record_code(stream);
      sum += scan_number(stream, ' ', 16);
      skip_rest_of_line(stream);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_ScanNumbers);

// A TDF's records as the reader takes them, on a mix like that of a typical
// trace: the cost of the record parse alone, without the model. Arg 1 reads
// every line with the scanners, arg 0 takes the one-pass road where it can.
void BM_TdfRecords(benchmark::State& state) {
  std::string data;
  for (int i = 0; i < 20000; ++i) {
    const std::string hex = std::to_string(100 + i % 5000);
    data += "GL 96 " + hex + "\nNO " + hex + " \"true\"\nST 9a\nNI " + hex + " 5196f4c6\n";
  }
  TdfRecord (*const parse)(TraceStream&) = state.range(0) ? tdf_scan_record : tdf_parse_record;
  for (auto _ : state) {
    TraceStream stream;
    stream_open_buffer(stream, data.data(), data.size());
    uint64_t sum = 0;
    while (!stream.eof) {
      const TdfRecord r = parse(stream);
      sum += static_cast<uint64_t>(r.kind) + static_cast<uint32_t>(r.line);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_TdfRecords)->Arg(0)->Arg(1);

// Records read and applied in an order no branch can learn, into a model of
// one driver whose lines they name. Arg 0 applies each record in the branch
// that read it (the reading loop's road), arg 1 reads a record and then
// applies it, deciding its kind twice.
void BM_TdfReadAndApply(benchmark::State& state) {
  tree_init();
  std::string tsf = "IN \"File\" 1 \"D\"\nID 1 2\nIN \"TestCase\" 2 \"t\"\n";
  for (int line = 3; line < 503; ++line) tsf += "TX " + hex_text(line) + " \"c\"\n";
  int32_t counter = 0;
  tsf_read_buffer(tsf.data(), tsf.size(), "micro.tsf", &counter);
  std::vector<std::string> lines;
  for (int i = 0; i < 80000; ++i) {
    const std::string line = hex_text(3 + i % 500);
    const char* const status[] = {"96", "96", "96", "9a", "a5", "97"};
    switch (i % 5) {
      case 0:
      case 1:
        lines.push_back("NO " + line + " \"true\"\n");
        break;
      case 2:
        lines.push_back(std::string("GL ") + status[i % 6] + " " + line + "\n");
        break;
      case 3:
        lines.push_back(std::string("ST ") + status[i % 6] + "\n");
        break;
      default:
        lines.push_back("NO \"done\"\n");
        break;
    }
  }
  std::mt19937 random(7);
  std::shuffle(lines.begin(), lines.end(), random);
  std::string data = "SF 5 1 2\nNI 2 1\n";
  for (const std::string& line : lines) data += line;
  for (auto _ : state) {
    TraceStream stream;
    stream_open_buffer(stream, data.data(), data.size());
    TdfReader reader;
    if (state.range(0) == 0) {
      while (!stream.eof) tdf_read_record(reader, stream);
    } else {
      while (!stream.eof) tdf_apply_record(reader, tdf_parse_record(stream));
    }
  }
  tree_free();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_TdfReadAndApply)->Arg(0)->Arg(1);

// Arg 0: plain line texts, copied at once; 1: texts with escapes, scanned.
void BM_ScanEscapedText(benchmark::State& state) {
  const char* line = state.range(0) == 0 ? "\"calc.divide(1, 3) == 0.333 && x < y\"\n"
                                         : "\"calc.divide(1, 3) == \\\"0.333\\\" && x < y\"\n";
  std::string data;
  for (int i = 0; i < 10000; ++i) data += line;
  std::string text;
  for (auto _ : state) {
    TraceStream stream;
    stream_open_buffer(stream, data.data(), data.size());
    while (!stream.eof) {
      skip_char(stream);
      scan_escaped_text_into(stream, "\n", text);
    }
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_ScanEscapedText)->Arg(0)->Arg(1);

void BM_MarkupText(benchmark::State& state) {
  const std::string text = "display.text().equals(\"8\") && width < 10   caf\xc3\xa9";
  std::string sink;
  for (auto _ : state) {
    sink.clear();
    OutBuffer out;
    out_open_string(out, &sink);
    for (int i = 0; i < 1000; ++i) markup_text(out, text.c_str());
    out_close(out);
    benchmark::DoNotOptimize(sink);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 1000 * text.size()));
}
BENCHMARK(BM_MarkupText);

void BM_NodeFind(benchmark::State& state) {
  const int32_t nodes = static_cast<int32_t>(state.range(0));
  tree_init();
  driver_open(0, 1, "D");
  for (int32_t line = 2; line < nodes; ++line) node_add_child(0, 3, line, "c", 1, 0);
  int32_t line = 2;
  for (auto _ : state) {
    benchmark::DoNotOptimize(node_find(0, line));
    line = line * 7 % nodes + 2;
  }
  tree_free();
}
BENCHMARK(BM_NodeFind)->Arg(1000)->Arg(100000)->Arg(1000000);

// Announcing N instances under random ids, as a harness that numbers objects
// by identity hash does; the table grows as it goes, like the reader's.
void BM_InstanceAdd(benchmark::State& state) {
  const uint64_t count = static_cast<uint64_t>(state.range(0));
  for (auto _ : state) {
    InstanceTable table;
    for (uint64_t i = 0; i < count; ++i) {
      table.add(static_cast<int32_t>(i % 4096), static_cast<int32_t>(hash_mix64(i)), 0);
    }
    benchmark::DoNotOptimize(table.newest(0));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(count));
}
BENCHMARK(BM_InstanceAdd)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
