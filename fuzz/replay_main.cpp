// Feeds stored inputs to the fuzz target without libFuzzer, so the seed
// corpus and every past finding are checked by the ordinary test build.
// Usage: params_fuzzer_replay DIR_OR_FILE...
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (fs::is_directory(argv[i])) {
      for (const auto& entry : fs::directory_iterator(argv[i]))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    } else if (fs::is_regular_file(argv[i])) {
      inputs.emplace_back(argv[i]);
    } else {
      std::fprintf(stderr, "params_fuzzer_replay: no such input: %s\n", argv[i]);
      return 2;
    }
  }
  // An empty corpus would make this check pass without checking anything.
  if (inputs.empty()) {
    std::fprintf(stderr, "params_fuzzer_replay: no inputs\n");
    return 2;
  }
  for (const fs::path& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("params_fuzzer_replay: %zu inputs checked\n", inputs.size());
  return 0;
}
