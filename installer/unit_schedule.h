// The installation wizard: six notebook pages (welcome, agreement, destination, ready,
// working, finished) with Back, Next and Exit.
#pragma once
#include <memory>
#include <string>

#include "platform/platform.h"
#include "ui/ui.h"
#include "ui/wizard_frame.h"

class TFormSchedule : public ui::Form {
 public:
  explicit TFormSchedule(plat::Platform& system);
  ~TFormSchedule() override;

  // --- regions: the wizard frame under this form's names, then the pages ---
  ui::WizardFrame frame{this};
  ui::Panel& Panel_Top = frame.header;
  ui::Image& Imagtop = frame.headerPicture;
  ui::Label& Label4 = frame.title;
  ui::Label Label5{&frame.header};
  ui::Panel& ButtonBar = frame.bar;
  ui::Button& btnpri = frame.back;
  ui::Button& BtnNext = frame.next;
  ui::Button& btnexit = frame.quit;
  ui::Panel& Panel3 = frame.rule;
  ui::Image& ImagLeft = frame.strip;
  ui::Notebook ScheBook{this};
  ui::Page page1{&ScheBook, "page1"};
  ui::Page page2{&ScheBook, "page2"};
  ui::Page page3{&ScheBook, "page3"};
  ui::Page page4{&ScheBook, "page4"};
  ui::Page page5{&ScheBook, "page5"};
  ui::Page page6{&ScheBook, "page6"};
  // --- welcome ---
  ui::Panel WelcomePanel{&page1};
  ui::Label Label6{&WelcomePanel};
  ui::Label Label7{&WelcomePanel};
  // --- agreement ---
  ui::Panel AgreementPanel{&page2};
  ui::Memo Memo1{&AgreementPanel};
  ui::RadioButton RadioButton1{&AgreementPanel};
  ui::RadioButton RadioButton2{&AgreementPanel};
  // --- destination ---
  ui::Panel DestinationPanel{&page3};
  ui::Label Label3{&DestinationPanel};
  ui::Edit Edit_Path{&DestinationPanel};
  ui::Button Button1{&DestinationPanel};
  ui::Label Label1{&DestinationPanel};
  ui::Separator DiskRule{&DestinationPanel};
  ui::Label HeadVolume{&DestinationPanel};
  ui::Label HeadSize{&DestinationPanel};
  ui::Label HeadFree{&DestinationPanel};
  ui::Label HeadUse{&DestinationPanel};
  ui::Label HeadRemain{&DestinationPanel};
  ui::Shape GridFrame{&DestinationPanel};
  ui::Grid DiskGrid{&DestinationPanel};
  ui::CheckBox chbdesktop{&DestinationPanel};
  // --- ready ---
  ui::Panel ReadyPanel{&page4};
  ui::Label Label2{&ReadyPanel};
  // --- finished ---
  ui::Panel FinishedPanel{&page6};
  ui::Label Label8{&FinishedPanel};
  ui::Label Label9{&FinishedPanel};
  ui::CheckBox chbrun{&FinishedPanel};

  // Program Manager conversation, used by the install engine.
  std::unique_ptr<plat::DdeConversation> DdeClientConv1;

  bool Committed = false;

  void FormCreate();
  void FormActivate();
  void BtnNextClick();
  void btnpriClick();
  void btnexitClick();
  void RadioButton1Click();
  void RadioButton2Click();
  void chbrunClick();
  void FormCloseQuery(bool& canClose);
  void FormClose(ui::CloseAction& action);
  // Destination page.
  void RefreshDiskGrid();
  void Button1Click();
  void Edit_PathChange();
  void DiskGridDblClick();
  void chbdesktopClick();

 private:
  // A value of the setup config through the backdrop's reader; empty without a backdrop.
  std::string Config(const std::string& section, const std::string& key);
  void BuildLayout();
  void WireHandlers();

  plat::Platform& system_;
};

extern TFormSchedule* FormSchedule;
