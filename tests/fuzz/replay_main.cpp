// Replays a harness's seed corpus (the directories given) once, input by input, for
// ctest: the harness's properties and the build's sanitizers judge each run.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_check.h"

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
