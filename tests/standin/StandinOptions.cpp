#include "tests/standin/StandinOptions.h"

#include "common/UniqueHandle.h"

#include <stdlib.h>

namespace {

const char kOptionsKey[] = "Software\\Quillet Test Bench\\Stand-in";

// Value of "--NAME=VALUE" (or "--NAME" with no value) when WORD is that option.
bool MatchOption(const std::string& word, const char* name, std::string& value)
{
    std::string prefix = std::string("--") + name;
    if (word.compare(0, prefix.size(), prefix) != 0)
        return false;
    if (word.size() == prefix.size()) {
        value.clear();
        return true;
    }
    if (word[prefix.size()] != '=')
        return false;
    value = word.substr(prefix.size() + 1);
    return true;
}

DWORD Milliseconds(const std::string& text, DWORD fallback)
{
    return text.empty() ? fallback : strtoul(text.c_str(), nullptr, 10);
}

std::string RegistryOptions()
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kOptionsKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return {};
    char text[2048] = {};
    DWORD size = sizeof(text) - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), "Options", nullptr, &type, (BYTE*)text, &size) != ERROR_SUCCESS
        || type != REG_SZ)
        return {};
    return text;
}

bool ApplyTimedOption(const std::string& word, StandinOptions& options)
{
    std::string value;
    if (MatchOption(word, "blank", value))
        options.blankFirstMs = Milliseconds(value, 300);
    else if (MatchOption(word, "delay", value))
        options.delayMs = Milliseconds(value, 0);
    else if (MatchOption(word, "reicon", value))
        options.iconChangeMs = Milliseconds(value, 300);
    else if (MatchOption(word, "stay", value))
        options.stayMs = Milliseconds(value, 0);
    else if (MatchOption(word, "recaption", value)) {
        size_t colon = value.find(':');
        options.captionChangeMs = Milliseconds(value.substr(0, colon), 300);
        options.newCaption = colon == std::string::npos ? std::string() : value.substr(colon + 1);
    } else
        return false;
    return true;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& text)
{
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

void ApplyStandinWords(const std::vector<std::string>& words, StandinOptions& options)
{
    for (const std::string& word : words) {
        std::string value;
        if (word.compare(0, 2, "--") != 0)
            options.arguments.push_back(word);
        else if (ApplyTimedOption(word, options))
            continue;
        else if (MatchOption(word, "report", value))
            options.reportPath = value;
        else if (MatchOption(word, "title", value))
            options.title = value;
        else if (MatchOption(word, "hold", value))
            options.holdPath = value;
        else if (MatchOption(word, "exitcode", value))
            options.exitCode = strtoul(value.c_str(), nullptr, 10);
        else if (MatchOption(word, "exit", value))
            options.exitAtOnce = true;
        else if (MatchOption(word, "hidden", value))
            options.hidden = true;
        else if (MatchOption(word, "classicons", value))
            options.classIconsOnly = true;
        else if (MatchOption(word, "second", value))
            options.secondWindow = true;
        else if (MatchOption(word, "dialog", value))
            options.ownedDialog = true;
        else
            options.unknown.push_back(word);
    }
}

StandinOptions ReadStandinOptions(const char* commandLine)
{
    StandinOptions options;
    ApplyStandinWords(SplitCommandLine(RegistryOptions()), options);
    std::vector<std::string> words = SplitCommandLine(commandLine ? commandLine : "");
    if (!words.empty())
        words.erase(words.begin());
    ApplyStandinWords(words, options);
    return options;
}

std::string MainCaption(const StandinOptions& options)
{
    if (!options.title.empty())
        return options.title;
    for (const std::string& argument : options.arguments)
        if (argument.find(':') != std::string::npos && argument[0] != '-')
            return argument + " - Stand-in Browser";
    return "Stand-in Browser";
}
