// The single-instance guard: a named 4-byte shared section holding the application window of
// the copy that runs. A later copy brings that one forward and ends.
#pragma once
#include <cstdint>

#include "platform/platform.h"

inline const char kInstanceSectionName[] = "{CAF49BBB-AF40-4FDE-8757-51D5AEB5BBBF}";

extern plat::OwnedSection InstanceMapping;
extern std::uint32_t* InstanceSlot;  // null turns the guard off

void OpenInstanceMapping(plat::Platform& system);
// True when an earlier copy holds the guard (it has been asked to come forward); false when
// this copy may run, in which case `window` now holds the guard.
bool ActivatePreviousInstance(plat::Platform& system, std::uintptr_t window);
void CloseInstanceMapping();

// Opens the section for the whole run of the program and closes it at the very end.
class RunOnce {
 public:
  explicit RunOnce(plat::Platform& system) : system_(system) { OpenInstanceMapping(system_); }
  ~RunOnce() { CloseInstanceMapping(); }
  RunOnce(const RunOnce&) = delete;
  RunOnce& operator=(const RunOnce&) = delete;

 private:
  plat::Platform& system_;
};
