// The real Windows' named objects: the program's own mutexes, with who owns
// them, and whether Windows Installer is busy. Which names mean what is the
// removal's business, not this file's.
#include <sddl.h>

#include "win32.h"

namespace platform {

namespace {

// A SID built from its authority and sub-authorities, freed at the end.
class WellKnownSid {
 public:
  WellKnownSid(SID_IDENTIFIER_AUTHORITY authority, DWORD first, DWORD second = 0) {
    if (!AllocateAndInitializeSid(&authority, second != 0 ? 2 : 1, first, second, 0, 0, 0, 0, 0, 0, &sid_))
      sid_ = nullptr;
  }
  ~WellKnownSid() {
    if (sid_ != nullptr) FreeSid(sid_);
  }
  WellKnownSid(const WellKnownSid&) = delete;
  WellKnownSid& operator=(const WellKnownSid&) = delete;
  PSID get() const { return sid_; }

 private:
  PSID sid_ = nullptr;
};

const WellKnownSid& LocalSystemSid() {
  static const WellKnownSid sid(SECURITY_NT_AUTHORITY, SECURITY_LOCAL_SYSTEM_RID);
  return sid;
}
const WellKnownSid& AdministratorsSid() {
  static const WellKnownSid sid(SECURITY_NT_AUTHORITY, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
  return sid;
}

// Everyone may wait on the object and read who owns it, so that any run can
// tell whose it is; LocalSystem and the Administrators get all of it, and the
// owner may always read and change its permissions.
class ObjectSecurity {
 public:
  ObjectSecurity() {
    const WellKnownSid everyone(SECURITY_WORLD_SID_AUTHORITY, SECURITY_WORLD_RID);
    const PSID sids[] = {everyone.get(), LocalSystemSid().get(), AdministratorsSid().get()};
    const DWORD rights[] = {SYNCHRONIZE | READ_CONTROL, MUTEX_ALL_ACCESS, MUTEX_ALL_ACCESS};
    auto* acl = reinterpret_cast<PACL>(acl_);
    bool made = InitializeAcl(acl, sizeof acl_, ACL_REVISION) &&
                InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION);
    for (int i = 0; i < 3 && made; ++i) made = sids[i] != nullptr && AddAccessAllowedAce(acl, ACL_REVISION, rights[i], sids[i]);
    made = made && SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE);
    attributes_ = {sizeof attributes_, made ? &descriptor_ : nullptr, FALSE};
  }
  // Null where it could not be made: the default security then.
  SECURITY_ATTRIBUTES* get() { return attributes_.lpSecurityDescriptor != nullptr ? &attributes_ : nullptr; }

 private:
  alignas(DWORD) BYTE acl_[256];
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
};

// The object's owner, as its security descriptor names it.
void ReadOwner(HANDLE object, NamedMutex& result) {
  alignas(DWORD) BYTE buffer[512];
  DWORD needed = 0;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  auto* descriptor = reinterpret_cast<PSECURITY_DESCRIPTOR>(buffer);
  if (!GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, descriptor, sizeof buffer, &needed) ||
      !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || owner == nullptr)
    return;
  result.owner = LocalSystemSid().get() != nullptr && EqualSid(owner, LocalSystemSid().get())       ? ObjectOwner::LocalSystem
                 : AdministratorsSid().get() != nullptr && EqualSid(owner, AdministratorsSid().get()) ? ObjectOwner::Administrators
                                                                                                       : ObjectOwner::Other;
  wchar_t name[256], domain[256];
  DWORD nameLength = 256, domainLength = 256;
  SID_NAME_USE use;
  if (LookupAccountSidW(nullptr, owner, name, &nameLength, domain, &domainLength, &use)) {
    result.ownerName = std::wstring(domain) + (domain[0] != 0 ? L"\\" : L"") + name;
  } else if (wchar_t* text = nullptr; ConvertSidToStringSidW(owner, &text)) {
    result.ownerName = text;
    LocalFree(text);
  }
}

}  // namespace

NamedMutex CreateNamedMutex(const std::wstring& name) {
  // Created atomically: of two processes that ask together exactly one creates
  // it. The last error is read at once, before anything else can change it.
  ObjectSecurity security;
  NamedMutex result;
  HANDLE mutex = CreateMutexW(security.get(), FALSE, name.c_str());
  const DWORD error = GetLastError();
  result.existed = mutex == nullptr || error == ERROR_ALREADY_EXISTS;
  // Refused all it asks for (another's permissions), or the name is another
  // kind of object: at least read whose it is, where that is allowed.
  if (mutex == nullptr) mutex = OpenMutexW(SYNCHRONIZE | READ_CONTROL, FALSE, name.c_str());
  result.handle = UniqueHandle(reinterpret_cast<Handle>(mutex));
  if (mutex != nullptr) ReadOwner(mutex, result);
  return result;
}

bool IsInstallerBusy() {
  UniqueHandle mutex(reinterpret_cast<Handle>(OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\_MSIExecute")));
  return mutex.get() != 0 || GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace platform
