#pragma once

#include <QPoint>
#include <QWidget>
#include <map>

#include "framework/Events.h"
#include "framework/WindowDefinition.h"

class QAction;
class QMenu;
class BalloonTip;

// The program's window, built from its design data. It raises the controls'
// events to the logic through the sink and gives the runtime access to its
// controls by name.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  MainWindow(const WindowDefinition& definition, EventSink sink);
  ~MainWindow() override;

  QWidget* ControlWidget(Control control) const;  // nullptr for dialogs and unknown names
  const ControlDefinition* Definition(Control control) const;
  QMenu* MenuWidget(Menu menu) const;
  QAction* MenuAction(MenuItem item) const;
  BalloonTip* Balloon() const { return balloon_; }
  Control Name() const { return name_; }

  void Raise(const Event& event);
  // Shows the window centred on its screen with the keyboard focus; with a window
  // manager the client area is shrunk so that the outer size stays the design size.
  void ShowCentred();
  // Called once the window has closed.
  void SetClosedCallback(std::function<void()> callback) { closed_ = std::move(callback); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // The widget of a designed control, placed and styled; nullptr for those without one.
  QWidget* CreateControl(const ControlDefinition& definition);
  QWidget* CreateButton(const ControlDefinition& definition);
  QWidget* CreateEditBox(const ControlDefinition& definition);
  void RaiseFrom(EventKind kind, Control source);
  void FitOuterSize();

  Control name_;
  QSize outerSize_;
  EventSink sink_;
  std::function<void()> closed_;
  std::map<Control, QWidget*> widgets_;
  std::map<QObject*, Control> names_;
  std::map<Control, ControlDefinition> definitions_;
  std::map<Menu, QMenu*> menus_;
  std::map<MenuItem, QAction*> actions_;
  BalloonTip* balloon_ = nullptr;
  bool dragging_ = false;
  QPoint dragOffset_;
};
