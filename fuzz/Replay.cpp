// Runs saved inputs through a fuzz entry point without the fuzzing engine, so that every test run
// checks the corpus with the ordinary compiler (and, in sanitizer builds, with the sanitizers):
//   replay_NAME FILE_OR_FOLDER...
// Names each input before running it, so a crash points at its input; exits 0 when all passed.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!fs::is_directory(argv[i])) {
            inputs.emplace_back(argv[i]);
            continue;
        }
        for (const auto& entry : fs::directory_iterator(argv[i])) {
            if (entry.is_regular_file()) inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::cerr << "replay: no inputs\n";
        return 1;
    }
    for (const fs::path& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::cerr << "replay: cannot read " << path.string() << '\n';
            return 1;
        }
        std::vector<char> read((std::istreambuf_iterator<char>(in)), {});
        std::cout << path.filename().string() << std::endl;
        // A buffer of exactly the input's size, so that a read past its end is caught.
        auto bytes = std::make_unique<uint8_t[]>(read.size() + (read.empty() ? 1 : 0));
        std::copy(read.begin(), read.end(), bytes.get());
        LLVMFuzzerTestOneInput(bytes.get(), read.size());
    }
    std::cout << inputs.size() << " inputs passed\n";
    return 0;
}
