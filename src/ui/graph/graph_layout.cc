#include "ui/graph/graph_layout.h"

#include <graphviz/cgraph.h>
#include <graphviz/gvc.h>

#include <memory>

namespace jr {
namespace {

QString Attribute(void* object, const char* name) {
  char* value = agget(object, const_cast<char*>(name));
  return value ? QString::fromUtf8(value) : QString();
}

// "x,y" in the layout's points, y up, as a scene point, y down from the top of `bounds`.
QPointF Point(const QString& text, const QRectF& bounds) {
  const QStringList xy = text.split(',');
  if (xy.size() < 2) return {};
  return {xy[0].toDouble(), bounds.bottom() - xy[1].toDouble()};
}

// A label's text: the layout's escapes for line breaks end a line, an escaped character
// stands for itself.
QStringList LabelLines(const QString& label) {
  QStringList lines{QString()};
  for (qsizetype i = 0; i < label.size(); ++i) {
    const QChar c = label[i];
    if (c != '\\' || i + 1 == label.size()) {
      lines.back() += c;
      continue;
    }
    const QChar next = label[++i];
    if (next == 'n' || next == 'l' || next == 'r') {
      lines << QString();
    } else {
      lines.back() += next;
    }
  }
  if (lines.size() > 1 && lines.back().isEmpty()) lines.removeLast();
  return lines;
}

GraphLook Look(void* object) {
  GraphLook look;
  for (const QString& word : Attribute(object, "style").split(',', Qt::SkipEmptyParts)) {
    if (word == "dashed") look.pen = Qt::DashLine;
    if (word == "dotted") look.pen = Qt::DotLine;
    if (word == "bold") look.width = 2.5;
    if (word == "filled") look.fill = QColor(Attribute(object, "fillcolor"));
  }
  // The layout's colour names are X11's; the few the graphs use read the same in Qt, but
  // for grey, which X11 makes lighter.
  auto colour = [](const QString& name, QColor fallback) {
    if (name.isEmpty()) return fallback;
    return name == "grey" ? QColor(0xbe, 0xbe, 0xbe) : QColor(name);
  };
  look.color = colour(Attribute(object, "color"), Qt::black);
  look.font = colour(Attribute(object, "fontcolor"), Qt::black);
  if (look.fill.isValid()) look.fill = colour(Attribute(object, "fillcolor"), Qt::white);
  return look;
}

struct GraphDeleter {
  void operator()(Agraph_t* graph) const { agclose(graph); }
};
struct ContextDeleter {
  void operator()(GVC_t* context) const { gvFreeContext(context); }
};

}  // namespace

Result<GraphLayout> LayOutDot(const std::string& dot) {
  static std::unique_ptr<GVC_t, ContextDeleter> context(gvContext());
  std::unique_ptr<Agraph_t, GraphDeleter> graph(agmemread(dot.c_str()));
  if (!graph) {
    const char* error = aglasterr();
    return Status::Failed(std::string("the job graph could not be read: ") +
                          (error ? error : "no graph"));
  }
  if (gvLayout(context.get(), graph.get(), "dot") != 0) {
    return Status::Failed("the job graph could not be laid out");
  }
  // Rendering to the layout's own language writes the positions into the attributes.
  char* rendered = nullptr;
  unsigned int length = 0;
  const int render = gvRenderData(context.get(), graph.get(), "dot", &rendered, &length);
  gvFreeRenderData(rendered);

  GraphLayout layout;
  if (render == 0) {
    const QStringList bb = Attribute(graph.get(), "bb").split(',');
    if (bb.size() == 4) {
      layout.bounds =
          QRectF(QPointF(bb[0].toDouble(), 0), QPointF(bb[2].toDouble(), bb[3].toDouble()));
    }
    for (Agnode_t* node = agfstnode(graph.get()); node; node = agnxtnode(graph.get(), node)) {
      const QPointF centre = Point(Attribute(node, "pos"), layout.bounds);
      const QSizeF size(Attribute(node, "width").toDouble() * 72,
                        Attribute(node, "height").toDouble() * 72);
      layout.nodes.append({QString::fromUtf8(agnameof(node)), LabelLines(Attribute(node, "label")),
                           QRectF(centre - QPointF(size.width(), size.height()) / 2, size),
                           Look(node)});
      for (Agedge_t* edge = agfstout(graph.get(), node); edge; edge = agnxtout(graph.get(), edge)) {
        LaidOutEdge out;
        out.tail = QString::fromUtf8(agnameof(agtail(edge)));
        out.head = QString::fromUtf8(agnameof(aghead(edge)));
        for (const QString& point : Attribute(edge, "pos").split(' ', Qt::SkipEmptyParts)) {
          if (point.startsWith("e,")) {
            out.arrow_tip = Point(point.mid(2), layout.bounds);
          } else if (!point.startsWith("s,")) {
            out.spline.append(Point(point, layout.bounds));
          }
        }
        out.label = Attribute(edge, "label");
        out.label_at = Point(Attribute(edge, "lp"), layout.bounds);
        out.look = Look(edge);
        layout.edges.append(out);
      }
    }
  }
  gvFreeLayout(context.get(), graph.get());
  if (render != 0) return Status::Failed("the job graph could not be laid out");
  return layout;
}

}  // namespace jr
