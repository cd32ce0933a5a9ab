#pragma once
// Small helpers that every form uses to build its controls: a control named as the design
// names it, a page added to a tab control, and lengths given at 96 dpi scaled to the screen.

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
