#pragma once

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <string>

#include "framework/Events.h"

// The program on the session bus: the well-known name example.orvane.Notepad at
// /example/orvane/Notepad makes one copy per desktop session and lets a command bound to
// a key (`orvane-notepad --action NAME`, gdbus, busctl) drive the running copy.
//
//   ReadAloud, PauseReading, StopReading, Type, Capture   the actions of the hot keys
//   Activate                                              the window comes to the front
//   Open(ay path)                                         opens the file as "打开" does
//
// Every method answers at once; the copy does the work afterwards on its own event loop.
class SessionService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "example.orvane.Notepad")

 public:
  // deliver receives the requests as events (ActionRequested, OpenRequested); activate
  // brings the window to the front.
  SessionService(std::function<void(const Event&)> deliver, std::function<void()> activate);

  // Takes the name on the session bus for this object: true when it is ours; false when
  // there is no bus or another copy holds it.
  bool Claim();

 public slots:
  void ReadAloud();
  void PauseReading();
  void StopReading();
  void Type();
  void Capture();
  void Activate();
  void Open(const QByteArray& path);

 private:
  void Request(EventKind kind, const Text& text);

  std::function<void(const Event&)> deliver_;
  std::function<void()> activate_;
};

// Whether this process can reach a session bus.
bool SessionBusReachable();

// What became of asking the copy that holds the name.
enum class SessionAnswer {
  Done,      // it answered
  NoneRuns,  // nobody holds the name (or there is no session bus)
  NoAnswer,  // it holds the name but did not answer in time; the line says why
};

// Calls the method (without arguments, or with the path as bytes) on the copy that holds
// the name. problem receives a line for the user when the answer is not Done.
SessionAnswer CallRunningCopy(const QString& method, const QByteArray* path, QString& problem);
// The same over the given connection.
SessionAnswer CallRunningCopy(const QDBusConnection& bus, const QString& method,
                              const QByteArray* path, QString& problem);
