// What the CLI tests share: a folder of their own for each test, qefdump or another program run
// in it with its output caught beside it, and runs described as rows of what must hold.
#pragma once

#include "cli/options.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

// Text mode reads what Windows writes in text mode (stderr) with LF for CR LF.
inline std::string ReadText(const fs::path& path, std::ios::openmode mode = std::ios::binary) {
    std::ostringstream text;
    text << std::ifstream(path, mode).rdbuf();
    return text.str();
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string Quoted(const fs::path& path) {
    return '"' + path.string() + '"';
}

// The lines of `text`, each with its line break.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at + 1));
    }
    return lines;
}

// The words of a command line (the program's name first) parsed as qefdump parses its own.
inline ParseOutcome Parse(std::vector<std::string> words, DumpOptions& options) {
    std::vector<char*> argv(words.size());
    for (size_t k = 0; k < words.size(); ++k)
        argv[k] = words[k].data();
    return ParseDumpOptions(int(argv.size()), argv.data(), options);
}

struct Result {
    int exitCode; // -1 when the program did not exit normally
    std::string out, err;
};

// A run of qefdump and what must hold of it: its status, and its standard output and error
// where they are given.
struct Expected {
    std::string arguments;
    int exitCode;
    std::optional<std::string> out = std::nullopt, err = std::nullopt;
};

// Commands run in work_, their output caught beside it; all of it removed afterwards.
class CliTest : public ::testing::Test {
  protected:
    CliTest() { Fresh(); }
    ~CliTest() override { fs::remove_all(root_, ignored_); }
    void Fresh() {
        fs::remove_all(work_);
        fs::create_directories(work_);
    }
    // Files in work_ by names that may hold folders, which are made.
    void Put(std::initializer_list<std::pair<fs::path, std::string>> files) {
        for (const auto& [name, bytes] : files) {
            fs::create_directories((work_ / name).parent_path());
            WriteBytes(work_ / name, bytes);
        }
    }
    // Each run in turn, traced by its arguments.
    void Check(const std::vector<Expected>& runs) {
        for (const Expected& run : runs) {
            SCOPED_TRACE("qefdump " + run.arguments);
            Result got = Run(QEFDUMP_PATH, run.arguments);
            EXPECT_EQ(got.exitCode, run.exitCode);
            EXPECT_EQ(got.out, run.out.value_or(got.out));
            EXPECT_EQ(got.err, run.err.value_or(got.err));
        }
    }
    Result Run(const char* tool, const std::string& arguments) {
        fs::path path(tool);
#ifdef _WIN32
        // A cross build knows the program by its build-host path; the current drive maps it.
        path = fs::absolute(path.make_preferred());
#endif
        std::string full = "cd " + Quoted(work_) + " && " + Quoted(path) + " " + arguments + " > " +
                           Quoted(root_ / "out") + " 2> " + Quoted(root_ / "err");
        int code = -1;
#ifdef _WIN32
        // cmd /c drops the first and the last quote of a line that starts with one. Under Wine
        // it has been seen, once in a whole suite, not to start a program that was there (9009).
        full = "\"" + full.insert(3, "/d ") + "\"";
        for (int attempt = 0; attempt < 3 && (attempt == 0 || code == 9009); ++attempt)
            code = std::system(full.c_str()); // NOLINT(cert-env33-c)
#else
        // A runaway program stops at 2 GiB a file (512-byte blocks) instead of filling the disk.
        code = std::system(("ulimit -f 4194304; " + full).c_str()); // NOLINT(cert-env33-c)
        code = code != -1 && WIFEXITED(code) ? WEXITSTATUS(code) : -1;
#endif
        return {code, ReadText(root_ / "out"), ReadText(root_ / "err", std::ios::in)};
    }

    std::error_code ignored_;
    fs::path root_ = fs::temp_directory_path() / ("qef-" + std::to_string(std::random_device()()));
    fs::path work_ = root_ / "w";
};
