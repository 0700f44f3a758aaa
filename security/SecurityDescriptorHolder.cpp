#include "security/SecurityDescriptorHolder.h"

#include "common/AtlException.h"
#include "common/TwoCall.h"
#include "security/AceList.h"

#include <string.h>

PSECURITY_DESCRIPTOR CSecurityDescriptorHolder::Get() const noexcept
{
    return descriptor_.empty() ? nullptr : (PSECURITY_DESCRIPTOR)descriptor_.data();
}

bool CSecurityDescriptorHolder::IsSelfRelative() const
{
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(Get(), &control, &revision))
        throw CAtlException(E_FAIL);
    return (control & SE_SELF_RELATIVE) != 0;
}

void CSecurityDescriptorHolder::Release() noexcept
{
    descriptor_.clear();
    dacl_.clear();
    sacl_.clear();
    owner_.clear();
    group_.clear();
}

void CSecurityDescriptorHolder::MakeEmpty()
{
    std::vector<BYTE> block;
    GrowBuffer(block, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (!InitializeSecurityDescriptor(block.data(), SECURITY_DESCRIPTOR_REVISION))
        ThrowLastError();
    Release();
    descriptor_.swap(block);
}

void CSecurityDescriptorHolder::CopyFrom(PSECURITY_DESCRIPTOR descriptor)
{
    if (!descriptor)
        throw CAtlException(E_INVALIDARG);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision))
        ThrowLastError();
    std::vector<BYTE> block;
    if (control & SE_SELF_RELATIVE) {
        GrowBuffer(block, GetSecurityDescriptorLength(descriptor));
        memcpy(block.data(), descriptor, block.size());
    } else if (!ReadTwoCall(block, [&](void* data, DWORD size, DWORD* needed) {
                   *needed = size;
                   return MakeSelfRelativeSD(descriptor, data, needed) != FALSE;
               })) {
        ThrowLastError();
    }
    Release();
    descriptor_.swap(block);
}

void CSecurityDescriptorHolder::MakeAbsolute()
{
    if (!Get() || !IsSelfRelative())
        return;
    DWORD sizes[5] = {};
    if (MakeAbsoluteSD(Get(), nullptr, &sizes[0], nullptr, &sizes[1], nullptr, &sizes[2],
                       nullptr, &sizes[3], nullptr, &sizes[4]) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        ThrowLastError();
    std::vector<BYTE> blocks[5];
    for (int i = 0; i < 5; ++i)
        GrowBuffer(blocks[i], sizes[i]);
    auto data = [](std::vector<BYTE>& block) { return block.empty() ? nullptr : block.data(); };
    if (!MakeAbsoluteSD(Get(), data(blocks[0]), &sizes[0], (PACL)data(blocks[1]), &sizes[1],
                        (PACL)data(blocks[2]), &sizes[2], data(blocks[3]), &sizes[3],
                        data(blocks[4]), &sizes[4]))
        ThrowLastError();
    descriptor_.swap(blocks[0]);
    dacl_.swap(blocks[1]);
    sacl_.swap(blocks[2]);
    owner_.swap(blocks[3]);
    group_.swap(blocks[4]);
}

// The list's ACL copied into a block of its own, cut to the bytes in use.
static std::vector<BYTE> CopyOfAcl(CAceList& list)
{
    const ACL* acl = list.BuildAcl();
    ACL_SIZE_INFORMATION size = {};
    if (!GetAclInformation(const_cast<ACL*>(acl), &size, sizeof size, AclSizeInformation))
        ThrowLastError();
    std::vector<BYTE> block;
    GrowBuffer(block, size.AclBytesInUse);
    memcpy(block.data(), acl, block.size());
    reinterpret_cast<ACL*>(block.data())->AclSize = (WORD)block.size();
    return block;
}

// An empty list gives an empty DACL, not an absent one: an absent DACL
// would grant everyone full access, the opposite of what an empty list says.
void CSecurityDescriptorHolder::SetDacl(CAceList& list, bool defaulted)
{
    if (Get()) {
        MakeAbsolute();
        BOOL present = FALSE, wasDefaulted = FALSE;
        PACL old = nullptr;
        if (!GetSecurityDescriptorDacl(Get(), &present, &old, &wasDefaulted))
            ThrowLastError();
    } else {
        MakeEmpty();
    }
    std::vector<BYTE> block;
    if (!list.IsNull())
        block = CopyOfAcl(list);
    PACL dacl = block.empty() ? nullptr : (PACL)block.data();
    if (!SetSecurityDescriptorDacl(Get(), TRUE, dacl, defaulted))
        ThrowLastError();
    dacl_.swap(block);
}
