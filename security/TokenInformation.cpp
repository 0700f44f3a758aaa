#include "security/TokenInformation.h"

#include "common/TwoCall.h"

bool ReadTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS what, std::vector<BYTE>& buffer)
{
    return ReadTwoCall(buffer, [&](void* data, DWORD size, DWORD* needed) {
        return GetTokenInformation(token, what, data, size, needed) != FALSE;
    });
}
