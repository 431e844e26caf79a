// A test of qefdump run for real: the input files in one folder, its caught output in another.
#pragma once

#include "tests/cli/cli_testing.h"

#include <gtest/gtest.h>

#include <string>

class QefdumpFixture : public ::testing::Test {
  protected:
    CommandResult Qefdump(const std::string& arguments, const std::string& stdoutTo = {}) {
        return RunCommand(ToolCommand(QEFDUMP_PATH) + " " + arguments, scratch_.Path(), stdoutTo);
    }
    fs::path WriteInput(const std::string& name, const Bytes& bytes) {
        fs::path path = folder_ / name;
        WriteFileBytes(path, bytes);
        return path;
    }
    // The input folder's names, each followed by a space.
    std::string Names() const {
        std::string joined;
        for (const std::string& name : folder_.Names())
            joined += name + " ";
        return joined;
    }

    TempFolder folder_;
    TempFolder scratch_;
};
