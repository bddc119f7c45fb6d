#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

ScratchDirectory::ScratchDirectory() : previous_(std::filesystem::current_path())
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kavro-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    std::filesystem::current_path(path_);
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteBytes(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

void ComTest::SetUp()
{
    comrt::ResetRuntimeForTests();
    platform.Register();
}

void ComTest::TearDown()
{
    comrt::ResetRuntimeForTests();
    EXPECT_EQ(comrt::LiveObjectCount(), 0) << "COM objects left alive";
    EXPECT_EQ(comrt::LiveStringCount(), 0) << "BSTRs left unfreed";
}
