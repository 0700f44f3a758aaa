#include "security/SecurityAttributes.h"

void CSecurityAttributes::Set(const CSecurityDescriptorHolder& descriptor, bool inheritHandles)
{
    if (&descriptor != &descriptor_)
        descriptor_.CopyFrom(descriptor.Get());
    nLength = sizeof(SECURITY_ATTRIBUTES);
    lpSecurityDescriptor = descriptor_.Get();
    bInheritHandle = inheritHandles;
}
