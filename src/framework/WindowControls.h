#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "framework/Controls.h"
#include "framework/Types.h"

// The program's own window: its controls' properties, menus, balloon tips, the mouse,
// and the editor's content made ready off the user-interface thread. Every operation
// may be called from a worker thread: it is then carried out on the user-interface
// thread before the call returns.
class WindowControls {
 public:
  virtual ~WindowControls() = default;

  // The current value; the font property is read one element at a time.
  virtual Value GetProperty(Control control, Property property,
                            FontElement element = FontElement::None) = 0;
  // Changes the property at once. Font sizes are points, kept as a pixel height.
  virtual void SetProperty(Control control, Property property, const Value& value,
                           FontElement element = FontElement::None) = 0;
  // EM_UNDO, EM_GETMODIFY, EM_SETMODIFY, EM_SETSEL and WM_CLEAR on an edit box;
  // other messages answer 0.
  virtual int SendControlMessage(Control control, int message, int first, int second) = 0;
  // Inserts each text after the last character, scrolled into view; not undoable.
  virtual void AppendText(Control editBox, const std::vector<Text>& texts) = 0;
  // Repaints the control before returning.
  virtual void RefreshNow(Control control) = 0;
  // The native (X11) window id of the window, or of the window holding the control.
  virtual int GetWindowHandle(Control control) = 0;
  // Asks the window to close once the current handler has returned.
  virtual void CloseWindow(Control window) = 0;
  // Shows the menu as a pop-up at the mouse position + (3, 3), or at x, y (screen).
  virtual void PopUpMenu(Control owner, Menu menu, std::optional<int> x = {},
                         std::optional<int> y = {}) = 0;
  // Shows the balloon tip pointing at screen point x, y; icon -1 is none.
  virtual bool ShowBalloon(Control balloon, int x, int y, const Text& text, int icon = -1,
                           const Text& title = Text()) = 0;
  // Shows the text in the balloon pointing at the control for ten seconds, without
  // waiting; before the main window is first shown, once it is.
  virtual void ShowBalloonAtControl(Control balloon, Control control, const Text& text) = 0;
  virtual int MouseX() = 0;
  virtual int MouseY() = 0;
  // Styles 1 to 3 switch the flat control style on with their frame colour; any other
  // value switches it off. True when it was switched on.
  virtual bool ApplyFlatStyle(int style) = 0;
  // Shows or clears the check mark of a checkable menu item.
  virtual void SetMenuItemChecked(MenuItem item, bool checked) = 0;
  // Marks bytes [start, start + length) of the edit box's content with a background
  // colour, replacing the previous mark; length 0 clears it. The text, its undo
  // history and its changed mark stay as they are.
  virtual void MarkText(Control editBox, int start, int length) = 0;

  // --- Large texts: the editor's new content made ready on a worker -----------
  // Builds the edit box's next content on the calling thread (a worker), so that the
  // user-interface thread only has to put it in. Its number, or 0 when the calling
  // worker was asked to stop meanwhile.
  virtual int PrepareContent(Control editBox, const Text& text) = 0;
  // Makes a prepared text the edit box's content, as SetProperty Content does (the
  // modification flag and undo cleared); false for a number that holds none. Skipped,
  // false, for a worker that was asked to stop.
  virtual bool PutPreparedContent(int prepared) = 0;
  // Lets go of a prepared text that will not be put in; any thread.
  virtual void DiscardPreparedContent(int prepared) = 0;

  // --- Large texts: the editor's content taken now, converted elsewhere --------
  // Takes the edit box's content as it is now (a quick copy on the user-interface
  // thread); the returned call gives it as Text and does the conversion on whichever
  // thread calls it, so that a large text is converted off the window's thread.
  virtual std::function<Text()> ContentForLater(Control editBox) = 0;
};
