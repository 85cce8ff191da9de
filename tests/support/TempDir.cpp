#include "tests/support/TempDir.h"

#include <fstream>
#include <iterator>

namespace fs = boost::filesystem;

TempDir::TempDir()
    : path(fs::temp_directory_path() / fs::unique_path("updater-test-%%%%-%%%%-%%%%"))
{
    fs::create_directories(path);
}

TempDir::~TempDir()
{
    boost::system::error_code ignored;
    fs::remove_all(path, ignored);
}

fs::path TempDir::WriteFile(const std::string& name, const std::string& content) const
{
    const fs::path file = path / name;
    fs::create_directories(file.parent_path());
    std::ofstream out(file.string(), std::ios::binary);
    out << content;
    return file;
}

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file.string(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::set<std::string> Entries(const fs::path& folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}
