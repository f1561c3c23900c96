#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "framework/RuntimeServices.h"

// RuntimeServices for handler tests: properties live in a table, dialogs and
// message boxes answer from scripts, files live in memory, and every call that
// changes something is recorded in order.
class FakeRuntimeServices : public RuntimeServices {
 public:
  struct Call {
    explicit Call(std::string op, Control c = Control::_启动窗口, Property p = Property::Left,
                  FontElement e = FontElement::None, Value v = {})
        : operation(std::move(op)), control(c), property(p), element(e), value(std::move(v)) {}
    std::string operation;  // "SetProperty", "PopUpMenu", "ShowMessageBox", ...
    Control control = Control::_启动窗口;
    Property property = Property::Left;
    FontElement element = FontElement::None;
    Value value;    // the value set, the message shown, the text appended
    int style = 0;  // message-box style
    std::optional<Text> caption;
  };

  // What a scripted dialog does when it is opened: confirm or cancel, and the
  // properties it leaves behind on confirmation.
  struct DialogScript {
    bool confirm = false;
    std::map<Property, Value> results;
  };

  FakeRuntimeServices();

  // --- Scripting and inspection ---
  void ScriptDialog(Control dialog, DialogScript script) {
    dialogScripts_[dialog].push_back(script);
  }
  void ScriptMessageBoxAnswer(int answer) { messageBoxAnswers_.push_back(answer); }
  const std::vector<Call>& Calls() const { return calls_; }
  std::vector<Call> CallsOf(const std::string& operation) const;
  void ClearCalls() { calls_.clear(); }
  // Sets a property without recording a call, as the user would by editing.
  void Preset(Control control, Property property, const Value& value,
              FontElement element = FontElement::None);
  Value Peek(Control control, Property property, FontElement element = FontElement::None) const;
  std::map<Text, ByteBuffer>& Files() { return files_; }
  bool& Modified() { return modified_; }
  int UnansweredMessageBoxes() const { return static_cast<int>(messageBoxAnswers_.size()); }

  // --- RuntimeServices ---
  Value GetProperty(Control control, Property property, FontElement element) override;
  void SetProperty(Control control, Property property, const Value& value,
                   FontElement element) override;
  int SendControlMessage(Control control, int message, int first, int second) override;
  void AppendText(Control editBox, const std::vector<Text>& texts) override;
  void RefreshNow(Control control) override;
  int GetWindowHandle(Control control) override;
  void CloseWindow(Control window) override;
  void PopUpMenu(Control owner, Menu menu, std::optional<int> x, std::optional<int> y) override;
  bool ShowBalloon(Control balloon, int x, int y, const Text& text, int icon,
                   const Text& title) override;
  int MouseX() override { return mouseX; }
  int MouseY() override { return mouseY; }
  bool ApplyFlatStyle(int style) override;
  bool OpenDialog(Control dialog) override;
  int ShowMessageBox(const Value& message, int style, const std::optional<Text>& caption,
                     std::optional<Control> owner) override;
  // Real binding, from programDirectory (a recording library placed there by a test).
  void* LibraryFunctionAddress(const char* library, const char* function) override;
  ByteBuffer BytesFromMemory(const void* address, int length) override;
  Text ProgramDirectory() override { return programDirectory; }
  bool FileExists(const Text& path) override;
  ByteBuffer ReadFileBytes(const Text& path) override;
  bool WriteFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) override;
  bool CreateFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) override;
  bool ReplaceFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) override;

  int mouseX = 0;
  int mouseY = 0;
  Text programDirectory = "/opt/orvane";
  std::vector<Text> unwritablePaths;  // writes to these fail

 private:
  using Key = std::tuple<Control, Property, FontElement>;
  void Record(Call call) { calls_.push_back(std::move(call)); }
  bool Writable(const Text& path) const;

  std::map<Key, Value> properties_;
  std::map<Control, std::deque<DialogScript>> dialogScripts_;
  std::deque<int> messageBoxAnswers_;
  std::map<Text, ByteBuffer> files_;
  std::vector<Call> calls_;
  bool modified_ = false;
};
