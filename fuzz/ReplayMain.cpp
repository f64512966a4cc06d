// Runs a fuzz target without libFuzzer: over the seed files named on the
// command line, then over pseudo-random texts drawn from the characters that
// matter to the readers. Lets every build exercise the targets as a test.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ++files;
    }
    static const char alphabet[] = "0123456789+-.eEdDhHoO& \t\n\r,x9";
    std::mt19937 random(20261208);
    const int runs = 200000;
    for (int run = 0; run < runs; ++run) {
        std::string text(random() % 40, ' ');
        for (char& c : text)
            c = random() % 16 == 0 ? static_cast<char>(random() % 256)
                                   : alphabet[random() % (sizeof alphabet - 1)];
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    std::printf("%d seed files and %d generated inputs passed\n", files, runs);
    return 0;
}
