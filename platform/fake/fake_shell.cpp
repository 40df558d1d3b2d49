// The fake platform's shell and its recording Program Manager.
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

namespace {

// The Program Manager client over the fake's recording server.
class FakeConversation : public DdeConversation {
 public:
  explicit FakeConversation(FakePlatform& fake) : fake_(fake) {}
  ~FakeConversation() override { Disconnect(); }

  bool Open(const std::string& service, const std::string& topic) override {
    Disconnect();
    fake_.conversations.push_back({service, topic, false});
    if (fake_.Injected(FakeOp::DdeOpen)) return false;
    auto answers = [&] {
      return fake_.progManRunning && gbk::EqualsNoCase(service, "ProgMan") &&
             gbk::EqualsNoCase(topic, "ProgMan");
    };
    if (!answers()) {
      // The client starts the service's program by full path, from the system folder or
      // else the Windows folder, only if it is there, once, and tries again.
      const std::vector<std::string> programs =
          ServerProgramPaths(fake_.systemDirectory, fake_.windowsDirectory, service);
      const auto program = std::find_if(programs.begin(), programs.end(),
                                        [&](const std::string& p) { return fake_.FileExists(p); });
      if (program == programs.end()) return false;
      fake_.launches.push_back(ServerCommandLine(*program, topic));
      if (fake_.progManStartsOnLaunch) fake_.progManRunning = true;
      if (!answers()) return false;
    }
    connected_ = true;
    ++fake_.ddeConnected;
    fake_.conversations.back().connected = true;
    return true;
  }

  bool Execute(const std::string& command) override {
    bool ok = !fake_.Injected(FakeOp::DdeExecute) && connected_ && !fake_.progManRefusesExecute;
    if (ok) fake_.ddeCommands.push_back(command);
    fake_.journal.push_back({"DdeExecute", command, "", ok});
    return ok;
  }

  void Close() override {
    ++fake_.ddeCloses;
    Disconnect();
  }

 private:
  void Disconnect() {
    if (!connected_) return;
    connected_ = false;
    --fake_.ddeConnected;
  }
  FakePlatform& fake_;
  bool connected_ = false;
};

}  // namespace

// ===== shell ==============================================================================

std::optional<std::string> FakePlatform::CommonDesktopDirectory() {
  if (Injected(FakeOp::CommonDesktopDirectory)) return std::nullopt;
  return commonDesktop;
}

void FakePlatform::CreateShellLink(const std::string& target, const std::string& workingDir,
                                   const std::optional<std::string>& savePath) {
  if (Injected(FakeOp::CreateShellLink) || linkObjectFails) {
    Note("CreateShellLink", savePath.value_or(""), false);
    throw Error("Class not registered");
  }
  Link link{target, workingDir, savePath, false};
  if (savePath) {
    std::string bytes = "[link]\r\ntarget=" + target + "\r\nworkdir=" + workingDir + "\r\n";
    link.saved = Store(Parse(*savePath), bytes) == 0;
  }
  Note("CreateShellLink", savePath.value_or(""), !savePath || link.saved);
  links.push_back(std::move(link));
}

void FakePlatform::ShellExecute(std::uintptr_t owner, const std::string& verb,
                                const std::string& file, const std::string& params,
                                const std::string& dir, int show) {
  executes.push_back({owner, verb, file, params, dir, show});
  Note("ShellExecute", file, true);
}

bool FakePlatform::ShellExecuteAsUser(const std::string& verb, const std::string& file,
                                      const std::string& params, const std::string& dir, int show) {
  if (!desktopShellAnswers) return false;
  userExecutes.push_back({0, verb, file, params, dir, show});
  Note("ShellExecuteAsUser", file, true);
  return true;
}

std::unique_ptr<DdeConversation> FakePlatform::NewDdeConversation() {
  return std::make_unique<FakeConversation>(*this);
}

}  // namespace plat
