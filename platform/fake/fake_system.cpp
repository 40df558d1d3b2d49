// The fake platform's drives and shared sections.
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

// ===== drives =============================================================================

void FakePlatform::SetDrive(const Drive& drive) {
  Drive d = drive;
  d.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(d.letter)));
  drives_[d.letter] = d;
}

void FakePlatform::RemoveDrive(char letter) {
  drives_.erase(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
}

FakePlatform::Drive* FakePlatform::FindDrive(char letter) {
  auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
  return it == drives_.end() ? nullptr : &it->second;
}

std::string FakePlatform::LogicalDriveStrings() {
  std::string out;
  for (const auto& [letter, d] : drives_) {
    out += letter;
    out += ":\\";
    out += '\0';
  }
  return out;
}

int FakePlatform::DriveType(const std::string& root) {
  if (root.size() < 2 || root[1] != ':') return kDriveNoRootDir;
  Drive* d = FindDrive(root[0]);
  return d ? d->type : kDriveNoRootDir;
}

bool FakePlatform::DiskFreeSpace(const std::string& root, std::uint64_t& freeToCaller,
                                 std::uint64_t& total) {
  if (Injected(FakeOp::DiskFreeSpace)) return false;
  Drive* d = root.size() >= 2 && root[1] == ':' ? FindDrive(root[0]) : nullptr;
  if (!d || d->freeSpaceFails || d->type == kDriveNoRootDir) return false;
  freeToCaller = d->free;
  total = d->total;
  return true;
}

// ===== shared sections ====================================================================

std::uintptr_t FakePlatform::OpenSharedSection(const std::string& name) {
  if (Injected(FakeOp::OpenSharedSection)) return 0;
  auto it = sections->byName.find(name);
  if (it == sections->byName.end()) return 0;
  ++it->second->refs;
  std::uintptr_t h = nextSection_;
  nextSection_ += 4;
  sectionHandles_[h] = it->second;
  return h;
}

std::uintptr_t FakePlatform::CreateSharedSection(const std::string& name) {
  if (Injected(FakeOp::CreateSharedSection)) return 0;
  auto& slot = sections->byName[name];
  if (!slot) slot = std::make_shared<FakeSections::Section>();
  ++slot->refs;
  std::uintptr_t h = nextSection_;
  nextSection_ += 4;
  sectionHandles_[h] = slot;
  return h;
}

std::uint32_t* FakePlatform::MapSharedSection(std::uintptr_t section) {
  if (Injected(FakeOp::MapSharedSection)) return nullptr;
  auto it = sectionHandles_.find(section);
  if (it == sectionHandles_.end()) return nullptr;
  ++it->second->refs;
  views_.emplace_back(&it->second->value, it->second);
  return &it->second->value;
}

void FakePlatform::UnmapSharedSection(std::uint32_t* view) {
  auto it =
      std::find_if(views_.begin(), views_.end(), [view](const auto& v) { return v.first == view; });
  if (it == views_.end()) return;
  auto s = it->second;
  views_.erase(it);
  Release(s);
}

void FakePlatform::CloseSharedSection(std::uintptr_t section) {
  auto it = sectionHandles_.find(section);
  if (it == sectionHandles_.end()) return;
  auto s = it->second;
  sectionHandles_.erase(it);
  Release(s);
}

// The section goes away with the last handle or view in any instance.
void FakePlatform::Release(const std::shared_ptr<FakeSections::Section>& section) {
  if (--section->refs > 0) return;
  for (auto it = sections->byName.begin(); it != sections->byName.end(); ++it)
    if (it->second == section) {
      sections->byName.erase(it);
      return;
    }
}

}  // namespace plat
