// Drives the real main dialog in process: created from the real template with
// the real dialog procedure, message pump and message boxes. Message boxes
// are answered by a hook, so no test ever waits for a person.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// One thing the dialog did that a person would see, in the order it happened.
struct DialogEvent {
  enum Kind { kEnable, kSetText, kProgressRange, kProgressPos, kMessage } kind;
  int id;            // control id (kEnable, kSetText); 0 otherwise
  long long value;   // enabled 1/0, range maximum, position; 0 otherwise
  std::string text;  // new text (kSetText); message text (kMessage)
  std::string caption;  // message caption, empty for the default one
  int listCount;     // entries in the file list at that moment
};

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the dialog modelessly, with tail as the creation parameter.
  HWND Open(const char* tail = "");

  std::vector<std::string> Entries() const;
  int Selection() const;
  bool Enabled(int id) const;
  std::string Text(int id) const;
  int ProgressPos() const;
  int HorizontalExtent() const;
  // The four buttons of the button rule: Remove, Remove all, Check, Repair...
  std::vector<bool> RuleButtons() const;

  // Sends a command from a control, as a click or a notification would.
  void Command(int id, int code = BN_CLICKED);
  // Queues the same command, for the pump to deliver.
  void PostCommand(int id, int code = BN_CLICKED);
  // Drops names on the dialog through a real drop handle.
  void Drop(const std::vector<std::string>& names);
  void PostDrop(const std::vector<std::string>& names);
  void Select(int index);

  // Ends the recording of what the controls are sent (every message watched
  // costs a round trip to the Wine server); message boxes are still answered.
  void StopWatchingControls();

  std::vector<DialogEvent> Events(DialogEvent::Kind kind) const;
  std::vector<DialogEvent> Messages() const { return Events(DialogEvent::kMessage); }

  HWND dialog_ = nullptr;
};

// Everything recorded since SetUp, and hooks that tests may set; both cleared
// by SetUp.
extern std::vector<DialogEvent> g_events;
extern std::function<void(const DialogEvent&)> g_onEvent;  // after recording
extern std::function<void(HWND)> g_onMainInit;              // when the main dialog first becomes active
// Any other dialog (a message box, the file-open dialog) is recorded as a
// message and answered with the command this returns (IDOK when unset; 0:
// the function has answered it itself).
extern std::function<int(HWND)> g_answerDialog;

// A drop handle as the shell makes it, owned by the receiver (DragFinish).
HDROP MakeDrop(const std::vector<std::string>& names);

// Files in a fresh temporary folder, removed by TearDown.
std::string TempFolder();
std::string MakeFile(const std::string& name, const std::vector<unsigned char>& bytes);
std::vector<unsigned char> CleanBytes(size_t size);
