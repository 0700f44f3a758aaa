// The two warnings of a start that failed: "Invalid application name - %s"
// and "Application %s cannot be run in safe mode.".
#pragma once

#include <string>

// Shows string STRINGID formatted with TEXT in a warning box owned by the
// main window and captioned with the product caption. Nothing is shown when
// the string is missing.
void ShowLaunchWarning(unsigned stringId, const std::string& text);
