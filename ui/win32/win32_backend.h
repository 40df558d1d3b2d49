// The Win32 backend of ui/: turns forms and controls into real windows. Every text crosses
// the boundary through explicit code page 936 conversion and the W functions, so the programs
// behave the same whatever the system code page is.
//
// This header deliberately does not include <windows.h>: its MessageBox macro would rename
// Backend::MessageBox. Native handles are exposed as the ui types do (Control::native holds
// the HWND, AppWindow() the application window).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/ui.h"

namespace ui {

class Win32Backend : public Backend {
 public:
  Win32Backend();
  ~Win32Backend() override;
  Win32Backend(const Win32Backend&) = delete;
  Win32Backend& operator=(const Win32Backend&) = delete;

  void Attach(App& app) override;
  std::uintptr_t AppWindow() override;
  void SetTitle(const std::string& title) override;
  void Realize(Form& form) override;
  void Unrealize(Control& control) override;
  void Changed(Control& control, Prop prop) override;
  void FocusForm(Form& form) override;
  void WaitAndDispatch() override;
  bool DispatchPending() override;
  void Sleep(unsigned ms) override;
  void StartTimer(Timer& timer) override;
  void StopTimer(Timer& timer) override;
  int MessageBox(Form* owner, const std::string& text, const std::string& caption,
                 unsigned flags) override;
  int OwnDialog(Form* owner, DialogKind kind, const std::string& text) override;
  std::optional<std::string> BrowseForFolder(const std::string& title,
                                             const std::string& initial) override;
  std::unique_ptr<Thread> StartThread(std::function<void()> body) override;
  void Synchronize(const std::function<void()>& call) override;
  void Wake() override;

  struct State;

 private:
  std::unique_ptr<State> s_;
};

}  // namespace ui
