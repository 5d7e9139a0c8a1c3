#pragma once

// Small helpers shared by the tests: temporary directories, whole-file
// reads and writes, and running a built program.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quarn::test {

// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quarn-test-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) std::abort();
        m_path = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a shell command line, capturing its standard output and error.
inline CommandResult RunCommand(const std::string& commandLine) {
    TempDir dir;
    const std::string errFile = dir.File("stderr");
    CommandResult result;
    FILE* pipe = ::popen((commandLine + " 2>" + errFile).c_str(), "r");
    if (!pipe) return result;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) result.out.append(buf, n);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile);
    result.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    return result;
}

inline std::string BinPath(const std::string& program) {
    // Appended in place: g++ 12 at -O3 warns falsely (array-bounds) about the
    // temporaries of a chain of operator+.
    std::string path(QUARN_BIN_DIR);
    path.append("/").append(program);
    return path;
}

}  // namespace quarn::test
