#include <algorithm>

#include "res/resource.h"
#include "tests/support/temp_files.h"
#include "tests/ui/dialog_fixture.h"

using List = std::vector<std::string>;

static std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

static std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// Makes a file whose path may exceed the ANSI path limit.
static void MakeLongFile(const std::string& path) {
  HANDLE h = CreateFileW((L"\\\\?\\" + Widen(path)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
}

static void RemoveLongFile(const std::string& path) { DeleteFileW((L"\\\\?\\" + Widen(path)).c_str()); }

TEST_F(DialogTest, AFolderAddsItsFilesButNotItsSubfolders) {
  const std::string folder = JoinPath(TempFolder(), "clips");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(JoinPath(folder, "sub").c_str(), nullptr));
  WriteBytes(JoinPath(folder, "one.avi"), {1});
  WriteBytes(JoinPath(folder, ".hidden"), {2});
  WriteBytes(JoinPath(JoinPath(folder, "sub"), "deep.avi"), {3});
  Open();
  Drop({folder});
  EXPECT_EQ(Sorted(Entries()), Sorted({folder + "\\one.avi", folder + "\\.hidden"}));
  EXPECT_EQ(Selection(), LB_ERR);
  EXPECT_EQ(RuleButtons(), (std::vector<bool>{false, true, true, false}));
  EXPECT_GT(HorizontalExtent(), 2);
}

TEST_F(DialogTest, DroppedNamesAreAppendedInOrderDuplicatesIncluded) {
  const std::string a = MakeFile("a.avi", {1});
  const std::string b = MakeFile("b.avi", {2});
  Open("first");
  Drop({a, b});
  Drop({a});
  EXPECT_EQ(Entries(), (List{"first", a, b, a}));
}

TEST_F(DialogTest, ANameWhoseAttributesCannotBeReadAddsNothing) {
  const std::string a = MakeFile("a.avi", {1});
  const std::string missing = JoinPath(TempFolder(), "gone.avi");
  Open();
  Drop({missing});
  EXPECT_EQ(Entries(), List{});
  EXPECT_EQ(RuleButtons(), (std::vector<bool>{false, false, false, false}));
  Drop({a, missing, a});
  EXPECT_EQ(Entries(), (List{a, a}));
}

TEST_F(DialogTest, AnEmptyFolderAddsNothingButStillRunsTheRules) {
  const std::string folder = JoinPath(TempFolder(), "empty");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  Open("x");
  Select(0);
  EnableWindow(GetDlgItem(dialog_, IDOK), FALSE);
  Drop({folder});
  EXPECT_EQ(Entries(), List{"x"});
  EXPECT_TRUE(Enabled(IDOK));
}

TEST_F(DialogTest, NamesLongerThanAnEntryAreSkippedNeverCut) {
  // A file whose path is exactly as long as an entry may be, and a dropped
  // name that would turn into that path if it were cut.
  const std::string folder = TempFolder();
  const std::string longest = JoinPath(folder, std::string(259 - folder.size() - 1, 'k'));
  ASSERT_EQ(longest.size(), 259u);
  WriteBytes(longest, {1});
  Open();
  Drop({longest + "tail.avi", longest});
  EXPECT_EQ(Entries(), List{longest});
}

TEST_F(DialogTest, AFolderSkipsFilesWhosePathWouldBeTooLong) {
  const std::string folder = JoinPath(TempFolder(), "long");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const std::string fits = JoinPath(folder, std::string(259 - folder.size() - 1, 'f'));
  const std::string over = JoinPath(folder, std::string(259 - folder.size(), 'o'));
  ASSERT_EQ(fits.size(), 259u);
  ASSERT_EQ(over.size(), 260u);
  WriteBytes(fits, {1});
  MakeLongFile(over);
  WriteBytes(JoinPath(folder, "short.avi"), {2});
  Open();
  Drop({folder});
  RemoveLongFile(over);
  EXPECT_EQ(Sorted(Entries()), Sorted({fits, folder + "\\short.avi"}));
}
