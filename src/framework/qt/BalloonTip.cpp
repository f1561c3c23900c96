#include "framework/qt/BalloonTip.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>

namespace {
constexpr int kTail = 12;  // height of the tail
constexpr int kPadding = 8;
}  // namespace

BalloonTip::BalloonTip() : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  closeTimer_.setSingleShot(true);
  connect(&closeTimer_, &QTimer::timeout, this, &QWidget::hide);
}

void BalloonTip::ShowAt(QPoint tip, const QString& text, int icon, const QString& title,
                        int milliseconds) {
  // The program's line breaks are CR LF; a CR would be drawn as a box.
  text_ = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  title_ = title;
  QStyle::StandardPixmap standard = QStyle::SP_CustomBase;
  if (icon == 1) standard = QStyle::SP_MessageBoxInformation;
  if (icon == 2) standard = QStyle::SP_MessageBoxWarning;
  if (icon == 3) standard = QStyle::SP_MessageBoxCritical;
  icon_ = standard == QStyle::SP_CustomBase ? QPixmap() : style()->standardPixmap(standard);
  if (!icon_.isNull()) icon_ = icon_.scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation);

  const QFontMetrics metrics(font());
  QFont bold = font();
  bold.setBold(true);
  const QRect textRect = metrics.boundingRect(QRect(0, 0, 300, 1000), Qt::TextWordWrap, text_);
  int contentWidth = textRect.width();
  int contentHeight = textRect.height();
  if (!title_.isEmpty() || !icon_.isNull()) {
    const int titleWidth = QFontMetrics(bold).horizontalAdvance(title_) + (icon_.isNull() ? 0 : 22);
    contentWidth = std::max(contentWidth, titleWidth);
    contentHeight += std::max(QFontMetrics(bold).height(), icon_.isNull() ? 0 : 16) + 4;
  }
  // Two pixels of slack: the outline is drawn inside the widget's last pixel.
  const QSize size(contentWidth + 2 * kPadding + 2, contentHeight + 2 * kPadding + kTail + 1);
  body_ = QRect(0, kTail, size.width() - 1, size.height() - kTail - 1);

  // The tail sits near the left end and points up at the tip; keep the box on screen.
  QPoint topLeft(tip.x() - 16, tip.y());
  if (QScreen* screen = QGuiApplication::screenAt(tip)) {
    const QRect available = screen->geometry();
    topLeft.setX(std::clamp(topLeft.x(), available.left(), available.right() - size.width()));
  }
  setGeometry(QRect(topLeft, size));
  setMask(QRegion(Outline().toFillPolygon().toPolygon()));
  show();
  raise();
  update();
  closeTimer_.start(milliseconds);
}

QPainterPath BalloonTip::Outline() const {
  QPainterPath path;
  path.addRoundedRect(body_, 6, 6);
  QPainterPath tail;
  const int tailX = 16;
  tail.moveTo(tailX, 0);
  tail.lineTo(tailX + 2, kTail + 1);
  tail.lineTo(tailX + 14, kTail + 1);
  tail.closeSubpath();
  return path.united(tail);
}

void BalloonTip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QColor(118, 118, 118));
  painter.setBrush(QColor(255, 255, 225));
  painter.drawPath(Outline());
  painter.setPen(Qt::black);
  QRect content = body_.adjusted(kPadding, kPadding, -kPadding, -kPadding);
  if (!title_.isEmpty() || !icon_.isNull()) {
    int x = content.left();
    if (!icon_.isNull()) {
      painter.drawPixmap(x, content.top(), icon_);
      x += 22;
    }
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    const int lineHeight = std::max(QFontMetrics(bold).height(), icon_.isNull() ? 0 : 16);
    painter.drawText(QRect(x, content.top(), content.right() - x, lineHeight),
                     Qt::AlignVCenter | Qt::AlignLeft, title_);
    painter.setFont(font());
    content.setTop(content.top() + lineHeight + 4);
  }
  painter.drawText(content, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text_);
}

void BalloonTip::mousePressEvent(QMouseEvent*) { hide(); }
