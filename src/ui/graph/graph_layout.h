#pragma once
// A graph in the DOT language laid out by the graph layout library's "dot" layout, read
// back as what the window draws: boxes, splines and label places in scene coordinates (y
// pointing down, in points). Only graph_layout.cc sees the library's headers.

#include <QColor>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>

#include "platform/status.h"

namespace jr {

// How a node or an edge is drawn, from its "style", "color", "fillcolor" and "fontcolor".
struct GraphLook {
  Qt::PenStyle pen = Qt::SolidLine;
  qreal width = 1;
  QColor color = Qt::black;
  QColor fill;  // invalid: not filled
  QColor font = Qt::black;
};

struct LaidOutNode {
  QString name;
  QStringList label;  // its lines
  QRectF box;
  GraphLook look;
};

struct LaidOutEdge {
  QString tail, head;
  // Cubic B-spline control points: the start, then three per piece.
  QList<QPointF> spline;
  // Where the arrowhead's tip lies, when it has one at the head.
  std::optional<QPointF> arrow_tip;
  QString label;
  QPointF label_at;
  GraphLook look;
};

struct GraphLayout {
  QRectF bounds;
  QList<LaidOutNode> nodes;
  QList<LaidOutEdge> edges;
};

// Fails with the library's complaint when the text is no graph it can lay out.
Result<GraphLayout> LayOutDot(const std::string& dot);

}  // namespace jr
