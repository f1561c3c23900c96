#include "framework/qt/QtRuntimeServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QProgressDialog>
#include <QStyleFactory>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <ctime>
#include <limits>
#include <variant>

#include "framework/FontUnits.h"
#include "framework/TextCodec.h"
#include "framework/platform/BackgroundJobs.h"
#include "framework/platform/BundledLibraries.h"
#include "framework/platform/CharacterKeys.h"
#include "framework/platform/FetchHelper.h"
#include "framework/platform/FileProblems.h"
#include "framework/platform/LibraryBinding.h"
#include "framework/platform/LibraryPlace.h"
#include "framework/platform/NetworkState.h"
#include "framework/platform/ProgramLocation.h"
#include "framework/platform/StateFolder.h"
#include "framework/platform/TerminationSignals.h"
#include "framework/platform/WaylandKeys.h"
#include "framework/platform/WholeFiles.h"
#include "framework/qt/BalloonTip.h"
#include "framework/qt/ControlFonts.h"
#include "framework/qt/FlatStyle.h"
#include "framework/qt/GlobalHotKeys.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/MessageBox.h"
#include "framework/qt/PictureBox.h"
#include "framework/qt/QtText.h"
#include "framework/qt/TextEditBox.h"
#include "framework/qt/UiThread.h"
#include "framework/qt/WindowTitle.h"

namespace {

QColor ToQColor(Colour c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }
Colour FromQColor(const QColor& c) { return Rgb(c.red(), c.green(), c.blue()); }

// File names on Linux are UTF-8 bytes.
std::string NativePath(const Text& path) { return Utf8FromText(path); }

int DotsPerInch(const QWidget* widget) { return widget ? widget->logicalDpiY() : 96; }

}  // namespace

QtRuntimeServices::QtRuntimeServices()
    : keys_(std::make_unique<CharacterKeys>()),
      waylandKeys_(std::make_unique<WaylandKeys>()),
      background_(std::make_unique<BackgroundJobs>()) {}
QtRuntimeServices::~QtRuntimeServices() {
  // File work still queued is done while every part it may use is whole.
  background_.reset();
  StopAllThreads();
}

void QtRuntimeServices::Attach(MainWindow* window, const WindowDefinition& definition) {
  window_ = window;
  dialogs_.clear();
  for (const ControlDefinition& control : definition.controls) {
    if (control.kind != ControlKind::CommonDialog) continue;
    CommonDialogState state;
    state.type = std::clamp(control.dialogType, 0, 3);
    state.filter = ToQString(control.filter);
    state.defaultExtension = ToQString(control.defaultExtension);
    dialogs_[control.name] = state;
  }
}

// --- Properties ---------------------------------------------------------------

Value QtRuntimeServices::GetProperty(Control control, Property property, FontElement element) {
  // A worker takes an editor's text as it is (a quick copy on the user-interface
  // thread) and converts it itself: a large text never holds up the window.
  if (property == Property::Content && WorkerThreads::OnWorkerThread()) {
    std::optional<QString> raw = OnUiThread([&]() -> std::optional<QString> {
      auto* edit = window_ ? qobject_cast<TextEditBox*>(window_->ControlWidget(control)) : nullptr;
      if (!edit) return std::nullopt;
      return edit->document()->toRawText();
    });
    if (raw) return TextFromEditorString(*raw);
  }
  return OnUiThread([&] { return GetOnUiThread(control, property, element); });
}

void QtRuntimeServices::SetProperty(Control control, Property property, const Value& value,
                                    FontElement element) {
  const void* worker = WorkerThreads::CurrentToken();
  OnUiThread([&] {
    if (!WorkerThreads::StopRequested(worker)) SetOnUiThread(control, property, value, element);
  });
}

Value QtRuntimeServices::GetOnUiThread(Control control, Property property, FontElement element) {
  if (auto dialog = dialogs_.find(control); dialog != dialogs_.end())
    return GetDialogProperty(dialog->second, property);
  QWidget* widget = window_ ? window_->ControlWidget(control) : nullptr;
  if (!widget) return Value();
  switch (property) {
    case Property::Left:
      return static_cast<std::int32_t>(widget->isWindow() ? widget->frameGeometry().x()
                                                          : widget->x());
    case Property::Top:
      return static_cast<std::int32_t>(widget->isWindow() ? widget->frameGeometry().y()
                                                          : widget->y());
    case Property::Width:
      return static_cast<std::int32_t>(widget->isWindow() ? widget->frameGeometry().width()
                                                          : widget->width());
    case Property::Height:
      return static_cast<std::int32_t>(widget->isWindow() ? widget->frameGeometry().height()
                                                          : widget->height());
    case Property::Visible:
      return widget->isWindow() ? widget->isVisible() : widget->isVisibleTo(widget->parentWidget());
    case Property::Disabled:
      return !widget->isEnabled();
    case Property::Title:
      return FromQString(ProgramTitle(widget->window()));
    case Property::Content:
      if (auto* edit = qobject_cast<TextEditBox*>(widget)) return edit->Content();
      if (auto* line = qobject_cast<QLineEdit*>(widget)) return FromQString(line->text());
      return Text();
    case Property::Caption:
      if (auto* button = qobject_cast<QAbstractButton*>(widget)) return FromQString(button->text());
      if (auto* label = qobject_cast<QLabel*>(widget)) return FromQString(label->text());
      return Text();
    case Property::TextColour:
      return FromQColor(widget->palette().color(QPalette::Text));
    case Property::BackgroundColour:
      return FromQColor(widget->palette().color(QPalette::Base));
    case Property::Font:
      return GetFontElement(widget, element);
    case Property::Picture:
      if (auto* picture = dynamic_cast<PictureBox*>(widget)) return picture->Picture();
      return ByteBuffer();
    default:
      return Value();
  }
}

void QtRuntimeServices::SetOnUiThread(Control control, Property property, const Value& value,
                                      FontElement element) {
  if (auto dialog = dialogs_.find(control); dialog != dialogs_.end()) {
    SetDialogProperty(dialog->second, property, value);
    return;
  }
  QWidget* widget = window_ ? window_->ControlWidget(control) : nullptr;
  if (!widget) return;
  QRect geometry = widget->geometry();
  switch (property) {
    case Property::Left:
      if (widget->isWindow())
        widget->move(value.AsInt(), widget->frameGeometry().y());
      else
        widget->move(value.AsInt(), geometry.y());
      return;
    case Property::Top:
      if (widget->isWindow())
        widget->move(widget->frameGeometry().x(), value.AsInt());
      else
        widget->move(geometry.x(), value.AsInt());
      return;
    case Property::Width:
      if (!widget->isWindow()) widget->resize(std::max(value.AsInt(), 0), geometry.height());
      return;
    case Property::Height:
      if (!widget->isWindow()) widget->resize(geometry.width(), std::max(value.AsInt(), 0));
      return;
    case Property::Visible:
      widget->setVisible(value.AsBool());
      return;
    case Property::Disabled:
      widget->setEnabled(!value.AsBool());
      return;
    case Property::Title:
      SetProgramTitle(widget->window(), ToQString(value.AsText()));
      return;
    case Property::Content:
      if (auto* edit = qobject_cast<TextEditBox*>(widget))
        edit->SetContent(value.AsText());
      else if (auto* line = qobject_cast<QLineEdit*>(widget))
        line->setText(ToQString(value.AsText()));
      return;
    case Property::Caption:
      if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(ToQString(value.AsText()));
      else if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(ToQString(value.AsText()));
      return;
    case Property::TextColour:
    case Property::BackgroundColour: {
      QPalette palette = widget->palette();
      palette.setColor(property == Property::TextColour ? QPalette::Text : QPalette::Base,
                       ToQColor(value.AsColour()));
      widget->setPalette(palette);
      return;
    }
    case Property::Font:
      SetFontElement(widget, element, value);
      return;
    case Property::Picture:
      if (auto* picture = dynamic_cast<PictureBox*>(widget)) picture->SetPicture(value.AsBytes());
      return;
    default:
      return;
  }
}

Value QtRuntimeServices::GetFontElement(QWidget* widget, FontElement element) {
  const ControlFont font = FontOf(widget);
  switch (element) {
    case FontElement::Angle:
      return static_cast<std::int32_t>(font.angle);
    case FontElement::Bold:
      return font.bold;
    case FontElement::Italic:
      return font.italic;
    case FontElement::StrikeOut:
      return font.strikeOut;
    case FontElement::Underline:
      return font.underline;
    case FontElement::Size:
      return static_cast<std::int32_t>(PixelHeightToPoints(font.height, DotsPerInch(widget)));
    case FontElement::FaceName:
      return FromQString(font.faceName);
    case FontElement::None:
      break;
  }
  return Value();
}

void QtRuntimeServices::SetFontElement(QWidget* widget, FontElement element, const Value& value) {
  ControlFont font = FontOf(widget);
  switch (element) {
    case FontElement::Angle:
      font.angle = value.AsInt();
      break;
    case FontElement::Bold:
      font.bold = value.AsBool();
      break;
    case FontElement::Italic:
      font.italic = value.AsBool();
      break;
    case FontElement::StrikeOut:
      font.strikeOut = value.AsBool();
      break;
    case FontElement::Underline:
      font.underline = value.AsBool();
      break;
    case FontElement::Size:
      font.height = PointsToPixelHeight(std::max(value.AsInt(), 0), DotsPerInch(widget));
      break;
    case FontElement::FaceName:
      font.faceName = ToQString(EffectiveFaceName(value.AsText()));
      break;
    case FontElement::None:
      return;
  }
  SetFont(widget, font);
}

namespace {

// One row per common dialog property: the field of the state it reads and writes;
// integers are clamped to [lowest, highest] when set.
struct DialogField {
  using S = CommonDialogState;
  Property property;
  std::variant<QString S::*, int S::*, bool S::*, std::uint32_t S::*> field;
  int lowest = 0;
  int highest = std::numeric_limits<int>::max();
};

const DialogField kDialogFields[] = {
    {Property::DialogType, &CommonDialogState::type, 0, 3},
    {Property::Title, &CommonDialogState::title},
    {Property::FileName, &CommonDialogState::fileName},
    {Property::Filter, &CommonDialogState::filter},
    {Property::InitialFilter, &CommonDialogState::initialFilter},
    {Property::InitialDirectory, &CommonDialogState::initialDirectory},
    {Property::DefaultExtension, &CommonDialogState::defaultExtension},
    {Property::CreatePrompt, &CommonDialogState::createPrompt},
    {Property::FileMustExist, &CommonDialogState::fileMustExist},
    {Property::OverwritePrompt, &CommonDialogState::overwritePrompt},
    {Property::PathMustExist, &CommonDialogState::pathMustExist},
    {Property::KeepDirectory, &CommonDialogState::keepDirectory},
    {Property::Colour, &CommonDialogState::colour},
    {Property::Bold, &CommonDialogState::bold},
    {Property::Italic, &CommonDialogState::italic},
    {Property::StrikeOut, &CommonDialogState::strikeOut},
    {Property::Underline, &CommonDialogState::underline},
    {Property::FaceName, &CommonDialogState::faceName},
    {Property::Size, &CommonDialogState::size},
};

const DialogField* FindDialogField(Property property) {
  for (const DialogField& row : kDialogFields)
    if (row.property == property) return &row;
  return nullptr;
}

template <typename... Ways>
struct Overloaded : Ways... {
  using Ways::operator()...;
};

}  // namespace

Value QtRuntimeServices::GetDialogProperty(const CommonDialogState& d, Property property) {
  const DialogField* row = FindDialogField(property);
  if (!row) return Value();
  return std::visit(
      Overloaded{
          [&](QString CommonDialogState::*text) { return Value(FromQString(d.*text)); },
          [&](int CommonDialogState::*number) {
            return Value(static_cast<std::int32_t>(d.*number));
          },
          [&](bool CommonDialogState::*flag) { return Value(d.*flag); },
          [&](std::uint32_t CommonDialogState::*colour) { return Value(Colour{d.*colour}); }},
      row->field);
}

void QtRuntimeServices::SetDialogProperty(CommonDialogState& d, Property property,
                                          const Value& value) {
  const DialogField* row = FindDialogField(property);
  if (!row) return;
  std::visit(
      Overloaded{
          [&](QString CommonDialogState::*text) { d.*text = ToQString(value.AsText()); },
          [&](int CommonDialogState::*number) {
            d.*number = std::clamp(value.AsInt(), row->lowest, row->highest);
          },
          [&](bool CommonDialogState::*flag) { d.*flag = value.AsBool(); },
          [&](std::uint32_t CommonDialogState::*colour) { d.*colour = value.AsColour().ref; }},
      row->field);
}

// --- Controls -----------------------------------------------------------------

int QtRuntimeServices::SendControlMessage(Control control, int message, int first, int second) {
  const void* worker = WorkerThreads::CurrentToken();
  return OnUiThread([&]() -> int {
    auto* edit = window_ ? qobject_cast<TextEditBox*>(window_->ControlWidget(control)) : nullptr;
    if (!edit || WorkerThreads::StopRequested(worker)) return 0;
    switch (message) {
      case EM_UNDO:
        edit->UndoOnce();
        return 1;
      case EM_GETMODIFY:
        return edit->IsModified() ? 1 : 0;
      case EM_SETMODIFY:
        edit->SetModified(first != 0);
        return 0;
      case EM_SETSEL:
        edit->SelectCharacters(first, second);
        return 0;
      case WM_CLEAR:
        edit->DeleteSelection();
        return 0;
      default:
        return 0;
    }
  });
}

void QtRuntimeServices::AppendText(Control editBox, const std::vector<Text>& texts) {
  const void* worker = WorkerThreads::CurrentToken();
  OnUiThread([&] {
    auto* edit = window_ ? qobject_cast<TextEditBox*>(window_->ControlWidget(editBox)) : nullptr;
    if (!edit || WorkerThreads::StopRequested(worker)) return;
    for (const Text& text : texts) edit->Append(text);
  });
}

void QtRuntimeServices::RefreshNow(Control control) {
  OnUiThread([&] {
    if (QWidget* widget = window_ ? window_->ControlWidget(control) : nullptr) widget->repaint();
  });
}

int QtRuntimeServices::GetWindowHandle(Control control) {
  return OnUiThread([&]() -> int {
    QWidget* widget = window_ ? window_->ControlWidget(control) : nullptr;
    if (!widget) return 0;
    // Controls draw inside their window; the window's id is the one to hand out.
    return static_cast<int>(widget->window()->winId());
  });
}

void QtRuntimeServices::CloseWindow(Control window) {
  OnUiThread([&] {
    QWidget* widget = window_ ? window_->ControlWidget(window) : nullptr;
    if (widget && widget->isWindow()) QTimer::singleShot(0, widget, [widget] { widget->close(); });
  });
}

void QtRuntimeServices::PopUpMenu(Control owner, Menu menu, std::optional<int> x,
                                  std::optional<int> y) {
  OnUiThread([&] {
    QMenu* popup = window_ ? window_->MenuWidget(menu) : nullptr;
    if (!popup || !window_->ControlWidget(owner)) return;
    const QPoint cursor = QCursor::pos();
    const QPoint at = x && y ? QPoint(*x, *y) : cursor + QPoint(3, 3);
    popup->exec(at);
  });
}

bool QtRuntimeServices::ShowBalloon(Control balloon, int x, int y, const Text& text, int icon,
                                    const Text& title) {
  return OnUiThread([&] {
    if (!window_ || !window_->Balloon() || window_->Definition(balloon) == nullptr) return false;
    window_->Balloon()->ShowAt(QPoint(x, y), ToQString(text), icon, ToQString(title));
    return true;
  });
}

int QtRuntimeServices::MouseX() {
  return OnUiThread([] { return QCursor::pos().x(); });
}

int QtRuntimeServices::MouseY() {
  return OnUiThread([] { return QCursor::pos().y(); });
}

bool QtRuntimeServices::ApplyFlatStyle(int style) {
  return OnUiThread([&] {
    const QColor frame = FlatStyle::SchemeColour(style);
    if (frame.isValid()) {
      QApplication::setStyle(new FlatStyle(frame));
      return true;
    }
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    return false;
  });
}

void QtRuntimeServices::RunOnUiThread(const std::function<void()>& work) {
  const void* worker = WorkerThreads::CurrentToken();
  OnUiThread([&] {
    if (!WorkerThreads::StopRequested(worker)) work();
  });
}

// --- Dialogs ------------------------------------------------------------------

bool QtRuntimeServices::OpenDialog(Control dialog) {
  return OnUiThread([&] {
    auto found = dialogs_.find(dialog);
    if (found == dialogs_.end()) return false;
    return RunCommonDialog(window_ && window_->isVisible() ? window_ : nullptr, found->second);
  });
}

int QtRuntimeServices::ShowMessageBox(const Value& message, int style,
                                      const std::optional<Text>& caption,
                                      std::optional<Control> owner) {
  return OnUiThread([&] {
    QWidget* parent = owner && window_ ? window_->ControlWidget(*owner) : nullptr;
    if (parent) parent = parent->window();
    const QString title = caption ? ToQString(*caption) : QStringLiteral("信息：");
    return RunMessageBox(parent, ToQString(message.AsText()), style, title);
  });
}

bool QtRuntimeServices::ShowProgress(const Text& label, int done, int total) {
  return OnUiThread([&] {
    if (!progress_) {
      progress_ = std::make_unique<QProgressDialog>(window_);
      progress_->setWindowTitle(QStringLiteral("信息："));
      progress_->setCancelButtonText(QStringLiteral("取消"));
      progress_->setWindowModality(Qt::ApplicationModal);
      progress_->setMinimumDuration(0);
      progress_->setAutoReset(false);
      progress_->setAutoClose(false);
    }
    progress_->setLabelText(ToQString(label));
    progress_->setRange(0, std::max(total, 1));
    if (progress_->value() != done) progress_->setValue(done);
    QCoreApplication::processEvents();
    return !progress_->wasCanceled();
  });
}

void QtRuntimeServices::EndProgress() {
  OnUiThread([&] { progress_.reset(); });
}

// --- The reading mark ------------------------------------------------------------

void QtRuntimeServices::MarkText(Control editBox, int start, int length) {
  OnUiThread([&] {
    auto* edit = window_ ? qobject_cast<TextEditBox*>(window_->ControlWidget(editBox)) : nullptr;
    if (!edit) return;
    if (length <= 0 || start < 0) return edit->MarkCharacters(0, 0);
    // Byte offsets of the content to the editor's characters (CR LF is one there).
    const Text content = edit->Content();
    const auto at = [&](int bytes) {
      return static_cast<int>(
          EditorStringFromText(content.substr(0, std::min<std::size_t>(bytes, content.size())))
              .size());
    };
    const int first = at(start);
    edit->MarkCharacters(first, at(start + length) - first);
  });
}

// --- Open files ---------------------------------------------------------------

int QtRuntimeServices::OpenFile(const Text& path, int mode, int sharing) {
  return files_.Open(NativePath(path), mode, sharing);
}

Text QtRuntimeServices::ReadText(int file, std::optional<int> count) {
  return files_.ReadText(file, count);
}

bool QtRuntimeServices::WriteText(int file, const std::vector<Value>& values) {
  std::vector<Text> texts;
  texts.reserve(values.size());
  for (const Value& value : values) texts.push_back(value.AsText());
  return files_.WriteText(file, texts);
}

void QtRuntimeServices::CloseFile(int file) { files_.Close(file); }

// --- Network and shell --------------------------------------------------------

bool QtRuntimeServices::IsOnline() { return HasNetworkConnection(); }

namespace {

// A fetch gives up at a termination signal, and on a worker asked to stop (the program
// is ending).
bool FetchMustGiveUp() {
  return termination_signals::Arrived() ||
         WorkerThreads::StopRequested(WorkerThreads::CurrentToken());
}

}  // namespace

ByteBuffer QtRuntimeServices::FetchUrl(const Text& address, int* httpStatus) {
  // The only fetch is the start-up check, made on a worker: on a network whose name
  // server or host never answers, it gives up within 1.5 s.
  FetchOptions limits;
  limits.connectTimeoutMs = 1000;  // name look-up and connection
  limits.totalTimeoutMs = 1400;
  // Made by a helper process (this executable again): the window's process maps no
  // libcurl nor TLS stack, during the fetch or after it.
  FetchResult result =
      FetchHttpInHelper("/proc/self/exe", Utf8FromText(address), &FetchMustGiveUp, limits);
  // A success status with a body that did not arrive whole (a time-out, the size cap)
  // is no complete response: the caller must not take the fragment for the page.
  const bool success = result.httpStatus >= 200 && result.httpStatus <= 299;
  if (httpStatus) *httpStatus = success && !result.complete ? 0 : result.httpStatus;
  return std::move(result.body);
}

void QtRuntimeServices::OpenUrl(const Text& address) {
  const QString url = ToQString(address);
  // xdg-open gets the address exactly as written: QUrl would lower-case what follows the
  // scheme ("tencent://AddContact/..."). Qt's own way is the fallback without it.
  OnUiThread([&] {
    if (!QProcess::startDetached(QStringLiteral("xdg-open"), {url}))
      QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
  });
}

// --- Hot keys, threads and time -----------------------------------------------

int QtRuntimeServices::RegisterGlobalHotKey(Control, Control notifyControl, int modifiers,
                                            int keyCode) {
  return OnUiThread([&] {
    if (!hotKeys_) {
      hotKeys_ = std::make_unique<GlobalHotKeys>();
      hotKeys_->SetHandler([this](int number) {
        if (!window_) return;
        Event event;
        event.kind = EventKind::Feedback;
        event.source = hotKeyReceiver_;
        event.first = number;
        event.second = 0;
        window_->Raise(event);
      });
    }
    // The receiver named last gets the presses of every hot key.
    hotKeyReceiver_ = notifyControl;
    return hotKeys_->Register(modifiers, keyCode);
  });
}

bool QtRuntimeServices::UnregisterGlobalHotKey(int number) {
  return OnUiThread([&] { return hotKeys_ && hotKeys_->Unregister(number); });
}

bool QtRuntimeServices::StartThread(ThreadRoutine routine, int argument, int* handle) {
  const int started = threads_.Start(std::move(routine), argument);
  if (handle) *handle = started;
  return started != 0;
}

bool QtRuntimeServices::KillThread(int handle) { return threads_.RequestStop(handle); }

bool QtRuntimeServices::IsThreadRunning(int handle) { return threads_.IsRunning(handle); }

int QtRuntimeServices::SuspendThread(int handle) { return threads_.Suspend(handle); }

int QtRuntimeServices::ResumeThread(int handle) { return threads_.Resume(handle); }

long long QtRuntimeServices::TickCount() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool QtRuntimeServices::Delay(int milliseconds) {
  return threads_.Wait(std::chrono::milliseconds(std::max(milliseconds, 0)));
}

bool QtRuntimeServices::DelayWithEvents(int milliseconds) {
  if (WorkerThreads::OnWorkerThread()) return Delay(milliseconds);
  if (milliseconds <= 0) return true;
  // The user-interface thread keeps handling events while it waits, without spinning.
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
  return true;
}

bool QtRuntimeServices::ProcessEvents() {
  if (WorkerThreads::OnWorkerThread()) return threads_.Checkpoint();
  QCoreApplication::processEvents();
  return true;
}

bool QtRuntimeServices::StopAllThreads() {
  const bool onUiThread =
      QCoreApplication::instance() && QThread::currentThread() == qApp->thread();
  return threads_.StopAll(std::chrono::milliseconds(3000), [onUiThread] {
    if (onUiThread) QCoreApplication::processEvents();
  });
}

// --- Bundled libraries and memory --------------------------------------------

void* QtRuntimeServices::LibraryFunctionAddress(const char* library, const char* function) {
  return BindLibraryFunction(library, function);
}

ByteBuffer QtRuntimeServices::BytesFromMemory(const void* address, int length) {
  if (!address || length <= 0) return ByteBuffer();
  const auto* bytes = static_cast<const std::uint8_t*>(address);
  return ByteBuffer(bytes, bytes + length);
}

// --- Whole files --------------------------------------------------------------

Text QtRuntimeServices::ProgramDirectory() { return TextFromUtf8(ExecutableDirectory()); }

void QtRuntimeServices::WriteBundledLibrary(const char* fileName, const std::uint8_t* begin,
                                            const std::uint8_t* end) {
  const LibraryPlace& place = CurrentLibraryPlace();
  if (place.writeThere) InstallBundledLibrary(place.folder, fileName, begin, end);
}

bool QtRuntimeServices::FileExists(const Text& path) { return PathExists(NativePath(path)); }

ByteBuffer QtRuntimeServices::ReadFileBytes(const Text& path) {
  return ReadWholeFile(NativePath(path));
}

std::optional<ByteBuffer> QtRuntimeServices::ReadRegularFile(const Text& path,
                                                             std::uint64_t maximumSize) {
  return ::ReadRegularFile(NativePath(path), maximumSize);
}

bool QtRuntimeServices::WriteFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) {
  return WriteWholeFile(NativePath(path), buffers);
}

bool QtRuntimeServices::CreateFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) {
  return WriteFileAtomically(NativePath(path), buffers, false);
}

bool QtRuntimeServices::ReplaceFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) {
  return WriteFileAtomically(NativePath(path), buffers, true);
}

FileProblem QtRuntimeServices::LastFileProblem() { return ::LastFileProblem(); }

bool QtRuntimeServices::IsSameFile(const Text& first, const Text& second) {
  return ::IsSameFile(NativePath(first), NativePath(second));
}

bool QtRuntimeServices::SaveFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) {
  const void* worker = WorkerThreads::CurrentToken();
  return SaveUserFile(NativePath(path), buffers,
                      [worker] { return !worker || !WorkerThreads::StopRequested(worker); });
}

int QtRuntimeServices::PrepareContent(Control editBox, const Text& text) {
  const void* worker = WorkerThreads::CurrentToken();
  QTextDocument* built =
      TextEditBox::BuildDocument(text, [worker] { return !WorkerThreads::StopRequested(worker); });
  if (!built) return 0;
  std::lock_guard lock(preparedMutex_);
  prepared_[nextPrepared_] = {editBox, built};
  return nextPrepared_++;
}

bool QtRuntimeServices::PutPreparedContent(int prepared) {
  const void* worker = WorkerThreads::CurrentToken();
  return OnUiThread([&] {
    if (WorkerThreads::StopRequested(worker)) return false;
    std::lock_guard lock(preparedMutex_);
    const auto found = prepared_.find(prepared);
    if (found == prepared_.end()) return false;
    const auto [control, built] = found->second;
    auto* edit = window_ ? qobject_cast<TextEditBox*>(window_->ControlWidget(control)) : nullptr;
    if (!edit) return false;
    prepared_.erase(found);
    edit->AdoptDocument(built);
    return true;
  });
}

void QtRuntimeServices::DiscardPreparedContent(int prepared) {
  std::lock_guard lock(preparedMutex_);
  const auto found = prepared_.find(prepared);
  if (found == prepared_.end()) return;
  found->second.second->deleteLater();  // it lives on the user-interface thread now
  prepared_.erase(found);
}

std::function<Text()> QtRuntimeServices::ContentForLater(Control editBox) {
  // QString shares its data safely between threads: the copy costs nothing here.
  const QString raw = OnUiThread([&] {
    auto* edit = window_ ? qobject_cast<TextEditBox*>(window_->ControlWidget(editBox)) : nullptr;
    return edit ? edit->document()->toRawText() : QString();
  });
  return [raw] { return TextFromEditorString(raw); };
}

Text QtRuntimeServices::StateDirectory() { return TextFromUtf8(StateFolder()); }

Text QtRuntimeServices::LocalTimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char stamp[32] = "";
  if (::localtime_r(&now, &local)) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  return stamp;
}
