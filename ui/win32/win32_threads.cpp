// Worker threads, and the calls they hand to the GUI thread: queued under the lock, run by
// the application window's message (or by a GUI thread that waits for a worker), each one
// answered with an event.
#include <memory>

#include "ui/win32/win32_internal.h"

namespace ui {

using namespace ui::win32;

namespace win32 {

namespace {

DWORD WINAPI ThreadMain(LPVOID param) {
  // WorkerThread reports a body's error as the GUI thread reports a handler's; anything else
  // ends the program here as it would there, the same in every backend.
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(param));
  (*body)();
  return 0;
}

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

std::uintptr_t Win32Backend::StartThread(std::function<void()> body) {
  auto* param = new std::function<void()>(std::move(body));
  HANDLE h = CreateThread(nullptr, 0, ThreadMain, param, 0, nullptr);
  if (!h) delete param;
  return reinterpret_cast<std::uintptr_t>(h);
}

void Win32Backend::JoinThread(std::uintptr_t thread) {
  const winkit::Handle owned(reinterpret_cast<HANDLE>(thread));
  HANDLE h = owned.get();
  if (!h) return;
  HANDLE waits[2] = {h, s_->callEvent.get()};
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
  PostMessageW(s_->appWnd, kMsgRunCalls, 0, 0);
  WaitForSingleObject(done.get(), INFINITE);
}

void Win32Backend::Wake() { PostMessageW(s_->appWnd, WM_NULL, 0, 0); }

}  // namespace ui
