#pragma once

#include <QDialog>
#include <QLineEdit>
#include <vector>

#include "framework/RuntimeServices.h"

class QLabel;

// A field that takes the next key combination pressed: Ctrl, Alt or Super with a key, or
// a function key alone. Delete or Backspace clears it; Tab, Esc and Enter keep their
// usual meaning. Holds the key as Qt's portable text.
class KeyCaptureField : public QLineEdit {
  Q_OBJECT

 public:
  explicit KeyCaptureField(QWidget* parent = nullptr);
  QString Keys() const { return keys_; }
  void SetKeys(const QString& portableText);

 signals:
  void KeysEntered(const QString& portableText);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QString keys_;
};

// "热键设置": a key field per action with a note beside it where the key cannot be used;
// OK closes only while no note is shown.
class HotKeyDialog : public QDialog {
  Q_OBJECT

 public:
  HotKeyDialog(QWidget* parent, const std::vector<HotKeyField>& fields, HotKeyCheck check);
  // The fields' keys as they stand, in portable text.
  std::vector<HotKeyField> Fields() const;
  KeyCaptureField* Field(int index) const { return rows_[index].field; }
  QString Note(int index) const;
  void accept() override;

 private:
  struct Row {
    HotKeyField given;
    KeyCaptureField* field;
    QLabel* note;
  };
  void Entered(int index, const QString& keys);

  HotKeyCheck check_;
  std::vector<Row> rows_;
};

// Runs the dialog modally; true on OK, with the fields updated.
bool RunHotKeyDialog(QWidget* parent, std::vector<HotKeyField>& fields, const HotKeyCheck& check);
