// QtRuntimeServices: the controls' properties, read and changed on the user-interface
// thread (window controls, part one).
#include "framework/qt/QtRuntimeServices.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QStyleFactory>
#include <QTextDocument>
#include <limits>
#include <variant>

#include "framework/FontUnits.h"
#include "framework/TextCodec.h"
#include "framework/platform/WorkerThreads.h"
#include "framework/qt/ControlFonts.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/PictureBox.h"
#include "framework/qt/QtText.h"
#include "framework/qt/TextEditBox.h"
#include "framework/qt/UiThread.h"
#include "framework/qt/WindowTitle.h"

namespace {

QColor ToQColor(Colour c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }
Colour FromQColor(const QColor& c) { return Rgb(c.red(), c.green(), c.blue()); }

int DotsPerInch(const QWidget* widget) { return widget ? widget->logicalDpiY() : 96; }

}  // namespace

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
