// Running the real command-line programs from the tests, each in a folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

using Bytes = std::vector<unsigned char>;

struct CommandResult {
    int exitCode = -1; // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
  public:
    TempFolder() { fs::create_directories(path_); }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& Path() const { return path_; }
    fs::path operator/(std::string_view name) const { return path_ / name; }
    // The names in the folder, sorted, each followed by a space.
    std::string Names() const {
        std::set<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(path_))
            names.insert(entry.path().filename().string());
        std::string joined;
        for (const std::string& name : names)
            joined += name + " ";
        return joined;
    }

  private:
    fs::path path_ =
        fs::temp_directory_path() / ("qef-cli-test-" + std::to_string(std::random_device()()));
};

inline std::string Quoted(const fs::path& path) {
    return '"' + path.string() + '"';
}

inline std::string ReadFileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

inline void WriteFile(const fs::path& path, const Bytes& bytes) {
    WriteFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Runs `commandLine` through the shell in `folder`, its output caught in files of `scratch`.
inline CommandResult RunCommand(const std::string& commandLine, const fs::path& folder,
                                const fs::path& scratch) {
    std::string redirections = " > " + Quoted(scratch / "out") + " 2> " + Quoted(scratch / "err");
    CommandResult result;
#ifdef _WIN32
    // cmd /c drops the first and the last quote of a line that starts with one. Under Wine it
    // has been seen, once in a whole suite, not to start a program that was there (9009).
    std::string full = "\"cd /d " + Quoted(folder) + " && " + commandLine + redirections + "\"";
    for (int attempt = 0; attempt < 3 && (attempt == 0 || result.exitCode == 9009); ++attempt)
        result.exitCode = std::system(full.c_str()); // NOLINT(cert-env33-c)
#else
    std::string full = "cd " + Quoted(folder) + " && " + commandLine + redirections;
    int status = std::system(full.c_str()); // NOLINT(cert-env33-c)
    result.exitCode = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    result.out = ReadFileText(scratch / "out");
    result.err = ReadFileText(scratch / "err");
    // Windows writes stderr in text mode: its CR LF come back as LF.
    for (size_t at = result.err.find("\r\n"); at != std::string::npos; at = result.err.find("\r\n"))
        result.err.erase(at, 1);
    return result;
}

// Hand-built records for exact expectations.
inline void AppendRecord(Bytes& file, const unsigned char (&tag)[4], uint32_t declaredSize,
                         std::string_view data) {
    // Byte by byte: GCC 12 takes a range insert into a vector it has just grown for a write
    // out of bounds (-Wstringop-overflow) in 32-bit builds.
    for (unsigned char byte : tag)
        file.push_back(byte);
    for (int shift = 0; shift < 32; shift += 8)
        file.push_back((unsigned char)(declaredSize >> shift));
    for (char byte : data)
        file.push_back((unsigned char)byte);
}

inline Bytes SignatureRecord(std::string_view signature = "Module info file v2.0") {
    static const unsigned char tag[4] = {0x4D, 0x6F, 0x64, 0x00};
    Bytes file;
    AppendRecord(file, tag, uint32_t(signature.size()), signature);
    return file;
}

// A test with a folder to run in and one for the caught output.
class CliTest : public ::testing::Test {
  protected:
    CommandResult Run(const char* tool, const std::string& arguments) {
        fs::path path(tool);
#ifdef _WIN32
        // A cross build knows the program by its build-host path; the current drive maps it.
        path = fs::absolute(path.make_preferred());
#endif
        return RunCommand(Quoted(path) + " " + arguments, folder_.Path(), scratch_.Path());
    }

    TempFolder folder_;
    TempFolder scratch_;
};
