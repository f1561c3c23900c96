#include "CaptureOverlay.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <utility>

namespace {

const QColor kDim(0, 0, 0, 128);
const QColor kAccent(0, 160, 255);
const QColor kLabelBackground(0, 0, 0, 200);
constexpr int kGrip = 6;      // logical pixels around an edge that still take it
constexpr int kHandle = 5;    // logical size of the squares drawn on corners and edges
constexpr int kLabelGap = 4;  // between the selection and its size label
constexpr int kLabelPad = 6;

// Without a window manager nobody else hands a new window the keyboard.
int ExecActivated(QDialog& dialog) {
  dialog.setAttribute(Qt::WA_QuitOnClose, false);
  QTimer::singleShot(0, &dialog, [&dialog] { dialog.activateWindow(); });
  return dialog.exec();
}

bool WritePng(const QImage& image, const QString& path) {
  // Written beside the target and renamed: a failed save never spoils an existing file.
  QSaveFile file(path);
  return file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit();
}

}  // namespace

CaptureOverlay::CaptureOverlay(FrozenScreen frozen, QWidget* owner, bool fullScreen,
                               std::function<void()> finished)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::BypassWindowManagerHint | Qt::NoDropShadowWindowHint),
      frozen_(std::move(frozen)),
      owner_(owner),
      finished_(std::move(finished)),
      selection_(frozen_.picture.size()),
      fullScreen_(fullScreen) {
  setObjectName(QStringLiteral("CameraSubAreaOverlay"));
  setWindowTitle(QStringLiteral("截图"));
  setAttribute(Qt::WA_QuitOnClose, false);
  setAttribute(Qt::WA_OpaquePaintEvent);  // the picture covers every pixel
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::CrossCursor);
  setGeometry(frozen_.area);
  winId();  // places the window on a screen, which fixes its pixel ratio
  ratio_ = devicePixelRatioF();
}

CaptureOverlay::~CaptureOverlay() {
  if (!done_) Disappear();
}

void CaptureOverlay::Start() { Appear(); }

void CaptureOverlay::Appear() {
  if (fullScreen_) {
    showFullScreen();
  } else {
    show();
  }
  if (!filtering_) {
    windowHandle()->installEventFilter(this);
    filtering_ = true;
  }
  raise();
  activateWindow();
  setFocus(Qt::OtherFocusReason);
  grabKeyboard();
  grabMouse();
}

void CaptureOverlay::Disappear() {
  releaseKeyboard();
  releaseMouse();
  grabbed_ = false;
  hide();
}

bool CaptureOverlay::eventFilter(QObject* watched, QEvent* event) {
  // X refuses a grab until the window is viewable: take the input once it is exposed.
  if (watched == windowHandle() && event->type() == QEvent::Expose && !grabbed_ &&
      windowHandle()->isExposed()) {
    grabbed_ = windowHandle()->setKeyboardGrabEnabled(true);
    grabbed_ = windowHandle()->setMouseGrabEnabled(true) && grabbed_;
  }
  return false;
}

bool CaptureOverlay::event(QEvent* event) {
  // Every key belongs to the capture while it is shown, none to shortcuts of the host.
  if (event->type() == QEvent::ShortcutOverride) {
    event->accept();
    return true;
  }
  return QWidget::event(event);
}

QPoint CaptureOverlay::DevicePoint(const QMouseEvent* event) const {
  // Qt hands pointer positions over in whole logical pixels: when it scales, the pointer
  // reaches every ratio-th device pixel, and the arrow keys the ones between.
  return {qRound(event->position().x() * ratio_), qRound(event->position().y() * ratio_)};
}

QRect CaptureOverlay::LogicalBounds(QRect device) const {
  return QRectF(device.x() / ratio_, device.y() / ratio_, device.width() / ratio_,
                device.height() / ratio_)
      .toAlignedRect();
}

QString CaptureOverlay::SizeText() const {
  const QRect area = selection_.Area();
  return QStringLiteral("%1 × %2").arg(area.width()).arg(area.height());
}

QRect CaptureOverlay::SizeLabel() const {
  if (!selection_.HasArea()) return {};
  const QRect area = LogicalBounds(selection_.Area());
  const QSize size(fontMetrics().horizontalAdvance(SizeText()) + 2 * kLabelPad,
                   fontMetrics().height() + kLabelPad);
  // Above the top left corner; inside the area when the screen's top edge is in the way.
  QPoint corner(area.x(), area.y() - kLabelGap - size.height());
  if (corner.y() < 0) corner = area.topLeft() + QPoint(kLabelGap, kLabelGap);
  corner.setX(std::clamp(corner.x(), 0, std::max(0, width() - size.width())));
  return {corner, size};
}

QRect CaptureOverlay::Decorations() const {
  if (!selection_.HasArea()) return {};
  const int margin = kHandle + 1;
  return LogicalBounds(selection_.Area()).adjusted(-margin, -margin, margin, margin) | SizeLabel();
}

void CaptureOverlay::Repaint(QRect before) {
  // The dimming changes only inside the old and new areas, which the decorations cover.
  const QRect after = Decorations();
  if (before != after) update(before | after);
}

void CaptureOverlay::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.save();
  painter.scale(1 / ratio_, 1 / ratio_);  // draw in device pixels: the picture stays 1:1
  const QRect dirty =
      QRectF(QPointF(event->rect().topLeft()) * ratio_, QSizeF(event->rect().size()) * ratio_)
          .toAlignedRect() &
      frozen_.picture.rect();
  painter.drawImage(dirty.topLeft(), frozen_.picture, dirty);

  const QRect all = frozen_.picture.rect();
  const QRect area = selection_.Area();
  if (area.isEmpty()) {
    painter.fillRect(all, kDim);
  } else {
    const int right = area.x() + area.width(), bottom = area.y() + area.height();
    painter.fillRect(QRect(0, 0, all.width(), area.y()), kDim);
    painter.fillRect(QRect(0, bottom, all.width(), all.height() - bottom), kDim);
    painter.fillRect(QRect(0, area.y(), area.x(), area.height()), kDim);
    painter.fillRect(QRect(right, area.y(), all.width() - right, area.height()), kDim);

    // A line just outside the area, so that it never hides a selected pixel.
    painter.setPen(QPen(kAccent, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(area.x() - 1, area.y() - 1, area.width() + 1, area.height() + 1));
    const int handle = qRound(kHandle * ratio_);
    if (area.width() > 3 * handle && area.height() > 3 * handle) {
      const int xs[] = {area.x(), area.x() + area.width() / 2, right};
      const int ys[] = {area.y(), area.y() + area.height() / 2, bottom};
      for (int column = 0; column < 3; ++column) {
        for (int row = 0; row < 3; ++row) {
          if (column == 1 && row == 1) continue;
          painter.fillRect(QRect(xs[column] - handle / 2, ys[row] - handle / 2, handle, handle),
                           kAccent);
        }
      }
    }
  }
  painter.restore();

  if (!area.isEmpty()) {
    const QRect label = SizeLabel();
    painter.fillRect(label, kLabelBackground);
    painter.setPen(Qt::white);
    painter.drawText(label, Qt::AlignCenter, SizeText());
  }
}

void CaptureOverlay::UpdateCursor(QPoint device) {
  const unsigned part = selection_.PartAt(device, qRound(kGrip * ratio_));
  using Part = SelectionGeometry::Part;
  Qt::CursorShape shape = Qt::CrossCursor;
  if (part == Part::kInside) {
    shape = Qt::SizeAllCursor;
  } else if (part == (Part::kLeft | Part::kTop) || part == (Part::kRight | Part::kBottom)) {
    shape = Qt::SizeFDiagCursor;
  } else if (part == (Part::kRight | Part::kTop) || part == (Part::kLeft | Part::kBottom)) {
    shape = Qt::SizeBDiagCursor;
  } else if (part & (Part::kLeft | Part::kRight)) {
    shape = Qt::SizeHorCursor;
  } else if (part & (Part::kTop | Part::kBottom)) {
    shape = Qt::SizeVerCursor;
  }
  if (cursor().shape() != shape) setCursor(shape);
}

void CaptureOverlay::mousePressEvent(QMouseEvent* event) {
  const QRect before = Decorations();
  if (event->button() == Qt::LeftButton) {
    selection_.BeginDrag(DevicePoint(event), qRound(kGrip * ratio_));
    Repaint(before);
  } else if (event->button() == Qt::RightButton && !selection_.Dragging()) {
    // The first right-click drops the selection, the next one gives up.
    if (selection_.HasArea()) {
      selection_.Clear();
      Repaint(before);
      UpdateCursor(DevicePoint(event));
    } else {
      Finish(0);
    }
  }
}

void CaptureOverlay::mouseMoveEvent(QMouseEvent* event) {
  const QPoint point = DevicePoint(event);
  if (!selection_.Dragging()) {
    UpdateCursor(point);
    return;
  }
  const QRect before = Decorations();
  selection_.DragTo(point);
  Repaint(before);
}

void CaptureOverlay::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !selection_.Dragging()) return;
  const QRect before = Decorations();
  const QPoint point = DevicePoint(event);
  selection_.DragTo(point);
  selection_.EndDrag();
  Repaint(before);
  UpdateCursor(point);
}

void CaptureOverlay::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    mousePressEvent(event);  // two quick right-clicks are still two right-clicks
  } else if (selection_.HasArea()) {
    Copy();
  }
}

void CaptureOverlay::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    Finish(0);
    return;
  }
  if (selection_.Dragging() || !selection_.HasArea()) return;
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
      event->matches(QKeySequence::Copy)) {
    Copy();
    return;
  }
  if (event->matches(QKeySequence::Save)) {
    Save();
    return;
  }
  int dx = 0, dy = 0;
  switch (event->key()) {
    case Qt::Key_Left:
      dx = -1;
      break;
    case Qt::Key_Right:
      dx = 1;
      break;
    case Qt::Key_Up:
      dy = -1;
      break;
    case Qt::Key_Down:
      dy = 1;
      break;
    default:
      return;
  }
  const QRect before = Decorations();
  if (event->modifiers() & Qt::ShiftModifier) {
    selection_.ResizeBy(dx, dy);
  } else {
    selection_.MoveBy(dx, dy);
  }
  Repaint(before);
}

void CaptureOverlay::closeEvent(QCloseEvent* event) {
  Finish(0);
  event->accept();
}

void CaptureOverlay::Copy() {
  const QImage image = frozen_.picture.copy(selection_.Area());
  if (image.isNull()) return;  // out of memory: the user may still pick a smaller area
  QGuiApplication::clipboard()->setImage(image, QClipboard::Clipboard);
  Finish(1);
}

void CaptureOverlay::Save() {
  const QImage image = frozen_.picture.copy(selection_.Area());
  if (image.isNull()) return;
  Disappear();  // the dialog needs the keyboard, and must not stand behind the overlay
  QString path = ProposedPath();
  for (;;) {
    path = AskSavePath(path);
    if (path.isEmpty()) break;
    if (WritePng(image, path)) {
      Finish(1);
      return;
    }
    QMessageBox failed(QMessageBox::Warning, QStringLiteral("截图未能保存"),
                       QStringLiteral("无法把截图保存到“%1”。").arg(QDir::toNativeSeparators(path)),
                       QMessageBox::Ok, owner_);
    ExecActivated(failed);  // then the dialog again, proposing the same path
  }
  Appear();  // a cancelled dialog goes back to the selection, which is kept
}

QString CaptureOverlay::ProposedPath() const {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
  const QString stamp = frozen_.taken.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"));
  return QDir(folder).filePath(QStringLiteral("截图 %1.png").arg(stamp));
}

QString CaptureOverlay::AskSavePath(const QString& proposal) {
  QFileDialog dialog(owner_, QStringLiteral("保存截图"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(QStringLiteral("PNG 图片 (*.png)"));
  dialog.setDefaultSuffix(QStringLiteral("png"));
  const QFileInfo info(proposal);
  dialog.setDirectory(info.absolutePath());
  dialog.selectFile(info.fileName());
  if (ExecActivated(dialog) != QDialog::Accepted) return {};
  return dialog.selectedFiles().value(0);
}

void CaptureOverlay::Finish(int result) {
  if (done_) return;
  done_ = true;
  result_ = result;
  Disappear();
  if (finished_) finished_();
}
