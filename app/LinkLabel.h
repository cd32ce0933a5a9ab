#pragma once
// A label that stands for a web address: underlined in the highlight colour, with the hand
// cursor over it and the address as its hint (tool tip). A click runs onClick.

#include <QLabel>

#include <functional>

class LinkLabel final : public QLabel {
 public:
  LinkLabel(const QString& text, const QString& address, QWidget* parent = nullptr);

  std::function<void()> onClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};
