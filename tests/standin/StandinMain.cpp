// The stand-in for Internet Explorer: a test program that reports its
// command line and token, then shows the windows its options ask for.
#include "tests/standin/StandinOptions.h"
#include "tests/standin/StandinWindows.h"
#include "tests/standin/TokenFacts.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    StandinOptions options = ReadStandinOptions(GetCommandLineA());
    // Held until the process ends, before the report says it runs.
    if (!options.holdPath.empty())
        CreateFileA(options.holdPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    TokenFacts facts = ReadOwnTokenFacts();
    // The report is complete before any window exists: a test that sees the
    // first window may read it at once.
    if (!options.reportPath.empty()
        && !WriteReportFile(options.reportPath, FormatReport(facts, options.arguments)))
        return 3;
    if (options.exitAtOnce)
        return (int)options.exitCode;

    std::string text = DescribeProtection(facts);
    std::string opened;
    for (const std::string& argument : options.arguments)
        opened += " " + argument;
    text = "This is the project's stand-in for Internet Explorer.\r\nArguments:"
         + (opened.empty() ? std::string(" none") : opened) + "\r\n\r\n" + text;
    if (!RegisterStandinClasses(instance)
        || !OpenStandinWindows(options, text, AdministratorsDenyOnly(facts)))
        return 4;
    return RunStandinLoop();
}
