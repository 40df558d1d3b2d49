// The portable ui core on the headless backend: modal runs, activation, termination,
// worker hand-over, timers, layout and the stateful controls.
#include <gtest/gtest.h>

#include <thread>

#include <stdexcept>

#include "ui/headless/headless.h"
#include "ui/ui.h"
#include "ui/wizard_frame.h"

namespace {

class UiTest : public ::testing::Test {
 protected:
  ui::HeadlessBackend backend;
  ui::App app{backend};
};

TEST_F(UiTest, ErrorBoxAppendsFullStopAfterLettersOnly) {
  EXPECT_EQ(ui::ErrorBoxText("Resource X not found"), "Resource X not found.");
  EXPECT_EQ(ui::ErrorBoxText("Done."), "Done.");
  EXPECT_EQ(ui::ErrorBoxText("odd!"), "odd!");       // "!" sorts before "."
  EXPECT_EQ(ui::ErrorBoxText("path\\"), "path\\.");  // "\" sorts after "."
  EXPECT_EQ(ui::ErrorBoxText("失败"), "失败.");      // GBK lead bytes sort after "."
  EXPECT_EQ(ui::ErrorBoxText(""), "");

  app.SetTitle("VantaSetup");
  app.Dispatch([] { throw std::runtime_error("Grid index out of range"); });
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "Grid index out of range.");
  EXPECT_EQ(backend.boxes[0].caption, "VantaSetup");
  EXPECT_EQ(backend.boxes[0].flags, ui::kMbOk | ui::kMbIconError);
}

TEST_F(UiTest, ActivationRunsWhenTheActiveFormChangesAmongOwnWindows) {
  ui::Form main;
  ui::Form wizard;
  int activations = 0;
  wizard.onActivate = [&] { ++activations; };
  main.ShowForm();
  wizard.ShowForm();
  EXPECT_EQ(activations, 1);
  app.MessageBox(&wizard, "q", "c", ui::kMbOkCancel);  // a system box: no activation
  EXPECT_EQ(activations, 1);
  app.OwnDialog(&wizard, ui::DialogKind::Confirm, "q");  // a window of ours: back again
  EXPECT_EQ(activations, 2);
  EXPECT_EQ(backend.boxes.back().caption, "Confirm");
  wizard.ShowForm();  // already active
  EXPECT_EQ(activations, 2);
  wizard.HideForm();
  EXPECT_EQ(app.ActiveForm(), &main);
  wizard.ShowForm();
  EXPECT_EQ(activations, 3);
}

TEST_F(UiTest, TerminateEndsNestedModalRunsAndTheCallerCarriesOn) {
  ui::Form main;
  ui::Form outer;
  ui::Form inner;
  std::vector<std::string> trace;
  backend.Then([&] {
    trace.push_back("outer up");
    int r = inner.ShowModal();
    trace.push_back("inner ended " + std::to_string(r));
  });
  backend.When([&] { return inner.Visible(); },
               [&] {
                 EXPECT_FALSE(main.Enabled());
                 EXPECT_FALSE(outer.Enabled());
                 main.Close();  // the main form: terminates
                 trace.push_back("after close");
               });
  main.ShowForm();
  backend.Then([&] {});
  int r = outer.ShowModal();
  trace.push_back("outer ended " + std::to_string(r));
  EXPECT_TRUE(app.Terminated());
  EXPECT_EQ(trace, (std::vector<std::string>{"outer up", "after close", "inner ended 2",
                                             "outer ended 2"}));
  EXPECT_TRUE(backend.stuck.empty()) << backend.stuck;
  EXPECT_FALSE(inner.Visible());
}

TEST_F(UiTest, CloseQueryCanRefuseAndModalCloseEndsTheRun) {
  ui::Form main;
  ui::Form dialog;
  bool allow = false;
  int closes = 0;
  dialog.onCloseQuery = [&](bool& can) { can = allow; };
  dialog.onClose = [&](ui::CloseAction&) { ++closes; };
  main.ShowForm();
  backend.Then([&] { dialog.Close(); });
  backend.Then([&] {
    EXPECT_TRUE(dialog.Visible());
    allow = true;
    dialog.Close();
  });
  EXPECT_EQ(dialog.ShowModal(), ui::kMrCancel);
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(app.Terminated());
  EXPECT_TRUE(main.Enabled());
}

TEST_F(UiTest, ClosingAModalFormHandsActivationBackToTheFormBelow) {
  ui::Form main;
  ui::Form wizard;
  ui::Form dialog;
  int activations = 0;
  wizard.onActivate = [&] { ++activations; };
  main.ShowForm();
  wizard.ShowForm();
  backend.Then([&] { dialog.Close(); });
  dialog.ShowModal();
  EXPECT_EQ(app.ActiveForm(), &wizard);
  EXPECT_EQ(activations, 2);  // first showing, and back from the dialog
}

TEST_F(UiTest, WorkerHandsAModalRunToTheGuiThreadAndWaits) {
  ui::Form main;
  ui::Form wizard;
  int shown = 0;
  bool workerDone = false;
  {
    ui::WorkerThread worker;
    backend.When([&] { return wizard.Visible(); },
                 [&] {
                   ++shown;
                   main.Close();
                 });
    worker.Start([&](ui::WorkerThread& self) {
      self.Synchronize([&] { wizard.ShowModal(); });
      workerDone = true;
    });
    app.Run();
  }
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(workerDone);
  EXPECT_TRUE(backend.stuck.empty()) << backend.stuck;
}

TEST_F(UiTest, WorkerErrorGoesToTheGenericErrorBoxOnTheGuiThread) {
  ui::Form main;
  app.SetTitle("VantaSetup");
  main.ShowForm();
  std::thread::id boxThread;
  backend.onBox = [&](const ui::HeadlessBackend::Box&) {
    boxThread = std::this_thread::get_id();
    main.Close();
  };
  {
    ui::WorkerThread worker;
    worker.Start([](ui::WorkerThread&) { throw TextError("Resource FileExe not found"); });
    app.Run();
  }
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "Resource FileExe not found.");
  EXPECT_EQ(backend.boxes[0].caption, "VantaSetup");
  EXPECT_EQ(backend.boxes[0].flags, ui::kMbOk | ui::kMbIconError);
  EXPECT_EQ(boxThread, std::this_thread::get_id());
}

TEST_F(UiTest, TimersFireInVirtualTimeAndPausesDoNotRunThem) {
  ui::Form main;
  ui::Timer once;
  int fired = 0;
  once.interval = 1000;
  once.onTimer = [&] {
    ++fired;
    once.SetEnabled(false);
  };
  main.ShowForm();
  once.SetEnabled(true);
  app.Sleep(2000);  // a pause handles no events
  EXPECT_EQ(fired, 0);
  app.ProcessMessages();
  EXPECT_EQ(fired, 1);
  backend.When([&] { return backend.now >= 5000; }, [&] { main.Close(); });
  ui::Timer periodic;
  periodic.interval = 1000;
  int ticks = 0;
  periodic.onTimer = [&] { ++ticks; };
  periodic.SetEnabled(true);
  app.Run();
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(ticks, 3);  // at 3000, 4000 and 5000
}

TEST_F(UiTest, AlignedControlsDockInOrderAndHiddenOnesTakeNoRoom) {
  ui::Form form;
  form.SetClientSize(526, 352);
  ui::Panel top(&form), bar(&form), rule(&form), left(&form), client(&form);
  top.SetBounds(0, 0, 0, 57);
  top.SetAlign(ui::Align::Top);
  bar.SetBounds(0, 0, 0, 46);
  bar.SetAlign(ui::Align::Bottom);
  rule.SetBounds(0, 0, 0, 2);
  rule.SetAlign(ui::Align::Bottom);
  left.SetBounds(0, 0, 156, 0);
  left.SetAlign(ui::Align::Left);
  client.SetAlign(ui::Align::Client);
  EXPECT_EQ(rule.bounds().top, 352 - 46 - 2);
  EXPECT_EQ(left.bounds().top, 57);
  EXPECT_EQ(left.bounds().height, 352 - 57 - 48);
  EXPECT_EQ(client.bounds().left, 156);
  EXPECT_EQ(client.bounds().width, 526 - 156);
  top.Hide();
  left.Hide();
  EXPECT_EQ(client.bounds().top, 0);
  EXPECT_EQ(client.bounds().left, 0);
  EXPECT_EQ(client.bounds().width, 526);
  EXPECT_EQ(client.bounds().height, 352 - 48);
}

TEST_F(UiTest, WizardFrameStartsWithItsHeaderHiddenAndBackDisabledOnTheButtonPitch) {
  ui::Form form;
  form.SetClientSize(502, 335);
  ui::WizardFrame frame(&form);
  ui::Notebook book(&form);
  book.SetAlign(ui::Align::Client);
  frame.Build({.width = 502,
               .headerBitmap = "H",
               .headerPicture = {101, 2, 400, 54},
               .title = {16, 16, 0, 0},
               .titleText = "",
               .buttonsLeft = 232,
               .quitCaption = "Cancel",
               .stripBitmap = "S",
               .stripWidth = 156,
               .stripHeight = 287});
  EXPECT_FALSE(frame.header.Visible());
  EXPECT_FALSE(frame.back.Enabled());
  EXPECT_EQ(frame.quit.Text(), "Cancel");
  EXPECT_EQ(frame.back.bounds().left, 232);
  EXPECT_EQ(frame.back.bounds().top, 11);
  EXPECT_EQ(frame.next.bounds().left, 320);
  EXPECT_EQ(frame.quit.bounds().left, 408);
  EXPECT_EQ(frame.rule.bounds().top, 335 - 48);
  EXPECT_EQ(book.bounds().left, 156);
  frame.header.Show();
  EXPECT_EQ(book.bounds().top, 57);
}

TEST_F(UiTest, GridCellsPersistAndSelectionIsChecked) {
  ui::Form form;
  ui::Grid grid(&form);
  grid.SetColCount(5);
  grid.SetRowCount(3);
  grid.SetCell(1, 2, "74.5 GB");
  grid.SetRowCount(0);
  EXPECT_EQ(grid.RowCount(), 1);
  grid.SetRowCount(3);
  EXPECT_EQ(grid.Cell(1, 2), "74.5 GB");
  grid.SelectRow(2);
  EXPECT_EQ(grid.Row(), 2);
  EXPECT_THROW(grid.SelectRow(3), TextError);
  EXPECT_EQ(grid.ColWidth(4), 64);
}

TEST_F(UiTest, RadioButtonsOfOneParentExcludeEachOther) {
  ui::Form form;
  ui::Panel a(&form), b(&form);
  ui::RadioButton r1(&a), r2(&a), other(&b);
  form.ShowForm();  // a user can click only what is on the screen
  int clicks = 0;
  r1.onClick = [&] { ++clicks; };
  other.SetChecked(true);
  r2.SetChecked(true);
  r1.Click();
  EXPECT_TRUE(r1.Checked());
  EXPECT_FALSE(r2.Checked());
  EXPECT_TRUE(other.Checked());
  r1.SetChecked(true);  // no change, no click
  EXPECT_EQ(clicks, 1);
  r1.SetEnabled(false);
  r2.Click();
  r1.Click();
  EXPECT_TRUE(r2.Checked());
}

TEST_F(UiTest, NotebookShowsOnePageByIndexOrName) {
  ui::Form form;
  ui::Notebook book(&form);
  ui::Page p1(&book, "p1"), p2(&book, "p2"), p3(&book, "p3");
  book.SetPageIndex(0);
  book.SetActivePage("p3");
  EXPECT_EQ(book.PageIndex(), 2);
  EXPECT_TRUE(p3.Visible());
  EXPECT_FALSE(p1.Visible());
  book.SetActivePage("nope");
  EXPECT_EQ(book.PageIndex(), 2);
}

TEST_F(UiTest, ProgressBarFillsItsShareOfTheRange) {
  ui::Form form;
  ui::ProgressBar bar{&form};
  EXPECT_EQ(bar.FilledLength(275), 0);
  bar.SetPosition(40);
  EXPECT_EQ(bar.FilledLength(275), 110);
  bar.SetPosition(250);  // held at the end of the range
  EXPECT_EQ(bar.FilledLength(275), 275);
  bar.SetRange(20, 80);  // the position is held within the new range
  EXPECT_EQ(bar.Position(), 80);
  EXPECT_EQ(bar.FilledLength(275), 275);
  bar.SetPosition(50);
  EXPECT_EQ(bar.FilledLength(275), 137);
  bar.SetRange(5, 5);  // an empty range fills nothing instead of dividing by zero
  EXPECT_EQ(bar.FilledLength(275), 0);
  EXPECT_EQ(bar.FilledLength(-3), 0);
}

TEST_F(UiTest, AnIdleLoopWithNothingScriptedEndsInsteadOfHanging) {
  ui::Form main;
  main.ShowForm();
  app.Run();
  EXPECT_FALSE(backend.stuck.empty());
}

}  // namespace
