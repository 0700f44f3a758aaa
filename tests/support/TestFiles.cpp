#include "tests/support/TestFiles.h"

#include "common/UniqueHandle.h"
#include "tests/support/TestPaths.h"

#include <vector>

bool ReadFileText(const std::string& path, std::string& text)
{
    unique_file file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD size = GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE)
        return false;
    std::vector<char> data(size);
    DWORD read = 0;
    if (size && (!ReadFile(file.get(), data.data(), size, &read, nullptr) || read != size))
        return false;
    text.assign(data.begin(), data.end());
    return true;
}

bool WriteFileText(const std::string& path, const std::string& text)
{
    unique_file file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.get(), text.data(), (DWORD)text.size(), &written, nullptr)
        && written == text.size();
}

bool WaitForFile(const std::string& path, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(10);
    }
    return true;
}

TestFile::TestFile(std::string path) : path_(std::move(path))
{
    DeleteFileA(path_.c_str());
}

TestFile TestFile::InTemp(const char* stem)
{
    return TestFile(TempFilePath(stem));
}

TestFile::~TestFile()
{
    if (!path_.empty())
        DeleteFileA(path_.c_str());
}

bool TestFile::Exists() const
{
    return GetFileAttributesA(path_.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found = {};
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

TestAppData::TestAppData() : folder_(TempFilePath("appdata"))
{
    char previous[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("APPDATA", previous, sizeof previous);
    hadPrevious_ = length > 0 && length < sizeof previous;
    previous_ = hadPrevious_ ? previous : "";
    CreateDirectoryA(folder_.c_str(), nullptr);
    SetEnvironmentVariableA("APPDATA", folder_.c_str());
}

TestAppData::~TestAppData()
{
    SetEnvironmentVariableA("APPDATA", hadPrevious_ ? previous_.c_str() : nullptr);
    RemoveTree(folder_);
}

std::string TestAppData::UserLog(const char* product, const char* name) const
{
    return folder_ + "\\Orvane\\" + product + "\\" + name;
}
