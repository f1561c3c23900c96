#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <map>

class QTimer;

// System-wide keys that the desktop registers for the program through the session's
// GlobalShortcuts portal (KDE Plasma on Wayland). Nothing here waits: the portal may be
// started on demand and answer late, and the window goes on meanwhile. UI thread only.
class PortalHotKeys : public QObject {
  Q_OBJECT

 public:
  enum class Presence { Unknown, Offered, Missing };

  PortalHotKeys();
  ~PortalHotKeys() override;

  // Asks the session bus, once, whether it offers the portal; answer runs on this thread
  // when that is known (at once when it is known already).
  void FindOut(std::function<void(bool offered)> answer);
  Presence presence() const { return presence_; }

  // Issues the next number (33001, 33002, ... as the X11 grabs do) for the key, which goes
  // to the portal with every other key on the next turn of the event loop, under the id
  // (the desktop keeps a key the user picks in its own settings under it) with the
  // description its settings show. 0 for a key the portal's text cannot name, for one
  // without an id, or while the portal is not known to be offered.
  int Register(int modifiers, int virtualKey, const QString& id, const QString& description);
  // Takes the key back from the desktop; false for a number that holds nothing.
  bool Unregister(int number);

  // Called, queued, with the number of a key at each activation, and with refused true for
  // a key that the portal did not take (its number holds nothing from then on).
  void SetHandler(std::function<void(int number, bool refused)> handler);

  // The portal's text for a key: "CTRL+ALT+R", "LOGO+F5", "CTRL+Prior"; empty for codes
  // it has no name for.
  static QString TriggerText(int modifiers, int virtualKey);

 private slots:
  void OnActivated(const QDBusMessage& message);
  void OnResponse(uint code, const QVariantMap& results);

 private:
  struct Key {
    QString id;
    QString description;
    QString trigger;
    bool operator==(const Key&) const = default;
  };
  enum class Step { None, Create, Bind };

  void QueueSync();
  void Sync();
  void CloseSession();
  void Request(Step step, const QString& method, const QList<QVariant>& arguments,
               QVariantMap options);
  void Created(const QVariantMap& results);
  void Bound(const QVariantMap& results);
  void Failed();
  void Finish();
  void Notify(int number, bool refused);

  Presence presence_ = Presence::Unknown;
  bool asked_ = false;
  std::vector<std::function<void(bool)>> waiting_;
  std::function<void(int, bool)> handler_;
  int nextNumber_ = 33001;
  std::map<int, Key> keys_;     // registered, by number
  std::map<int, Key> sent_;     // what the open session holds
  std::map<int, Key> sending_;  // what the request under way asks for
  QString session_;             // the open session's object path; empty for none
  bool busy_ = false;
  bool syncQueued_ = false;
  Step step_ = Step::None;
  QString requestPath_;
  int requests_ = 0;
  QTimer* answerTimer_;
};
