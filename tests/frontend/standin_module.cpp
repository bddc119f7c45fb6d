// Test-only stand-in for the module program. Each run appends one line to the file
// named by STANDIN_RECORD: its process id, its current directory and the bytes of
// the command file it found there in hex ("-" when there was none). Then it waits
// STANDIN_SLEEP_MS milliseconds, if set, and copies the file named by STANDIN_ANSWER
// to log.txt; without STANDIN_ANSWER it writes no result at all. After that it waits
// STANDIN_LINGER_MS milliseconds, if set, and with STANDIN_KILL set it ends by SIGKILL.

#include <chrono>
#include <csignal>
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

void pause(const char *variable)
{
    if (const char *milliseconds = std::getenv(variable))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(milliseconds)));
}

// Ends the run as a kill from outside would: no clean-up, no exit status.
[[noreturn]] void killSelf()
{
#ifdef SIGKILL
    std::raise(SIGKILL);
#endif
    std::abort();
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
    pause("STANDIN_SLEEP_MS");
    if (const char *answerPath = std::getenv("STANDIN_ANSWER")) {
        // Copied by the stream buffers, so an answer of 100 MB takes no time worth noting.
        std::ifstream answer(answerPath, std::ios::binary);
        if (answer)
            std::ofstream("log.txt", std::ios::binary) << answer.rdbuf();
    }
    pause("STANDIN_LINGER_MS");
    if (std::getenv("STANDIN_KILL"))
        killSelf();
    return 0;
}
