#include "associations/AssociationManager.h"
#include "tests/associations/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kProgram[] = "C:\\Tools\\Quillet\\Quillet.exe";
const char kProduct[] = "VerifierTest";
const std::string kClasses = "Software\\Classes\\";
const char kIexplore[] = "C:\\Program Files\\Internet Explorer\\iexplore.exe";

class AssociationVerifier : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sandbox.ok());
        WriteBrowserClasses(HKEY_CURRENT_USER);
    }

    // Binds the manager's program path and log through an entry point.
    void Bind(AssociationManager& manager)
    {
        manager.SetLogFile(log.path());
        manager.RunErrorTest(kProgram, kProduct, HKEY_LOCAL_MACHINE, BeforeTakeover);
        log.Clear();
    }

    bool Fault(VerifyMode mode, HKEY root = HKEY_CURRENT_USER)
    {
        AssociationManager manager;
        manager.SetLogFile(log.path());
        return manager.FindAssociationFault(kProgram, kProduct, root, mode);
    }

    RegistrySandbox sandbox;
    TestLogFile log{"assoc-verify"};
};

TEST_F(AssociationVerifier, AnalyzeCommandCountsTheExecutables)
{
    const std::string wrapped = std::string(kProgram) + " \"" + kIexplore + "\" -nohome %1";
    const std::string plain = std::string("\"") + kIexplore + "\" -nohome";
    struct { std::string command; VerifyMode mode; int result; std::string log; } cases[] = {
        {plain, BeforeTakeover, 1, ""},
        {wrapped, BeforeTakeover, 0, "Fount .EXE-file >1\r"},
        {plain, AfterTakeover, 0, "Fount .EXE-file  == 1\r"},
        {wrapped, AfterTakeover, 1, ""},
        {"c:\\tools\\quillet\\QUILLET.exe c:\\progra~1\\intern~1\\IExplore.Exe", AfterTakeover, 1, ""},
        {"\"C:\\Other\\OTHER.EXE\" %1", BeforeTakeover, 0, "NOT Find ( IEXPLORE.EXE )\rNOT Fount .EXE-file\r"},
        {"\"C:\\Other\\OTHER.EXE\" %1", AfterTakeover, 0, "NOT Find ( IEXPLORE.EXE )\rNOT Fount .EXE-file\r"},
        {std::string(kIexplore) + " /launch c:\\x\\Helper.exe %1", BeforeTakeover, 0,
         "Find unknown .EXE-file C:\\PROGRAM FILES\\INTERNET EXPLORER\\ /LAUNCH C:\\X\\HELPER.EXE\rFount .EXE-file >1\r"},
        {"url.dll,FileProtocolHandler %1", BeforeTakeover, 0, "NOT Fount .EXE-file\r"},
        {"url.dll,FileProtocolHandler %1", AfterTakeover, 0, "NOT Fount .EXE-file\r"},
        {"", BeforeTakeover, 0, "NOT Fount .EXE-file\r"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command + (c.mode == BeforeTakeover ? " before" : " after"));
        AssociationManager manager;
        Bind(manager);
        EXPECT_EQ(c.result, manager.AnalyzeCommand(c.command.c_str(), c.mode));
        EXPECT_EQ(c.log, log.Contents());
    }
}

// Runs in the ANSI code page of the test program's locale: 1252 normally,
// 932 in the run with a Japanese locale (tests/associations/CMakeLists.txt).
// 0x83 0x61 is one character of code page 932 whose trail byte looks like
// 'a' and must stay so; in code page 1252 0x83 is a character of its own.
TEST_F(AssociationVerifier, UpperCasingFollowsTheCodePagesCharacters)
{
    const UINT codePage = GetACP();
    if (codePage != 932 && codePage != 1252)
        GTEST_SKIP() << "no cases for code page " << codePage;
    const std::string command = std::string(kIexplore) + " c:\\tools\\\x83\x61.exe %1";
    const std::string unknown = codePage == 932 ? " C:\\TOOLS\\\x83\x61.EXE" : " C:\\TOOLS\\\x83\x41.EXE";
    AssociationManager manager;
    Bind(manager);
    EXPECT_EQ(0, manager.AnalyzeCommand(command.c_str(), BeforeTakeover));
    EXPECT_EQ("Find unknown .EXE-file C:\\PROGRAM FILES\\INTERNET EXPLORER\\" + unknown + "\rFount .EXE-file >1\r",
              log.Contents());
}

TEST_F(AssociationVerifier, BrowserAloneIsTheStateBeforeTheTakeover)
{
    EXPECT_FALSE(Fault(BeforeTakeover)) << log.Contents();
    EXPECT_TRUE(Fault(AfterTakeover));

    AssociationManager manager;
    manager.SaveBrowser(kProgram, kProduct, HKEY_CURRENT_USER);
    EXPECT_TRUE(Fault(BeforeTakeover));
    log.Clear();
    EXPECT_FALSE(Fault(AfterTakeover)) << log.Contents();
    EXPECT_FALSE(manager.IsTakeoverBroken(kProgram, kProduct, HKEY_CURRENT_USER, AfterTakeover));
}

TEST_F(AssociationVerifier, EachCheckedItemCanBreakTheTakeover)
{
    AssociationManager install;
    install.SaveBrowser(kProgram, kProduct, HKEY_CURRENT_USER);
    const std::string server = kClasses + "CLSID\\{0002DF01-0000-0000-C000-000000000046}\\LocalServer32";
    struct { std::string path; const char* name; const char* value; bool broken; } cases[] = {
        {server, nullptr, "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\"", true},
        {kClasses + ".htm", nullptr, "HTMLFile", true},
        {kClasses + ".url", nullptr, "other", true},
        {kClasses + ".shtml", nullptr, "other", false},
        {kClasses + "ftp\\shell", nullptr, "edit", true},
        {kClasses + "ftp\\shell", nullptr, "", false},  // no verb: the shell uses "open"
        {kClasses + "ftp\\shell", nullptr, "opennew", false},
        {kClasses + "ftp\\shell", nullptr, "Open", true},
        {kClasses + "HTTP\\shell\\open\\command", nullptr, "other.exe %1", true},
        {kClasses + "mhtmlfile\\shell\\opennew\\command", nullptr, "\"C:\\x\\iexplore.exe\" %1", true},
        {kClasses + "InternetShortcut\\shell\\open\\command", nullptr, "other.exe %1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " = " + c.value);
        const std::string previous = GetValue(HKEY_CURRENT_USER, c.path, c.name);
        PutValue(HKEY_CURRENT_USER, c.path, c.name, c.value);
        AssociationManager manager;
        EXPECT_EQ(c.broken, manager.IsTakeoverBroken(kProgram, kProduct, HKEY_CURRENT_USER, AfterTakeover));
        PutValue(HKEY_CURRENT_USER, c.path, c.name, previous);
    }
    // An extension without default value is a fault after the takeover only.
    RegDeleteValueA(HKEY_CURRENT_USER, (kClasses + ".html").c_str());
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, (kClasses + ".html").c_str(), 0, KEY_ALL_ACCESS, &key));
    RegDeleteValueA(key, nullptr);
    RegCloseKey(key);
    EXPECT_TRUE(Fault(AfterTakeover));
    EXPECT_NE(std::string::npos, log.Contents().find("Software\\Classes\\.html  not have parametr\r"));
    PutValue(HKEY_CURRENT_USER, kClasses + ".html", nullptr, "htmlfile");
    EXPECT_FALSE(Fault(AfterTakeover));
}

TEST_F(AssociationVerifier, MissingKeysAreNotJudged)
{
    AssociationManager manager;
    EXPECT_FALSE(manager.IsTakeoverBroken(kProgram, kProduct, HKEY_CURRENT_USER, AfterTakeover))
        << "no save key: nothing is looked at";
    EXPECT_FALSE(Fault(BeforeTakeover, HKEY_LOCAL_MACHINE)) << "an empty root";
    EXPECT_FALSE(Fault(AfterTakeover, HKEY_LOCAL_MACHINE));
    EXPECT_EQ("", log.Contents());
}

TEST_F(AssociationVerifier, ErrorTestLogsEveryCheckAndNeverFails)
{
    RegDeleteKeyA(HKEY_CURRENT_USER, (kClasses + ".url").c_str());
    PutValue(HKEY_CURRENT_USER, kClasses + ".htm", nullptr, "HTMLFile");
    PutValue(HKEY_CURRENT_USER, kClasses + "https\\shell", nullptr, "edit");
    PutValue(HKEY_CURRENT_USER, kClasses + "gopher\\shell\\open\\command", nullptr, "\"C:\\Other\\OTHER.EXE\" %1");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, (kClasses + ".html").c_str(), 0, KEY_ALL_ACCESS, &key));
    RegDeleteValueA(key, nullptr);
    RegCloseKey(key);

    AssociationManager manager;
    manager.SetLogFile(log.path());
    EXPECT_FALSE(manager.RunErrorTest(kProgram, kProduct, HKEY_CURRENT_USER, BeforeTakeover));
    EXPECT_EQ("...>Start Error Test ( HKCU )\r"
              "Software\\Classes\\CLSID -> Begin\rSoftware\\Classes\\CLSID -> Success\r"
              "Software\\Classes\\.htm -> Begin\r"
              "Software\\Classes\\.htm != ( htmlfile ) and == ( HTMLFile )\r"
              "Software\\Classes\\.htm -> Error\r"
              "Software\\Classes\\.html -> Begin\rSoftware\\Classes\\.html  not have parametr\r"
              "Software\\Classes\\.html -> Success\r"
              "Software\\Classes\\.url -> Begin\rSoftware\\Classes\\.url -> Success\r"
              "Software\\Classes\\ftp -> Begin\rSoftware\\Classes\\ftp -> Success\r"
              "Software\\Classes\\HTTP -> Begin\rSoftware\\Classes\\HTTP -> Success\r"
              "Software\\Classes\\https -> Begin\r"
              "Software\\Classes\\https\\shell != (open|opennew) and == edit\r\r"
              "Software\\Classes\\https -> Error\r"
              "Software\\Classes\\gopher -> Begin\rNOT Find ( IEXPLORE.EXE )\rNOT Fount .EXE-file\r"
              "Software\\Classes\\gopher -> Error\r"
              "Software\\Classes\\htmlfile -> Begin\rSoftware\\Classes\\htmlfile -> Success\r"
              "Software\\Classes\\mhtmlfile -> Begin\rSoftware\\Classes\\mhtmlfile -> Success\r"
              "...>End Error Test\r",
              log.Contents());
}

} // namespace
