#include "ui/graph/job_graph_view.h"

#include <QGraphicsPathItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QMouseEvent>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "ui/controls/off_thread.h"
#include "ui/main_window/edited_job.h"

namespace jr {
namespace {

QPen PenOf(const GraphLook& look) {
  QPen pen(look.color, look.width, look.pen);
  pen.setCosmetic(false);
  return pen;
}

// Each line of the text centred on `centre`, made smaller when the layout's font ran
// narrower than the window's and a line would not fit `width` (0: no bound).
void AddText(QGraphicsScene& scene, const QStringList& lines, const QColor& colour, QPointF centre,
             qreal width, QGraphicsItem* parent = nullptr) {
  QList<QGraphicsSimpleTextItem*> items;
  qreal widest = 0, height = 0;
  for (const QString& line : lines) {
    auto* item = new QGraphicsSimpleTextItem(line, parent);
    if (!parent) scene.addItem(item);
    QFont font = item->font();
    font.setPointSizeF(9);
    item->setFont(font);
    item->setBrush(colour);
    widest = std::max(widest, item->boundingRect().width());
    height += item->boundingRect().height();
    items << item;
  }
  const qreal scale = width > 0 && widest > width ? width / widest : 1;
  qreal y = centre.y() - height * scale / 2;
  for (QGraphicsSimpleTextItem* item : items) {
    item->setScale(scale);
    item->setPos(centre.x() - item->boundingRect().width() * scale / 2, y);
    y += item->boundingRect().height() * scale;
  }
}

void AddArrowhead(QGraphicsScene& scene, QPointF from, QPointF tip, const GraphLook& look) {
  const QPointF along = tip - from;
  const qreal length = std::hypot(along.x(), along.y());
  if (length <= 0) return;
  const QPointF across(-along.y() / length * 3.5, along.x() / length * 3.5);
  QPainterPath head;
  head.addPolygon(QPolygonF({tip, from + across, from - across, tip}));
  QPen pen = PenOf(look);
  pen.setStyle(Qt::SolidLine);
  scene.addPath(head, pen, look.color);
}

}  // namespace

JobGraphView::JobGraphView(const EditedJob& job, std::function<QString()> job_file, QWidget* parent)
    : QGraphicsView(parent), table_(&job.table()), job_file_(std::move(job_file)) {
  setObjectName("jobGraph");
  setWindowFlag(Qt::Window);
  setWindowTitle("Job Graph");
  setScene(new QGraphicsScene(this));
  setRenderHint(QPainter::Antialiasing);
  setDragMode(QGraphicsView::ScrollHandDrag);
  setBackgroundBrush(Qt::white);
  resize(720, 640);
  connect(&job, &EditedJob::linesChanged, this, &JobGraphView::scheduleLayout);
  relayout();
}

void JobGraphView::showRun(const QString& job_file, std::optional<GraphRun> run) {
  run_job_file_ = job_file;
  run_ = std::move(run);
  relayout();
}

// A command that changes the table resets the model more than once: one layout after it.
void JobGraphView::scheduleLayout() {
  if (layout_pending_) return;
  layout_pending_ = true;
  QTimer::singleShot(0, this, [this] {
    if (layout_pending_) relayout();
  });
}

JobGraphView::~JobGraphView() {
  if (layout_thread_) layout_thread_->wait();
}

void JobGraphView::relayout() {
  layout_pending_ = false;
  if (layout_thread_) {
    stale_ = true;
    return;
  }
  // A job too large to draw is not even written out: that alone takes a while at 100,000 lines.
  const QString too_many = "The job has %1 job lines%2: too many to draw here (at most %3 lines "
                           "and %4 arrows).\n`jobrunner --graph JOBFILE` prints the graph for "
                           "other tools.";
  if (table_->LineCount() > kMostLines) {
    showText(too_many.arg(table_->LineCount()).arg("").arg(kMostLines).arg(kMostArrows));
    emit laidOut();
    return;
  }
  const bool same_job = !run_job_file_.isEmpty() && run_job_file_ == job_file_();
  std::string dot = JobGraphDot(*table_, same_job ? run_ : std::nullopt);
  qsizetype arrows = 0;
  // An arrow is written `"L10" -> "L20"`; only a label holding that very text adds to them.
  constexpr std::string_view kArrow = "\" -> \"";
  for (size_t at = dot.find(kArrow); at != std::string::npos; at = dot.find(kArrow, at + 1)) {
    ++arrows;
  }
  if (arrows > kMostArrows) {
    showText(too_many.arg(table_->LineCount())
                 .arg(QString(" and %1 arrows between them").arg(arrows))
                 .arg(kMostLines)
                 .arg(kMostArrows));
    emit laidOut();
    return;
  }
  if (scene()->items().isEmpty()) showText("Laying the graph out...");
  stale_ = false;
  layout_thread_ = StartOffThread<Result<GraphLayout>>(
      this, [dot = std::move(dot)] { return LayOutDot(dot); },
      [this](Result<GraphLayout> layout) {
        layout_thread_->wait();
        layout_thread_.reset();
        // Only the newest job is drawn: a layout of an older one gives way to a new layout.
        if (stale_) return relayout();
        draw(layout);
        emit laidOut();
      });
}

void JobGraphView::showText(const QString& text) {
  scene()->clear();
  scene()->addSimpleText(text);
  scene()->setSceneRect(scene()->itemsBoundingRect().adjusted(-8, -8, 8, 8));
}

void JobGraphView::draw(const Result<GraphLayout>& layout) {
  QGraphicsScene& drawing = *scene();
  drawing.clear();
  if (!layout.ok()) {
    drawing.addSimpleText(QString::fromStdString(layout.message()));
    return;
  }
  for (const LaidOutEdge& edge : layout.value.edges) {
    if (edge.spline.isEmpty()) continue;
    QPainterPath path(edge.spline.front());
    for (qsizetype i = 1; i + 2 < edge.spline.size(); i += 3) {
      path.cubicTo(edge.spline[i], edge.spline[i + 1], edge.spline[i + 2]);
    }
    QGraphicsPathItem* line = drawing.addPath(path, PenOf(edge.look));
    line->setZValue(-1);
    if (edge.arrow_tip) AddArrowhead(drawing, edge.spline.back(), *edge.arrow_tip, edge.look);
    if (!edge.label.isEmpty()) AddText(drawing, {edge.label}, edge.look.font, edge.label_at, 0);
  }
  for (const LaidOutNode& node : layout.value.nodes) {
    // Fills are paler than the layout's colours, so that the text stays easy to read.
    const QColor fill = node.look.fill;
    QGraphicsRectItem* box = drawing.addRect(
        node.box, PenOf(node.look),
        fill.isValid() ? QBrush(QColor((fill.red() + 255) / 2, (fill.green() + 255) / 2,
                                       (fill.blue() + 255) / 2))
                       : QBrush());
    box->setData(kLineNumberKey, node.name.mid(1).toInt());
    box->setToolTip(node.label.join('\n'));
    AddText(drawing, node.label, node.look.font, node.box.center(), node.box.width() - 6, box);
  }
  drawing.setSceneRect(layout.value.bounds.adjusted(-8, -8, 8, 8));
}

void JobGraphView::mouseDoubleClickEvent(QMouseEvent* event) {
  for (QGraphicsItem* item = itemAt(event->position().toPoint()); item; item = item->parentItem()) {
    if (item->data(kLineNumberKey).isValid()) {
      emit lineActivated(item->data(kLineNumberKey).toInt());
      return;
    }
  }
  QGraphicsView::mouseDoubleClickEvent(event);
}

}  // namespace jr
