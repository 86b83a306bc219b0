#include "statuspanels.h"

#include <qdrawutil.h>

#include <QPainter>
#include <algorithm>

namespace {
constexpr int PanelGap = 2;
// Bevel and text margin on each side.
constexpr int PanelPadding = 3;
}

TStatusPanels::TStatusPanels(std::vector<TPanel> Panels, QWidget* Parent)
    : QWidget(Parent), FPanels(std::move(Panels)) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TStatusPanels::SetPanelText(int Index, const QString& Text) {
  TPanel& panel = FPanels[size_t(Index)];
  if (panel.Text == Text) return;
  panel.Text = Text;
  update(PanelRect(Index));
}

QRect TStatusPanels::PanelRect(int Index) const {
  int left = 0;
  for (int i = 0; i < Index; ++i) left += FPanels[size_t(i)].Width + PanelGap;
  const bool last = Index == PanelCount() - 1;
  const int own = FPanels[size_t(Index)].Width;
  return QRect(left, 0, last ? std::max(own, width() - left) : own, height());
}

void TStatusPanels::FitPanel(int Index, const QStringList& Texts) {
  int& width = FPanels[size_t(Index)].Width;
  for (const QString& text : Texts) width = std::max(width, fontMetrics().horizontalAdvance(text) + 2 * PanelPadding);
  updateGeometry();
  update();
}

QSize TStatusPanels::sizeHint() const {
  int total = 0;
  for (const TPanel& p : FPanels) total += p.Width + PanelGap;
  return QSize(total, fontMetrics().height() + 6);
}

void TStatusPanels::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  for (int i = 0; i < PanelCount(); ++i) {
    const QRect r = PanelRect(i);
    qDrawShadePanel(&painter, r, palette(), true, 1);
    const QRect inner = r.adjusted(1, 1, -1, -1);
    const TPanel& panel = FPanels[size_t(i)];
    if (panel.OwnerDrawn) {
      if (OnDrawPanel) {
        painter.save();
        OnDrawPanel(painter, i, inner);
        painter.restore();
      }
      continue;
    }
    const QRect textRect = inner.adjusted(2, 0, -2, 0);
    const Qt::Alignment align = (panel.Centered ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter;
    painter.drawText(textRect, int(align), fontMetrics().elidedText(panel.Text, Qt::ElideRight, textRect.width()));
  }
}
