// The wizard's destination page on the headless backend and the fake platform: the disk
// grid, browsing, double-clicks and the typed destination.
#include <gtest/gtest.h>

#include "tests/unit/installer_fixture.h"

namespace {

TEST_F(WizardTest, OnlyTheFirstRunOfFixedDisksIsListedWithTheirSpace) {
  Drives({{'A', plat::kDriveRemovable, 1474560, 1474560},
          {'C', plat::kDriveFixed, 80023715840ull, 10737418240ull},
          {'D', plat::kDriveFixed, 10736344064ull, 5368709120ull},
          {'E', plat::kDriveCdRom, 700000000, 0},
          {'F', plat::kDriveFixed, 50 * kGB, 40 * kGB}});
  StartOnDestination();
  int before = system.CallCount(plat::FakeOp::DiskFreeSpace);
  Refresh();
  EXPECT_TRUE(backend.boxes.empty());
  EXPECT_EQ(system.CallCount(plat::FakeOp::DiskFreeSpace) - before, 2);
  TFormSchedule& w = *wizard;
  EXPECT_EQ(w.DiskGrid.RowCount(), 2);
  EXPECT_EQ(w.DiskGrid.ColCount(), 5);
  EXPECT_EQ(w.DiskGrid.ColWidth(0), 50);
  EXPECT_EQ(w.DiskGrid.ColWidth(1), 80);
  EXPECT_EQ(w.DiskGrid.ColWidth(2), 80);
  EXPECT_EQ(w.DiskGrid.ColWidth(3), 64);
  EXPECT_EQ(Column(0), (V{"C:\\", "D:\\"}));
  EXPECT_EQ(Column(1), (V{"74.5 GB", "10.00 GB"}));
  EXPECT_EQ(Column(2), (V{"10.0 GB", "5.00 GB"}));
  // The default destination is on D:.
  EXPECT_EQ(w.DiskGrid.Row(), 1);
  EXPECT_EQ(Column(3), (V{"", " 15 MB"}));
  EXPECT_EQ(Column(4), (V{"", " 4.98 GB"}));
  EXPECT_EQ(InstallDir, kDefaultDir);

  // A destination typed in lower case selects its disk at the next refresh.
  w.Edit_Path.UserTyped("c:\\apps");
  Refresh();
  EXPECT_EQ(w.DiskGrid.Row(), 0);
  EXPECT_EQ(Column(3), (V{" 15 MB", ""}));
  EXPECT_EQ(Column(4), (V{" 9.98 GB", ""}));
  EXPECT_EQ(InstallDir, "c:\\apps");

  // C: and E: without D: are one run; E: is queried as drive 5.
  Drives(
      {{'C', plat::kDriveFixed, 30 * kGB, 3 * kGB}, {'E', plat::kDriveFixed, 40 * kGB, 4 * kGB}});
  w.Edit_Path.UserTyped("E:\\Apps");
  Refresh();
  EXPECT_EQ(Column(0), (V{"C:\\", "E:\\"}));
  EXPECT_EQ(Column(2), (V{"3.00 GB", "4.00 GB"}));
  EXPECT_EQ(w.DiskGrid.Row(), 1);
  EXPECT_EQ(w.DiskGrid.Cell(4, 1), " 3.98 GB");
  EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(WizardTest, RemainingSpaceFollowsTheShownFreeSpace) {
  struct Case {
    std::uint64_t free;
    const char* shown;
    const char* remaining;
  };
  const Case cases[] = {{5368709120ull, "5.00 GB", " 4.98 GB"},
                        {10737418240ull, "10.0 GB", " 9.98 GB"},
                        {80023715840ull, "74.5 GB", " 74.5 GB"},
                        {15728640ull, "0.01 GB", " -0.01 GB"}};
  StartOnDestination();
  for (const auto& c : cases) {
    system.FindDrive('D')->free = c.free;
    Refresh();
    EXPECT_EQ(wizard->DiskGrid.Cell(2, 1), c.shown);
    EXPECT_EQ(wizard->DiskGrid.Cell(4, 1), c.remaining) << c.shown;
  }
}

TEST_F(WizardTest, UsageCellTakesTheConfigTextAsItIs) {
  StartOnDestination();
  system.AddFile(Scratch(kScratchConfig), ProductConfigWith("RJSize", ""));
  Refresh();
  EXPECT_EQ(wizard->DiskGrid.Cell(3, 1), "  MB");
}

TEST_F(WizardTest, OneFixedDiskAlwaysPutsTheDestinationOnDriveC) {
  Drives({{'C', plat::kDriveFixed, 100 * kGB, 20 * kGB}, {'E', plat::kDriveCdRom, 0, 0}});
  system.AddDir("C:\\Other");
  StartOnDestination();
  Refresh();
  const char kC[] = "C:\\Program Files\\Korvn25";
  EXPECT_EQ(InstallDir, kC);
  EXPECT_EQ(wizard->Edit_Path.Text(), kC);
  EXPECT_EQ(Column(0), V{"C:\\"});
  EXPECT_EQ(wizard->DiskGrid.Cell(4, 0), " 20.0 GB");  // 19.981 shown with one decimal

  // Browsing starts nowhere (the folder does not exist) and the choice is replaced.
  backend.browseAnswers.push_back(std::string("C:\\Other"));
  wizard->Button1.Click();
  ASSERT_EQ(backend.browses.size(), 1u);
  EXPECT_EQ(backend.browses[0].title, "选择安装路径");
  EXPECT_EQ(backend.browses[0].initial, "");
  EXPECT_EQ(InstallDir, kC);
  EXPECT_EQ(wizard->Edit_Path.Text(), kC);
  EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(WizardTest, BrowseStartsAtAnExistingDestinationAndKeepsItOnCancel) {
  system.AddDir(kDefaultDir);
  StartOnDestination();
  backend.browseAnswers.push_back(std::nullopt);
  wizard->Button1.Click();
  ASSERT_EQ(backend.browses.size(), 1u);
  EXPECT_EQ(backend.browses[0].initial, kDefaultDir);
  EXPECT_EQ(InstallDir, kDefaultDir);
  EXPECT_EQ(wizard->Edit_Path.Text(), kDefaultDir);

  backend.browseAnswers.push_back(std::string("C:\\"));
  wizard->Button1.Click();
  EXPECT_EQ(InstallDir, "C:\\");
  EXPECT_EQ(wizard->Edit_Path.Text(), "C:\\");
  EXPECT_EQ(wizard->DiskGrid.Row(), 0);
  EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(WizardTest, DrivesWithoutCAreNumberedByTheirLetters) {
  // D: first, no C:; a second fixed disk right after it.
  system.windowsDirectory = "D:\\WINDOWS";
  Drives(
      {{'D', plat::kDriveFixed, 30 * kGB, 3 * kGB}, {'E', plat::kDriveFixed, 40 * kGB, 4 * kGB}});
  system.AddDir("D:\\WINDOWS");
  StartOnDestination();
  Refresh();
  EXPECT_EQ(Column(0), (V{"D:\\", "E:\\"}));
  EXPECT_EQ(Column(1), (V{"30.0 GB", "40.0 GB"}));
  EXPECT_EQ(wizard->DiskGrid.Row(), 0);
  EXPECT_TRUE(backend.boxes.empty());

  // D: alone: one row, and the drive-C default that comes with it has no row.
  system.RemoveDrive('E');
  Refresh();
  EXPECT_EQ(Column(0), V{"D:\\"});
  EXPECT_EQ(Column(1), V{"30.0 GB"});
  EXPECT_EQ(InstallDir, "C:\\Program Files\\Korvn25");
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "Grid index out of range.");
  EXPECT_EQ(Column(3), V{""});
}

TEST_F(WizardTest, DestinationOnAnUnlistedDiskEndsTheRefreshInTheErrorBox) {
  Drives({{'C', plat::kDriveFixed, 30 * kGB, 3 * kGB},
          {'D', plat::kDriveFixed, 40 * kGB, 4 * kGB},
          {'G', plat::kDriveRemovable, 1 * kGB, 1 * kGB}});
  StartOnDestination();
  backend.browseAnswers.push_back(std::string("G:\\Stuff"));
  wizard->Button1.Click();
  EXPECT_EQ(InstallDir, "G:\\Stuff");
  EXPECT_EQ(wizard->Edit_Path.Text(), "G:\\Stuff");
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "Grid index out of range.");
  EXPECT_EQ(backend.boxes[0].caption, "VantaSetup");
  EXPECT_EQ(backend.boxes[0].flags, ui::kMbOk | ui::kMbIconError);
  EXPECT_EQ(Column(3), (V{"", ""}));
  EXPECT_EQ(Column(4), (V{"", ""}));
  EXPECT_EQ(Column(2), (V{"3.00 GB", "4.00 GB"}));  // written before the selection
}

TEST_F(WizardTest, EnteringTheDestinationPageWithAnUnmatchedFolderStillShowsThePage) {
  StartShown();
  system.AddFile(Scratch(kScratchConfig),
                 ProductConfigWith("SetupPath", "Q:\\Program Files\\Korvn25"));
  app->NoteActivated(nullptr);
  wizard->ShowForm();  // activation: the destination from the config
  EXPECT_EQ(InstallDir, "Q:\\Program Files\\Korvn25");
  wizard->BtnNext.Click();
  wizard->RadioButton1.Click();
  wizard->BtnNext.Click();
  EXPECT_EQ(wizard->ScheBook.PageIndex(), 2);
  EXPECT_EQ(wizard->Label4.Text(), "选择安装文件夹");
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "Grid index out of range.");
  wizard->BtnNext.Click();  // the folder is not checked here
  EXPECT_EQ(wizard->ScheBook.PageIndex(), 3);
}

TEST_F(WizardTest, FailedSpaceQueriesLeaveTheCellsOfThePreviousRefresh) {
  StartOnDestination();
  Refresh();
  EXPECT_EQ(Column(2), (V{"10.0 GB", "5.00 GB"}));
  system.FindDrive('D')->freeSpaceFails = true;
  system.FindDrive('C')->free = 1 * kGB;
  Refresh();
  EXPECT_EQ(Column(1), (V{"74.5 GB", "10.00 GB"}));
  EXPECT_EQ(Column(2), (V{"1.00 GB", "5.00 GB"}));
  EXPECT_EQ(Column(4), (V{"", " 4.98 GB"}));

  // Rows beyond the row count keep their texts and come back with them.
  system.FindDrive('D')->freeSpaceFails = false;
  system.SetDrive({'E', plat::kDriveFixed, 2 * kGB, 2 * kGB});
  Refresh();
  EXPECT_EQ(Column(2), (V{"1.00 GB", "5.00 GB", "2.00 GB"}));
  system.RemoveDrive('E');
  Refresh();
  EXPECT_EQ(wizard->DiskGrid.RowCount(), 2);
  system.SetDrive({'E', plat::kDriveFixed, 9 * kGB, 9 * kGB, true});
  wizard->Edit_Path.UserTyped("e:\\x");
  Refresh();
  EXPECT_EQ(Column(0), (V{"C:\\", "D:\\", "E:\\"}));
  EXPECT_EQ(Column(1), (V{"74.5 GB", "10.00 GB", "2.00 GB"}));
  EXPECT_EQ(Column(2), (V{"1.00 GB", "5.00 GB", "2.00 GB"}));
  EXPECT_EQ(wizard->DiskGrid.Row(), 2);
  EXPECT_EQ(Column(4), (V{"", "", " 1.98 GB"}));
}

TEST_F(WizardTest, FreeSpaceUnreadableFromTheStartLeavesTheRemainingCellEmpty) {
  system.FindDrive('D')->freeSpaceFails = true;
  StartOnDestination();
  Refresh();
  EXPECT_EQ(wizard->DiskGrid.Row(), 1);
  EXPECT_EQ(Column(1), (V{"74.5 GB", ""}));
  EXPECT_EQ(Column(3), (V{"", " 15 MB"}));
  EXPECT_EQ(Column(4), (V{"", ""}));
  EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(WizardTest, DoubleClickPutsTheDiskLetterInFrontOfTheEditText) {
  StartOnDestination();
  Refresh();
  TFormSchedule& w = *wizard;
  w.Edit_Path.UserTyped("C:\\Program Files\\X");
  w.DiskGrid.UserSelect(1);
  w.DiskGrid.DblClick();
  EXPECT_EQ(w.Edit_Path.Text(), "D:\\Program Files\\X");
  EXPECT_EQ(InstallDir, "D:\\Program Files\\X");
  EXPECT_EQ(w.DiskGrid.Row(), 1);
  EXPECT_EQ(Column(3), (V{"", " 15 MB"}));

  // A double-byte first character gives way as a whole.
  w.Edit_Path.UserTyped("安装");
  w.DiskGrid.UserSelect(0);
  w.DiskGrid.DblClick();
  EXPECT_EQ(w.Edit_Path.Text(), "C装");
  EXPECT_EQ(backend.boxes.size(), 1u);  // "C装" names no listed disk

  // An empty edit becomes the letter alone, which matches no row.
  w.Edit_Path.UserTyped("");
  w.DiskGrid.UserSelect(1);
  w.DiskGrid.DblClick();
  EXPECT_EQ(w.Edit_Path.Text(), "D");
  EXPECT_EQ(InstallDir, "D");
  ASSERT_EQ(backend.boxes.size(), 2u);
  EXPECT_EQ(backend.boxes[1].text, "Grid index out of range.");
}

TEST_F(WizardTest, DoubleClickWithoutAListedDiskDoesNothing) {
  Drives({{'C', plat::kDriveRemovable, 1 * kGB, 1 * kGB}});
  StartOnDestination();
  Refresh();  // nothing listed: the C: default matches no row
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(wizard->DiskGrid.RowCount(), 1);
  EXPECT_EQ(wizard->DiskGrid.Cell(0, 0), "");
  std::string before = wizard->Edit_Path.Text();
  int queries = system.CallCount(plat::FakeOp::DiskFreeSpace);
  wizard->DiskGrid.DblClick();
  EXPECT_EQ(wizard->Edit_Path.Text(), before);
  EXPECT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(system.CallCount(plat::FakeOp::DiskFreeSpace), queries);
}

TEST_F(WizardTest, TypingAndTheShortcutBoxFollowIntoTheSharedState) {
  StartOnDestination();
  wizard->Edit_Path.UserTyped(" D:\\With Blanks ");
  EXPECT_EQ(InstallDir, " D:\\With Blanks ");
  EXPECT_TRUE(backend.boxes.empty());  // typing does not refresh
  wizard->chbdesktop.Click();
  EXPECT_FALSE(WantDesktopLink);
  wizard->chbdesktop.Click();
  EXPECT_TRUE(WantDesktopLink);
}

}  // namespace
