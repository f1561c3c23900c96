#include "SelectionGeometry.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>
#include <utility>

namespace {

// The span between a fixed edge and a moving one, in either order, at least 1 pixel wide.
std::pair<int, int> Span(int fixed, int moving, int limit) {
  int low = std::min(fixed, moving);
  int high = std::max(fixed, moving);
  if (low == high) {
    if (high < limit) {
      ++high;
    } else {
      --low;
    }
  }
  return {low, high};
}

}  // namespace

QPoint SelectionGeometry::Bounded(QPoint point) const {
  return {std::clamp(point.x(), 0, bounds_.width()), std::clamp(point.y(), 0, bounds_.height())};
}

unsigned SelectionGeometry::PartAt(QPoint point, int grip) const {
  if (!HasArea()) return kOutside;
  const int left = area_.x(), top = area_.y();
  const int right = left + area_.width(), bottom = top + area_.height();
  // Inside, the grips leave at least half of the area for moving it.
  const int inner_x = std::min(grip, area_.width() / 4);
  const int inner_y = std::min(grip, area_.height() / 4);
  const int x = point.x(), y = point.y();
  unsigned part = kOutside;
  if (y >= top - grip && y < bottom + grip) {
    if (x >= left - grip && x < left + inner_x) part |= kLeft;
    if (x >= right - inner_x && x < right + grip) part |= kRight;
  }
  if (x >= left - grip && x < right + grip) {
    if (y >= top - grip && y < top + inner_y) part |= kTop;
    if (y >= bottom - inner_y && y < bottom + grip) part |= kBottom;
  }
  if (part == kOutside && area_.contains(point)) part = kInside;
  return part;
}

void SelectionGeometry::BeginDrag(QPoint point, int grip) {
  point = Bounded(point);
  const unsigned part = PartAt(point, grip);
  if (part == kInside) {
    mode_ = Mode::kMove;
    offset_ = area_.topLeft() - point;
  } else if (part != kOutside) {
    mode_ = Mode::kResize;
    grip_ = part;
    const int right = area_.x() + area_.width(), bottom = area_.y() + area_.height();
    fixed_ = {part & kLeft ? right : area_.x(), part & kTop ? bottom : area_.y()};
    const QPoint edges(part & kLeft ? area_.x() : right, part & kTop ? area_.y() : bottom);
    offset_ = edges - point;  // the edge stays where it was taken, not under the hot spot
  } else {
    mode_ = Mode::kDraw;
    fixed_ = point;
    area_ = QRect();
  }
}

void SelectionGeometry::DragTo(QPoint point) {
  switch (mode_) {
    case Mode::kNone:
      break;
    case Mode::kDraw: {
      point = Bounded(point);
      area_ = QRect(std::min(fixed_.x(), point.x()), std::min(fixed_.y(), point.y()),
                    std::abs(point.x() - fixed_.x()), std::abs(point.y() - fixed_.y()));
      break;
    }
    case Mode::kMove: {
      const QPoint corner = point + offset_;
      area_.moveTopLeft({std::clamp(corner.x(), 0, bounds_.width() - area_.width()),
                         std::clamp(corner.y(), 0, bounds_.height() - area_.height())});
      break;
    }
    case Mode::kResize: {
      const QPoint edges = Bounded(point + offset_);
      int left = area_.x(), right = left + area_.width();
      int top = area_.y(), bottom = top + area_.height();
      if (grip_ & (kLeft | kRight)) {
        std::tie(left, right) = Span(fixed_.x(), edges.x(), bounds_.width());
      }
      if (grip_ & (kTop | kBottom)) {
        std::tie(top, bottom) = Span(fixed_.y(), edges.y(), bounds_.height());
      }
      area_ = QRect(left, top, right - left, bottom - top);
      break;
    }
  }
}

void SelectionGeometry::EndDrag() {
  if (mode_ == Mode::kDraw && area_.isEmpty()) area_ = QRect();
  mode_ = Mode::kNone;
}

void SelectionGeometry::MoveBy(int dx, int dy) {
  if (!HasArea()) return;
  area_.moveTopLeft({std::clamp(area_.x() + dx, 0, bounds_.width() - area_.width()),
                     std::clamp(area_.y() + dy, 0, bounds_.height() - area_.height())});
}

void SelectionGeometry::ResizeBy(int dx, int dy) {
  if (!HasArea()) return;
  area_.setSize({std::clamp(area_.width() + dx, 1, bounds_.width() - area_.x()),
                 std::clamp(area_.height() + dy, 1, bounds_.height() - area_.y())});
}
