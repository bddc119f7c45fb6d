// What the harnesses share: the entry, each input given as bytes to `FUZZ_HARNESS(bytes) { ... }`,
// and FUZZ_REQUIRE, a property every input must keep; a broken one stops the fuzzer with the input saved.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
