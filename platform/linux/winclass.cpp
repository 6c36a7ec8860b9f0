// Window classes: RegisterClassA, UnregisterClassA, GetClassInfoA and the module handle.
#include <cctype>
#include <map>

#include "platform/linux/msgqueue.h"

namespace platform::detail {
namespace {

std::string Folded(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

struct ClassRegistry {
  std::map<std::string, std::shared_ptr<WindowClass>> byName;  // key: folded name (MessageMutex)
  ATOM nextAtom = 0xC000;                                      // the range Windows uses for classes
};

ClassRegistry& Registry() {
  static ClassRegistry* registry = new ClassRegistry;  // outlives static teardown
  return *registry;
}

bool IsAtom(LPCSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

// The module handle is a fixed token: there is one module, and window classes ignore it.
HINSTANCE const kModule = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));

}  // namespace

std::shared_ptr<WindowClass> FindClassLocked(LPCSTR nameOrAtom) {
  if (nameOrAtom == nullptr) return nullptr;
  ClassRegistry& registry = Registry();
  if (IsAtom(nameOrAtom)) {
    const ATOM atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(nameOrAtom));
    for (auto& [key, cls] : registry.byName)
      if (cls->atom == atom) return cls;
    return nullptr;
  }
  auto it = registry.byName.find(Folded(nameOrAtom));
  return it == registry.byName.end() ? nullptr : it->second;
}

}  // namespace platform::detail

using namespace platform::detail;

HINSTANCE GetModuleHandleA(LPCSTR moduleName) {
  if (moduleName != nullptr) {
    SetLastErrorValue(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return kModule;
}

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpszClassName == nullptr || IsAtom(windowClass->lpszClassName) ||
      windowClass->lpfnWndProc == nullptr || windowClass->cbWndExtra < 0 || windowClass->cbClsExtra < 0) {
    SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard lock(MessageMutex());
  ClassRegistry& registry = Registry();
  const std::string key = Folded(windowClass->lpszClassName);
  if (registry.byName.count(key) != 0) {
    SetLastErrorValue(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  if (registry.nextAtom == 0) {  // wrapped past 0xFFFF
    SetLastErrorValue(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  auto cls = std::make_shared<WindowClass>();
  cls->name = windowClass->lpszClassName;
  cls->info = *windowClass;
  cls->info.lpszClassName = nullptr;
  cls->info.lpszMenuName = nullptr;
  cls->atom = registry.nextAtom++;
  registry.byName.emplace(key, cls);
  return cls->atom;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  std::lock_guard lock(MessageMutex());
  std::shared_ptr<WindowClass> cls = FindClassLocked(className);
  if (!cls) {
    SetLastErrorValue(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (cls->windowCount > 0) {
    SetLastErrorValue(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  Registry().byName.erase(Folded(cls->name));
  return TRUE;
}

BOOL GetClassInfoA(HINSTANCE, LPCSTR className, LPWNDCLASSA windowClass) {
  if (windowClass == nullptr) {
    SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(MessageMutex());
  std::shared_ptr<WindowClass> cls = FindClassLocked(className);
  if (!cls) {
    SetLastErrorValue(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  *windowClass = cls->info;
  windowClass->lpszClassName = className;  // as Windows does: the caller's own name back
  return TRUE;
}
