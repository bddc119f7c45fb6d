// What the harnesses share: the entry, each input given as bytes to `FUZZ_HARNESS(bytes) { ... }`,
// and FUZZ_REQUIRE, a property every input must keep; a broken one stops the fuzzer with the input saved.
// Built without libFuzzer (FUZZ_REPLAY), a harness is a program that replays the seed corpus in the
// directories given once, input by input, for ctest: its properties and the build's sanitizers judge each run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#define FUZZ_REQUIRE(condition) \
    ((condition) ? void() : (std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition), std::abort()))

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
#define FUZZ_HARNESS(bytes)                                                                    \
    static void FuzzOne(std::string_view bytes);                                               \
    int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)                     \
    {                                                                                          \
        FuzzOne(std::string_view(reinterpret_cast<const char*>(data), size));                  \
        return 0;                                                                              \
    }                                                                                          \
    static void FuzzOne(std::string_view bytes)

#ifdef FUZZ_REPLAY
int main(int argc, char** argv)
{
    std::size_t inputs = 0;
    for (int i = 1; i < argc; ++i)
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::absolute(argv[i]))) {
            std::ifstream file(entry.path(), std::ios::binary);
            const std::string input{std::istreambuf_iterator<char>(file), {}};
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
            ++inputs;
        }
    std::fprintf(stderr, "replayed %zu inputs\n", inputs);
    return inputs == 0;
}
#endif
