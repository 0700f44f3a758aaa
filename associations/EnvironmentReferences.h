// Environment references ("%NAME%") in a registry text, expanded from left
// to right.
#pragma once

#include <string>

// Each "%NAME%" becomes the variable's value, however long; a variable that
// is not set keeps its reference as written (as the system's own expansion
// does), so that a path never silently loses a part. A lone "%" without a
// partner is dropped.
std::string ExpandEnvironmentReferences(const std::string& text);

// The whole value of the variable NAME; false when it is not set.
bool ReadEnvironmentVariable(const std::string& name, std::string& value);
