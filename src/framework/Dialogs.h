#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "framework/Controls.h"
#include "framework/Types.h"
#include "framework/VoiceDialog.h"

// One key field of the hot-key dialog.
struct HotKeyField {
  Text label;  // the action, as the dialog names it
  Text keys;   // Qt's portable key-sequence text ("Ctrl+Alt+R"); empty for none
};
// Asked about each key the user enters in the hot-key dialog's field number `field`:
// the empty text when it can be used, else the note shown beside the field.
using HotKeyCheck = std::function<Text(int field, const Text& keys)>;

// Modal dialogs, message boxes and the progress box. From a worker they are shown on
// the user-interface thread, and the call returns once they close.
class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Shows the common dialog its type selects; true when the user confirmed.
  virtual bool OpenDialog(Control dialog) = 0;
  // A modal message box; the answer is one of MessageBoxAnswer. Without a caption
  // the box says "信息：". Task-modal unless the style asks for system-modal.
  virtual int ShowMessageBox(const Value& message, int style,
                             const std::optional<Text>& caption = std::nullopt,
                             std::optional<Control> owner = std::nullopt) = 0;
  // A modal message box with OK and a check box labelled checkLabel under the text;
  // true when the check box was ticked as the box closed.
  virtual bool ShowMessageWithCheckBox(const Text& message, const Text& caption,
                                       const Text& checkLabel) = 0;
  // Shows a modal progress box with a cancel button (or updates the one shown) at done
  // of total and dispatches pending events; false once the user has cancelled.
  virtual bool ShowProgress(const Text& label, int done, int total) = 0;
  // Closes the progress box.
  virtual void EndProgress() = 0;

  // Shows "语音设置…" modally over the main window, opened on setup.current. While it is
  // open, "试听" calls preview with the values being edited; the dialog shows the text it
  // returns (empty: nothing to say). The values chosen with 确定, nothing on 取消.
  virtual std::optional<VoiceDialogValues> ShowVoiceDialog(
      const VoiceDialogSetup& setup,
      const std::function<Text(const VoiceDialogValues&)>& preview) = 0;

  // The modal hot-key dialog, a key field per entry: a field takes the next key
  // combination pressed (Ctrl, Alt or Super with a key, or a function key alone), Delete
  // or Backspace clears it, and a key taken from another field leaves that one empty.
  // check answers for every key entered; OK does nothing while a field shows a note. True
  // on OK, with the fields' keys as the user left them.
  virtual bool EditHotKeys(std::vector<HotKeyField>& fields, const HotKeyCheck& check) = 0;
};
