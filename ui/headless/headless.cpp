#include "ui/headless/headless.h"

#include <algorithm>

namespace ui {

HeadlessBackend::HeadlessBackend() = default;

HeadlessBackend::~HeadlessBackend() = default;

// A worker: its end runs the hand-overs until the thread's body is done, then joins it.
class HeadlessBackend::Worker final : public Thread {
 public:
  explicit Worker(HeadlessBackend& backend) : backend_(backend) {}
  ~Worker() override {
    for (;;) {
      if (backend_.RunHandOver()) continue;
      std::unique_lock<std::mutex> lock(backend_.mutex_);
      if (finished_) break;
      backend_.cv_.wait(lock, [&] { return finished_ || !backend_.handOvers_.empty(); });
    }
    thread_.join();
  }
  void Start(std::function<void()> body) {
    thread_ = std::thread([this, body] {
      body();
      std::lock_guard<std::mutex> lock(backend_.mutex_);
      finished_ = true;
      --backend_.runningWorkers_;
      ++backend_.workerEvents_;
      backend_.cv_.notify_all();
    });
  }

 private:
  HeadlessBackend& backend_;
  std::thread thread_;
  bool finished_ = false;  // under the backend's mutex
};

void HeadlessBackend::When(std::function<bool()> ready, std::function<void()> action) {
  script_.push_back(Step{std::move(ready), std::move(action)});
}

void HeadlessBackend::Then(std::function<void()> action) {
  When([] { return true; }, std::move(action));
}

void HeadlessBackend::Realize(Form& form) {
  if (!form.native) form.native = &form;
}

void HeadlessBackend::Changed(Control& control, Prop prop) {
  if (control.kind() != Kind::Form || prop != Prop::Visible || control.Visible()) return;
  Form* form = static_cast<Form*>(&control);
  zorder_.erase(std::remove(zorder_.begin(), zorder_.end(), form), zorder_.end());
  if (app_->ActiveForm() != form) return;
  // The system hands activation to the front-most remaining window that can take it.
  for (auto it = zorder_.rbegin(); it != zorder_.rend(); ++it)
    if ((*it)->Visible() && (*it)->Enabled()) {
      app_->NoteActivated(*it);
      return;
    }
  app_->NoteActivated(nullptr);
}

void HeadlessBackend::FocusForm(Form& form) {
  zorder_.erase(std::remove(zorder_.begin(), zorder_.end(), &form), zorder_.end());
  zorder_.push_back(&form);
  app_->NoteActivated(&form);
}

bool HeadlessBackend::RunHandOver() {
  HandOver h;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handOvers_.empty()) return false;
    h = handOvers_.front();
    handOvers_.pop_front();
  }
  app_->Dispatch(*h.call);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    *h.done = true;
  }
  cv_.notify_all();
  return true;
}

bool HeadlessBackend::DispatchPending() {
  if (RunHandOver()) return true;
  for (auto& [timer, due] : timers_)
    if (due <= now) {
      due = now + timer->interval;
      timer->Fire();
      return true;
    }
  if (!script_.empty() && script_.front().ready()) {
    Step step = std::move(script_.front());
    script_.pop_front();
    step.action();
    return true;
  }
  return false;
}

void HeadlessBackend::WaitAndDispatch() {
  std::uint64_t seen;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    seen = workerEvents_;
  }
  if (DispatchPending()) return;
  {
    // A worker that is still running, and not waiting on the GUI thread itself, may yet hand
    // a call over or end: wait for either, however slow the machine is (bounded only against
    // a test that would otherwise hang for good).
    std::unique_lock<std::mutex> lock(mutex_);
    // A worker may have queued a hand-over or ended after DispatchPending looked; the loop is
    // not idle then, and must look again rather than wait or give up.
    if (workerEvents_ != seen) return;
    auto running = [this] { return runningWorkers_ > waitingWorkers_; };
    if (running()) {
      cv_.wait_for(lock, std::chrono::minutes(5),
                   [&] { return !handOvers_.empty() || app_->Terminated() || !running(); });
      return;  // the caller's loop looks again
    }
  }
  if (!timers_.empty()) {
    auto next = std::min_element(timers_.begin(), timers_.end(),
                                 [](auto& a, auto& b) { return a.second < b.second; });
    now = std::max(now, next->second);
    DispatchPending();
    return;
  }
  stuck = script_.empty() ? "event loop idle with an empty script"
                          : "event loop idle; the next scripted step never became ready";
  app_->Terminate();
}

void HeadlessBackend::Sleep(unsigned ms) {
  if (onSleep) onSleep(ms);
  sleeps.push_back(ms);
  now += ms;
}

void HeadlessBackend::StartTimer(Timer& timer) { timers_[&timer] = now + timer.interval; }
void HeadlessBackend::StopTimer(Timer& timer) { timers_.erase(&timer); }

int HeadlessBackend::NextAnswer(int fallback) {
  if (answers.empty()) return fallback;
  int a = answers.front();
  answers.pop_front();
  return a;
}

int HeadlessBackend::MessageBox(Form* owner, const std::string& text, const std::string& caption,
                                unsigned flags) {
  boxes.push_back(Box{owner, text, caption, flags, false, DialogKind::Confirm});
  if (onBox) onBox(boxes.back());
  return NextAnswer(kIdOk);
}

int HeadlessBackend::OwnDialog(Form* owner, DialogKind kind, const std::string& text) {
  boxes.push_back(Box{owner, text, kind == DialogKind::Confirm ? "Confirm" : "Error",
                      kind == DialogKind::Confirm ? 0x24u : 0x10u, true, kind});
  Form* before = app_->ActiveForm();
  app_->NoteActivated(nullptr);  // the dialog, a window of this program, is active now
  if (onBox) onBox(boxes.back());
  int answer = NextAnswer(kind == DialogKind::Confirm ? kIdYes : kIdOk);
  if (before && before->Visible()) app_->NoteActivated(before);  // back to its owner
  return answer;
}

std::optional<std::string> HeadlessBackend::BrowseForFolder(const std::string& title,
                                                            const std::string& initial) {
  browses.push_back(Browse{title, initial});
  if (browseAnswers.empty()) return std::nullopt;
  auto a = browseAnswers.front();
  browseAnswers.pop_front();
  return a;
}

std::unique_ptr<Thread> HeadlessBackend::StartThread(std::function<void()> body) {
  auto worker = std::make_unique<Worker>(*this);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++runningWorkers_;
  }
  worker->Start(std::move(body));
  return worker;
}

void HeadlessBackend::Synchronize(const std::function<void()>& call) {
  bool done = false;
  std::unique_lock<std::mutex> lock(mutex_);
  handOvers_.push_back(HandOver{&call, &done});
  ++waitingWorkers_;
  ++workerEvents_;
  cv_.notify_all();
  cv_.wait(lock, [&] { return done; });
  --waitingWorkers_;
}

}  // namespace ui
