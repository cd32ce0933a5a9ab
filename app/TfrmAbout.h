#pragma once
// The about box: product name, version and legal notice from the program's version table, a
// short description and two links, the product's web page and the donation page. It is made
// anew for every showing and destroys itself when closed.

#include <QCoreApplication>
#include <QDialog>

#include "platform/VersionTable.h"

class LinkLabel;
class QLabel;
class QPushButton;

// What lblVersion shows when the version table has no US English FileVersion.
inline constexpr const char* kDesignTimeVersion = QT_TRANSLATE_NOOP("TfrmAbout", "版本 0.1.0");

class TfrmAbout final : public QDialog {
  Q_DECLARE_TR_FUNCTIONS(TfrmAbout)

 public:
  explicit TfrmAbout(QWidget* parent = nullptr, const VersionTable& versions = VersionTable::Program());

 private:
  void BuildLabels();
  void ShowVersion(const VersionTable& versions);
  void lblWebsiteLinkClick(const LinkLabel& label);

  QLabel* Label1;
  QLabel* Label2;
  QLabel* lblVersion;
  QLabel* lblCopyright;
  LinkLabel* lblWebsiteLink;
  LinkLabel* Label4;
  QLabel* Label5;
  QPushButton* btnOk;
};
