#pragma once

#include <QDialog>
#include <functional>
#include <optional>

#include "framework/VoiceDialog.h"

class QComboBox;
class QLabel;
class QSlider;

// "语音设置": a slider for each of speed, volume and pitch with its number beside it,
// the voice's list, "试听" (hands the values being edited to the preview and shows what
// it answers), "恢复默认" (the designed values), 确定 and 取消. Child widgets are named
// speed, volume, pitch, voice, preview, defaults and note.
class VoiceSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  using Preview = std::function<Text(const VoiceDialogValues&)>;
  VoiceSettingsDialog(QWidget* owner, const VoiceDialogSetup& setup, Preview preview);
  VoiceDialogValues Values() const;

 private:
  void Show(const VoiceDialogValues& values);

  QSlider* speed_;
  QSlider* volume_;
  QSlider* pitch_;
  QComboBox* voice_;
  QLabel* note_;
};

// Runs the dialog modally; the values on 确定, nothing on 取消.
std::optional<VoiceDialogValues> RunVoiceSettingsDialog(
    QWidget* owner, const VoiceDialogSetup& setup, const VoiceSettingsDialog::Preview& preview);
