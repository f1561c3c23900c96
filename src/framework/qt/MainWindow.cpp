#include "framework/qt/MainWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "framework/qt/BalloonTip.h"
#include "framework/qt/ControlFonts.h"
#include "framework/qt/PictureBox.h"
#include "framework/qt/QtText.h"
#include "framework/qt/SpinButtons.h"
#include "framework/qt/TextEditBox.h"
#include "framework/qt/WindowTitle.h"
#include "framework/qt/WrapButton.h"

namespace {

QColor ToQColor(Colour c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

void ApplyColours(QWidget* widget, const ControlDefinition& d) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Text, ToQColor(d.textColour));
  palette.setColor(QPalette::Base, ToQColor(d.backgroundColour));
  widget->setPalette(palette);
}

QWidget* CreateLabel(const ControlDefinition& d, QWidget* parent) {
  auto* label = new QLabel(ToQString(d.caption), parent);
  label->setAutoFillBackground(false);
  return label;
}

QWidget* CreatePictureBox(const ControlDefinition& d, QWidget* parent) {
  auto* picture = new PictureBox(parent);
  picture->SetPicture(d.picture);
  return picture;
}

// Geometry, font, state and, for a number box, its spin buttons.
void PlaceAsDesigned(QWidget* widget, const ControlDefinition& d) {
  widget->setGeometry(d.left, d.top, d.width, d.height);
  widget->setMouseTracking(true);
  ApplyDesignFont(widget, d.font);
  widget->setEnabled(!d.disabled);
  widget->setVisible(d.visible);
  if (d.kind == ControlKind::EditBox && d.spinMaximum > d.spinMinimum) {
    new SpinButtons(static_cast<QLineEdit*>(widget), d.spinMinimum, d.spinMaximum);
  }
}

}  // namespace

MainWindow::MainWindow(const WindowDefinition& definition, EventSink sink)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      name_(definition.name),
      outerSize_(definition.outerWidth, definition.outerHeight),
      sink_(std::move(sink)) {
  SetProgramTitle(this, ToQString(definition.title));
  setFixedSize(outerSize_);
  for (const ControlDefinition& control : definition.controls) {
    definitions_[control.name] = control;
    if (QWidget* widget = CreateControl(control)) {
      widgets_[control.name] = widget;
      names_[widget] = control.name;
      widget->installEventFilter(this);
    }
  }
  for (const MenuDefinition& menuDefinition : definition.menus) {
    auto* menu = new QMenu(ToQString(menuDefinition.caption), this);
    for (const MenuItemDefinition& item : menuDefinition.items) {
      QAction* action = menu->addAction(ToQString(item.caption));
      action->setCheckable(item.checkable);
      actions_[item.item] = action;
      const MenuItem which = item.item;
      connect(action, &QAction::triggered, this, [this, which] {
        Event event;
        event.kind = EventKind::MenuItemClicked;
        event.source = name_;
        event.item = which;
        Raise(event);
      });
    }
    menus_[menuDefinition.menu] = menu;
  }
}

MainWindow::~MainWindow() { delete balloon_; }

QWidget* MainWindow::CreateControl(const ControlDefinition& d) {
  QWidget* widget = nullptr;
  switch (d.kind) {
    case ControlKind::Button:
      widget = CreateButton(d);
      break;
    case ControlKind::EditBox:
      widget = CreateEditBox(d);
      break;
    case ControlKind::Label:
    case ControlKind::TransparentLabel:
      widget = CreateLabel(d, this);
      break;
    case ControlKind::PictureBox:
      widget = CreatePictureBox(d, this);
      break;
    case ControlKind::BalloonTip:
      balloon_ = new BalloonTip();
      return nullptr;
    case ControlKind::CommonDialog:
      return nullptr;
  }
  PlaceAsDesigned(widget, d);
  return widget;
}

QWidget* MainWindow::CreateButton(const ControlDefinition& d) {
  auto* button = new WrapButton(ToQString(d.caption), this);
  button->setAutoDefault(false);
  // A click leaves the keyboard where it was (the editor, usually); Tab still reaches it.
  button->setFocusPolicy(Qt::TabFocus);
  connect(button, &QPushButton::clicked, this,
          [this, name = d.name] { RaiseFrom(EventKind::Clicked, name); });
  return button;
}

QWidget* MainWindow::CreateEditBox(const ControlDefinition& d) {
  auto changed = [this, name = d.name] { RaiseFrom(EventKind::ContentChanged, name); };
  QWidget* widget = nullptr;
  if (d.multiLine) {
    auto* edit = new TextEditBox(this);
    edit->setVerticalScrollBarPolicy(d.verticalScrollBar ? Qt::ScrollBarAlwaysOn
                                                         : Qt::ScrollBarAlwaysOff);
    edit->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    edit->SetCentred(d.align == TextAlign::Centre);
    edit->SetContent(d.caption);
    connect(edit, &TextEditBox::contentChanged, this, changed);
    widget = edit;
  } else {
    auto* edit = new QLineEdit(ToQString(d.caption), this);
    edit->setAlignment(d.align == TextAlign::Centre ? Qt::AlignCenter : Qt::AlignLeft);
    edit->setTextMargins(0, 0, 0, 0);
    connect(edit, &QLineEdit::textChanged, this, changed);
    widget = edit;
  }
  ApplyColours(widget, d);
  return widget;
}

void MainWindow::RaiseFrom(EventKind kind, Control source) {
  Event event;
  event.kind = kind;
  event.source = source;
  Raise(event);
}

QWidget* MainWindow::ControlWidget(Control control) const {
  if (control == name_) return const_cast<MainWindow*>(this);
  auto found = widgets_.find(control);
  return found == widgets_.end() ? nullptr : found->second;
}

const ControlDefinition* MainWindow::Definition(Control control) const {
  auto found = definitions_.find(control);
  return found == definitions_.end() ? nullptr : &found->second;
}

QAction* MainWindow::MenuAction(MenuItem item) const {
  auto found = actions_.find(item);
  return found == actions_.end() ? nullptr : found->second;
}

QMenu* MainWindow::MenuWidget(Menu menu) const {
  auto found = menus_.find(menu);
  return found == menus_.end() ? nullptr : found->second;
}

void MainWindow::Raise(const Event& event) {
  if (sink_) sink_(event);
}

void MainWindow::ShowCentred() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), outerSize_);
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  show();
  raise();
  activateWindow();
  // A window manager's frame is known only once the window is mapped.
  QTimer::singleShot(100, this, &MainWindow::FitOuterSize);
}

void MainWindow::FitOuterSize() {
  const QSize decoration = frameGeometry().size() - geometry().size();
  if (decoration.isEmpty()) return;
  setFixedSize(outerSize_ - decoration);
  if (QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  auto found = names_.find(watched);
  if (found == names_.end()) return QWidget::eventFilter(watched, event);
  const Control name = found->second;
  switch (event->type()) {
    case QEvent::MouseMove: {
      const QPoint global = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
      Event moved;
      moved.kind = EventKind::MouseMoved;
      moved.source = name;
      moved.first = global.x();
      moved.second = global.y();
      Raise(moved);
      break;
    }
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::RightButton) {
        Event pressed;
        pressed.kind = EventKind::RightMouseDown;
        pressed.source = name;
        pressed.first = static_cast<int>(mouse->position().x());
        pressed.second = static_cast<int>(mouse->position().y());
        Raise(pressed);
      }
      break;
    }
    case QEvent::KeyPress: {
      // Enter moves the focus on, except where a multi-line box takes it.
      auto* key = static_cast<QKeyEvent*>(event);
      const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
      if (enter && key->modifiers() == Qt::NoModifier && !qobject_cast<TextEditBox*>(watched)) {
        focusNextChild();
        return true;
      }
      break;
    }
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

// Dragging the window's own background moves the window, as its title bar does.
void MainWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && !childAt(event->position().toPoint())) {
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
  }
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) move(event->globalPosition().toPoint() - dragOffset_);
}

void MainWindow::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void MainWindow::closeEvent(QCloseEvent* event) {
  Event request;
  request.kind = EventKind::CloseRequested;
  request.source = name_;
  Raise(request);
  if (request.refused) {
    event->ignore();
    return;
  }
  if (balloon_) balloon_->hide();
  event->accept();
  if (closed_) closed_();
}
