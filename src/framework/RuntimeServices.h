#pragma once

#include <optional>
#include <vector>

#include "framework/Controls.h"
#include "framework/Types.h"

// Everything the program's logic may do to the world: controls, dialogs, message
// boxes and files. Handlers receive it by reference and never reach past it.
// Every operation may be called from a worker thread: operations on controls are
// then carried out on the user-interface thread before the call returns.
class RuntimeServices {
 public:
  virtual ~RuntimeServices() = default;

  // --- Controls -------------------------------------------------------------
  // The current value; the font property is read one element at a time.
  virtual Value GetProperty(Control control, Property property,
                            FontElement element = FontElement::None) = 0;
  // Changes the property at once. Font sizes are points, kept as a pixel height.
  virtual void SetProperty(Control control, Property property, const Value& value,
                           FontElement element = FontElement::None) = 0;
  // EM_UNDO, EM_GETMODIFY and EM_SETMODIFY on an edit box; other messages answer 0.
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
  virtual int MouseX() = 0;
  virtual int MouseY() = 0;
  // Styles 1 to 3 switch the flat control style on with their frame colour; any other
  // value switches it off. True when it was switched on.
  virtual bool ApplyFlatStyle(int style) = 0;

  // --- Dialogs --------------------------------------------------------------
  // Shows the common dialog its type selects; true when the user confirmed.
  virtual bool OpenDialog(Control dialog) = 0;
  // A modal message box; the answer is one of MessageBoxAnswer. Without a caption
  // the box says "信息：". Task-modal unless the style asks for system-modal.
  virtual int ShowMessageBox(const Value& message, int style,
                             const std::optional<Text>& caption = std::nullopt,
                             std::optional<Control> owner = std::nullopt) = 0;

  // --- Bundled libraries and memory -----------------------------------------
  // The address of a bundled library's function, the library looked for in the
  // program's folder first, then through the system's search. A library or
  // function that cannot be found is fatal: the run-time error box, status 255.
  virtual void* LibraryFunctionAddress(const char* library, const char* function) = 0;
  // A copy of length bytes at the address (memory handed out by a library).
  virtual ByteBuffer BytesFromMemory(const void* address, int length) = 0;

  // --- Whole files ----------------------------------------------------------
  // The folder of the running program, without a trailing separator.
  virtual Text ProgramDirectory() = 0;
  virtual bool FileExists(const Text& path) = 0;
  // The whole file, or the empty buffer when it cannot be read.
  virtual ByteBuffer ReadFileBytes(const Text& path) = 0;
  // Creates or empties the file and writes the buffers in order; false on any failure.
  virtual bool WriteFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) = 0;
  // Writes a new file through a temporary file in the same folder that takes the
  // name only once complete: false if the name exists already or anything fails.
  virtual bool CreateFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) = 0;
  // Replaces (or creates) the file the same way, keeping its permission bits; on
  // any failure the old file is left as it was.
  virtual bool ReplaceFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) = 0;
};
