#include "framework/qt/CommonDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "framework/Controls.h"
#include "framework/qt/MessageBox.h"
#include "framework/qt/WindowTitle.h"

QStringList QtNameFilters(const QString& filter) {
  const QStringList items = filter.split(u'|');
  QStringList filters;
  // An odd item at the end (a description without patterns, or what follows the
  // trailing bar) is not a pair.
  for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
    QStringList patterns;
    for (const QString& item : items[i + 1].split(u';')) {
      const QString pattern = item.trimmed();
      if (pattern.isEmpty()) continue;
      patterns << (pattern == u"*.*" ? QStringLiteral("*") : pattern);
    }
    if (patterns.isEmpty()) patterns << QStringLiteral("*");
    filters << items[i] + QStringLiteral(" (") + patterns.join(u' ') + u')';
  }
  return filters;
}

namespace {

constexpr int kStyleWarningOk = kMbOk | kMbIconExclamation;
constexpr int kStyleWarningYesNo = kMbYesNo | kMbIconExclamation;

// Qt's file model writes dates in the system locale and calls a folder "Folder": both
// in the program's language here.
class FileDetails : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;

  QVariant data(const QModelIndex& index, int role) const override {
    auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
    if (role == Qt::DisplayRole && files && index.isValid()) {
      const QModelIndex source = mapToSource(index);
      if (index.column() == kTypeColumn && files->isDir(source)) return QStringLiteral("文件夹");
      if (index.column() == kDateColumn)
        return QLocale(QLocale::Chinese, QLocale::China)
            .toString(files->lastModified(source), QStringLiteral("yyyy/M/d H:mm"));
    }
    return QIdentityProxyModel::data(index, role);
  }

 private:
  static constexpr int kTypeColumn = 2;
  static constexpr int kDateColumn = 3;
};

// Wide enough for a size, a type and a date without "…".
void FitDetailColumns(QFileDialog* dialog) {
  auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
  if (!tree) return;
  const QFontMetrics metrics(tree->font());
  const int padding = metrics.horizontalAdvance(u'M') * 2;
  tree->header()->resizeSection(0, metrics.horizontalAdvance(QStringLiteral("M")) * 28);
  tree->header()->resizeSection(1,
                                metrics.horizontalAdvance(QStringLiteral("1023.9 KiB")) + padding);
  tree->header()->resizeSection(2,
                                metrics.horizontalAdvance(QStringLiteral("纯文本文档")) + padding);
  tree->header()->resizeSection(
      3, metrics.horizontalAdvance(QStringLiteral("2024/12/30 23:59")) + padding);
}

// A widget-based file dialog that checks the typed name the way the Windows dialog
// does, with the program's own wording, before it lets the user confirm.
class FileDialog : public QFileDialog {
 public:
  FileDialog(QWidget* parent, const CommonDialogState& state) : QFileDialog(parent), state_(state) {
    const bool save = state.type == 1;
    // The same widgets everywhere. This dialog has no read-only check box to hide.
    setOption(DontUseNativeDialog);
    // accept() asks instead, in the program's language.
    setOption(DontConfirmOverwrite);
    setAcceptMode(save ? AcceptSave : AcceptOpen);
    setFileMode(!save && state.fileMustExist ? ExistingFile : AnyFile);
    if (!state.title.isEmpty())
      setWindowTitle(WindowManagerTitle(state.title));
    else
      setWindowTitle(save ? QStringLiteral("另存为") : QStringLiteral("打开"));
    setLabelText(LookIn, save ? QStringLiteral("保存在(&I):") : QStringLiteral("查找范围(&I):"));
    setLabelText(FileName, QStringLiteral("文件名(&N):"));
    setLabelText(FileType,
                 save ? QStringLiteral("保存类型(&T):") : QStringLiteral("文件类型(&T):"));
    setLabelText(Accept, save ? QStringLiteral("保存(&S)") : QStringLiteral("打开(&O)"));
    setLabelText(Reject, QStringLiteral("取消"));
    // Qt gives only some of its labels a buddy; without one a label shows "(&I)" as it is.
    const std::pair<const char*, const char*> buddies[] = {{"lookInLabel", "lookInCombo"},
                                                           {"fileNameLabel", "fileNameEdit"},
                                                           {"fileTypeLabel", "fileTypeCombo"}};
    for (const auto& [label, buddy] : buddies) {
      auto* labelWidget = findChild<QLabel*>(QLatin1String(label));
      auto* buddyWidget = findChild<QWidget*>(QLatin1String(buddy));
      if (labelWidget && buddyWidget) labelWidget->setBuddy(buddyWidget);
    }

    const QStringList filters = QtNameFilters(state.filter);
    if (!filters.isEmpty()) {
      setOption(HideNameFilterDetails);
      setNameFilters(filters);
      selectNameFilter(filters[std::clamp<qsizetype>(state.initialFilter, 0, filters.size() - 1)]);
    }
    setProxyModel(new FileDetails(this));
    setDefaultSuffix(state.defaultExtension);
    ShowName();
    FitDetailColumns(this);
    resize(sizeHint().expandedTo(QSize(720, 440)));
    setWindowModality(Qt::ApplicationModal);
  }

  QString Chosen() const { return chosen_; }
  // The type pair chosen in the list, as an index into the filter's pairs.
  int ChosenFilter() const {
    const auto* types = findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    return types ? std::max(types->currentIndex(), 0) : state_.initialFilter;
  }

  void accept() override {
    const QStringList files = selectedFiles();
    if (files.isEmpty()) return;
    // The default extension is already on a typed name that had none.
    const QString path = files.first();
    const QFileInfo info(path);
    if (info.isDir()) {
      QFileDialog::accept();  // enters the folder
      return;
    }
    const bool open = acceptMode() == AcceptOpen;
    if (state_.pathMustExist && !info.absoluteDir().exists()) {
      Warn(path + QStringLiteral("\n路径不存在。\n请检查路径是否正确。"));
      return;
    }
    if (open && state_.fileMustExist && !info.exists()) {
      Warn(info.fileName() + QStringLiteral("\n找不到文件。\n请检查文件名是否正确，然后重试。"));
      return;
    }
    if (open && state_.createPrompt && !info.exists() &&
        !Confirm(info.fileName() + QStringLiteral("\n该文件不存在。\n是否创建文件？")))
      return;
    if (!open && state_.overwritePrompt && info.exists() &&
        !Confirm(info.fileName() + QStringLiteral(" 已存在。\n要替换它吗？")))
      return;
    chosen_ = info.absoluteFilePath();
    QDialog::accept();  // the checks above replace QFileDialog's
  }

 private:
  // A name that holds a folder opens that folder, as on Windows, even when an initial
  // directory is given: the dialog then shows the path chosen last.
  void ShowName() {
    const QString& name = state_.fileName;
    const QFileInfo named(name);
    QString folder;
    if (!name.isEmpty() && name.contains(u'/') && named.absoluteDir().exists())
      folder = named.absolutePath();
    else if (!state_.initialDirectory.isEmpty())
      folder = QFileInfo(state_.initialDirectory).absoluteFilePath();
    else
      folder = QDir::currentPath();
    setDirectory(folder);
    if (!name.isEmpty() && !named.fileName().isEmpty())
      selectFile(QDir(folder).filePath(named.fileName()));
  }

  void Warn(const QString& text) { RunMessageBox(this, text, kStyleWarningOk, windowTitle()); }
  bool Confirm(const QString& text) {
    return RunMessageBox(this, text, kStyleWarningYesNo, windowTitle()) == kAnswerYes;
  }

  const CommonDialogState& state_;
  QString chosen_;
};

bool RunFileDialog(QWidget* parent, CommonDialogState& state) {
  FileDialog dialog(parent, state);
  if (dialog.exec() != QDialog::Accepted || dialog.Chosen().isEmpty()) return false;
  state.fileName = dialog.Chosen();
  state.initialFilter = dialog.ChosenFilter();  // as Windows leaves nFilterIndex
  if (!state.keepDirectory) QDir::setCurrent(QFileInfo(state.fileName).absolutePath());
  return true;
}

QColor FromColorRef(std::uint32_t colour) {
  return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

struct NamedColour {
  const char16_t* name;
  std::uint32_t colour;  // COLORREF
};

// The sixteen colours of the Windows font dialog, in its order.
constexpr NamedColour kClassicColours[] = {
    {u"黑色", 0x000000},   {u"褐红色", 0x000080}, {u"绿色", 0x008000},   {u"橄榄色", 0x008080},
    {u"藏青色", 0x800000}, {u"紫色", 0x800080},   {u"深青色", 0x808000}, {u"灰色", 0x808080},
    {u"银色", 0xC0C0C0},   {u"红色", 0x0000FF},   {u"酸橙色", 0x00FF00}, {u"黄色", 0x00FFFF},
    {u"蓝色", 0xFF0000},   {u"紫红色", 0xFF00FF}, {u"水绿色", 0xFFFF00}, {u"白色", 0xFFFFFF},
};

QIcon Swatch(std::uint32_t colour) {
  QPixmap pixmap(24, 14);
  pixmap.fill(FromColorRef(colour));
  QPainter painter(&pixmap);
  painter.setPen(Qt::black);
  painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
  return QIcon(pixmap);
}

// Qt's labels in the program's language, matched on Qt's untranslated texts so that an
// installed Qt translation is left alone.
void TranslateFontDialog(QFontDialog* fonts) {
  const std::pair<const char*, const char16_t*> labels[] = {
      {"&Font", u"字体(&F):"},       {"Font st&yle", u"字形(&Y):"},
      {"&Size", u"大小(&S):"},       {"Wr&iting System", u"脚本(&R):"},
      {"Stri&keout", u"删除线(&K)"}, {"&Underline", u"下划线(&U)"},
      {"Effects", u"效果"},          {"Sample", u"示例"},
  };
  auto translated = [&](const QString& text) -> QString {
    for (const auto& [english, chinese] : labels)
      if (text == QLatin1String(english)) return QString::fromUtf16(chinese);
    return text;
  };
  for (QLabel* label : fonts->findChildren<QLabel*>()) label->setText(translated(label->text()));
  for (QCheckBox* box : fonts->findChildren<QCheckBox*>()) box->setText(translated(box->text()));
  for (QGroupBox* group : fonts->findChildren<QGroupBox*>())
    group->setTitle(translated(group->title()));
}

// Qt calls a face that several foundries offer "Face [foundry]"; the program's face
// names, like Windows', have no foundry, and Qt finds the face by its name alone.
QString FaceName(const QFont& font) {
  QString face = font.family();
  const qsizetype foundry = face.lastIndexOf(u" [");
  if (foundry > 0 && face.endsWith(u']')) face.truncate(foundry);
  return face;
}

QFont InitialFont(const CommonDialogState& state) {
  QFont font = QApplication::font();
  if (!state.faceName.isEmpty()) font.setFamilies({state.faceName});
  if (state.size > 0) font.setPointSize(state.size);
  font.setWeight(state.bold ? QFont::Bold : QFont::Normal);
  font.setItalic(state.italic);
  font.setStrikeOut(state.strikeOut);
  font.setUnderline(state.underline);
  return font;
}

// Qt's font dialog chooses face, style, size, strike-out and underline but no colour:
// it is embedded here beside the colour list of the Windows dialog.
class FontDialog : public QDialog {
 public:
  FontDialog(QWidget* parent, const CommonDialogState& state) : QDialog(parent) {
    setWindowTitle(state.title.isEmpty() ? QStringLiteral("字体")
                                         : WindowManagerTitle(state.title));
    setWindowModality(Qt::ApplicationModal);

    fonts_ = new QFontDialog(this);
    fonts_->setWindowFlags(Qt::Widget);
    fonts_->setSizeGripEnabled(false);  // a grip in the middle of our dialog
    fonts_->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    fonts_->setCurrentFont(InitialFont(state));
    TranslateFontDialog(fonts_);
    // The sample shows how the face draws both scripts the program writes.
    for (QGroupBox* group : fonts_->findChildren<QGroupBox*>())
      for (QLineEdit* sample : group->findChildren<QLineEdit*>())
        sample->setText(QStringLiteral("AaBb 中文字体"));
    // Inside the embedded dialog Esc would close only it, and its lists swallow Return:
    // both keys are taken before any of its widgets sees them.
    fonts_->installEventFilter(this);
    for (QWidget* child : fonts_->findChildren<QWidget*>()) child->installEventFilter(this);

    colours_ = new QComboBox(this);
    colours_->setObjectName(QStringLiteral("colourCombo"));
    for (const NamedColour& named : kClassicColours)
      colours_->addItem(Swatch(named.colour), QString::fromUtf16(named.name), named.colour);
    int current = colours_->findData(state.colour);
    if (current < 0) {
      colours_->addItem(Swatch(state.colour), QStringLiteral("自定义"), state.colour);
      current = colours_->count() - 1;
    }
    colours_->setCurrentIndex(current);
    auto* colourLabel = new QLabel(QStringLiteral("颜色(&C):"), this);
    colourLabel->setBuddy(colours_);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* colourRow = new QHBoxLayout;
    colourRow->addWidget(colourLabel);
    colourRow->addWidget(colours_);
    colourRow->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fonts_);
    layout->addLayout(colourRow);
    layout->addWidget(buttons);
  }

  void StoreInto(CommonDialogState& state) const {
    const QFont font = fonts_->currentFont();
    state.colour = colours_->currentData().toUInt();
    state.bold = font.weight() >= QFont::Bold;
    state.italic = font.italic();
    state.strikeOut = font.strikeOut();
    state.underline = font.underline();
    state.faceName = FaceName(font);
    const int points = qRound(font.pointSizeF());
    state.size = points > 0 ? points : QFontInfo(font).pointSize();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // A combo box's open list is a window of its own and keeps its keys.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::KeyPress && widget && widget->window() == this) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->matches(QKeySequence::Cancel)) {
        reject();
        return true;
      }
      if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        accept();
        return true;
      }
    }
    return QDialog::eventFilter(watched, event);
  }

 private:
  QFontDialog* fonts_ = nullptr;
  QComboBox* colours_ = nullptr;
};

bool RunFontDialog(QWidget* parent, CommonDialogState& state) {
  FontDialog dialog(parent, state);
  if (dialog.exec() != QDialog::Accepted) return false;
  dialog.StoreInto(state);
  return true;
}

}  // namespace

bool RunCommonDialog(QWidget* parent, CommonDialogState& state) {
  switch (std::max(state.type, 0)) {
    case 0:
    case 1:
      return RunFileDialog(parent, state);
    case 2:
      return RunFontDialog(parent, state);
    default:
      return false;  // help files are not offered
  }
}
