#include <windows.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/temp_files.h"
#include "tests/ui/dialog_fixture.h"
#include "ui/repair_command.h"

namespace {

TEST(OutputPath, FixedGoesBeforeTheExtensionOfTheLastComponent) {
  const struct {
    const char* damaged;
    const char* output;
  } rows[] = {
      {"D:\\video\\clip.avi", "D:\\video\\clip.fixed.avi"},
      {"D:\\video\\clip", "D:\\video\\clip.fixed"},
      {"D:\\video\\take.2.avi", "D:\\video\\take.2.fixed.avi"},
      {"D:\\video.old\\clip", "D:\\video.old\\clip.fixed"},
      {"clip.avi", "clip.fixed.avi"},
      // 表 is 95 5C in Shift-JIS: its trail byte is no folder separator.
      {"D:\\video\\ab.c表d", "D:\\video\\ab.fixed.c表d"},
      {"D:\\表\\clip.avi", "D:\\表\\clip.fixed.avi"},
  };
  ASSERT_EQ(GetACP(), 932u) << "the tests run with the Japanese code page";
  for (const auto& r : rows) {
    char output[MAX_PATH];
    FormOutputPath(r.damaged, output);
    EXPECT_STREQ(output, r.output) << r.damaged;
  }
}

// Two copies of one original, damaged apart, and what merging them gives.
struct Copies {
  std::vector<unsigned char> original, damaged, source;
};

Copies MakeCopies(size_t size) {
  Copies c;
  for (size_t i = 0; i < size; ++i) c.original.push_back(static_cast<unsigned char>(1 + i % 251));
  c.damaged = c.source = c.original;
  for (size_t i = 1000; i < 1000 + 8192 && i < size; ++i) c.damaged[i] = 0;
  for (size_t i = size / 2; i < size / 2 + 4096; ++i) c.source[i] = 0;
  return c;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// Read as UTF-16 and converted here: the file-open dialog's name box answers
// ANSI requests in another code page under Wine.
std::string DialogText(HWND dialog, int id) {
  wchar_t wide[MAX_PATH] = L"";
  GetDlgItemTextW(dialog, id, wide, MAX_PATH);
  char text[2 * MAX_PATH] = "";
  WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
  return text;
}

class RepairCommandTest : public DialogTest {
 protected:
  // Answers the file-open dialog with name (cancels it when name is null),
  // noting what it showed once it has settled; message boxes get OK.
  void ChooseInFileDialog(const char* name) {
    chosen_ = name ? name : "";
    cancel_ = name == nullptr;
    g_answerDialog = [this](HWND dialog) -> int {
      if (!GetDlgItem(dialog, kNameField)) return IDOK;
      if (dialog != fileDialog_) {  // activated again: already in hand
        fileDialog_ = dialog;
        active_ = this;
        timer_ = SetTimer(nullptr, 0, 50, AnswerFileDialog);
      }
      return 0;
    };
  }

  void TearDown() override {
    if (timer_) KillTimer(nullptr, timer_);
    active_ = nullptr;
    DialogTest::TearDown();
  }

  static void CALLBACK AnswerFileDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    RepairCommandTest* t = active_;
    t->timer_ = 0;
    HWND dialog = t->fileDialog_;
    ++t->fileDialogs_;
    t->shownName_ = DialogText(dialog, kNameField);
    char filter[MAX_PATH] = "";
    const LRESULT type = SendDlgItemMessageA(dialog, kTypeField, CB_GETCURSEL, 0, 0);
    SendDlgItemMessageA(dialog, kTypeField, CB_GETLBTEXT, type, reinterpret_cast<LPARAM>(filter));
    t->shownFilter_ = filter;
    if (t->onFileDialog_) t->onFileDialog_();
    if (!t->cancel_) SetDlgItemTextA(dialog, kNameField, t->chosen_.c_str());
    if (t->cancel_)
      PostMessageA(dialog, WM_CLOSE, 0, 0);
    else
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  }

  // Opens the dialog with one entry, selected, and presses Repair....
  void Repair(const std::string& entry) {
    Open(Quoted(entry).c_str());
    Select(0);
    Command(IDC_REPAIR);
  }

  // The texts of the message boxes, the file-open dialog left out.
  std::vector<std::string> Boxes() const {
    std::vector<std::string> boxes;
    for (const DialogEvent& e : Messages())
      if (e.caption != "修復用ファイル") boxes.push_back(e.text);
    return boxes;
  }

  static const int kNameField = 0x47C;  // the name combo box of the Explorer-style dialog
  static const int kTypeField = 0x470;  // its file type combo box
  static RepairCommandTest* active_;
  HWND fileDialog_ = nullptr;
  UINT_PTR timer_ = 0;
  std::string chosen_, shownName_, shownFilter_;
  bool cancel_ = false;
  int fileDialogs_ = 0;
  std::function<void()> onFileDialog_;
};

RepairCommandTest* RepairCommandTest::active_;

// The tests that cancel the file-open dialog come first: under Wine, cancelling
// it once it has remembered a folder chosen in an earlier test of the same
// process crashes Wine's file dialog code as the process ends.
TEST_F(RepairCommandTest, CancellingTheFileDialogDoesNothing) {
  const std::string damaged = MakeFile("clip.avi", MakeCopies(1000).damaged);
  ChooseInFileDialog(nullptr);
  Repair(damaged);
  EXPECT_EQ(fileDialogs_, 1);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_FALSE(FileExists(JoinPath(TempFolder(), "clip.fixed.avi")));
  EXPECT_EQ(Selection(), 0);
}

TEST_F(RepairCommandTest, NamesOfUpTo253BytesAreAccepted) {
  const std::string folder = "C:\\" + std::string(240, 'f') + "\\";
  const std::string accepted = folder + std::string(253 - folder.size() - 4, 'n') + ".avi";
  ASSERT_EQ(accepted.size(), 253u);
  char output[MAX_PATH];
  FormOutputPath(accepted.c_str(), output);
  EXPECT_EQ(std::string(output).size(), 259u);

  ChooseInFileDialog(nullptr);
  Repair(accepted);
  EXPECT_EQ(fileDialogs_, 1);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(RepairCommandTest, LongerNamesAreRefusedBeforeTheFileDialog) {
  const std::string folder = "C:\\" + std::string(240, 'f') + "\\";
  const std::string refused = folder + std::string(254 - folder.size() - 4, 'n') + ".avi";
  ChooseInFileDialog(nullptr);
  Repair(refused);
  EXPECT_EQ(fileDialogs_, 0);
  EXPECT_EQ(Boxes(), std::vector<std::string>({"修復するファイルのファイル名が長過ぎます。"}));
}

TEST_F(RepairCommandTest, NothingSelectedDoesNothing) {
  MakeFile("clip.avi", MakeCopies(100).damaged);
  ChooseInFileDialog(nullptr);
  Open(Quoted(JoinPath(TempFolder(), "clip.avi")).c_str());
  Command(IDC_REPAIR);
  EXPECT_EQ(fileDialogs_, 0);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(RepairCommandTest, WritesTheMergedFileBesideTheDamagedOneAndKeepsTheSelection) {
  const Copies c = MakeCopies(200000);
  const std::string damaged = MakeFile("clip.avi", c.damaged);
  const std::string source = JoinPath(TempFolder(), "copy.avi");
  WriteBytes(source, c.source);
  ChooseInFileDialog(source.c_str());
  Repair(damaged);

  EXPECT_EQ(fileDialogs_, 1);
  EXPECT_EQ(shownName_, "clip.avi");
  EXPECT_EQ(shownFilter_, "すべてのファイル(*.*)");
  ASSERT_FALSE(Messages().empty());
  EXPECT_EQ(Messages()[0].caption, "修復用ファイル");
  EXPECT_EQ(Boxes(), std::vector<std::string>({"ファイルを修復しました。"}));
  EXPECT_EQ(Messages().back().caption, "修復");
  EXPECT_EQ(ReadBytes(JoinPath(TempFolder(), "clip.fixed.avi")),
            std::vector<uint8_t>(c.original.begin(), c.original.end()));
  EXPECT_EQ(ReadBytes(damaged), std::vector<uint8_t>(c.damaged.begin(), c.damaged.end()));
  EXPECT_EQ(Entries(), std::vector<std::string>({damaged}));
  EXPECT_EQ(Selection(), 0);
  EXPECT_EQ(RuleButtons(), std::vector<bool>({true, true, true, true}));
}

TEST_F(RepairCommandTest, ASourceOfAnotherSizeLeavesNoOutputAndKeepsAnEarlierOne) {
  const Copies c = MakeCopies(70000);
  const std::string damaged = MakeFile("clip.avi", c.damaged);
  const std::string shorter = MakeFile("short.avi", std::vector<unsigned char>(69999, 1));
  const std::string output = JoinPath(TempFolder(), "clip.fixed.avi");
  ChooseInFileDialog(shorter.c_str());
  Repair(damaged);
  EXPECT_EQ(Boxes(), std::vector<std::string>({"ファイルサイズが一致しません。"}));
  EXPECT_FALSE(FileExists(output));
  DestroyWindow(dialog_);

  const std::vector<uint8_t> earlier(c.original.begin(), c.original.end());
  WriteBytes(output, earlier);
  g_events.clear();
  Repair(damaged);
  EXPECT_EQ(Boxes(), std::vector<std::string>({"ファイルサイズが一致しません。"}));
  EXPECT_EQ(ReadBytes(output), earlier);
}

TEST_F(RepairCommandTest, ChoosingTheEarlierOutputAsSourceLosesNothing) {
  const Copies c = MakeCopies(70000);
  const std::string damaged = MakeFile("clip.avi", c.damaged);
  const std::string output = MakeFile("clip.fixed.avi", c.source);
  ChooseInFileDialog(output.c_str());
  Repair(damaged);
  EXPECT_EQ(Boxes(), std::vector<std::string>({"書き込み先ファイルが開けません。"}));
  EXPECT_EQ(ReadBytes(output), std::vector<uint8_t>(c.source.begin(), c.source.end()));
  EXPECT_EQ(ReadBytes(damaged), std::vector<uint8_t>(c.damaged.begin(), c.damaged.end()));
}

TEST_F(RepairCommandTest, AMismatchAfterSomeBlocksRemovesThePartialOutput) {
  Copies c = MakeCopies(200000);
  c.damaged[150000] = 0x41;
  c.source[150000] = 0x42;
  const std::string damaged = MakeFile("clip.avi", c.damaged);
  const std::string source = MakeFile("copy.avi", c.source);
  ChooseInFileDialog(source.c_str());
  Repair(damaged);
  EXPECT_EQ(Boxes(), std::vector<std::string>({"データが一致しません。\nAddress : 000249F0 (41 / 42)"}));
  EXPECT_FALSE(FileExists(JoinPath(TempFolder(), "clip.fixed.avi")));
  EXPECT_EQ(Selection(), 0);
}

TEST_F(RepairCommandTest, ARelativeEntryIsRepairedWhereItWasCheckedWhereverTheDialogMoves) {
  const Copies c = MakeCopies(70000);
  MakeFile("clip.avi", c.damaged);
  const std::string source = MakeFile("copy.avi", c.source);
  const std::string elsewhere = JoinPath(TempFolder(), "elsewhere");
  CreateDirectoryA(elsewhere.c_str(), nullptr);
  MakeFile("elsewhere\\clip.avi", c.source);  // a same-named file the dialog's folder holds

  char before[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, before);
  SetCurrentDirectoryA(TempFolder().c_str());
  onFileDialog_ = [&] { SetCurrentDirectoryA(elsewhere.c_str()); };
  ChooseInFileDialog(source.c_str());
  Repair("clip.avi");
  SetCurrentDirectoryA(before);

  EXPECT_EQ(Boxes(), std::vector<std::string>({"ファイルを修復しました。"}));
  EXPECT_EQ(ReadBytes(JoinPath(TempFolder(), "clip.fixed.avi")),
            std::vector<uint8_t>(c.original.begin(), c.original.end()));
  EXPECT_FALSE(FileExists(JoinPath(elsewhere, "clip.fixed.avi")));
  EXPECT_EQ(Entries(), std::vector<std::string>({"clip.avi"}));
}

TEST_F(RepairCommandTest, AShiftJisNameWhoseTrailByteIsABackslash) {
  const Copies c = MakeCopies(70000);
  const std::string damaged = MakeFile("表.avi", c.damaged);
  const std::string source = MakeFile("copy.avi", c.source);
  ChooseInFileDialog(source.c_str());
  Repair(damaged);
  EXPECT_EQ(shownName_, "表.avi");
  EXPECT_EQ(Boxes(), std::vector<std::string>({"ファイルを修復しました。"}));
  EXPECT_EQ(ReadBytes(JoinPath(TempFolder(), "表.fixed.avi")),
            std::vector<uint8_t>(c.original.begin(), c.original.end()));
}

}  // namespace
