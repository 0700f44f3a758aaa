// A product caption of the test's own, so that its settings live under a key
// that nothing else uses; the whole product key goes when the test ends.
#pragma once

#include "programwide/LauncherState.h"

#include <windows.h>
#include <shlwapi.h>
#include <gtest/gtest.h>
#include <string>

class SettingsFixture : public testing::Test {
protected:
    void SetUp() override
    {
        savedCaption_ = g_launcher.productCaption;
        wsprintfA(g_launcher.productCaption, "QuilletTest-%lu", GetCurrentProcessId());
        SHDeleteKeyA(HKEY_CURRENT_USER, ProductKey().c_str());
    }

    void TearDown() override
    {
        SHDeleteKeyA(HKEY_CURRENT_USER, ProductKey().c_str());
        lstrcpynA(g_launcher.productCaption, savedCaption_.c_str(), sizeof g_launcher.productCaption);
    }

    static std::string ProductKey() { return std::string("SOFTWARE\\Orvane\\") + g_launcher.productCaption; }
    static std::string MainKey() { return ProductKey() + "\\Main"; }

    static bool MainKeyExists()
    {
        HKEY key = nullptr;
        LONG result = RegOpenKeyExA(HKEY_CURRENT_USER, MainKey().c_str(), 0, KEY_READ, &key);
        if (result == ERROR_SUCCESS)
            RegCloseKey(key);
        return result == ERROR_SUCCESS;
    }

    // Stores raw bytes under NAME with the given type, creating the key.
    static void StoreValue(const char* name, DWORD type, const void* data, DWORD size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, MainKey().c_str(), 0, nullptr, 0,
                                                 KEY_WRITE, nullptr, &key, nullptr));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
        RegCloseKey(key);
    }

private:
    std::string savedCaption_;
};
