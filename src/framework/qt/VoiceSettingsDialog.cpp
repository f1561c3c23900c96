#include "framework/qt/VoiceSettingsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "framework/qt/QtText.h"

namespace {

// A slider over the scale with its value written beside it.
QSlider* AddScale(QFormLayout* form, const QString& label, const QString& name,
                  const VoiceDialogScale& scale) {
  auto* slider = new QSlider(Qt::Horizontal);
  slider->setObjectName(name);
  slider->setRange(scale.lowest, scale.highest);
  slider->setPageStep(1);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setTickInterval(1);
  slider->setMinimumWidth(220);
  auto* number = new QLabel;
  number->setMinimumWidth(number->fontMetrics().horizontalAdvance(QStringLiteral("100")));
  number->setNum(slider->value());
  QObject::connect(slider, &QSlider::valueChanged, number,
                   [number](int value) { number->setNum(value); });
  auto* row = new QHBoxLayout;
  row->addWidget(slider);
  row->addWidget(number);
  form->addRow(label, row);
  return slider;
}

}  // namespace

VoiceSettingsDialog::VoiceSettingsDialog(QWidget* owner, const VoiceDialogSetup& setup,
                                         Preview preview)
    : QDialog(owner) {
  setWindowTitle(QStringLiteral("语音设置"));
  auto* form = new QFormLayout;
  speed_ = AddScale(form, QStringLiteral("语速"), QStringLiteral("speed"), setup.speed);
  volume_ = AddScale(form, QStringLiteral("音量"), QStringLiteral("volume"), setup.volume);
  pitch_ = AddScale(form, QStringLiteral("音调"), QStringLiteral("pitch"), setup.pitch);
  voice_ = new QComboBox;
  voice_->setObjectName(QStringLiteral("voice"));
  for (const Text& label : setup.voices) voice_->addItem(ToQString(label));
  // 试听 beside the voice: it reads what the controls above it say.
  auto* listen = new QPushButton(QStringLiteral("试听"));
  listen->setObjectName(QStringLiteral("preview"));
  auto* voiceRow = new QHBoxLayout;
  voiceRow->addWidget(voice_, 1);
  voiceRow->addWidget(listen);
  form->addRow(QStringLiteral("声音"), voiceRow);

  note_ = new QLabel(ToQString(setup.note));
  note_->setObjectName(QStringLiteral("note"));
  note_->setWordWrap(true);

  auto* buttons = new QDialogButtonBox;
  auto* defaults = buttons->addButton(QStringLiteral("恢复默认"), QDialogButtonBox::ResetRole);
  defaults->setObjectName(QStringLiteral("defaults"));
  buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(listen, &QPushButton::clicked, this, [this, preview = std::move(preview)] {
    if (preview) note_->setText(ToQString(preview(Values())));
  });
  const VoiceDialogValues designed = setup.designed;
  connect(defaults, &QPushButton::clicked, this, [this, designed] { Show(designed); });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(note_);
  layout->addWidget(buttons);
  Show(setup.current);
}

void VoiceSettingsDialog::Show(const VoiceDialogValues& values) {
  speed_->setValue(values.speed);
  volume_->setValue(values.volume);
  pitch_->setValue(values.pitch);
  voice_->setCurrentIndex(values.voice);
}

VoiceDialogValues VoiceSettingsDialog::Values() const {
  return {speed_->value(), volume_->value(), pitch_->value(), voice_->currentIndex()};
}

std::optional<VoiceDialogValues> RunVoiceSettingsDialog(
    QWidget* owner, const VoiceDialogSetup& setup, const VoiceSettingsDialog::Preview& preview) {
  VoiceSettingsDialog dialog(owner, setup, preview);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Values();
}
