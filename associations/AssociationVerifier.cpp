#include "associations/AssociationItems.h"
#include "associations/AssociationKeys.h"
#include "associations/AssociationManager.h"

#include <cstring>
#include <new>

namespace {

bool Contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

bool EraseFirst(std::string& text, const std::string& part)
{
    size_t at = text.find(part);
    if (part.empty() || at == std::string::npos)
        return false;
    text.erase(at, part.size());
    return true;
}

} // namespace

bool AssociationManager::FindAssociationFault(const char* programPath, const char* productName, HKEY root,
                                              VerifyMode mode)
{
    StoreOperands(programPath, productName, root);
    bool fault = false;
    try {
        fault = ReserveBuffer(1024) && VerifyAssociations(mode);
    } catch (const std::bad_alloc&) {
    }
    FreeBuffer();
    return fault;
}

bool AssociationManager::IsTakeoverBroken(const char* programPath, const char* productName, HKEY root,
                                          VerifyMode mode)
{
    if (!IsTakenOver(programPath, productName, root))
        return false;
    return FindAssociationFault(programPath, productName, root, mode);
}

bool AssociationManager::RunErrorTest(const char* programPath, const char* productName, HKEY root, VerifyMode mode)
{
    StoreOperands(programPath, productName, root);
    try {
        if (ReserveBuffer(1024))
            ErrorTest(mode);
    } catch (const std::bad_alloc&) {
    }
    FreeBuffer();
    return false;
}

bool AssociationManager::VerifyAssociations(VerifyMode mode)
{
    if (CheckClsid(root_, kClassesPrefix, mode) == CheckFault)
        return true;
    for (int i = 0; i < kCheckedExtensions; ++i) {
        int result = CheckExtension(root_, kClassesPrefix, kExtensionPairs[i].extension, kExtensionPairs[i].className);
        if (result == CheckFault || (result == CheckNoDefaultValue && mode == AfterTakeover))
            return true;
    }
    for (int i = 0; i < kCheckedClasses; ++i) {
        if (CheckClass(root_, kClassesPrefix, kClassNames[i], mode) == CheckFault)
            return true;
    }
    return false;
}

int AssociationManager::CheckClsid(HKEY root, const char* prefix, VerifyMode mode)
{
    unique_hkey key;
    if (!OpenAssociationKey(root, ClsidServerPath(prefix), key) || !ReadValue(key.get(), nullptr, nullptr))
        return CheckUnjudged;
    return AnalyzeCommand(Value(), mode);
}

int AssociationManager::CheckExtension(HKEY root, const char* prefix, const char* extension, const char* className)
{
    std::string path = ItemPath(prefix, extension);
    unique_hkey key;
    if (!OpenAssociationKey(root, path, key))
        return CheckUnjudged;
    if (!ReadValue(key.get(), nullptr, nullptr)) {
        Log("%s  not have parametr", path.c_str());
        return CheckNoDefaultValue;
    }
    if (std::strcmp(Value(), className) != 0) {
        Log("%s != ( %s ) and == ( %s )", path.c_str(), className, Value());
        return CheckFault;
    }
    return CheckPassed;
}

int AssociationManager::CheckClass(HKEY root, const char* prefix, const char* name, VerifyMode mode)
{
    std::string shellPath = ItemPath(prefix, name) + "\\shell";
    unique_hkey shell;
    if (!OpenAssociationKey(root, shellPath, shell))
        return CheckUnjudged;
    // An empty verb is no verb: the shell then uses "open".
    if (ReadValue(shell.get(), nullptr, nullptr) && Value()[0] != '\0' && std::strcmp(Value(), "open") != 0 &&
        std::strcmp(Value(), "opennew") != 0) {
        Log("%s != (open|opennew) and == %s\r", shellPath.c_str(), Value());
        return CheckFault;
    }
    return CheckCommands(root, prefix, name, mode);
}

int AssociationManager::CheckCommand(HKEY root, const std::string& commandPath, VerifyMode mode)
{
    unique_hkey key;
    if (!OpenAssociationKey(root, commandPath, key) || !ReadValue(key.get(), nullptr, nullptr))
        return CheckUnjudged;
    return AnalyzeCommand(Value(), mode);
}

int AssociationManager::CheckCommands(HKEY root, const char* prefix, const char* name, VerifyMode mode)
{
    std::string shellPath = ItemPath(prefix, name) + "\\shell\\";
    int result = CheckCommand(root, shellPath + "open\\command", mode);
    if (result == CheckFault)
        return CheckFault;
    int opennew = CheckCommand(root, shellPath + "opennew\\command", mode);
    return opennew == CheckUnjudged ? result : opennew;
}

int AssociationManager::AnalyzeCommand(const char* command, VerifyMode mode)
{
    static const char kBrowser[] = "IEXPLORE.EXE";
    std::string text = UpperCase(command);
    std::string program = UpperCase(ProgramPath().c_str());
    int count = 0;
    bool browserSeen = false;
    int result = CheckFault;
    while (Contains(text, ".EXE")) {
        if (EraseFirst(text, kBrowser)) {
            ++count;
            browserSeen = true;
            result = CheckPassed;
        } else if (!browserSeen) {
            Log("NOT Find ( %s )", kBrowser);
            result = CheckFault;
            break;
        } else if (!EraseFirst(text, program)) {
            std::string unknown = text.substr(0, text.find(".EXE") + 4);
            Log("Find unknown .EXE-file %s", unknown.c_str());
            ++count;
            result = CheckFault;
            break;
        } else {
            ++count;
        }
    }
    if (count == 0) {
        Log("NOT Fount .EXE-file");
        result = CheckFault;
    }
    if (mode == BeforeTakeover && count > 1) {
        Log("Fount .EXE-file >1");
        result = CheckFault;
    } else if (mode == AfterTakeover && count == 1) {
        Log("Fount .EXE-file  == 1");
        result = CheckFault;
    }
    return result;
}

void AssociationManager::ErrorTest(VerifyMode mode)
{
    const char* prefix = kClassesPrefix;
    Log("...>Start Error Test ( %s )", RootName(root_));
    Log("%s\\CLSID -> Begin", prefix);
    bool passed = CheckClsid(root_, prefix, mode) != CheckFault;
    Log(passed ? "%s\\CLSID -> Success" : "%s\\CLSID -> Error", prefix);
    for (int i = 0; i < kCheckedExtensions; ++i) {
        const char* extension = kExtensionPairs[i].extension;
        Log("%s\\%s -> Begin", prefix, extension);
        passed = CheckExtension(root_, prefix, extension, kExtensionPairs[i].className) != CheckFault;
        Log(passed ? "%s\\%s -> Success" : "%s\\%s -> Error", prefix, extension);
    }
    for (int i = 0; i < kCheckedClasses; ++i) {
        Log("%s\\%s -> Begin", prefix, kClassNames[i]);
        passed = CheckClass(root_, prefix, kClassNames[i], mode) != CheckFault;
        Log(passed ? "%s\\%s -> Success" : "%s\\%s -> Error", prefix, kClassNames[i]);
    }
    Log("...>End Error Test");
}
