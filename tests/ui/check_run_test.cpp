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

static const char kNoDamage[] = "破損は見付かりませんでした。";
static const char kDamage[] = "ファイルが破損している可能性があります。\nAddress : ";
static const char kCannotOpen[] = "ファイルが開けません。";
static const size_t kBlock = 65536;

static std::string Tail(const std::vector<std::string>& names) {
  std::string tail;
  for (const std::string& n : names) tail += (tail.empty() ? "" : " ") + n;
  return tail;
}

static std::vector<long long> Values(const std::vector<DialogEvent>& events) {
  std::vector<long long> v;
  for (const DialogEvent& e : events) v.push_back(e.value);
  return v;
}

static std::vector<int> ListCounts(const std::vector<DialogEvent>& events) {
  std::vector<int> v;
  for (const DialogEvent& e : events) v.push_back(e.listCount);
  return v;
}

// The progress positions and message boxes in the order they came, a message
// written as M.
static std::string ProgressAndMessages() {
  std::string seen;
  for (const DialogEvent& e : g_events) {
    if (e.kind == DialogEvent::kProgressPos) seen += (seen.empty() ? "" : " ") + std::to_string(e.value);
    if (e.kind == DialogEvent::kMessage) seen += (seen.empty() ? "" : " ") + std::string("M");
  }
  return seen;
}

// What a run leaves in every case that Exit did not end.
#define EXPECT_IDLE_AFTER_RUN()                         \
  do {                                                  \
    EXPECT_EQ(g_checking, 0);                           \
    EXPECT_EQ(Text(IDOK), "チェック");                  \
    EXPECT_EQ(ProgressPos(), 0);                        \
    EXPECT_TRUE(Enabled(IDC_THRESHOLD));                \
    EXPECT_TRUE(Enabled(IDC_SKIP_JUNK));                \
    EXPECT_TRUE(Enabled(IDCANCEL));                     \
  } while (0)

TEST_F(DialogTest, ThreeCleanFilesLeaveTheListOneByOne) {
  const std::string a = MakeFile("a.avi", CleanBytes(1000));
  const std::string b = MakeFile("b.avi", CleanBytes(kBlock * 2 + 7));
  const std::string c = MakeFile("c.avi", CleanBytes(10));
  Open(Tail({a, b, c}).c_str());
  Command(IDOK);

  EXPECT_EQ(Values(Events(DialogEvent::kProgressRange)), (std::vector<long long>{3}));
  const auto positions = Events(DialogEvent::kProgressPos);
  EXPECT_EQ(Values(positions), (std::vector<long long>{0, 1, 2, 3, 0}));
  EXPECT_EQ(ListCounts(positions), (std::vector<int>{3, 2, 1, 0, 0}));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, kNoDamage);
  EXPECT_EQ(Messages()[0].caption, "結果");
  // The result comes after the last file has passed and before the bar is reset.
  EXPECT_EQ(ProgressAndMessages(), "0 1 2 3 M 0");

  EXPECT_EQ(Entries(), List{});
  EXPECT_EQ(RuleButtons(), (Buttons{false, false, false, false}));
  EXPECT_EQ(HorizontalExtent(), 0);
  EXPECT_IDLE_AFTER_RUN();
}

TEST_F(DialogTest, ARunDisablesAndRestoresTheControlsInOrder) {
  const std::string a = MakeFile("a.avi", CleanBytes(100));
  const std::string b = MakeFile("b.avi", CleanBytes(100));
  Open(Tail({a, b}).c_str());
  Select(1);
  g_events.clear();
  Command(IDOK);

  std::vector<std::pair<int, long long>> enables;
  for (const DialogEvent& e : Events(DialogEvent::kEnable)) enables.push_back({e.id, e.value});
  const std::vector<std::pair<int, long long>> expected = {
      {IDC_REMOVE, 0},    {IDC_REMOVE_ALL, 0}, {IDC_THRESHOLD, 0}, {IDC_SKIP_JUNK, 0},
      {IDC_REPAIR, 0},    {IDC_THRESHOLD, 1},  {IDC_SKIP_JUNK, 1},  {IDOK, 0},
  };
  EXPECT_EQ(enables, expected);
  const auto texts = Events(DialogEvent::kSetText);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].text, "中止");
  EXPECT_EQ(texts[1].text, "チェック");
  // Check turns into Stop before anything else changes, and stays enabled.
  EXPECT_EQ(g_events.front().kind, DialogEvent::kSetText);
}

TEST_F(DialogTest, TheSecondOfThreeFilesIsDamaged) {
  std::vector<unsigned char> damaged = CleanBytes(kBlock + 20000);
  std::fill(damaged.begin() + 70000, damaged.begin() + 70000 + 8192, 0);
  const std::string a = MakeFile("a.avi", CleanBytes(5000));
  const std::string b = MakeFile("b.avi", damaged);
  const std::string c = MakeFile("c.avi", CleanBytes(5000));
  Open(Tail({a, b, c}).c_str());
  int selectionWhileShown = -2;
  g_onEvent = [&](const DialogEvent& e) {
    if (e.kind == DialogEvent::kMessage) selectionWhileShown = Selection();
  };
  Command(IDOK);

  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, std::string(kDamage) + "00011170");
  EXPECT_EQ(Messages()[0].listCount, 2);
  EXPECT_EQ(selectionWhileShown, 0);
  EXPECT_EQ(Values(Events(DialogEvent::kProgressPos)), (std::vector<long long>{0, 1, 0}));
  EXPECT_EQ(Entries(), (List{b, c}));
  EXPECT_EQ(Selection(), 0);
  EXPECT_EQ(RuleButtons(), (Buttons{true, true, true, true}));
  EXPECT_IDLE_AFTER_RUN();
}

TEST_F(DialogTest, AnEntryThatCannotBeOpenedEndsTheRunOnTop) {
  const std::string a = MakeFile("a.avi", CleanBytes(10));
  Open(("\"\" " + a).c_str());
  Command(IDOK);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, kCannotOpen);
  EXPECT_EQ(Entries(), (List{"", a}));
  EXPECT_EQ(Selection(), 0);
  EXPECT_EQ(RuleButtons(), (Buttons{true, true, true, true}));
  EXPECT_IDLE_AFTER_RUN();
}

TEST_F(DialogTest, StopDuringAFileEndsTheRunSilentlyAndTheNextCheckStartsAfresh) {
  const std::string big = MakeFile("big.avi", CleanBytes(kBlock * 3));
  const std::string small = MakeFile("small.avi", CleanBytes(10));
  Open(Tail({big, small}).c_str());
  // Delivered by the pump that the scanner runs after the first block.
  PostCommand(IDOK);
  Command(IDOK);

  EXPECT_EQ(Messages().size(), 0u);
  EXPECT_EQ(Entries(), (List{big, small}));
  EXPECT_EQ(Selection(), 0);
  EXPECT_EQ(RuleButtons(), (Buttons{true, true, true, true}));
  EXPECT_EQ(g_stopRequest, 1);
  EXPECT_IDLE_AFTER_RUN();

  // The stop left over from that run does not stop the next one.
  Command(IDOK);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, kNoDamage);
  EXPECT_EQ(Entries(), List{});
}

TEST_F(DialogTest, StopAfterTheLastFileShowsNoResult) {
  const std::string a = MakeFile("a.avi", CleanBytes(10));
  const std::string b = MakeFile("b.avi", {});
  Open(Tail({a, b}).c_str());
  // The moment the last file has passed, before the run's own pump runs.
  g_onEvent = [&](const DialogEvent& e) {
    if (e.kind == DialogEvent::kProgressPos && e.value == 2) PostCommand(IDOK);
  };
  Command(IDOK);
  EXPECT_EQ(Messages().size(), 0u);
  EXPECT_EQ(Entries(), List{});
  EXPECT_EQ(RuleButtons(), (Buttons{false, false, false, false}));
  EXPECT_IDLE_AFTER_RUN();
}

TEST_F(DialogTest, StopSeenAfterACleanFileLeavesTheRestUnselected) {
  const std::string a = MakeFile("a.avi", {});
  const std::string b = MakeFile("b.avi", CleanBytes(10));
  Open(Tail({a, b}).c_str());
  PostCommand(IDOK);  // the empty file needs no block, so the run's pump delivers it
  Command(IDOK);
  EXPECT_EQ(Messages().size(), 0u);
  EXPECT_EQ(Entries(), List{b});
  EXPECT_EQ(Selection(), LB_ERR);
  EXPECT_EQ(RuleButtons(), (Buttons{false, true, true, false}));
  EXPECT_IDLE_AFTER_RUN();
}

TEST_F(DialogTest, CheckPressedTwiceStopsTheRun) {
  const std::string big = MakeFile("big.avi", CleanBytes(kBlock * 3));
  const std::string small = MakeFile("small.avi", CleanBytes(10));
  Open(Tail({big, small}).c_str());
  PostCommand(IDOK);
  PostCommand(IDOK);
  EXPECT_EQ(PumpMessages(), 0);  // the first press starts the run inside this pump
  EXPECT_EQ(Messages().size(), 0u);
  EXPECT_EQ(Entries(), (List{big, small}));
  EXPECT_EQ(Selection(), 0);
  EXPECT_IDLE_AFTER_RUN();
}

TEST_F(DialogTest, CheckWithAnEmptyListDoesNothing) {
  Open();
  g_events.clear();
  Command(IDOK);
  EXPECT_EQ(g_events.size(), 0u);
  EXPECT_EQ(Text(IDOK), "チェック");
}

TEST_F(DialogTest, FilesDroppedDuringARunAreAppendedButNotScanned) {
  const std::string a = MakeFile("a.avi", CleanBytes(kBlock + 1));
  const std::string b = MakeFile("b.avi", CleanBytes(10));
  const std::string late = MakeFile("late.avi", CleanBytes(10));
  Open(Tail({a, b}).c_str());
  PostDrop({late, late});
  g_events.clear();
  Command(IDOK);

  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, kNoDamage);
  EXPECT_EQ(Values(Events(DialogEvent::kProgressRange)), (std::vector<long long>{2}));
  EXPECT_EQ(Entries(), (List{late, late}));
  EXPECT_EQ(Selection(), LB_ERR);
  EXPECT_EQ(RuleButtons(), (Buttons{false, true, true, false}));
  // The drop ran the button rule during the run, which changed nothing:
  // Remove all comes back only when the run has ended.
  std::vector<std::pair<int, long long>> enables;
  for (const DialogEvent& e : Events(DialogEvent::kEnable)) enables.push_back({e.id, e.value});
  const std::vector<std::pair<int, long long>> expected = {
      {IDC_REMOVE_ALL, 0}, {IDC_THRESHOLD, 0}, {IDC_SKIP_JUNK, 0},
      {IDC_THRESHOLD, 1},  {IDC_SKIP_JUNK, 1}, {IDC_REMOVE_ALL, 1},
  };
  EXPECT_EQ(enables, expected);
  EXPECT_IDLE_AFTER_RUN();
}

TEST_F(DialogTest, ASelectionDuringARunChangesNoButton) {
  const std::string a = MakeFile("a.avi", CleanBytes(kBlock + 1));
  const std::string b = MakeFile("b.avi", std::vector<unsigned char>(8192, 0));
  Open(Tail({a, b}).c_str());
  PostMessageA(GetDlgItem(dialog_, IDC_FILE_LIST), LB_SETCURSEL, 1, 0);
  PostCommand(IDC_FILE_LIST, LBN_SELCHANGE);
  Buttons whileShown;
  int selectionWhileShown = -2;
  g_onEvent = [&](const DialogEvent& e) {
    if (e.kind != DialogEvent::kMessage) return;
    whileShown = RuleButtons();
    selectionWhileShown = Selection();
  };
  Command(IDOK);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(whileShown, (Buttons{false, false, true, false}));
  EXPECT_EQ(selectionWhileShown, 0);  // the run selected entry 0 again
  EXPECT_EQ(Entries(), List{b});
}

TEST_F(DialogTest, TheCursorIsAppStartingOverTheWholeDialogDuringARun) {
  const std::string a = MakeFile("a.avi", CleanBytes(10));
  Open(a.c_str());
  LRESULT overCaption = -1, overList = -1;
  HCURSOR atStart = nullptr, during = nullptr;
  g_onEvent = [&](const DialogEvent& e) {
    if (e.kind != DialogEvent::kProgressPos || e.value != 1) return;
    atStart = GetCursor();
    SetCursor(nullptr);
    overCaption = SendMessageA(dialog_, WM_SETCURSOR, reinterpret_cast<WPARAM>(dialog_),
                               MAKELPARAM(HTCAPTION, WM_MOUSEMOVE));
    overList = SendMessageA(dialog_, WM_SETCURSOR, reinterpret_cast<WPARAM>(GetDlgItem(dialog_, IDC_FILE_LIST)),
                            MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    during = GetCursor();
  };
  SetCursor(nullptr);
  Command(IDOK);
  EXPECT_EQ(atStart, LoadCursorA(nullptr, IDC_APPSTARTING));
  EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
  EXPECT_EQ(overCaption, TRUE);
  EXPECT_EQ(overList, TRUE);
  EXPECT_EQ(during, LoadCursorA(nullptr, IDC_APPSTARTING));
  EXPECT_EQ(MainDialogProc(dialog_, WM_SETCURSOR, reinterpret_cast<WPARAM>(dialog_), HTCAPTION), FALSE);
}

TEST_F(DialogTest, TheProgressRangeHoldsListsOfMoreThan65535Entries) {
  const std::string empty = MakeFile("empty.avi", {});
  Open(empty.c_str());
  StopWatchingControls();
  HWND list = GetDlgItem(dialog_, IDC_FILE_LIST);
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  for (int i = 1; i < 70000; ++i) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("x"));
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  PostCommand(IDOK);  // Stop, seen after the first file; the range stays as the run set it
  Command(IDOK);
  EXPECT_EQ(SendDlgItemMessageA(dialog_, IDC_PROGRESS, PBM_GETRANGE, FALSE, 0), 70000);
  EXPECT_EQ(Entries().size(), 69999u);
  EXPECT_EQ(Messages().size(), 0u);
}

// Exit during a run, in a real modal dialog as start-up runs it: the run is
// stopped, returns without touching a control, and only then does the dialog
// end.
TEST_F(DialogTest, ExitDuringARunEndsTheDialogOnceTheRunHasReturned) {
  const std::string big = MakeFile("big.avi", CleanBytes(kBlock * 4));
  const std::string small = MakeFile("small.avi", CleanBytes(10));
  const std::string tail = Tail({big, small});
  int changesAfterExit = 0;
  g_onMainInit = [&](HWND dialog) {
    SetWindowPos(dialog, nullptr, 77, 88, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  };
  g_onEvent = [&](const DialogEvent&) {
    if (g_exitRequest) ++changesAfterExit;
  };
  const INT_PTR result = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc,
                                         reinterpret_cast<LPARAM>(tail.c_str()));
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(Messages().size(), 0u);
  EXPECT_EQ(g_checking, 0);
  EXPECT_EQ(g_stopRequest, 1);
  EXPECT_EQ(g_exitRequest, 1);
  EXPECT_EQ(g_settings.WindowLeft, 77);
  EXPECT_EQ(g_settings.WindowTop, 88);
  // The run started (Check became Stop) and left every control as it was.
  const auto texts = Events(DialogEvent::kSetText);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].text, "中止");
  EXPECT_EQ(changesAfterExit, 0);
  EXPECT_EQ(Values(Events(DialogEvent::kProgressPos)), (std::vector<long long>{0}));
  EXPECT_FALSE(IsWindow(g_mainDialog));
}
