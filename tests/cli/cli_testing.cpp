#include "tests/cli/cli_testing.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <process.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

int ProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return int(getpid());
#endif
}

int ExitCodeOf(int systemResult) {
#ifdef _WIN32
    return systemResult;
#else
    return systemResult != -1 && WIFEXITED(systemResult) ? WEXITSTATUS(systemResult) : -1;
#endif
}

#ifdef _WIN32
// cmd's own status for a program it could not start; none of ours exits with it. Under Wine,
// cmd has been seen to answer so, once in a whole suite, for a program that was there.
constexpr int CommandNotStarted = 9009;
constexpr int CommandStartAttempts = 3;
#else
constexpr int CommandNotStarted = -1;
constexpr int CommandStartAttempts = 1;
#endif

fs::path FreshFolderPath() {
    static std::atomic<int> counter{0};
    return fs::temp_directory_path() /
           ("qef-cli-test-" + std::to_string(ProcessId()) + "-" + std::to_string(++counter));
}

} // namespace

TempFolder::TempFolder() : path_(FreshFolderPath()) {
    fs::remove_all(path_);
    fs::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::vector<std::string> TempFolder::Names() const {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Quoted(const fs::path& path) {
    // Appended piece by piece: GCC 12 warns falsely about `"\"" + std::string`.
    std::string quoted(1, '"');
    quoted += path.string();
    quoted += '"';
    return quoted;
}

std::string ToolCommand(const char* builtPath) {
    fs::path path(builtPath);
#ifdef _WIN32
    // A cross build knows the program by its build-host path; the current drive maps it.
    path = fs::absolute(path.make_preferred());
#endif
    return Quoted(path);
}

std::string NullDevice() {
#ifdef _WIN32
    return "NUL";
#else
    return "/dev/null";
#endif
}

CommandResult RunCommand(const std::string& commandLine, const fs::path& scratch,
                         const std::string& stdoutTo) {
    fs::path outPath = scratch / "command.out";
    fs::path errPath = scratch / "command.err";
    bool keepStdout = stdoutTo.empty();
    std::string full =
        commandLine + " > " + (keepStdout ? Quoted(outPath) : stdoutTo) + " 2> " + Quoted(errPath);
#ifdef _WIN32
    // cmd /c drops the first and the last quote of a line that starts with one.
    full.insert(full.begin(), '"');
    full += '"';
#endif
    CommandResult result;
    for (int attempt = 0; attempt < CommandStartAttempts; ++attempt) {
        // The programs are meant to be run by a shell, redirections and all.
        result.exitCode = ExitCodeOf(std::system(full.c_str())); // NOLINT(cert-env33-c)
        if (result.exitCode != CommandNotStarted)
            break;
    }
    if (keepStdout)
        result.out = ReadFileText(outPath);
    result.err = ReadFileText(errPath);
#ifdef _WIN32
    for (size_t at = result.err.find("\r\n"); at != std::string::npos;
         at = result.err.find("\r\n", at))
        result.err.erase(at, 1);
#endif
    std::error_code ignored;
    fs::remove(outPath, ignored);
    fs::remove(errPath, ignored);
    return result;
}

std::string FirstDifference(const std::string& actual, const std::string& expected) {
    if (actual == expected)
        return {};
    auto [a, e] = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    return std::to_string(actual.size()) + " bytes against " + std::to_string(expected.size()) +
           " expected, first difference at byte " + std::to_string(a - actual.begin());
}

std::string ReadFileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void WriteFileText(const fs::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), std::streamsize(text.size()));
}

void AppendRecord(Bytes& file, const unsigned char (&tag)[4], uint32_t declaredSize,
                  std::string_view data) {
    file.insert(file.end(), tag, tag + 4);
    for (int shift = 0; shift < 32; shift += 8)
        file.push_back((unsigned char)(declaredSize >> shift));
    file.insert(file.end(), data.begin(), data.end());
}

Bytes SignatureRecord(std::string_view signature, std::string_view extra) {
    static const unsigned char tag[4] = {0x4D, 0x6F, 0x64, 0x00};
    std::string data = std::string(signature) + std::string(extra);
    Bytes file;
    AppendRecord(file, tag, uint32_t(data.size()), data);
    return file;
}
