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
