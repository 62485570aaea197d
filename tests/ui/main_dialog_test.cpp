#include <windows.h>
#include <commctrl.h>

#include "common/host.h"
#include "common/settings.h"
#include "res/resource.h"
#include "tests/ui/dialog_fixture.h"
#include "ui/globals.h"
#include "ui/main_dialog.h"

using List = std::vector<std::string>;
using Buttons = std::vector<bool>;  // Remove, Remove all, Check, Repair...

static const Buttons kEmptyList = {false, false, false, false};
static const Buttons kNoneSelected = {false, true, true, false};
static const Buttons kOneSelected = {true, true, true, true};

TEST_F(DialogTest, OpensFromTheTemplateWithTheSettingsApplied) {
  g_settings.WindowLeft = 40;
  g_settings.WindowTop = 30;
  g_settings.SkipJunk = 0;
  Open();
  EXPECT_EQ(Text(IDOK), "チェック");
  EXPECT_EQ(Text(IDC_REMOVE), "削除(&R)");
  EXPECT_EQ(Text(IDC_REMOVE_ALL), "全て削除(&C)");
  EXPECT_EQ(Text(IDC_REPAIR), "修復...");
  EXPECT_EQ(Text(IDCANCEL), "終了");
  EXPECT_EQ(Text(IDC_SKIP_JUNK), "AVIのJUNKを無視する(&J)");
  char title[64] = "";
  GetWindowTextA(dialog_, title, sizeof title);
  EXPECT_STREQ(title, "Orvalintex ver.0.1.0");
  EXPECT_NE(SendMessageA(dialog_, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_TRUE(GetWindowLongA(dialog_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);

  RECT r;
  GetWindowRect(dialog_, &r);
  EXPECT_EQ(r.left, 40);
  EXPECT_EQ(r.top, 30);

  EXPECT_EQ(Entries(), List{});
  EXPECT_EQ(RuleButtons(), kEmptyList);
  EXPECT_TRUE(Enabled(IDCANCEL));
  EXPECT_TRUE(Enabled(IDC_THRESHOLD));
  EXPECT_TRUE(Enabled(IDC_SKIP_JUNK));
  EXPECT_EQ(Text(IDC_THRESHOLD), "8");
  EXPECT_EQ(IsDlgButtonChecked(dialog_, IDC_SKIP_JUNK), BST_UNCHECKED);
  EXPECT_EQ(ProgressPos(), 0);
}

TEST_F(DialogTest, TheJunkBoxStartsTickedWhenSkipJunkIsOn) {
  g_settings.SkipJunk = 1;
  Open();
  EXPECT_EQ(IsDlgButtonChecked(dialog_, IDC_SKIP_JUNK), BST_CHECKED);
}

TEST_F(DialogTest, TheTailIsSplitIntoEntries) {
  struct Case {
    const char* tail;
    List entries;
  };
  const std::string longest(259, 'x');
  const std::string tooLong(260, 'y');
  const std::string withLong = "a " + tooLong + " " + longest;
  // How a tail splits is the splitter's own test; here, that its pieces
  // become the entries: empty ones and quoted ones too, too long ones not.
  const Case cases[] = {
      {"a  b", {"a", "", "b"}},
      {"\"my clip.avi\" c", {"my clip.avi", "c"}},
      {withLong.c_str(), {"a", longest}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tail);
    Open(c.tail);
    EXPECT_EQ(Entries(), c.entries);
    EXPECT_EQ(Selection(), LB_ERR);
    EXPECT_EQ(RuleButtons(), kNoneSelected);
    DestroyWindow(dialog_);
    dialog_ = nullptr;
  }
}

TEST_F(DialogTest, AnEmptyTailLeavesTheTemplateStatesAndNoExtent) {
  Open(nullptr);
  EXPECT_EQ(Entries(), List{});
  EXPECT_EQ(RuleButtons(), kEmptyList);
  EXPECT_EQ(HorizontalExtent(), 0);
}

TEST_F(DialogTest, TheButtonRuleFollowsTheListAndTheUsersSelection) {
  Open("a b c");
  EXPECT_EQ(RuleButtons(), kNoneSelected);
  Select(1);
  EXPECT_EQ(RuleButtons(), kOneSelected);
  Select(-1);
  EXPECT_EQ(RuleButtons(), kNoneSelected);

  // Only a selection change runs the rule; other notifications are ignored.
  SendDlgItemMessageA(dialog_, IDC_FILE_LIST, LB_SETCURSEL, 2, 0);
  Command(IDC_FILE_LIST, LBN_DBLCLK);
  Command(IDC_FILE_LIST, LBN_SETFOCUS);
  EXPECT_EQ(RuleButtons(), kNoneSelected);
  Command(IDC_FILE_LIST, LBN_SELCHANGE);
  EXPECT_EQ(RuleButtons(), kOneSelected);

  // The rule never touches the threshold, the JUNK box or Exit.
  EXPECT_TRUE(Enabled(IDC_THRESHOLD));
  EXPECT_TRUE(Enabled(IDC_SKIP_JUNK));
  EXPECT_TRUE(Enabled(IDCANCEL));
}

TEST_F(DialogTest, RemoveDeletesTheSelectedEntryOnly) {
  Open("a b c");
  // Nothing selected: nothing goes, but the buttons are refreshed.
  EnableWindow(GetDlgItem(dialog_, IDOK), FALSE);
  Command(IDC_REMOVE);
  EXPECT_EQ(Entries(), (List{"a", "b", "c"}));
  EXPECT_EQ(RuleButtons(), kNoneSelected);

  Select(1);
  Command(IDC_REMOVE);
  EXPECT_EQ(Entries(), (List{"a", "c"}));
  EXPECT_EQ(Selection(), LB_ERR);
  EXPECT_EQ(RuleButtons(), kNoneSelected);

  Select(0);
  Command(IDC_REMOVE);
  Select(0);
  Command(IDC_REMOVE);
  EXPECT_EQ(Entries(), List{});
  EXPECT_EQ(RuleButtons(), kEmptyList);
  EXPECT_EQ(HorizontalExtent(), 0);
}

TEST_F(DialogTest, RemoveAllEmptiesTheList) {
  Open("a b c");
  Select(2);
  EXPECT_GT(HorizontalExtent(), 0);
  Command(IDC_REMOVE_ALL);
  EXPECT_EQ(Entries(), List{});
  EXPECT_EQ(RuleButtons(), kEmptyList);
  EXPECT_EQ(HorizontalExtent(), 0);
}

// Width in pixels of text in the list's own font.
static int MeasureInList(HWND dialog, const std::string& text) {
  HWND list = GetDlgItem(dialog, IDC_FILE_LIST);
  HDC dc = GetDC(list);
  HGDIOBJ kept = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0)));
  SIZE size = {0, 0};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, kept);
  ReleaseDC(list, dc);
  return size.cx;
}

TEST_F(DialogTest, TheExtentIsTheWidestEntryPlusTwoPixels) {
  const std::string narrow = "iiiiiiiiii";
  const std::string widest = "C:\\WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW\\MMMMMMMMMMMMMMMMMMMM.avi";
  const std::string middle = "C:\\video\\clip.avi";
  const std::string tail = narrow + " " + widest + " " + middle;
  Open(tail.c_str());
  const int w = MeasureInList(dialog_, widest);
  const int m = MeasureInList(dialog_, middle);
  ASSERT_GT(w, m);
  ASSERT_GT(m, MeasureInList(dialog_, narrow));
  EXPECT_EQ(HorizontalExtent(), w + 2);

  // Removing the widest measures the rest again.
  Select(1);
  Command(IDC_REMOVE);
  EXPECT_EQ(HorizontalExtent(), m + 2);
}

TEST_F(DialogTest, TheThresholdIsShownInKbAndRoundedDownAtStart) {
  struct Case {
    int32_t stored;
    const char* shown;
    int32_t threshold;
  };
  const Case cases[] = {
      {8192, "8", 8192},      {10000, "9", 9216},     {1000, "0", 8192},
      {1024, "1", 1024},      {2147482624, "2097151", 2147482624},
      {2147483647, "2097151", 2147482624},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    g_settings.ErrorLength = c.stored;
    Open();
    EXPECT_EQ(Text(IDC_THRESHOLD), c.shown);
    EXPECT_EQ(g_settings.ErrorLength, c.threshold);
    DestroyWindow(dialog_);
    dialog_ = nullptr;
  }
}

TEST_F(DialogTest, EditingTheThresholdSetsItInKb) {
  struct Case {
    const char* typed;
    int32_t threshold;
  };
  const Case cases[] = {
      {"16", 16384},
      {"", 8192},
      {"0", 8192},
      {"1", 1024},
      {"-5", 8192},                // pasted: the edit takes only digits from the keyboard
      {"2097151", 2147482624},     // the largest that fits
      {"2097152", 2147482624},     // beyond it, held at the largest
      {"2147483647", 2147482624},
      {"99999999999", 8192},       // not a 32-bit number: read as 0
  };
  Open();
  HWND edit = GetDlgItem(dialog_, IDC_THRESHOLD);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    g_settings.ErrorLength = 12345;
    SetWindowTextA(edit, c.typed);
    EXPECT_EQ(g_settings.ErrorLength, c.threshold);
    EXPECT_EQ(Text(IDC_THRESHOLD), c.typed);  // never corrected
  }
}

TEST_F(DialogTest, OtherThresholdNotificationsChangeNothing) {
  Open();
  SetWindowTextA(GetDlgItem(dialog_, IDC_THRESHOLD), "16");
  g_settings.ErrorLength = 4096;
  Command(IDC_THRESHOLD, EN_SETFOCUS);
  Command(IDC_THRESHOLD, EN_UPDATE);
  EXPECT_EQ(g_settings.ErrorLength, 4096);
  Command(IDC_THRESHOLD, EN_CHANGE);
  EXPECT_EQ(g_settings.ErrorLength, 16384);
}

TEST_F(DialogTest, TheJunkBoxSetsSkipJunkAsItIsClicked) {
  g_settings.SkipJunk = 1;
  Open();
  HWND box = GetDlgItem(dialog_, IDC_SKIP_JUNK);
  SendMessageA(box, BM_CLICK, 0, 0);
  EXPECT_EQ(IsDlgButtonChecked(dialog_, IDC_SKIP_JUNK), BST_UNCHECKED);
  EXPECT_EQ(g_settings.SkipJunk, 0);
  SendMessageA(box, BM_CLICK, 0, 0);
  EXPECT_EQ(g_settings.SkipJunk, 1);
  // Any command from the box reads its state, whatever the notification.
  CheckDlgButton(dialog_, IDC_SKIP_JUNK, BST_UNCHECKED);
  Command(IDC_SKIP_JUNK, BN_SETFOCUS);
  EXPECT_EQ(g_settings.SkipJunk, 0);
}

TEST_F(DialogTest, ExitStoresTheNormalPositionAndEndsTheDialog) {
  Open("a");
  SetWindowPos(dialog_, nullptr, 123, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  Command(IDCANCEL);
  EXPECT_EQ(g_settings.WindowLeft, 123);
  EXPECT_EQ(g_settings.WindowTop, 77);
  EXPECT_FALSE(IsWindowVisible(dialog_));
  EXPECT_EQ(g_stopRequest, 0);
  EXPECT_EQ(g_exitRequest, 0);
}

TEST_F(DialogTest, ExitStoresANegativePosition) {
  g_settings.WindowLeft = -300;
  g_settings.WindowTop = 20;
  Open();
  Command(IDCANCEL);
  EXPECT_EQ(g_settings.WindowLeft, -300);
  EXPECT_EQ(g_settings.WindowTop, 20);
}

TEST_F(DialogTest, EscapeAndTheCloseBoxActLikeExit) {
  Open();
  SetWindowPos(dialog_, nullptr, 11, 22, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  PostMessageA(GetDlgItem(dialog_, IDC_FILE_LIST), WM_KEYDOWN, VK_ESCAPE, 0);
  PumpMessages();
  EXPECT_EQ(g_settings.WindowLeft, 11);
  EXPECT_FALSE(IsWindowVisible(dialog_));
  DestroyWindow(dialog_);

  Open();
  SetWindowPos(dialog_, nullptr, 33, 44, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SendMessageA(dialog_, WM_CLOSE, 0, 0);
  PumpMessages();
  EXPECT_EQ(g_settings.WindowLeft, 33);
  EXPECT_EQ(g_settings.WindowTop, 44);
  EXPECT_FALSE(IsWindowVisible(dialog_));
}

// A dialog procedure's result reaches the dialog manager, not the sender, so
// the procedure is called directly here: what it does not handle, the dialog
// manager must.
TEST_F(DialogTest, MessagesTheProcedureDoesNotHandleGoToTheDialogManager) {
  Open();
  EXPECT_EQ(MainDialogProc(dialog_, WM_MOUSEMOVE, 0, 0), FALSE);
  EXPECT_EQ(MainDialogProc(dialog_, WM_TIMER, 1, 0), FALSE);
  EXPECT_EQ(MainDialogProc(dialog_, WM_COMMAND, MAKEWPARAM(IDC_REMOVE_ALL, BN_CLICKED),
                           reinterpret_cast<LPARAM>(GetDlgItem(dialog_, IDC_REMOVE_ALL))),
            TRUE);
}
