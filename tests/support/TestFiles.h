// Files a test writes or waits for.
#pragma once

#include <windows.h>

#include <string>

// The whole of PATH's bytes; false if it cannot be opened or read.
bool ReadFileText(const std::string& path, std::string& text);

// Replaces PATH's content with TEXT; true on success.
bool WriteFileText(const std::string& path, const std::string& text);

// True when PATH exists within TIMEOUTMS (polled every 10 ms).
bool WaitForFile(const std::string& path, DWORD timeoutMs);

// Deletes its file, when there is one, on construction and when it goes.
class TestFile {
public:
    explicit TestFile(std::string path);
    // A path in the temporary folder unique to this process and STEM.
    static TestFile InTemp(const char* stem);
    ~TestFile();
    TestFile(TestFile&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
    TestFile(const TestFile&) = delete;
    TestFile& operator=(const TestFile&) = delete;

    const std::string& path() const { return path_; }
    bool Exists() const;

private:
    std::string path_;
};

// The application data folder (APPDATA) of this process, and of the programs
// it starts, pointed at a new folder of the test's own while this lives; the
// folder goes with everything in it.
class TestAppData {
public:
    TestAppData();
    ~TestAppData();
    TestAppData(const TestAppData&) = delete;
    TestAppData& operator=(const TestAppData&) = delete;

    // Where Quillet keeps the user's own copy of the log NAME of PRODUCT.
    std::string UserLog(const char* product, const char* name) const;

private:
    std::string folder_;
    std::string previous_;
    bool hadPrevious_ = false;
};
