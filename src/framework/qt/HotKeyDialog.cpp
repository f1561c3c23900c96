#include "framework/qt/HotKeyDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "framework/qt/QtText.h"

namespace {

bool IsModifierKey(int key) {
  switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_unknown:
      return true;
    default:
      return false;
  }
}

QString Shown(const QString& portableText) {
  return QKeySequence::fromString(portableText, QKeySequence::PortableText)
      .toString(QKeySequence::NativeText);
}

}  // namespace

KeyCaptureField::KeyCaptureField(QWidget* parent) : QLineEdit(parent) {
  setReadOnly(true);
  setPlaceholderText(QStringLiteral("无"));
  setContextMenuPolicy(Qt::NoContextMenu);
}

void KeyCaptureField::SetKeys(const QString& portableText) {
  keys_ = portableText;
  setText(Shown(portableText));
}

void KeyCaptureField::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  const Qt::KeyboardModifiers modifiers =
      event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier |
                            Qt::ShiftModifier | Qt::KeypadModifier);
  const bool plain = (modifiers & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (IsModifierKey(key)) return;
  if (plain && (key == Qt::Key_Delete || key == Qt::Key_Backspace)) {
    SetKeys(QString());
    emit KeysEntered(QString());
    return;
  }
  const bool functionKey = key >= Qt::Key_F1 && key <= Qt::Key_F35;
  const bool held = modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  if (!held && !functionKey) {
    // Esc, Enter and the like go on to the dialog; other plain keys are no hot keys.
    event->ignore();
    return;
  }
  const QString keys =
      QKeySequence(QKeyCombination(modifiers, Qt::Key(key))).toString(QKeySequence::PortableText);
  SetKeys(keys);
  emit KeysEntered(keys);
}

HotKeyDialog::HotKeyDialog(QWidget* parent, const std::vector<HotKeyField>& fields,
                           HotKeyCheck check)
    : QDialog(parent), check_(std::move(check)) {
  setWindowTitle(QStringLiteral("热键设置"));
  auto* layout = new QVBoxLayout(this);
  auto* hint = new QLabel(QStringLiteral("点一下框，再按下新的组合键（Ctrl、Alt 或 Super 加一个键，"
                                         "或单独一个功能键）；Delete 或 Backspace 清除。"),
                          this);
  hint->setWordWrap(true);
  layout->addWidget(hint);
  auto* grid = new QGridLayout();
  for (const HotKeyField& given : fields) {
    const int index = static_cast<int>(rows_.size());
    auto* label = new QLabel(ToQString(given.label), this);
    auto* field = new KeyCaptureField(this);
    field->SetKeys(ToQString(given.keys));
    field->setMinimumWidth(160);
    label->setBuddy(field);
    auto* note = new QLabel(this);
    note->setStyleSheet(QStringLiteral("color: #c00000"));
    note->setMinimumWidth(120);
    grid->addWidget(label, index, 0);
    grid->addWidget(field, index, 1);
    grid->addWidget(note, index, 2);
    // A key another program holds already is said at once.
    if (!given.keys.empty()) note->setText(ToQString(check_(index, given.keys)));
    rows_.push_back({given, field, note});
    connect(field, &KeyCaptureField::KeysEntered, this,
            [this, index](const QString& keys) { Entered(index, keys); });
  }
  layout->addLayout(grid);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
  // Enter in a field is OK, not a key to take.
  buttons->button(QDialogButtonBox::Ok)->setAutoDefault(false);
  buttons->button(QDialogButtonBox::Cancel)->setAutoDefault(false);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  if (!rows_.empty()) rows_.front().field->setFocus();
  connect(buttons, &QDialogButtonBox::accepted, this, &HotKeyDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &HotKeyDialog::reject);
  layout->addWidget(buttons);
}

void HotKeyDialog::Entered(int index, const QString& keys) {
  // A key belongs to one action: taken here, it leaves the field that had it.
  for (int other = 0; other < static_cast<int>(rows_.size()); ++other) {
    if (other == index || keys.isEmpty() || rows_[other].field->Keys() != keys) continue;
    rows_[other].field->SetKeys(QString());
    rows_[other].note->clear();
  }
  const Text note = keys.isEmpty() ? Text() : check_(index, FromQString(keys));
  rows_[index].note->setText(ToQString(note));
}

std::vector<HotKeyField> HotKeyDialog::Fields() const {
  std::vector<HotKeyField> fields;
  for (const Row& row : rows_) fields.push_back({row.given.label, FromQString(row.field->Keys())});
  return fields;
}

QString HotKeyDialog::Note(int index) const { return rows_[index].note->text(); }

void HotKeyDialog::accept() {
  for (const Row& row : rows_) {
    if (!row.note->text().isEmpty()) {
      row.field->setFocus();
      return;
    }
  }
  QDialog::accept();
}

bool RunHotKeyDialog(QWidget* parent, std::vector<HotKeyField>& fields, const HotKeyCheck& check) {
  HotKeyDialog dialog(parent, fields, check);
  if (dialog.exec() != QDialog::Accepted) return false;
  fields = dialog.Fields();
  return true;
}
