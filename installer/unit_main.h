// The backdrop window and the installer's process-wide state.
#pragma once
#include <memory>
#include <string>

#include "installer/registry.h"
#include "platform/platform.h"
#include "ui/ui.h"

// The full-screen backdrop: the installer's main window. Creating it unpacks the manifest,
// config and agreement into the scratch folder and starts the worker that has the wizard
// shown; closing it deletes those files and ends the program.
class TFormain : public ui::Form {
 public:
  explicit TFormain(plat::Platform& system);
  ~TFormain() override;

  ui::Image Image1{this};
  ui::WorkerThread Thread1;

  std::string ScratchDir;  // Windows directory + "\Temp\"

  std::string GetScratchDir();
  // A value of the scratch copy of the setup config, read anew on every call; empty when
  // the file, section or key is missing.
  std::string ReadSetupValue(const std::string& section, const std::string& key);
  // Runs the install progress dialog modally, then closes the backdrop.
  void showsec();
  int ShowChedule();

  void FormCreate();
  void FormClose(ui::CloseAction& action);
  void Thread1Execute(ui::WorkerThread& thread);

  plat::Platform& system() { return system_; }

 private:
  plat::Platform& system_;
};

// Scratch file names inside ScratchDir.
inline const char kScratchManifest[] = "korvSetup.log";
inline const char kScratchConfig[] = "korvSetup.ini";
inline const char kScratchAgreement[] = "SQXY.txt";

// Process-wide state shared by the wizard and the install engine.
extern TFormain* Formain;
extern bool WantDesktopLink;
extern bool WantRunAfter;
extern std::string InstallDir;  // destination folder, no trailing "\"
extern std::unique_ptr<TRegistry> SetupRegistry;
