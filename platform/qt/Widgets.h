#pragma once
// Small helpers that every form uses to build its controls: a control named as the design
// names it, a page added to a tab control, and lengths given at 96 dpi scaled to the screen.

#include <QScreen>
#include <QTabWidget>
#include <QWidget>

template <class T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// A page named name with caption, added to tabs.
inline QWidget* Page(QTabWidget* tabs, const char* name, const QString& caption) {
  auto* page = Named(new QWidget(tabs), name);
  tabs->addTab(page, caption);
  return page;
}

// A length in pixels at 96 dpi, at the resolution widget is shown with.
inline int Scaled(const QWidget* widget, int pixelsAt96Dpi) { return pixelsAt96Dpi * widget->logicalDpiX() / 96; }

// The size a window asks for to show a client area of wanted on a screen whose free area
// (without panels and docks) is available: wanted where it fits, else as much as fits with
// room left for the window's frame and title bar; never less than minimum.
inline QSize SizeOnScreen(QSize wanted, QSize minimum, QSize available) {
  const QSize room(available.width() * 19 / 20, available.height() * 9 / 10);
  return wanted.boundedTo(room).expandedTo(minimum);
}

// Resizes window to wanted, or to what fits the screen it opens on.
inline void ResizeToFitScreen(QWidget* window, QSize wanted) {
  const QScreen* screen = window->screen();
  window->resize(screen != nullptr ? SizeOnScreen(wanted, window->minimumSizeHint(), screen->availableGeometry().size())
                                   : wanted);
}
