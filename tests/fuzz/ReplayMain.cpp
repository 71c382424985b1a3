// Replays every file of the given corpus folders through one harness: the regression run of the
// fuzz corpora, built with the normal compiler and run by the tests.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "fuzz/Harnesses.h"

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        std::filesystem::directory_iterator folder(argv[i], error);
        if (error) {
            std::cerr << argv[i] << ": " << error.message() << '\n';
            return 1;
        }
        for (const auto& entry : folder) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            horalux::fuzz::HORALUX_FUZZ_HARNESS(bytes);
            ++replayed;
        }
    }
    std::cout << "replayed " << replayed << " inputs\n";
    return replayed == 0 ? 1 : 0;
}
