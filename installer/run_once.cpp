#include "installer/run_once.h"

#include <atomic>

plat::OwnedSection InstanceMapping;
std::uint32_t* InstanceSlot = nullptr;

void OpenInstanceMapping(plat::Platform& system) {
  InstanceSlot = nullptr;
  InstanceMapping = plat::OwnedSection(system, system.OpenSharedSection(kInstanceSectionName));
  // Nothing is written into the section: one the system makes is zero-filled, and another
  // copy may have made it and claimed it between the open and this create, which then hands
  // back that copy's section with its claim in it.
  if (!InstanceMapping)
    InstanceMapping = plat::OwnedSection(system, system.CreateSharedSection(kInstanceSectionName));
  InstanceSlot = InstanceMapping.View();
  if (!InstanceSlot) InstanceMapping.Reset();
}

namespace {

// Window handles have 32 significant bits on 64-bit Windows too, so that 32-bit and 64-bit
// programs can hand them to each other: the slot keeps those bits, and they are sign-extended
// back to a handle, as the system's own handle conversions do.
std::uint32_t SlotOf(std::uintptr_t window) { return static_cast<std::uint32_t>(window); }
std::uintptr_t WindowOf(std::uint32_t slot) {
  return static_cast<std::uintptr_t>(static_cast<std::intptr_t>(static_cast<std::int32_t>(slot)));
}

}  // namespace

bool ActivatePreviousInstance(plat::Platform& system, std::uintptr_t window) {
  if (!InstanceSlot) return false;
  // Test and claim in one step, so that two copies started together cannot both run.
  std::uint32_t held = 0;
  if (std::atomic_ref<std::uint32_t>(*InstanceSlot).compare_exchange_strong(held, SlotOf(window)))
    return false;
  // The stored handle is trusted as it is: a window that is gone ignores the request.
  std::uintptr_t previous = WindowOf(held);
  system.SendRestore(previous);
  std::uintptr_t popup = system.LastActivePopup(previous);
  if (popup && popup != previous && system.IsWindowVisibleAndEnabled(popup))
    system.SetForegroundWindow(popup);
  return true;
}

void CloseInstanceMapping() {
  InstanceSlot = nullptr;
  InstanceMapping.Reset();
}
