#include "installer/unit_main.h"

#include "installer/payload.h"
#include "installer/unit_schedule.h"
#include "installer/unit_sec.h"

TFormain* Formain = nullptr;
bool WantDesktopLink = true;
bool WantRunAfter = true;
std::string InstallDir;
std::unique_ptr<TRegistry> SetupRegistry;

TFormain::TFormain(plat::Platform& system) : system_(system) {
  border = ui::BorderStyle::None;
  position = ui::Position::Maximized;
  style.color = ui::kButtonFace;
  SetClientSize(500, 408);
  Image1.SetAlign(ui::Align::Client);
  Image1.style.bitmap = "BACKDROP";
  Image1.style.stretch = true;
  onClose = [this](ui::CloseAction& action) { FormClose(action); };
  ui::Application().Dispatch([this] { FormCreate(); });
}

TFormain::~TFormain() {
  if (Formain == this) Formain = nullptr;
}

std::string TFormain::GetScratchDir() {
  std::string dir = system_.WindowsDirectory().substr(0, 255) + "\\Temp";
  if (!system_.DirExists(dir)) system_.CreateDir(dir);
  return dir + "\\";
}

void TFormain::FormCreate() {
  ScratchDir = GetScratchDir();
  // All three entries are opened before anything is written.
  std::string_view manifest = OpenPayloadEntry(system_, "FileTxt5", "txtname");
  std::string_view config = OpenPayloadEntry(system_, "FileTxt6", "txtname");
  std::string_view agreement = OpenPayloadEntry(system_, "FileTxt4", "txtname");
  // The Temp folder is open to every user: each file is made anew and held until the close,
  // so that nobody else can put in or change what this program reads from it.
  system_.CreateHeldFile(ScratchDir + kScratchManifest, manifest);
  system_.CreateHeldFile(ScratchDir + kScratchConfig, config);
  system_.CreateHeldFile(ScratchDir + kScratchAgreement, agreement);
  Thread1.Start([this](ui::WorkerThread& thread) { Thread1Execute(thread); });
}

void TFormain::Thread1Execute(ui::WorkerThread& thread) {
  if (thread.StopRequested()) return;
  thread.Synchronize([this] { ShowChedule(); });
}

int TFormain::ShowChedule() {
  // At exit the wizard may be gone before a late hand-over is served.
  return FormSchedule ? FormSchedule->ShowModal() : ui::kMrCancel;
}

void TFormain::showsec() {
  {
    TFormsec dialog(system_);
    dialog.ShowModal();
  }
  Close();
}

void TFormain::FormClose(ui::CloseAction& action) {
  // Without a scratch folder (start-up failed before it was known) there is nothing to remove;
  // a relative name would point into the current folder instead.
  for (const char* name : {kScratchManifest, kScratchConfig, kScratchAgreement}) {
    std::string path = ScratchDir + name;
    if (ScratchDir.empty()) continue;
    system_.ReleaseHeldFile(path);
    if (system_.FileExists(path)) system_.DeleteFile(path);
  }
  action = ui::CloseAction::Free;
}

std::string TFormain::ReadSetupValue(const std::string& section, const std::string& key) {
  return plat::ReadIniFileValue(system_, ScratchDir + kScratchConfig, section, key);
}
