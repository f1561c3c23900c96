#include "framework/qt/VoiceSettingsDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include "framework/qt/QtText.h"
#include "support/ModalWaits.h"

using namespace Qt::StringLiterals;

namespace {

VoiceDialogValues Shown(QWidget* dialog) {
  return {dialog->findChild<QSlider*>(u"speed"_s)->value(),
          dialog->findChild<QSlider*>(u"volume"_s)->value(),
          dialog->findChild<QSlider*>(u"pitch"_s)->value(),
          dialog->findChild<QComboBox*>(u"voice"_s)->currentIndex()};
}

}  // namespace

class VoiceSettingsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { WithdrawPendingWaits(); }

  void OpensOnTheCurrentValuesPlaysTheEditedOnesAndGivesBackTheChosen() {
    VoiceDialogSetup setup;
    setup.speed = {1, 10};
    setup.volume = {1, 10};
    setup.pitch = {0, 10};
    for (const QString& label : {u"男声（默认）"_s, u"男声 1"_s, u"女声 1"_s, u"女声 2"_s})
      setup.voices.push_back(FromQString(label));
    setup.designed = {4, 10, 5, 0};
    setup.current = {6, 3, 7, 2};
    setup.note = FromQString(u"设置文件中这些值无法使用"_s);
    std::vector<VoiceDialogValues> previewed;
    const auto preview = [&](const VoiceDialogValues& values) {
      previewed.push_back(values);
      return FromQString(u"正在朗读：结束朗读后才能试听。"_s);
    };

    bool acted = false;
    const auto act = [&](VoiceSettingsDialog* dialog) {
      acted = true;
      QCOMPARE(Shown(dialog), setup.current);
      auto* note = dialog->findChild<QLabel*>(u"note"_s);
      QCOMPARE(note->text(), u"设置文件中这些值无法使用"_s);
      dialog->findChild<QPushButton*>(u"defaults"_s)->click();
      QCOMPARE(Shown(dialog), setup.designed);
      dialog->findChild<QSlider*>(u"speed"_s)->setValue(8);
      dialog->findChild<QComboBox*>(u"voice"_s)->setCurrentIndex(3);
      dialog->findChild<QPushButton*>(u"preview"_s)->click();
      QCOMPARE(note->text(), u"正在朗读：结束朗读后才能试听。"_s);
      Click(dialog, u"确定"_s);
    };
    // A failed check leaves the dialog open: it is cancelled then, so the test cannot hang.
    WhenModal<VoiceSettingsDialog>([&](VoiceSettingsDialog* dialog) {
      act(dialog);
      if (dialog->isVisible()) dialog->reject();
    });
    const std::optional<VoiceDialogValues> chosen = RunVoiceSettingsDialog(nullptr, setup, preview);
    QVERIFY(acted);
    const VoiceDialogValues edited{8, 10, 5, 3};
    QCOMPARE(previewed, std::vector<VoiceDialogValues>{edited});
    QVERIFY(chosen.has_value());
    QCOMPARE(*chosen, edited);

    WhenModal<VoiceSettingsDialog>([](VoiceSettingsDialog* dialog) {
      dialog->findChild<QSlider*>(u"pitch"_s)->setValue(9);
      Click(dialog, u"取消"_s);
    });
    QVERIFY(!RunVoiceSettingsDialog(nullptr, setup, preview).has_value());
  }
};

QTEST_MAIN(VoiceSettingsDialogTest)
#include "VoiceSettingsDialogTest.moc"
