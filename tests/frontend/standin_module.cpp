// Test-only stand-in for the module program. Each run appends one line to the file
// named by STANDIN_RECORD: its process id, its current directory and the bytes of
// the command file it found there in hex (nothing when there was none). Then it copies
// the file named by STANDIN_ANSWER to log.txt; without STANDIN_ANSWER it writes no
// result at all. With STANDIN_PLANT=link it leaves instead a link log.txt to that file,
// with STANDIN_PLANT=fifo a FIFO log.txt and a child that writes the answer into it
// once a reader opens it (within 5 s). The files named by STANDIN_STDOUT and
// STANDIN_STDERR, when set, are copied to its standard output and standard error.
// After that it waits STANDIN_LINGER_MS milliseconds, if set, and with STANDIN_KILL
// set it ends by SIGKILL.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::string hex(const std::string &bytes)
{
    std::ostringstream out;
    for (unsigned char c : bytes)
        out << std::hex << std::setw(2) << std::setfill('0') << static_cast<int>(c);
    return out.str();
}

std::string fileBytes(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Ends the run as a kill from outside would: no clean-up, no exit status.
[[noreturn]] void killSelf()
{
#ifdef SIGKILL
    std::raise(SIGKILL);
#endif
    std::abort();
}

#ifndef _WIN32
// Leaves log.txt as `how` says, in place of the answer.
void plantResult(const std::string &how, const char *answerPath)
{
    if (how == "link") {
        ::symlink(answerPath, "log.txt");
    } else if (::mkfifo("log.txt", 0666) == 0 && ::fork() == 0) {
        ::alarm(5); // nobody came to read
        std::ofstream("log.txt", std::ios::binary) << fileBytes(answerPath);
        ::_exit(0);
    }
}
#endif

} // namespace

int main()
{
    if (const char *record = std::getenv("STANDIN_RECORD")) {
        std::ofstream out(record, std::ios::app);
        out << getpid() << '\t' << std::filesystem::current_path().string() << '\t' << hex(fileBytes("kavro.cmd"))
            << std::endl;
    }
    const char *answerPath = std::getenv("STANDIN_ANSWER");
#ifndef _WIN32
    if (const char *how = std::getenv("STANDIN_PLANT"); how && answerPath) {
        plantResult(how, answerPath);
        answerPath = nullptr;
    }
#endif
    if (answerPath) {
        // Copied by the stream buffers, so an answer of 100 MB takes no time worth noting.
        std::ifstream answer(answerPath, std::ios::binary);
        if (answer)
            std::ofstream("log.txt", std::ios::binary) << answer.rdbuf();
    }
    if (const char *path = std::getenv("STANDIN_STDOUT"))
        std::cout << std::ifstream(path, std::ios::binary).rdbuf() << std::flush;
    if (const char *path = std::getenv("STANDIN_STDERR"))
        std::cerr << std::ifstream(path, std::ios::binary).rdbuf() << std::flush;
    if (const char *milliseconds = std::getenv("STANDIN_LINGER_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(milliseconds)));
    if (std::getenv("STANDIN_KILL"))
        killSelf();
    return 0;
}
