// Worker threads, and the calls they hand to the GUI thread: queued under the lock, run by
// the application window's message (or by a GUI thread that waits for a worker), each one
// answered with an event.
#include <memory>

#include "ui/win32/win32_internal.h"

namespace ui {

using namespace ui::win32;

namespace win32 {

namespace {

// A worker thread with its body, which the thread reads through its parameter: the body lives
// as long as the thread, whose end this waits for.
class Win32Thread final : public Thread {
 public:
  explicit Win32Thread(std::function<void()> body) : body_(std::move(body)) {}
  ~Win32Thread() override {
    if (!handle_) return;
    HANDLE waits[2] = {handle_.get(), g_s->callEvent.get()};
    for (;;) {
      RunCalls();
      DWORD r = MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_SENDMESSAGE);
      if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) break;
      if (r == WAIT_OBJECT_0 + 2) {  // a message sent from another thread: let it in
        MSG m;
        PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      }
    }
    RunCalls();
  }
  bool Start() {
    handle_.Reset(CreateThread(nullptr, 0, Main, this, 0, nullptr));
    return static_cast<bool>(handle_);
  }

 private:
  static DWORD WINAPI Main(LPVOID self) {
    // WorkerThread reports a body's error as the GUI thread reports a handler's; anything else
    // ends the program here as it would there, the same in every backend.
    static_cast<Win32Thread*>(self)->body_();
    return 0;
  }

  std::function<void()> body_;
  winkit::Handle handle_;
};

}  // namespace

void RunCalls() {
  for (;;) {
    Call call;
    {
      winkit::Lock lock(g_s->lock);
      if (g_s->calls.empty()) return;
      call = g_s->calls.front();
      g_s->calls.pop_front();
    }
    try {
      g_s->app->Dispatch(*call.fn);
    } catch (...) {
    }
    SetEvent(call.done);
  }
}

}  // namespace win32

std::unique_ptr<Thread> Win32Backend::StartThread(std::function<void()> body) {
  auto thread = std::make_unique<Win32Thread>(std::move(body));
  if (!thread->Start()) return nullptr;
  return thread;
}

void Win32Backend::Synchronize(const std::function<void()>& call) {
  if (GetCurrentThreadId() == s_->guiThread) {
    s_->app->Dispatch(call);
    return;
  }
  const winkit::Handle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  {
    winkit::Lock lock(s_->lock);
    s_->calls.push_back(Call{&call, done.get()});
  }
  SetEvent(s_->callEvent.get());
  PostMessageW(s_->appWnd.get(), kMsgRunCalls, 0, 0);
  WaitForSingleObject(done.get(), INFINITE);
}

void Win32Backend::Wake() { PostMessageW(s_->appWnd.get(), WM_NULL, 0, 0); }

}  // namespace ui
