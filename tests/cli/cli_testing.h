// Running the real command-line programs from the tests, with their output caught in files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

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
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& Path() const { return path_; }
    fs::path operator/(std::string_view name) const { return path_ / name; }
    // The names in the folder, sorted.
    std::vector<std::string> Names() const;

  private:
    fs::path path_;
};

// The program as the shell of this platform can start it, quoted.
std::string ToolCommand(const char* builtPath);
// A path quoted for the command line.
std::string Quoted(const fs::path& path);
std::string NullDevice();

// Runs `commandLine` through the shell with stderr caught in a file of `scratch` (which must
// exist), and stdout too unless `stdoutTo` names where it goes instead (a device, say).
// Windows writes stderr in text mode: its CR LF come back as LF.
CommandResult RunCommand(const std::string& commandLine, const fs::path& scratch,
                         const std::string& stdoutTo = {});

// Empty when the two are equal, else where they part; keeps huge texts out of test reports.
std::string FirstDifference(const std::string& actual, const std::string& expected);

std::string ReadFileText(const fs::path& path);
void WriteFileBytes(const fs::path& path, const Bytes& bytes);
void WriteFileText(const fs::path& path, std::string_view text);

// Hand-built records for exact expectations.
void AppendRecord(Bytes& file, const unsigned char (&tag)[4], uint32_t declaredSize,
                  std::string_view data);
Bytes SignatureRecord(std::string_view signature = "Module info file v2.0",
                      std::string_view extra = {});
