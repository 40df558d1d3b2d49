// The rules of the in-memory platform that the program tests rely on: Windows path rules,
// folder creation and removal, listings, registry deletion and handles, sections, faults.
#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace {

using plat::FakePlatform;

TEST(FakeFiles, PathsIgnoreCaseAndSeparatorStyle) {
  FakePlatform fs;
  fs.AddFile("D:\\Apps\\Korvn25\\Readme.TXT", "abc");
  EXPECT_TRUE(fs.FileExists("d:/apps/KORVN25/readme.txt"));
  EXPECT_TRUE(fs.FileExists("D:\\Apps\\\\Korvn25\\.\\x\\..\\Readme.txt. "));
  EXPECT_FALSE(fs.FileExists("D:\\Apps\\Korvn25\\Readme.txt\\"));  // a file is no folder
  EXPECT_FALSE(fs.FileExists("Apps\\Korvn25\\Readme.txt"));        // no drive
  EXPECT_TRUE(fs.DirExists("D:\\APPS\\korvn25\\"));
  EXPECT_FALSE(fs.DirExists("D:\\Apps\\Korvn25\\Readme.txt"));
  EXPECT_TRUE(fs.DirExists("D:\\"));
  EXPECT_FALSE(fs.DirExists("Q:\\"));
  EXPECT_EQ(fs.ReadFile("D:/APPS/korvn25/readme.txt"), "abc");
  // ".." cannot climb above the root.
  EXPECT_TRUE(fs.FileExists("D:\\..\\..\\Apps\\Korvn25\\Readme.txt"));
  // A 0x5C trail byte is part of a character, and trail letters keep their case.
  fs.AddFile("C:\\\x81\x5C\\\x81\x61.txt", "x");
  EXPECT_TRUE(fs.FileExists("C:\\\x81\x5C\\\x81\x61.TXT"));
  EXPECT_FALSE(fs.FileExists("C:\\\x81\x5C\\\x81\x41.txt"));
}

TEST(FakeFiles, CreateDirAndRemoveDirRules) {
  FakePlatform fs;
  EXPECT_FALSE(fs.CreateDir("C:\\a\\b"));  // parent missing: one level only
  EXPECT_EQ(fs.lastError, 3u);
  EXPECT_TRUE(fs.CreateDir("C:\\a\\"));
  EXPECT_FALSE(fs.CreateDir("c:\\A"));  // exists
  EXPECT_EQ(fs.lastError, 183u);
  EXPECT_TRUE(fs.CreateDir("C:\\a\\b"));
  fs.AddFile("C:\\a\\b\\f.dat", "1");
  EXPECT_FALSE(fs.RemoveDir("C:\\a\\b"));  // not empty
  EXPECT_EQ(fs.lastError, 145u);
  EXPECT_FALSE(fs.RemoveDir("C:\\a\\b\\f.dat"));  // a file
  EXPECT_TRUE(fs.DeleteFile("C:\\A\\B\\F.DAT"));
  EXPECT_TRUE(fs.RemoveDir("C:\\a\\b\\"));
  EXPECT_FALSE(fs.RemoveDir("C:\\a\\b"));
  EXPECT_EQ(fs.lastError, 2u);
  EXPECT_FALSE(fs.RemoveDir("C:\\a\\zz\\b"));
  EXPECT_EQ(fs.lastError, 3u);
}

TEST(FakeFiles, DeleteAndWriteFailLikeWindows) {
  FakePlatform fs;
  fs.AddFile("C:\\p\\ro.txt", "r");
  fs.AddFile("C:\\p\\Uninstall.exe", "MZ");
  fs.SetReadOnly("C:\\p\\ro.txt");
  fs.SetLocked("C:\\p\\Uninstall.exe");
  EXPECT_FALSE(fs.DeleteFile("C:\\p\\ro.txt"));
  EXPECT_FALSE(fs.DeleteFile("C:\\p\\uninstall.exe"));
  EXPECT_FALSE(fs.DeleteFile("C:\\p"));                  // a folder
  EXPECT_EQ(fs.ReadFile("C:\\p\\Uninstall.exe"), "MZ");  // a running program can be read
  try {
    fs.WriteFile("c:\\P\\uninstall.exe", "new");
    FAIL();
  } catch (const plat::Error& e) {
    EXPECT_STREQ(e.what(),
                 "Cannot create file \"C:\\P\\uninstall.exe\". The process cannot access the "
                 "file because it is being used by another process");
  }
  try {
    fs.WriteFile("C:\\nowhere\\x.txt", "new");
    FAIL();
  } catch (const plat::Error& e) {
    EXPECT_STREQ(e.what(),
                 "Cannot create file \"C:\\nowhere\\x.txt\". The system cannot find the path "
                 "specified");
  }
  try {
    fs.ReadFile("C:\\p\\missing.log");
    FAIL();
  } catch (const plat::Error& e) {
    EXPECT_STREQ(e.what(),
                 "Cannot open file \"C:\\p\\missing.log\". The system cannot find the file "
                 "specified");
  }
  EXPECT_FALSE(fs.TryReadFile("C:\\p"));

  fs.SetDrive({'E', plat::kDriveFixed, 100, 0, false, true});  // full
  fs.AddDir("E:\\d");
  EXPECT_THROW(fs.WriteFile("E:\\d\\big.bin", "x"), plat::Error);
  EXPECT_EQ(fs.Content("E:\\d\\big.bin"), "");                        // created, nothing written
  fs.SetDrive({'F', plat::kDriveCdRom, 100, 0, false, false, true});  // read-only
  EXPECT_FALSE(fs.CreateDir("F:\\x"));
  EXPECT_EQ(fs.lastError, 19u);
}

TEST(FakeFiles, ListDirGivesDotsAndAttributes) {
  FakePlatform fs;
  fs.AddFile("C:\\k\\SdbFile\\b.idx", "1");
  fs.AddFile("C:\\k\\SdbFile\\A.dat", "2");
  fs.AddDir("C:\\k\\SdbFile\\sub");
  fs.AddFile("C:\\k\\SdbFile\\sub\\deep.txt", "3");
  fs.SetReadOnly("C:\\k\\SdbFile\\b.idx");
  auto entries = fs.ListDir("C:\\K\\sdbfile\\*.*");
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].name, ".");
  EXPECT_EQ(entries[1].name, "..");
  EXPECT_EQ(entries[0].attributes & plat::kAttrDirectory, plat::kAttrDirectory);
  EXPECT_EQ(entries[2].name, "A.dat");
  EXPECT_EQ(entries[3].name, "b.idx");
  EXPECT_EQ(entries[3].attributes & plat::kAttrReadOnly, plat::kAttrReadOnly);
  EXPECT_EQ(entries[4].name, "sub");
  EXPECT_EQ(entries[4].attributes & plat::kAttrDirectory, plat::kAttrDirectory);
  EXPECT_EQ(fs.ListDir("C:\\k\\SdbFile\\*.IDX").size(), 1u);
  EXPECT_TRUE(fs.ListDir("C:\\k\\missing\\*.*").empty());
  // The root has no "." and "..".
  for (const auto& e : fs.ListDir("C:\\*.*")) EXPECT_NE(e.name, ".");
}

TEST(FakeRegistry, KeysValuesDeletionAndHandles) {
  FakePlatform reg;
  plat::RegKey k = reg.RegCreateKey(plat::kCurrentUser, "Software\\KORVX\\Sub");
  ASSERT_NE(k, 0u);
  EXPECT_TRUE(reg.RegSetString(k, "Version", "2.5"));
  reg.RegCloseKey(k);
  EXPECT_EQ(reg.Value(plat::kCurrentUser, "software\\korvx\\SUB", "version"), "2.5");
  EXPECT_EQ(reg.RegOpenKey(plat::kCurrentUser, "\\Software\\KORVX"), 0u);  // leading "\"
  EXPECT_EQ(reg.lastError, 161u);

  EXPECT_FALSE(reg.RegDeleteKey(plat::kCurrentUser, "software\\korvx"));  // has a subkey
  EXPECT_EQ(reg.lastError, 5u);
  plat::RegKey parent = reg.RegOpenKey(plat::kCurrentUser, "Software\\KORVX");
  std::uint32_t subkeys = 0, maxLen = 0;
  ASSERT_TRUE(reg.RegQueryInfo(parent, subkeys, maxLen));
  EXPECT_EQ(subkeys, 1u);
  EXPECT_EQ(maxLen, 3u);
  EXPECT_EQ(reg.RegEnumKey(parent, 0), "Sub");
  EXPECT_FALSE(reg.RegEnumKey(parent, 1));
  EXPECT_TRUE(reg.RegDeleteKey(parent, "sub"));
  reg.RegCloseKey(parent);
  EXPECT_TRUE(reg.RegDeleteKey(plat::kCurrentUser, "Software\\KORVX"));
  EXPECT_FALSE(reg.KeyExists(plat::kCurrentUser, "Software\\KORVX"));
  EXPECT_FALSE(reg.RegDeleteKey(plat::kCurrentUser, "Software\\KORVX"));
  EXPECT_EQ(reg.OpenKeyCount(), 0u);
  reg.RegCloseKey(parent);
  EXPECT_EQ(reg.badKeyCloses, 1);

  // HKCR is HKLM\Software\Classes.
  reg.SetValue(plat::kClassesRoot, ".Kvx", "", "KORVX");
  EXPECT_EQ(reg.Value(plat::kLocalMachine, "SOFTWARE\\Classes\\.kvx", ""), "KORVX");

  reg.SetRegistryDenied(plat::kLocalMachine, "Software\\Korvane");
  EXPECT_EQ(reg.RegCreateKey(plat::kLocalMachine, "Software\\Korvane\\x"), 0u);
  EXPECT_EQ(reg.OpenKeyCount(), 0u);
}

TEST(FakeSections, TwoProcessesShareOneSection) {
  auto shared = std::make_shared<plat::FakeSections>();
  {
    FakePlatform first(shared), second(shared);
    EXPECT_EQ(second.OpenSharedSection("S"), 0u);
    auto h1 = first.CreateSharedSection("S");
    std::uint32_t* v1 = first.MapSharedSection(h1);
    *v1 = 0x1234;
    auto h2 = second.OpenSharedSection("S");
    ASSERT_NE(h2, 0u);
    EXPECT_EQ(*second.MapSharedSection(h2), 0x1234u);
    EXPECT_EQ(second.OpenSharedSection("s"), 0u);  // names keep their case
    first.UnmapSharedSection(v1);
    first.CloseSharedSection(h1);
    EXPECT_EQ(first.OpenSectionCount(), 0u);
  }
  EXPECT_TRUE(shared->byName.empty());  // the second "process" ended too
}

TEST(FakeFaults, FailNthAndJournal) {
  FakePlatform fs;
  fs.FailNth(plat::FakeOp::WriteFile, 2);
  fs.WriteFile("C:\\a.txt", "1");
  EXPECT_THROW(fs.WriteFile("C:\\b.txt", "2"), plat::Error);
  fs.WriteFile("C:\\c.txt", "3");
  EXPECT_EQ(fs.CallCount(plat::FakeOp::WriteFile), 3);
  ASSERT_EQ(fs.journal.size(), 3u);
  EXPECT_EQ(fs.journal[1].target, "C:\\b.txt");
  EXPECT_FALSE(fs.journal[1].ok);
  EXPECT_FALSE(fs.FileExists("C:\\b.txt"));

  auto conv = fs.NewDdeConversation();
  fs.progManRunning = false;
  fs.progManStartsOnLaunch = true;
  // Without the server's program in the system or Windows folder nothing is started; one beside
  // this program (a planted file) never is.
  fs.AddFile("C:\\ProgMan.exe", "MZ planted");
  EXPECT_FALSE(conv->Open("ProgMan", "ProgMan"));
  EXPECT_TRUE(fs.launches.empty());
  // The system folder's copy comes before the Windows folder's.
  fs.AddFile("C:\\WINDOWS\\progman.exe", "MZ");
  fs.AddFile("C:\\WINDOWS\\system32\\progman.exe", "MZ");
  EXPECT_TRUE(conv->Open("ProgMan", "ProgMan"));
  EXPECT_EQ(fs.launches,
            std::vector<std::string>{"\"C:\\WINDOWS\\system32\\ProgMan.exe\" ProgMan"});
  EXPECT_TRUE(conv->Execute("[DeleteGroup(K)]\r\n"));
  conv->Close();
  EXPECT_EQ(fs.ddeConnected, 0);
  EXPECT_EQ(fs.ddeCommands, std::vector<std::string>{"[DeleteGroup(K)]\r\n"});
  EXPECT_EQ(std::string(fs.LogicalDriveStrings()), std::string("C:\\\0", 4));
}

}  // namespace
