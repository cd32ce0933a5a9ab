#pragma once
// The pictures behind the icon indexes the browser uses (browser/ImageIndex.h): the main
// window's image lists imgFormats and imageListToolbars. Icons come from the desktop's theme,
// with Qt's standard icons, or pictures drawn here, where the theme has none. A deleted entry
// shows the file icon with a red cross over it, so that it stands apart from a live file at a
// glance.

#include <QIcon>

#include <map>

class QStyle;

class IconSet {
 public:
  // Takes the fallback icons from style (the application's style when null).
  explicit IconSet(const QStyle* style = nullptr);

  // imgFormats: a null icon for an index without a picture.
  QIcon Format(int index) const;
  // imageListToolbars: a null icon for an index without a picture.
  QIcon Toolbar(int index) const;

 private:
  std::map<int, QIcon> formats_;
  std::map<int, QIcon> toolbars_;
};
