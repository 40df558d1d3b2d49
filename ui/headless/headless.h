// A backend without windows, for native tests: forms keep only their state, time is
// virtual, and user input comes from a script that the event loops play back.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ui/ui.h"

namespace ui {

class HeadlessBackend : public Backend {
 public:
  HeadlessBackend();
  ~HeadlessBackend() override;

  // --- what a test scripts and reads -------------------------------------------------
  struct Box {
    Form* owner = nullptr;
    std::string text, caption;
    unsigned flags = 0;
    bool own = false;  // a program-own dialog rather than a system message box
    DialogKind kind = DialogKind::Confirm;
  };
  std::vector<Box> boxes;
  // Answers to the next message boxes and own dialogs, in order; when none is left the
  // first button is taken (OK or Yes).
  std::deque<int> answers;
  std::function<void(const Box&)> onBox;  // sees each box while it is "up"

  struct Browse {
    std::string title, initial;
  };
  std::vector<Browse> browses;
  std::deque<std::optional<std::string>> browseAnswers;  // nullopt: cancelled

  // User input: each action runs at the first event-loop step or pump point where its
  // condition holds, in order.
  void When(std::function<bool()> ready, std::function<void()> action);
  void Then(std::function<void()> action);
  bool ScriptDone() const { return script_.empty(); }

  unsigned long long now = 0;             // virtual milliseconds
  std::function<void(unsigned)> onSleep;  // sees each pause before time moves on
  std::vector<unsigned> sleeps;
  std::string stuck;  // set when an event loop had nothing left to do; it then terminates

  // --- Backend -----------------------------------------------------------------------
  void Attach(App& app) override { app_ = &app; }
  std::uintptr_t AppWindow() override { return 0x1000; }
  void SetTitle(const std::string&) override {}
  void Realize(Form& form) override;
  void Unrealize(Control&) override {}
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
  void Wake() override { cv_.notify_all(); }

 private:
  struct Step {
    std::function<bool()> ready;
    std::function<void()> action;
  };
  class Worker;
  bool RunHandOver();
  int NextAnswer(int fallback);

  App* app_ = nullptr;
  std::deque<Step> script_;
  std::map<Timer*, unsigned long long> timers_;  // due times
  std::vector<Form*> zorder_;                    // front last

  std::mutex mutex_;
  std::condition_variable cv_;
  struct HandOver {
    const std::function<void()>* call = nullptr;
    bool* done = nullptr;
  };
  std::deque<HandOver> handOvers_;
  int runningWorkers_ = 0;
  int waitingWorkers_ = 0;
  // Counts what a worker does that the GUI thread must look at (a hand-over queued, a worker
  // ended), so that the loop can tell whether anything happened since it last looked.
  std::uint64_t workerEvents_ = 0;
};

}  // namespace ui
