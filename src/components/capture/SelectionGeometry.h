#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// The selected area in device pixels, edited by pointer drags and keys. It always lies
// inside the picture; once made it is never smaller than one pixel.
class SelectionGeometry {
 public:
  // Parts of the selection under a point; edges combine into corners.
  enum Part : unsigned { kOutside = 0, kLeft = 1, kTop = 2, kRight = 4, kBottom = 8, kInside = 16 };

  explicit SelectionGeometry(QSize bounds) : bounds_(bounds) {}

  bool HasArea() const { return !area_.isEmpty(); }
  QRect Area() const { return area_; }  // empty when nothing is selected
  void Clear() { area_ = QRect(); }

  // `grip` is how far from an edge, in device pixels, the edge can still be taken.
  unsigned PartAt(QPoint point, int grip) const;

  // A drag that starts inside moves the area, on an edge or corner resizes it, elsewhere
  // draws a new one. A new area that ends up empty (a click) leaves nothing selected.
  void BeginDrag(QPoint point, int grip);
  void DragTo(QPoint point);
  void EndDrag();
  bool Dragging() const { return mode_ != Mode::kNone; }

  void MoveBy(int dx, int dy);    // stops at the picture's edges
  void ResizeBy(int dx, int dy);  // moves the right and bottom edges

 private:
  enum class Mode { kNone, kDraw, kMove, kResize };
  QPoint Bounded(QPoint point) const;

  QSize bounds_;
  QRect area_;
  Mode mode_ = Mode::kNone;
  unsigned grip_ = kOutside;  // the edges a resize moves
  QPoint fixed_;              // the corner that stays: a new area's anchor, a resize's far edges
  QPoint offset_;             // pointer to the dragged corner or edges, kept through the drag
};
