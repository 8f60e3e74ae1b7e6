// Runs a fuzzer's entry point once on each input file (or each file of a folder, in name order),
// for builds without libFuzzer.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    if (!fs::is_directory(argv[i]))
      files.emplace_back(argv[i]);
    else
      for (const auto& entry : fs::directory_iterator(argv[i])) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) return std::fprintf(stderr, "error: cannot read %s\n", file.c_str()) > 0;
    // Exactly the input's size, so that reading past its end is caught by sanitizers.
    const std::vector<std::uint8_t> input((std::istreambuf_iterator<char>(stream)), {});
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  return files.empty() ? 1 : 0;
}
