#pragma once
// imgPreview: a picture stretched to the widget's own size. Only the part on screen is drawn,
// so a picture zoomed far beyond the screen costs no memory of that size.

#include <QImage>
#include <QWidget>

class PreviewImage final : public QWidget {
 public:
  explicit PreviewImage(QWidget* parent = nullptr);

  // Takes the picture and the picture's own size.
  void SetPicture(QImage picture);
  const QImage& picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
};
