// The main dialog in process: real template and procedure, sent what a user causes, controls read
// back. Boxes are answered by a hook once their WM_INITDIALOG has returned: no timer, no dependence
// on the order of activation.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <functional>

#include <gtest/gtest.h>

#include "app/settings.h"
#include "res/resource.h"
#include "tests/support/temp_files.h"
#include "ui/globals.h"
#include "ui/main_dialog.h"

using Bytes = std::vector<uint8_t>;

// Each box as "caption: text" ("caption(i): text" with the information icon).
static std::string g_shown;
static std::string g_source;  // the file-open dialog's answer; empty cancels it
static std::function<void(HWND)> g_whileShown;
static HHOOK g_hook;

static std::string Text(HWND window) {
  char text[1024] = "";
  return GetWindowTextA(window, text, sizeof text) ? text : "";
}

static LRESULT CALLBACK AnswerWhenReady(int code, WPARAM wParam, LPARAM lParam) {
  const CWPRETSTRUCT* m = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  if (code == HC_ACTION && m->message == WM_INITDIALOG && GetParent(m->hwnd) == g_mainDialog) {
    HWND name = GetDlgItem(m->hwnd, 0x47C);  // the file-open dialog's name field
    const bool information = SendDlgItemMessageA(m->hwnd, 0x440, STM_GETICON, 0, 0) ==  // icon
                             reinterpret_cast<LRESULT>(LoadIconA(nullptr, IDI_ASTERISK));
    g_shown += Text(m->hwnd) + (information ? "(i): " : ": ") +
               Text(name ? name : GetDlgItem(m->hwnd, 0xFFFF)) + "\n";
    if (g_whileShown) g_whileShown(m->hwnd);
    if (name) SetWindowTextA(name, g_source.c_str());
    const int yesNo = GetDlgItem(m->hwnd, IDYES) != nullptr;  // the continue question: Yes
    const int answer = name && g_source.empty() ? IDCANCEL : yesNo ? IDYES : IDOK;
    PostMessageA(m->hwnd, WM_COMMAND, answer, 0);
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

static Bytes Data(size_t size, size_t zeroFrom = 0, size_t zeros = 0) {  // 0x5A, zeros at zeroFrom
  Bytes b(size, 0x5A);
  std::fill_n(b.begin() + zeroFrom, zeros, 0);
  return b;
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_instance = GetModuleHandleA(nullptr);
    g_checking = g_stopRequest = g_exitRequest = 0;
    g_settings = {0, 0, kDefaultErrorLength, 1};
    GetCurrentDirectoryA(MAX_PATH, cwd_);
    g_hook = SetWindowsHookExA(WH_CALLWNDPROCRET, AnswerWhenReady, nullptr, GetCurrentThreadId());
  }
  void TearDown() override {
    UnhookWindowsHookEx(g_hook);
    DestroyWindow(dialog_);
    SetCurrentDirectoryA(cwd_);
    RemoveTree(dir_);
    g_shown = g_source = "", g_whileShown = nullptr;
  }
  void Open(const std::string& tail) {
    dialog_ = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc,
                                 reinterpret_cast<LPARAM>(tail.c_str()));
  }
  std::string Make(const std::string& name, const Bytes& bytes) {
    WriteBytes(JoinPath(dir_, name), bytes);
    return JoinPath(dir_, name);
  }
  LRESULT ToList(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendDlgItemMessageA(dialog_, IDC_FILE_LIST, message, wParam, lParam);
  }
  void Command(int id, int code = BN_CLICKED) {
    SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, code), 0);
  }
  void Select(int index) {
    ToList(LB_SETCURSEL, static_cast<WPARAM>(index)), Command(IDC_FILE_LIST, LBN_SELCHANGE);
  }
  char On(int id) { return "01"[IsWindowEnabled(GetDlgItem(dialog_, id))]; }
  // The entries (this test's folder left out), the selection, then 1 or 0 for Remove, Remove all,
  // Check, Repair..., the threshold and the JUNK box enabled, then the Check button's text and the
  // progress.
  std::string State() {
    std::string state;
    for (LRESULT i = 0; i < ToList(LB_GETCOUNT); ++i) {
      char text[MAX_PATH];
      ToList(LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
      state += (text + (strncmp(text, dir_.c_str(), dir_.size()) ? 0 : dir_.size() + 1)) +
               std::string(",");
    }
    return state + std::to_string(ToList(LB_GETCURSEL)) + " " + On(IDC_REMOVE) +
           On(IDC_REMOVE_ALL) + On(IDOK) + On(IDC_REPAIR) + On(IDC_THRESHOLD) + On(IDC_SKIP_JUNK) +
           Text(GetDlgItem(dialog_, IDOK)) +
           std::to_string(SendDlgItemMessageA(dialog_, IDC_PROGRESS, PBM_GETPOS, 0, 0));
  }
  void Drop(const std::string& names) {  // each name ends in '\0'
    HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() + 1);
    static_cast<DROPFILES*>(GlobalLock(drop))->pFiles = sizeof(DROPFILES);
    std::copy(names.begin(), names.end(), static_cast<char*>(GlobalLock(drop)) + sizeof(DROPFILES));
    SendMessageA(dialog_, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  }
  HWND dialog_ = nullptr;
  const std::string dir_ = MakeTempDir();
  char cwd_[MAX_PATH];
};

// Opened with the settings, the buttons follow the list; the user's settings are taken, Exit stores
// the position.
TEST_F(DialogTest, TheButtonsFollowTheListAndTheSettingsComeAndGoWithTheDialog) {
  g_settings = {40, 30, 10000, 0};
  Open("a bbbbbbbb c");
  RECT r;
  GetWindowRect(dialog_, &r);
  EXPECT_EQ(std::to_string(r.left) + "," + std::to_string(r.top), "40,30");
  EXPECT_NE(SendMessageA(dialog_, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_EQ(Text(GetDlgItem(dialog_, IDC_THRESHOLD)) + " " + std::to_string(g_settings.ErrorLength),
            "9 9216");
  const LRESULT wide = ToList(LB_GETHORIZONTALEXTENT);
  EnableWindow(GetDlgItem(dialog_, IDOK), FALSE);
  Command(IDC_REMOVE);  // nothing selected: nothing goes, the buttons are set again
  EXPECT_EQ(State(), "a,bbbbbbbb,c,-1 011011チェック0");
  Select(1);
  EXPECT_EQ(State(), "a,bbbbbbbb,c,1 111111チェック0");
  Command(IDC_REMOVE);
  EXPECT_EQ(State(), "a,c,-1 011011チェック0");
  EXPECT_LT(ToList(LB_GETHORIZONTALEXTENT), wide);
  Command(IDC_REMOVE_ALL);
  EXPECT_EQ(State(), "-1 000011チェック0");
  EXPECT_EQ(ToList(LB_GETHORIZONTALEXTENT), 0);
  CreateDirectoryA(JoinPath(dir_, "clips").c_str(), nullptr);
  CreateDirectoryA(JoinPath(dir_, "clips\\sub").c_str(), nullptr);
  Make("clips\\one.avi", {1});
  const std::string file = Make("a.avi", {2}) + '\0',
                    deep = JoinPath(dir_, std::string(250 - dir_.size(), 'd'));
  CreateDirectoryA(deep.c_str(), nullptr);  // its file's joined name, 262 characters: too long
  WriteBytes("\\\\?\\" + JoinPath(deep, "longer.avi"), {3});
  Drop(file + JoinPath(dir_, "clips") + '\0' + JoinPath(dir_, "gone.avi") + '\0' + deep + '\0' +
       file);
  EXPECT_EQ(State(), "a.avi,clips\\one.avi,a.avi,-1 011011チェック0");
  const std::pair<const char*, int32_t> rows[] = {
      {"0", 8192}, {"-5", 8192}, {"1", 1024}, {"2097152", 2147482624}};
  for (const auto& r : rows) {
    SetDlgItemTextA(dialog_, IDC_THRESHOLD, r.first);
    EXPECT_EQ(g_settings.ErrorLength, r.second) << "typed " << r.first;
  }
  SendDlgItemMessageA(dialog_, IDC_SKIP_JUNK, BM_CLICK, 0, 0);  // opened unticked from the settings
  EXPECT_EQ(g_settings.SkipJunk, 1);
  SetWindowPos(dialog_, nullptr, -300, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  Command(IDCANCEL);
  EXPECT_EQ(std::to_string(g_settings.WindowLeft) + "," + std::to_string(g_settings.WindowTop),
            "-300,77");
}

TEST_F(DialogTest, CheckTakesCleanFilesOutAndStopsAtTheDamagedOneSelected) {
  Open(Make("a", Data(1000)) + " " + Make("b", Data(80000, 70000, 8192)) + " " +
       Make("c", Data(10)));
  std::string during;
  g_whileShown = [&](HWND) {
    SetCursor(nullptr);
    SendMessageA(dialog_, WM_SETCURSOR, reinterpret_cast<WPARAM>(dialog_),
                 MAKELPARAM(HTCAPTION, WM_MOUSEMOVE));
    during = State() + "01"[GetCursor() == LoadCursorA(nullptr, IDC_APPSTARTING)];
  };
  Command(IDOK);
  EXPECT_EQ(during, "b,c,0 001000中止11");
  const std::string damage = "破損検出: ファイルが破損している"
                             "可能性があります。\nAddress : 00011170\n";
  EXPECT_EQ(g_shown, damage);
  EXPECT_EQ(State(), "b,c,0 111111チェック0");
  EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
  Command(IDC_REMOVE);
  Command(IDOK);
  EXPECT_EQ(State(), "-1 000011チェック0");
  EXPECT_EQ(g_shown, damage + "結果(i): 破損は見付かりませんでした。\n");
  Drop(Make("big", Data(65536 * 3)) + '\0' + Make("small", Data(10)) + '\0');
  PostMessageA(dialog_, WM_COMMAND, IDOK, 0);  // Stop, delivered by the pump after the first block
  Command(IDOK);
  EXPECT_EQ(State(), "big,small,0 111111チェック0");
  EXPECT_EQ(g_shown, damage + "結果(i): 破損は見付かりませんでした。\n");
}

static DWORD WINAPI SendCheck(void* dialog) {
  return SendMessageA(static_cast<HWND>(dialog), WM_COMMAND, IDOK, 0);
}

// Check sent by another thread: the dialog's modal loop waits meanwhile. The run's pump takes Exit
// and the wake-up that ending the dialog posts, so once the run has returned another must be
// waiting, or the dialog stays open.
TEST_F(DialogTest, ExitDuringARunLeavesTheControlsAndWakesTheDialogToEnd) {
  Open(Make("big", Data(65536 * 3)));
  PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
  HANDLE sender = CreateThread(nullptr, 0, SendCheck, dialog_, 0, nullptr);
  MSG msg;
  while (WaitForSingleObject(sender, 0) == WAIT_TIMEOUT)
    PeekMessageA(&msg, nullptr, 0, 0, PM_QS_SENDMESSAGE);
  CloseHandle(sender);
  EXPECT_TRUE(PeekMessageA(&msg, dialog_, 0, 0, PM_REMOVE)) << "the ended dialog stays open";
  EXPECT_EQ(State() + g_shown, "big,0 001000中止0");
}

// A relative entry, as the command line gives, still names the damaged file after a source picked
// elsewhere.
TEST_F(DialogTest, RepairWritesNameFixedExtBesideTheDamagedFileOrDeletesAnOutputItMadeAndFailed) {
  CreateDirectoryA(JoinPath(dir_, "elsewhere").c_str(), nullptr);
  const std::string output = Make("表.fixed.avi", {9}),
                    mismatch = Make("other.avi", Bytes(200000, 7));
  Make("表.avi", Data(200000, 1000, 8192));  // 表 is 95 5C in Shift-JIS
  Make("elsewhere\\表.avi", Data(200000));
  SetCurrentDirectoryA(dir_.c_str());
  Open("表.avi");
  Select(0);
  g_source = Make("short.avi", Data(199999));
  Command(IDC_REPAIR);  // fails before making its output: the earlier one stays
  EXPECT_EQ(ReadBytes(output), Bytes{9});
  g_source = mismatch;
  Command(IDC_REPAIR);  // fails after making its output
  EXPECT_FALSE(FileExists(output));
  g_source = "";
  Command(IDC_REPAIR);                                               // cancelled
  g_source = Make("elsewhere\\copy.avi", Data(200000, 1000, 8192));  // the same zeros: asked, Yes
  g_whileShown = [&](HWND fileDialog) {  // the user goes to that folder first
    if (!SetDlgItemTextA(fileDialog, 0x47C, JoinPath(dir_, "elsewhere").c_str())) return;
    SendMessageA(fileDialog, WM_COMMAND, IDOK, 0);
  };
  Command(IDC_REPAIR);
  EXPECT_EQ(ReadBytes(output), Data(200000, 1000, 8192));
  Select(-1);
  Command(IDC_REPAIR);  // nothing selected: no file-open dialog
  Command(IDOK);
  const std::string shown = "修復用ファイル: 表.avi\n";
  EXPECT_EQ(g_shown, shown + "エラー: ファイルサイズが一致しません。\n" + shown +
                         "エラー: データが一致しません。\n"
                         "Address : 00000000 (5A / 07)\n" + shown + shown +
                         "エラー: 修復できません。処理を続行しますか?\n"
                         "Address : 000003E8\n"
                         "修復(i): ファイルを修復しました。\n"
                         "破損検出: ファイルが破損している"
                         "可能性があります。\nAddress : 000003E8\n");
}
