// A fresh empty folder under the system's temporary folder, removed with its content at the end
// of the test.
#pragma once

#include <boost/filesystem.hpp>

#include <set>
#include <string>

class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const boost::filesystem::path& Path() const { return path; }
    std::string String() const { return path.string(); }
    // Writes `content` to the file `name` (sub-folders are created) and returns its path.
    boost::filesystem::path WriteFile(const std::string& name, const std::string& content) const;

private:
    boost::filesystem::path path;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const boost::filesystem::path& file);

// The names of a folder's entries, sorted.
std::set<std::string> Entries(const boost::filesystem::path& folder);
