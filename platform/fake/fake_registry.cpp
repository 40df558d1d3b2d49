// The fake platform's registry.
#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>

#include "common/gbk.h"
#include "common/progman.h"
#include "platform/fake/fake_internal.h"

namespace plat {

using namespace fake_detail;

// ===== registry ===========================================================================

FakePlatform::RegNode* FakePlatform::Root(RegKey root) const {
  if (root == kCurrentUser) return hkcu_.get();
  if (root == kLocalMachine) return hklm_.get();
  return nullptr;
}

std::string FakePlatform::UpperKey(const std::vector<std::string>& names) {
  std::string k;
  for (const auto& n : names) k += "\\" + Upper(n);
  return k;
}

bool FakePlatform::Locate(RegKey parent, const std::string& path, Handle& out) const {
  if (parent == kClassesRoot) {
    out = Handle{kLocalMachine, {"Software", "Classes"}, "HKCR"};
  } else if (RootName(parent)) {
    out = Handle{parent, {}, RootName(parent)};
  } else {
    auto it = handles_.find(parent);
    if (it == handles_.end()) return Fail(kInvalidHandle);
    out = it->second;
  }
  if (path.empty()) return true;
  if (path[0] == '\\') return Fail(kBadPathname);
  std::vector<std::string> names = Split(path, false);
  if (names.back().empty()) names.pop_back();  // one trailing "\" is accepted
  for (const auto& n : names) {
    if (n.empty()) return Fail(kBadPathname);
    out.names.push_back(n);
    out.shown += "\\" + n;
  }
  return true;
}

FakePlatform::RegNode* FakePlatform::Resolve(const Handle& h) const {
  RegNode* node = Root(h.root);
  for (const auto& n : h.names) {
    if (!node) return nullptr;
    auto it = node->subkeys.find(Upper(n));
    node = it == node->subkeys.end() ? nullptr : it->second.get();
  }
  return node;
}

bool FakePlatform::Denied(const Handle& h) const {
  std::string key = UpperKey(h.names);
  for (const auto& [root, d] : denied_)
    if (root == h.root && (key == d || key.compare(0, d.size() + 1, d + "\\") == 0)) return true;
  return false;
}

RegKey FakePlatform::NewHandle(Handle h) {
  RegKey k = nextKey_;
  nextKey_ += 4;
  handles_[k] = std::move(h);
  return k;
}

// Every key of the handle's path, made where missing, as RegCreateKeyEx does.
void FakePlatform::MakePath(const Handle& h) {
  RegNode* node = Root(h.root);
  for (const auto& n : h.names) {
    auto& slot = node->subkeys[Upper(n)];
    if (!slot) {
      slot = std::make_unique<RegNode>();
      slot->name = n;
    }
    node = slot.get();
  }
}

void FakePlatform::AddKey(RegKey root, const std::string& path) {
  Handle h;
  if (!Locate(root, path, h)) throw std::logic_error("AddKey: bad key " + path);
  MakePath(h);
}

void FakePlatform::SetValue(RegKey root, const std::string& path, const std::string& name,
                            const std::string& value) {
  AddKey(root, path);
  Handle h;
  Locate(root, path, h);
  Resolve(h)->values[Upper(name)] = {name, value};
}

bool FakePlatform::KeyExists(RegKey root, const std::string& path) const {
  Handle h;
  return Locate(root, path, h) && Resolve(h);
}

std::optional<std::string> FakePlatform::Value(RegKey root, const std::string& path,
                                               const std::string& name) const {
  Handle h;
  RegNode* node = Locate(root, path, h) ? Resolve(h) : nullptr;
  if (!node) return std::nullopt;
  auto it = node->values.find(Upper(name));
  if (it == node->values.end()) return std::nullopt;
  return it->second.second;
}

std::vector<std::string> FakePlatform::RegistryListing() const {
  std::vector<std::string> out;
  std::function<void(const RegNode&, const std::string&)> walk = [&](const RegNode& node,
                                                                     const std::string& shown) {
    for (const auto& [upper, v] : node.values)
      out.push_back(shown + "\\\\" + v.first + "=" + v.second);
    for (const auto& [upper, sub] : node.subkeys) {
      out.push_back(shown + "\\" + sub->name);
      walk(*sub, shown + "\\" + sub->name);
    }
  };
  walk(*hkcu_, "HKCU");
  walk(*hklm_, "HKLM");
  return out;
}

void FakePlatform::SetRegistryDenied(RegKey root, const std::string& path) {
  Handle h;
  if (!Locate(root, path, h)) throw std::logic_error("SetRegistryDenied: bad key " + path);
  denied_.emplace_back(h.root, UpperKey(h.names));
}

RegKey FakePlatform::RegCreateKey(RegKey parent, const std::string& path) {
  Handle h, base;
  bool ok = false;
  if (Injected(FakeOp::RegCreateKey))
    Fail(kAccessDenied);
  else if (!Locate(parent, path, h) || !Locate(parent, "", base))
    ;
  else if (!Resolve(base))
    Fail(kKeyDeleted);  // the parent handle's key was deleted meanwhile
  else if (Denied(h))
    Fail(kAccessDenied);
  else {
    MakePath(h);
    ok = true;
  }
  Note("RegCreateKey", h.shown.empty() ? path : h.shown, ok);
  return ok ? NewHandle(h) : 0;
}

RegKey FakePlatform::RegOpenKey(RegKey parent, const std::string& path) {
  Handle h;
  if (Injected(FakeOp::RegOpenKey)) return Fail(kAccessDenied), 0;
  if (!Locate(parent, path, h)) return 0;
  if (!Resolve(h)) return Fail(kFileNotFound), 0;
  if (Denied(h)) return Fail(kAccessDenied), 0;
  lastError = 0;
  return NewHandle(h);
}

RegKey FakePlatform::RegCreateSubKey(RegKey parent, const std::string& name, bool& created) {
  Handle h;
  const bool existed = Locate(parent, name, h) && Resolve(h);
  if (name.find('\\') != std::string::npos) return Fail(kBadPathname), 0;
  RegKey key = RegCreateKey(parent, name);
  if (key) created = !existed;
  return key;
}

Lookup FakePlatform::RegQueryValue(RegKey key, const std::string& name, RegValue& value) {
  Handle h;
  RegNode* node = nullptr;
  if (Injected(FakeOp::RegQueryValue)) return Fail(kAccessDenied), Lookup::Failed;
  if (!Locate(key, "", h)) return Lookup::Failed;
  if (!(node = Resolve(h))) return Fail(kKeyDeleted), Lookup::Failed;
  auto it = node->values.find(Upper(name));
  if (it == node->values.end()) return Fail(kFileNotFound), Lookup::Missing;
  lastError = 0;
  value = RegValue{1, it->second.second};
  return Lookup::Found;
}

bool FakePlatform::ChangeValue(RegKey key, FakeOp op, const std::string& name,
                               const std::function<bool(RegNode&)>& change) {
  Handle h;
  RegNode* node = nullptr;
  bool ok = false;
  if (Injected(op))
    Fail(kAccessDenied);
  else if (!Locate(key, "", h))
    ;
  else if (!(node = Resolve(h)))
    Fail(kKeyDeleted);
  else if (Denied(h))
    Fail(kAccessDenied);
  else if (!change(*node))
    Fail(kFileNotFound);
  else
    ok = true;
  Note(OpName(op), h.shown, ok, name);
  return ok;
}

bool FakePlatform::RegSetString(RegKey key, const std::string& name, const std::string& value) {
  return ChangeValue(key, FakeOp::RegSetString, name, [&](RegNode& node) {
    node.values[Upper(name)] = {name, value};
    return true;
  });
}

bool FakePlatform::RegSetValue(RegKey key, const std::string& name, const RegValue& value) {
  return ChangeValue(key, FakeOp::RegSetValue, name, [&](RegNode& node) {
    node.values[Upper(name)] = {name, value.data};
    return true;
  });
}

bool FakePlatform::RegDeleteValue(RegKey key, const std::string& name) {
  return ChangeValue(key, FakeOp::RegDeleteValue, name,
                     [&](RegNode& node) { return node.values.erase(Upper(name)) > 0; });
}

FakePlatform::RegNode* FakePlatform::QueriedKey(RegKey key) {
  Handle h;
  if (Injected(FakeOp::RegQueryInfo)) return Fail(kAccessDenied), nullptr;
  if (!Locate(key, "", h)) return nullptr;
  RegNode* node = Resolve(h);
  if (!node) return Fail(kKeyDeleted), nullptr;
  lastError = 0;
  return node;
}

bool FakePlatform::RegQueryInfo(RegKey key, std::uint32_t& subkeys, std::uint32_t& maxNameLen) {
  const RegNode* node = QueriedKey(key);
  if (!node) return false;
  subkeys = static_cast<std::uint32_t>(node->subkeys.size());
  maxNameLen = 0;
  for (const auto& [upper, sub] : node->subkeys)
    maxNameLen = std::max<std::uint32_t>(maxNameLen, static_cast<std::uint32_t>(sub->name.size()));
  return true;
}

bool FakePlatform::RegCountEntries(RegKey key, std::uint32_t& subkeys, std::uint32_t& values) {
  const RegNode* node = QueriedKey(key);
  if (!node) return false;
  subkeys = static_cast<std::uint32_t>(node->subkeys.size());
  values = static_cast<std::uint32_t>(node->values.size());
  return true;
}

std::optional<std::string> FakePlatform::RegEnumKey(RegKey key, std::uint32_t index) {
  Handle h;
  if (Injected(FakeOp::RegEnumKey)) return Fail(kAccessDenied), std::nullopt;
  if (!Locate(key, "", h)) return std::nullopt;
  RegNode* node = Resolve(h);
  if (!node) return Fail(kKeyDeleted), std::nullopt;
  if (index >= node->subkeys.size()) return Fail(kNoMoreItems), std::nullopt;
  auto it = node->subkeys.begin();
  std::advance(it, index);
  lastError = 0;
  return it->second->name;
}

bool FakePlatform::RegDeleteKey(RegKey parent, const std::string& path) {
  Handle h;
  RegNode* node = nullptr;
  bool ok = false;
  if (Injected(FakeOp::RegDeleteKey))
    Fail(kAccessDenied);
  else if (!Locate(parent, path, h))
    ;
  else if (h.names.empty() || (parent == kClassesRoot && h.names.size() == 2))
    Fail(kAccessDenied);  // a root cannot be deleted
  else if (!(node = Resolve(h)))
    Fail(kFileNotFound);
  else if (!node->subkeys.empty() || Denied(h))
    Fail(kAccessDenied);
  else {
    Handle up = h;
    up.names.pop_back();
    Resolve(up)->subkeys.erase(Upper(h.names.back()));
    ok = true;
  }
  Note("RegDeleteKey", h.shown.empty() ? path : h.shown, ok);
  return ok;
}

void FakePlatform::RegCloseKey(RegKey key) {
  if (RootName(key)) return;
  if (!handles_.erase(key)) ++badKeyCloses;
}

}  // namespace plat
