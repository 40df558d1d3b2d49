// The installer's windows from the keyboard alone, on the headless backend: where the focus
// goes, the tab order, Enter, Esc, the arrows and Space, and the names a screen reader reads.
#include <gtest/gtest.h>

#include <vector>

#include "tests/unit/installer_fixture.h"

namespace {

using Order = std::vector<ui::Control*>;

bool Key(ui::Form& form, ui::Key key, bool shift = false) { return form.KeyDown(key, shift); }

// The focus is on a control a user can use.
void ExpectUsableFocus(ui::Form& form) {
  ASSERT_NE(form.Focused(), nullptr);
  EXPECT_TRUE(form.Focused()->CanFocus());
}

TEST_F(WizardTest, KeysAloneWalkThePagesWithTheFocusAlwaysOnAUsableControl) {
  StartShown();
  TFormSchedule& w = *wizard;
  EXPECT_EQ(w.Focused(), &w.BtnNext);

  // Agreement: Next is disabled, so the page's first tab stop takes the focus; the two
  // choices are one tab stop, the checked one.
  EXPECT_TRUE(Key(w, ui::Key::Enter));
  ASSERT_EQ(w.ScheBook.PageIndex(), 1);
  EXPECT_EQ(w.Focused(), &w.Memo1);
  EXPECT_EQ(w.TabOrder(), (Order{&w.Memo1, &w.RadioButton2, &w.btnpri, &w.btnexit}));
  EXPECT_FALSE(Key(w, ui::Key::Enter));  // a new line in the text box, not Next
  Key(w, ui::Key::Tab);
  EXPECT_EQ(w.Focused(), &w.RadioButton2);
  // The arrows move round the group and choose; Next follows the choice.
  Key(w, ui::Key::Up);
  EXPECT_EQ(w.Focused(), &w.RadioButton1);
  EXPECT_TRUE(w.RadioButton1.Checked());
  EXPECT_TRUE(w.BtnNext.Enabled());
  Key(w, ui::Key::Up);
  EXPECT_TRUE(w.RadioButton2.Checked());
  EXPECT_FALSE(w.BtnNext.Enabled());
  Key(w, ui::Key::Down);
  EXPECT_TRUE(w.RadioButton1.Checked());
  EXPECT_EQ(w.TabOrder(), (Order{&w.Memo1, &w.RadioButton1, &w.btnpri, &w.BtnNext, &w.btnexit}));
  Key(w, ui::Key::Tab);
  Key(w, ui::Key::Tab);
  Key(w, ui::Key::Tab, true);
  Key(w, ui::Key::Tab);
  EXPECT_EQ(w.Focused(), &w.BtnNext);
  // A click on "not agreed" disables the focused Next: the focus goes to the page.
  w.RadioButton2.Click();
  EXPECT_EQ(w.Focused(), &w.Memo1);
  w.RadioButton1.Click();
  ASSERT_TRUE(w.SetFocus(&w.RadioButton1));
  EXPECT_TRUE(Key(w, ui::Key::Enter));  // the default button

  // Destination: every control in visual order, the page's before the button bar, each
  // with a name.
  ASSERT_EQ(w.ScheBook.PageIndex(), 2);
  EXPECT_EQ(w.Focused(), &w.BtnNext);
  Order order{&w.Edit_Path, &w.Button1, &w.DiskGrid, &w.chbdesktop,
              &w.btnpri,    &w.BtnNext, &w.btnexit};
  EXPECT_EQ(w.TabOrder(), order);
  for (ui::Control* c : order) EXPECT_FALSE(c->AccessibleName().empty()) << c->Text();
  EXPECT_EQ(w.Edit_Path.AccessibleName(), w.Label3.Text());
  EXPECT_EQ(w.DiskGrid.AccessibleName(), w.Label1.Text());
  for (int i = 0; i < 4; ++i) Key(w, ui::Key::Tab);
  EXPECT_EQ(w.Focused(), &w.DiskGrid);
  // In the table the arrows move the selection, within it, and Enter is a double-click.
  ASSERT_EQ(w.DiskGrid.Row(), 1);
  Key(w, ui::Key::Up);
  Key(w, ui::Key::Up);
  EXPECT_EQ(w.DiskGrid.Row(), 0);
  Key(w, ui::Key::Enter);
  EXPECT_EQ(InstallDir, "C:\\Program Files\\Korvn25");
  Key(w, ui::Key::Down);
  Key(w, ui::Key::Down);
  EXPECT_EQ(w.DiskGrid.Row(), 1);
  Key(w, ui::Key::Tab);
  Key(w, ui::Key::Space);
  EXPECT_FALSE(w.chbdesktop.Checked());
  EXPECT_FALSE(WantDesktopLink);
  Key(w, ui::Key::Enter);  // from the check box: the default button
  ASSERT_EQ(w.ScheBook.PageIndex(), 3);
  EXPECT_EQ(w.Focused(), &w.BtnNext);

  // Esc asks as Exit does; answered No, the focus is back where it was.
  backend.answers = {ui::kIdNo};
  Key(w, ui::Key::Escape);
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].caption, "Confirm");
  EXPECT_FALSE(app->Terminated());
  EXPECT_EQ(w.Focused(), &w.BtnNext);
  // Space on the focused Back goes back; the page change puts the focus on Next.
  Key(w, ui::Key::Tab, true);
  Key(w, ui::Key::Space);
  EXPECT_EQ(w.ScheBook.PageIndex(), 2);
  EXPECT_EQ(w.Focused(), &w.BtnNext);
  // Back to the welcome page: the focus stays usable at every step.
  Key(w, ui::Key::Tab, true);
  Key(w, ui::Key::Enter);
  ExpectUsableFocus(w);
  Key(w, ui::Key::Tab, true);
  Key(w, ui::Key::Enter);
  ASSERT_EQ(w.ScheBook.PageIndex(), 0);
  EXPECT_EQ(w.Focused(), &w.BtnNext);
}

TEST_F(InstallerTest, KeysAloneInstallAndFinish) {
  Start();
  auto dialog = [this]() -> TFormsec* {
    for (ui::Form* f : app.Forms())
      if (auto* d = dynamic_cast<TFormsec*>(f)) return d;
    return nullptr;
  };
  TFormSchedule& w = *wizard;
  backend.When([&] { return WizardOn(0); }, [&] { Key(w, ui::Key::Enter); });
  backend.Then([&] {
    Key(w, ui::Key::Tab);
    Key(w, ui::Key::Up);
    Key(w, ui::Key::Enter);  // destination
    Key(w, ui::Key::Enter);  // ready
    Key(w, ui::Key::Enter);  // the run, hidden wizard
  });
  // The progress dialog: its one button has the focus, and Esc asks as it does.
  bool sawDialog = false;
  backend.answers = {ui::kIdCancel};
  backend.When([&] { return dialog() && dialog()->Visible() && dialog()->pgbs.Position() > 5; },
               [&] {
                 sawDialog = true;
                 EXPECT_FALSE(w.Visible());
                 EXPECT_EQ(dialog()->Focused(), &dialog()->btncel);
                 Key(*dialog(), ui::Key::Escape);
                 ASSERT_EQ(backend.boxes.size(), 1u);
                 EXPECT_EQ(backend.boxes[0].caption, "退出安装");
               });
  // Shown again on the finished page: "完毕" has the focus, the disabled buttons are no
  // tab stops, and Space clears the box.
  backend.When([&] { return Finished(); },
               [&] {
                 EXPECT_EQ(w.Focused(), &w.BtnNext);
                 EXPECT_EQ(w.TabOrder(), (Order{&w.chbrun, &w.BtnNext}));
                 Key(w, ui::Key::Tab);
                 Key(w, ui::Key::Space);
                 EXPECT_FALSE(WantRunAfter);
                 Key(w, ui::Key::Escape);  // Exit is disabled here: nothing happens
                 EXPECT_FALSE(app.Terminated());
                 Key(w, ui::Key::Enter);
               });
  app.Run();
  EXPECT_TRUE(backend.stuck.empty()) << backend.stuck;
  EXPECT_TRUE(sawDialog);
  EXPECT_TRUE(app.Terminated());
  EXPECT_EQ(Installed("KVRN.exe").substr(0, 2), "MZ");
  EXPECT_TRUE(sys.executes.empty());  // the application was not to be started
}

}  // namespace
