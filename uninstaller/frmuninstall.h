// The uninstaller's only window: a three-page wizard (confirm, working, done) whose Next click
// runs the whole removal and whose finish button starts the self-deleting batch file.
#pragma once
#include <memory>
#include <string>

#include "platform/platform.h"
#include "ui/ui.h"
#include "ui/wizard_frame.h"

// The batch file that deletes the uninstaller once it has exited, then itself.
inline const char kBatchFile[] = "c:\\_destoryme.bat";
// Attempts the batch file makes at deleting the uninstaller, about a second apart.
constexpr int kBatchAttempts = 30;

// The batch file's text for the uninstaller at `program` (CR LF line ends). The only program
// it calls, its pause, is named by its full path in the system folder `systemDir`: a program
// of that name in the folder it runs from must never be the one that runs.
std::string BatchFileText(const std::string& program, const std::string& systemDir);
// The uninstaller's own path as the batch file names it.
std::string BatchProgramPath(plat::Platform& system);

class Tfrmuninstall : public ui::Form {
 public:
  explicit Tfrmuninstall(plat::Platform& system);
  ~Tfrmuninstall() override;

  // The wizard frame under this form's names (the header shows on the working page), then
  // the pages.
  ui::WizardFrame frame{this};
  ui::Panel& Panel_Top = frame.header;
  ui::Image& Imagtop = frame.headerPicture;
  ui::Label& Label1 = frame.title;
  ui::Panel& RzPanel1 = frame.bar;
  ui::Button& btnpri = frame.back;
  ui::Button& BtnNext = frame.next;
  ui::Button& Button1 = frame.quit;
  ui::Panel& Panel3 = frame.rule;
  ui::Image& ImagLeft = frame.strip;
  ui::Notebook NoteBook1{this};
  ui::Page p1{&NoteBook1, "p1"};
  ui::Page p2{&NoteBook1, "p2"};
  ui::Page p3{&NoteBook1, "p3"};
  // Confirmation page.
  ui::Panel Panel1{&p1};
  ui::Label Label6{&Panel1};
  ui::Label Label7{&Panel1};
  // Working page.
  ui::Panel RzPanel2{&p2};
  ui::Label lblinfo{&RzPanel2};
  ui::ProgressBar pgb1{&RzPanel2};
  // Done page.
  ui::Label Label4{&p3};
  ui::Label Label2{&p3};

  // Program Manager conversation, connected only while a command is sent.
  std::unique_ptr<plat::DdeConversation> DdeClientConv1;

  std::string AppDir;           // folder of the running program, with trailing "\"
  std::string ProductCaption;   // [Form] Caption
  std::string DesktopLinkName;  // [Form] desKtopLink, "\" + link file name

  void FormCreate();
  void BtnNextClick();
  void Button1Click();
  void FormClose(ui::CloseAction& action);

  std::string ReadSetupValue(const std::string& section, const std::string& key);

  // The removal: true when everything ran and the done page is selected.
  bool Un_install();
  void DeleteListedFile(const std::string& folder, const std::string& relPath, int index);
  void DeleteFolderFiles(const std::string& folder);
  void DeleteDesktopLink();
  void WriteBatchFile();  // the self-deleting batch file, made new
  bool ProgManCommand(const std::string& argument, const std::string& command);

 private:
  void BuildLayout();
  void DeleteKeyTree(plat::RegKey root, std::string path);
  void Message(const std::string& text);
  void Pump() { ui::Application().ProcessMessages(); }
  void Pause(unsigned ms) { ui::Application().Sleep(ms); }

  plat::Platform& system_;
};
