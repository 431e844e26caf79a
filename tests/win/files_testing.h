// Shared by the loading and saving tests: a private temporary folder, and the file operations
// table wrapped so that tests can count handles and blocks and make single calls misbehave.
#pragma once

#include "files/file_operations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A fresh folder in the temporary folder for each test, removed with everything in it.
class TempFolderTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A path in the folder, for a file that may or may not be made.
    std::string PathOf(const std::string& name);
    // A file holding exactly `bytes`.
    std::string MakeFile(const std::string& name, const std::string& bytes);
    // `bytes` followed by zeros up to `size` bytes, without writing the zeros: sparse where the
    // file system allows it.
    std::string MakeLongFile(const std::string& name, const std::string& bytes,
                             unsigned long long size);

    std::string folder;
};

// Every byte of a file, or "<missing>".
std::string ReadWholeFile(const std::string& path);

enum Misbehaviour {
    BEHAVE,
    FAIL_CREATE,
    FAIL_SIZE,
    FAIL_RESERVE,
    FAIL_READ,
    GROW_SIZE, // the size reads 16 bytes more than the file has: it shrank before the read
    FAIL_WRITE,
    SHORT_WRITE, // the write reports success after half the bytes
};

// Names the parameterised failure tests by the call that misbehaves.
std::string MisbehaviourName(const ::testing::TestParamInfo<Misbehaviour>& info);

// What the wrapped calls saw since the last WatchedFileOperations().
struct FileCallCounts {
    int opened = 0;
    int closed = 0;
    int reserved = 0;
    int released = 0;
    int reads = 0;
    int writes = 0;
};

// The real calls, counted, with at most one of them misbehaving as told.
const FileOperations& WatchedFileOperations(Misbehaviour misbehaviour);
const FileCallCounts& WatchedCounts();

std::string Bytes(const std::vector<unsigned char>& bytes);
