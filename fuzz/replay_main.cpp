// Runs a fuzzer's entry point once on each input file, for builds without libFuzzer.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

void Replay(const fs::path& file) {
  std::ifstream stream(file, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(stream)),
                                std::istreambuf_iterator<char>());
  // A copy of exactly the input's size, so that reading past its end is caught by sanitizers.
  std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(input.data(), input.size());
}

}  // namespace

// Arguments: files, or folders whose files are replayed in name order.
int main(int argc, char** argv) {
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<fs::path> files;
    if (fs::is_directory(argv[i])) {
      for (const auto& entry : fs::directory_iterator(argv[i])) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
    } else if (fs::is_regular_file(argv[i])) {
      files.emplace_back(argv[i]);
    } else {
      std::fprintf(stderr, "error: no such file or folder: %s\n", argv[i]);
      return 1;
    }
    for (const fs::path& file : files) {
      Replay(file);
      ++count;
    }
  }
  if (count == 0) {
    std::fprintf(stderr, "error: no input to replay\n");
    return 1;
  }
  std::printf("replayed %zu inputs\n", count);
  return 0;
}
