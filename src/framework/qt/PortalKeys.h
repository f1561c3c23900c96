#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

// Keys pressed in whichever window has the keyboard focus through the desktop's
// RemoteDesktop portal (GNOME and KDE on Wayland, which offer no virtual keyboard). The
// portal types only keysyms of the current keyboard layout. The session is made on first
// use with asynchronous calls: the desktop may ask the user first, and the window goes on
// meanwhile. It stays open for later runs until the desktop closes it. Used on the
// user-interface thread only.
class PortalKeys : public QObject {
  Q_OBJECT

 public:
  enum class Readiness { Ready, Starting, Failed };

  PortalKeys();
  ~PortalKeys() override;

  // Starts a session when there is none. Failed: there is none to be had, and `failure`
  // says why in a sentence for the user, once; the call after it tries anew.
  Readiness Prepare(QString& failure);
  // Presses the keysyms in order and releases them in reverse (a character, Ctrl+V).
  void Press(const std::vector<uint32_t>& keysyms);

 private slots:
  void Answered(uint code, const QVariantMap& results);
  void SessionClosed();

 private:
  enum class Step { None, CreateSession, SelectDevices, Start, Ready, Failed };
  void Request(Step step, const QString& method, const QVariantList& arguments,
               QVariantMap options);
  void ListenAt(const QString& path);
  void StopListening();
  void Fail(const QString& failure);
  void Notify(uint32_t keysym, bool pressed);
  void SendNextKey();

  Step step_ = Step::None;
  QString failure_;
  QString requestPath_;
  QString session_;
  int requests_ = 0;
  int generation_ = 0;  // of the current attempt, so that a late answer of an old one is ignored
  // Each key goes to the portal once the one before it was answered: KDE's portal can take
  // up a key sent early while it still handles the one before (a Shift then stayed held).
  std::deque<std::pair<uint32_t, bool>> keys_;
  bool sending_ = false;
};
