// The link control's text work, shared by its painting and its plumbing.
#pragma once

#include <string>

// Markup split of a label: text before "<A>", the link part, text after "</A>".
struct LinkMarkup {
    std::string before, link, after;
};
LinkMarkup SplitLinkMarkup(const std::string& label);

// Copies TEXT (null: empty); a copy that finds no memory leaves the field empty.
bool CopyLinkText(std::string& field, const char* text) noexcept;
