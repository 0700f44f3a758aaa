// One owned security descriptor, absolute or self-relative.
#pragma once

#include <windows.h>
#include <vector>

class CAceList;

class CSecurityDescriptorHolder {
public:
    CSecurityDescriptorHolder() = default;
    CSecurityDescriptorHolder(const CSecurityDescriptorHolder&) = delete;
    CSecurityDescriptorHolder& operator=(const CSecurityDescriptorHolder&) = delete;
    virtual ~CSecurityDescriptorHolder() = default;

    // An empty absolute descriptor (no owner, group, DACL or SACL).
    void MakeEmpty();
    // A self-relative copy of DESCRIPTOR, absolute or self-relative.
    void CopyFrom(PSECURITY_DESCRIPTOR descriptor);
    // Turns a held self-relative descriptor into an absolute one.
    void MakeAbsolute();
    // A null list gives a null DACL (everyone has every right); an empty
    // list gives an empty DACL (nobody has any).
    void SetDacl(CAceList& list, bool defaulted);
    virtual void Release() noexcept;

    PSECURITY_DESCRIPTOR Get() const noexcept;
    bool IsSelfRelative() const;

private:
    // An absolute descriptor points into the four blocks that follow it.
    std::vector<BYTE> descriptor_;
    std::vector<BYTE> dacl_;
    std::vector<BYTE> sacl_;
    std::vector<BYTE> owner_;
    std::vector<BYTE> group_;
};
