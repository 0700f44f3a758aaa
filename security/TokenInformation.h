// A token's information of one class, read with the two-call pattern.
#pragma once

#include <windows.h>

#include <vector>

// False, with the system's last error, when the system will not tell.
bool ReadTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS what, std::vector<BYTE>& buffer);
