// Which document KVRN.exe takes from its command line.
#include <gtest/gtest.h>

#include <set>

#include "kvrn/doc_arg.h"

namespace {

const std::wstring kProgram = L"D:\\Program Files\\Korvn25\\KVRN.exe";

std::optional<std::wstring> Doc(const std::wstring& line, std::set<std::wstring> files = {}) {
  return kvrn::DocumentArgument(line, kProgram,
                                [&](const std::wstring& p) { return files.count(p) > 0; });
}

TEST(DocumentArgument, NoneGiven) {
  EXPECT_EQ(Doc(L"KVRN.exe"), std::nullopt);
  EXPECT_EQ(Doc(L"\"C:\\Program Files\\Korvn25\\KVRN.exe\"   "), std::nullopt);
  EXPECT_EQ(Doc(L"KVRN.exe \"\""), std::nullopt);
  EXPECT_EQ(Doc(L""), std::nullopt);
}

TEST(DocumentArgument, QuotedAndPlainArguments) {
  // The program name may itself be quoted and contain blanks.
  EXPECT_EQ(Doc(L"\"C:\\Program Files\\KVRN.exe\" \"D:\\My Docs\\a b.Kvx\""),
            L"D:\\My Docs\\a b.Kvx");
  EXPECT_EQ(Doc(L"KVRN.exe\t\"x.Kvx\" extra"), L"x.Kvx");
  EXPECT_EQ(Doc(L"KVRN.exe \"unterminated.Kvx"), L"unterminated.Kvx");
  EXPECT_EQ(Doc(L"KVRN.exe doc.Kvx"), L"doc.Kvx");
  EXPECT_EQ(Doc(L"KVRN.exe doc.Kvx\r\n"), L"doc.Kvx");
  // Chinese names pass through as they are.
  EXPECT_EQ(Doc(L"KVRN.exe D:\\\u793a\u4f8b.Kvx"), L"D:\\\u793a\u4f8b.Kvx");
}

TEST(DocumentArgument, UnquotedPathWithBlanks) {
  // A line written by hand or by another tool may carry program and document unquoted.
  const std::wstring doc = L"D:\\Program Files\\Korvn25\\UserFile\\a b.Kvx";
  EXPECT_EQ(Doc(kProgram + L" " + doc + L"  ", {doc}), doc);
  // Windows may hand the program's path over in another letter case.
  EXPECT_EQ(Doc(L"d:\\PROGRAM FILES\\korvn25\\kvrn.exe " + doc, {doc}), doc);
  EXPECT_EQ(Doc(kProgram), std::nullopt);
  // The same program quoted, as Explorer starts it.
  EXPECT_EQ(Doc(L"\"" + kProgram + L"\" " + doc, {doc}), doc);
  // When the whole rest names no file, the first argument is the document.
  EXPECT_EQ(Doc(L"KVRN.exe first.Kvx second.Kvx"), L"first.Kvx");
  EXPECT_EQ(Doc(L"KVRN.exe " + doc), L"D:\\Program");
}

}  // namespace
