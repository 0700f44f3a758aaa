// A private copy of Quillet.exe (with Spirel.dll beside it) in a folder of
// its own, so that what the program writes next to itself (HookWnd.log) never
// lands in the build's bin folder. The folder goes when the copy goes.
#pragma once

#include "tests/launcher/MessageBoxWatcher.h"

#include <windows.h>
#include <string>
#include <vector>

class QuilletCopy {
public:
    QuilletCopy();
    ~QuilletCopy();
    QuilletCopy(const QuilletCopy&) = delete;
    QuilletCopy& operator=(const QuilletCopy&) = delete;

    const std::string& Folder() const { return folder_; }
    std::string Program() const { return folder_ + "Quillet.exe"; }

    // Starts the copy with ARGUMENTS and waits up to TIMEOUT ms for its end.
    // The exit code, 0xDEAD when it had to be killed, ~0u when it could not
    // be started. With BOXES, the message boxes of
    // its main thread are answered with ANSWER and recorded there.
    DWORD Run(const std::string& arguments, DWORD timeout = 20000,
              std::vector<SeenMessageBox>* boxes = nullptr, WORD answer = IDOK) const;

private:
    std::string folder_;
};

// The values of the real product's settings key "SOFTWARE\Orvane\Quillet\Main"
// that a test sets for a Quillet.exe it starts; put back as they were after.
class ProductSettings {
public:
    ProductSettings();
    ~ProductSettings();
    ProductSettings(const ProductSettings&) = delete;
    ProductSettings& operator=(const ProductSettings&) = delete;

    void Set(const char* name, DWORD value);

private:
    struct Saved {
        const char* name;
        bool existed;
        DWORD value;
    };
    bool productKeyExisted_;
    Saved saved_[4];
};
