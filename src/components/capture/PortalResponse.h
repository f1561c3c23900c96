#pragma once

#include <QObject>
#include <QVariantMap>

// Receives a portal request's Response signal (QtDBus delivers signals to slots only).
class PortalResponse : public QObject {
  Q_OBJECT

 public:
  bool answered = false;
  uint code = 2;  // 0 granted, 1 cancelled by the user, 2 failed otherwise
  QVariantMap results;

 signals:
  void Answered();

 public slots:
  void Receive(uint responseCode, const QVariantMap& responseResults) {
    if (answered) return;
    answered = true;
    code = responseCode;
    results = responseResults;
    emit Answered();
  }
};
