// Package coder speed: content bytes per second for encoding and decoding,
// on random bytes, English text and 3DS models, beside a plain reference
// decoder that walks the tree one bit at a time with parent/left/right arrays.
//
//   kelvo_bench_pak [--benchmark_filter=...]

#include "package/pak_coder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kInputSize = 10 * 1000 * 1000;

// ------------------------------------------------------------- reference --

// The code as plainly as it can be written: one bit per loop, a comparison to
// find which child a node is, parent links updated on every splay step.
class ReferenceTree {
 public:
  ReferenceTree() {
    for (int i = 1; i < 513; ++i) parent_[i] = static_cast<std::uint8_t>((i - 1) / 2);
    for (int j = 0; j < 256; ++j) {
      left_[j] = static_cast<std::uint16_t>(2 * j + 1);
      right_[j] = static_cast<std::uint16_t>(2 * j + 2);
    }
  }

  int child(int node, int bit) const { return bit ? right_[node] : left_[node]; }

  int parent(int node) const { return parent_[node]; }
  bool is_right(int node) const { return right_[parent_[node]] == node; }

  void splay(int symbol) {
    int a = symbol + 256;
    for (;;) {
      const int c = parent_[a];
      if (c == 0) break;
      const int d = parent_[c];
      int b;
      if (left_[d] == c) {
        b = right_[d];
        right_[d] = static_cast<std::uint16_t>(a);
      } else {
        b = left_[d];
        left_[d] = static_cast<std::uint16_t>(a);
      }
      if (left_[c] == a)
        left_[c] = static_cast<std::uint16_t>(b);
      else
        right_[c] = static_cast<std::uint16_t>(b);
      parent_[a] = static_cast<std::uint8_t>(d);
      parent_[b] = static_cast<std::uint8_t>(c);
      a = d;
      if (a == 0) break;
    }
  }

 private:
  std::uint8_t parent_[513] = {};
  std::uint16_t left_[256];
  std::uint16_t right_[256];
};

bool reference_decode(const Bytes& pkg, Bytes& out) {
  out.clear();
  if (pkg.size() < kelvo::kPakHeaderSize) return false;
  ReferenceTree tree;
  std::size_t index = kelvo::kPakHeaderSize;
  int position = 0;
  for (;;) {
    int node = 0;
    while (node < 256) {
      if (index >= pkg.size()) return false;
      const int bit = (pkg[index] >> position) & 1;
      if (++position == 8) {
        position = 0;
        ++index;
      }
      node = tree.child(node, bit);
    }
    const int symbol = node - 256;
    tree.splay(symbol);
    if (symbol == 256) return true;
    out.push_back(static_cast<std::uint8_t>(symbol));
  }
}

Bytes reference_encode(const Bytes& data) {
  Bytes out(kelvo::kPakHeaderSize);
  {
    const Bytes head = kelvo::pak_encode({});
    std::copy(head.begin(), head.begin() + kelvo::kPakHeaderSize, out.begin());
  }
  ReferenceTree tree;
  std::uint8_t current = 0;
  int position = 0;
  int bits[257];
  auto put = [&](int symbol) {
    int n = 0;
    for (int a = symbol + 256; a != 0; a = tree.parent(a)) bits[n++] = tree.is_right(a);
    while (n-- > 0) {
      if (bits[n]) current |= static_cast<std::uint8_t>(1u << position);
      if (position == 7) {
        out.push_back(current);
        current = 0;
        position = 0;
      } else {
        ++position;
      }
    }
    tree.splay(symbol);
  };
  for (std::uint8_t b : data) put(b);
  put(256);
  if (position != 0) out.push_back(current);
  return out;
}

// ---------------------------------------------------------------- inputs --

Bytes read_file(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

Bytes random_input() {
  std::mt19937_64 rng(20240601);
  Bytes b(kInputSize);
  for (std::size_t i = 0; i < b.size(); i += 8) {
    const std::uint64_t v = rng();
    for (std::size_t k = 0; k < 8 && i + k < b.size(); ++k) b[i + k] = static_cast<std::uint8_t>(v >> (8 * k));
  }
  return b;
}

// Licence and copyright texts shipped with Debian packages, repeated to size.
Bytes text_input(std::string* source) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/usr/share/common-licenses", ec))
    if (e.is_regular_file(ec)) files.push_back(e.path());
  for (const auto& e : fs::directory_iterator("/usr/share/doc", ec)) {
    const fs::path c = e.path() / "copyright";
    if (fs::is_regular_file(c, ec)) files.push_back(c);
  }
  std::sort(files.begin(), files.end());
  Bytes text;
  for (const auto& f : files) {
    const Bytes b = read_file(f);
    text.insert(text.end(), b.begin(), b.end());
    if (text.size() >= kInputSize) break;
  }
  *source = std::to_string(files.size()) + " licence/copyright files";
  if (text.size() < 64 * 1024) {
    // No documentation installed: made-up English-like words.
    static const char* const words[] = {"the", "of", "and", "to", "in", "is", "that", "for", "it", "as",
                                        "with", "was", "on", "be", "by", "this", "software", "license",
                                        "copyright", "without", "any", "warranty", "permission", "notice"};
    std::mt19937 rng(5);
    text.clear();
    while (text.size() < kInputSize) {
      const std::string w = words[rng() % std::size(words)];
      text.insert(text.end(), w.begin(), w.end());
      text.push_back(rng() % 12 == 0 ? '\n' : ' ');
    }
    *source = "generated words";
  }
  Bytes out;
  out.reserve(kInputSize);
  while (out.size() < kInputSize)
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(
                                                          std::min(text.size(), kInputSize - out.size())));
  return out;
}

// Every *.3ds under /usr/share, concatenated (not repeated).
Bytes models_input(std::string* source) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it("/usr/share", fs::directory_options::skip_permission_denied, ec), end;
       it != end; it.increment(ec)) {
    if (ec) break;
    std::string ext = it->path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".3ds" && it->is_regular_file(ec)) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  Bytes out;
  for (const auto& f : files) {
    const Bytes b = read_file(f);
    out.insert(out.end(), b.begin(), b.end());
  }
  *source = std::to_string(files.size()) + " .3ds files";
  return out;
}

struct Input {
  std::string name;
  Bytes content;
  Bytes package;
};

// ------------------------------------------------------------ benchmarks --

// Content bytes per second: bytes_per_second in MiB/s, MB in MB/s.
void set_rate(benchmark::State& state, const Input* in) {
  const auto bytes = static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(in->content.size());
  state.SetBytesProcessed(bytes);
  state.counters["MB"] = benchmark::Counter(static_cast<double>(bytes) / 1e6, benchmark::Counter::kIsRate);
}

void bm_encode(benchmark::State& state, const Input* in) {
  for (auto _ : state) {
    Bytes pkg = kelvo::pak_encode(in->content);
    benchmark::DoNotOptimize(pkg.data());
  }
  set_rate(state, in);
  state.counters["ratio"] = static_cast<double>(in->package.size()) / static_cast<double>(in->content.size());
}

void bm_decode(benchmark::State& state, const Input* in) {
  Bytes out;
  for (auto _ : state) {
    if (kelvo::pak_decode(in->package, out) != kelvo::PakStatus::ok) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  set_rate(state, in);
}

void bm_decode_stream(benchmark::State& state, const Input* in) {
  std::vector<std::uint8_t> buf(64 * 1024);
  for (auto _ : state) {
    std::size_t fed = 0;
    kelvo::PakReader reader([&](std::span<std::uint8_t> b) -> std::ptrdiff_t {
      const std::size_t n = std::min(b.size(), in->package.size() - fed);
      std::copy_n(in->package.data() + fed, n, b.data());
      fed += n;
      return static_cast<std::ptrdiff_t>(n);
    });
    while (reader.read(buf) == buf.size()) benchmark::DoNotOptimize(buf.data());
    if (!reader.at_end()) state.SkipWithError("decode failed");
  }
  set_rate(state, in);
}

void bm_reference_encode(benchmark::State& state, const Input* in) {
  for (auto _ : state) {
    Bytes pkg = reference_encode(in->content);
    benchmark::DoNotOptimize(pkg.data());
  }
  set_rate(state, in);
}

void bm_reference_decode(benchmark::State& state, const Input* in) {
  Bytes out;
  out.reserve(in->content.size());
  for (auto _ : state) {
    if (!reference_decode(in->package, out)) state.SkipWithError("reference decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  set_rate(state, in);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  static std::vector<Input> inputs;
  inputs.reserve(3);
  std::string text_source, models_source;
  inputs.push_back({"random", random_input(), {}});
  inputs.push_back({"text", text_input(&text_source), {}});
  Bytes models = models_input(&models_source);
  std::fprintf(stderr, "text: %s; models: %s (%zu bytes)\n", text_source.c_str(), models_source.c_str(),
               models.size());
  if (!models.empty())
    inputs.push_back({"3ds", std::move(models), {}});
  else
    std::fprintf(stderr, "no .3ds files under /usr/share: the 3ds case is skipped\n");

  for (Input& in : inputs) {
    in.package = kelvo::pak_encode(in.content);
    // Both decoders must give the content back before anything is timed.
    Bytes check;
    if (kelvo::pak_decode(in.package, check) != kelvo::PakStatus::ok || check != in.content ||
        !reference_decode(in.package, check) || check != in.content || reference_encode(in.content) != in.package) {
      std::fprintf(stderr, "%s: coder and reference disagree\n", in.name.c_str());
      return 1;
    }
  }

  for (const Input& in : inputs) {
    const Input* p = &in;
    benchmark::RegisterBenchmark(("Encode/" + in.name).c_str(), bm_encode, p)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Decode/" + in.name).c_str(), bm_decode, p)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("DecodeStream/" + in.name).c_str(), bm_decode_stream, p)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("ReferenceEncode/" + in.name).c_str(), bm_reference_encode, p)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("ReferenceDecode/" + in.name).c_str(), bm_reference_decode, p)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
