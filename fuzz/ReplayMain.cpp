// A plain driver for a fuzz target, built by the normal build: feeds every file
// of the given folders to the target's entry function, in name order, so that
// the tests replay the committed seeds without libFuzzer. Fails when a folder
// holds no file, so that a seed corpus cannot vanish unnoticed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SEED_FOLDER...\n", argv[0]);
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        std::vector<fs::path> seeds;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(argv[i], error))
            if (entry.is_regular_file()) seeds.push_back(entry.path());
        if (error || seeds.empty()) {
            std::fprintf(stderr, "%s: no seeds\n", argv[i]);
            return 1;
        }
        std::sort(seeds.begin(), seeds.end());
        for (const fs::path& seed : seeds) {
            std::ifstream in(seed, std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            if (!in.good() && !in.eof()) {
                std::fprintf(stderr, "%s: unreadable\n", seed.c_str());
                return 1;
            }
            std::printf("%s (%zu bytes)\n", seed.c_str(), bytes.size());
            std::fflush(stdout);
            // Like libFuzzer, hand over a copy of exactly the input's size, so
            // that reads past its end are caught by the sanitizer build.
            std::vector<std::uint8_t> copy(bytes);
            LLVMFuzzerTestOneInput(copy.empty() ? nullptr : copy.data(), copy.size());
        }
        std::printf("%zu seeds of %s replayed\n", seeds.size(), argv[i]);
    }
    return 0;
}
