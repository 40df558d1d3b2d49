// The install progress dialog: writes the payload under the destination folder, registers
// the application with the system, and hands back to the wizard's finished page.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "common/manifest.h"
#include "installer/install_undo.h"
#include "platform/platform.h"
#include "ui/ui.h"

class TFormsec : public ui::Form {
 public:
  explicit TFormsec(plat::Platform& system);
  ~TFormsec() override;

  ui::Shape Shape1{this};
  ui::Label lbls{this};
  ui::Animation ams{this};
  ui::ProgressBar pgbs{this};
  ui::Button btncel{this};
  ui::Timer Timer1;

  bool Succeeded = false;
  std::string ProgramFile;

  void FormCreate();
  void FormActivate();
  void FormClose(ui::CloseAction& action);
  void RunInstall();
  bool EnsureInstallDir(const std::string& folder);
  bool EnsureSubDir(const std::string& dir);
  void ExtractEntry(const ManifestEntry& entry, int index);
  void btncelClick();
  void Timer1Timer();
  // Registration with the system.
  void WriteUninstallEntry();
  void CreateDesktopLink();
  void CreateProgramGroup();
  void RegisterFileType(const std::string& extension, const std::string& classKey,
                        const std::string& description, const std::string& programPath,
                        int iconIndex);

 private:
  // Takes the run's changes back, saying so on the status line when there were any.
  void UndoInstall();

  plat::Platform& system_;
  bool activated_ = false;
  InstallUndo undo_{system_};
};
