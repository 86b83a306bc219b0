#pragma once
// A status bar of panels side by side, each with a text; a panel whose
// drawing the owner takes over shows what OnDrawPanel paints.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

class TStatusPanels : public QWidget {
public:
  struct TPanel {
    int Width;
    bool Centered;
    bool OwnerDrawn;
    QString Text;
  };
  // The last panel also takes the room that is left.
  explicit TStatusPanels(std::vector<TPanel> Panels, QWidget* Parent = nullptr);

  int PanelCount() const { return int(FPanels.size()); }
  QString PanelText(int Index) const { return FPanels[size_t(Index)].Text; }
  void SetPanelText(int Index, const QString& Text);
  QRect PanelRect(int Index) const;
  // Widens a panel, if need be, so that each of Texts shows whole in the
  // widget's font.
  void FitPanel(int Index, const QStringList& Texts);

  // Paints an owner-drawn panel into Rect, the panel inside its bevel.
  std::function<void(QPainter& Painter, int Index, const QRect& Rect)> OnDrawPanel;

  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* Event) override;

private:
  std::vector<TPanel> FPanels;
};
