// Test-only stand-in for the module program. Each run appends one line to the file
// named by STANDIN_RECORD: its process id, its current directory and the bytes of
// the command file it found there in hex ("-" when there was none). Then it waits
// STANDIN_SLEEP_MS milliseconds, if set, and copies the file named by STANDIN_ANSWER
// to log.txt; without STANDIN_ANSWER it writes no result at all.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace {

std::string hex(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 0xf];
    }
    return out;
}

bool readFile(const char *path, std::string &bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

} // namespace

int main()
{
    std::string command;
    const bool hasCommand = readFile("kavro.cmd", command);
    if (const char *record = std::getenv("STANDIN_RECORD")) {
        std::ofstream out(record, std::ios::app);
        out << getpid() << '\t' << std::filesystem::current_path().string() << '\t'
            << (hasCommand ? hex(command) : std::string("-")) << std::endl;
    }
    if (const char *sleep = std::getenv("STANDIN_SLEEP_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(sleep)));
    const char *answerPath = std::getenv("STANDIN_ANSWER");
    std::string answer;
    if (!answerPath || !readFile(answerPath, answer))
        return 0;
    std::ofstream("log.txt", std::ios::binary) << answer;
    return 0;
}
