#include "app/TfrmAbout.h"

#include <QGridLayout>
#include <QPushButton>

#include "app/LinkLabel.h"
#include "app/Links.h"
#include "app/ProductName.h"
#include "platform/UrlOpener.h"
#include "platform/qt/Widgets.h"

namespace {

constexpr int kWidth = 340;

}  // namespace

TfrmAbout::TfrmAbout(QWidget* parent, const VersionTable& versions) : QDialog(parent) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(tr("关于..."));
  setAttribute(Qt::WA_DeleteOnClose);  // FormClose: the box frees itself
  BuildLabels();
  ShowVersion(versions);
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAbout::BuildLabels() {
  Label1 = Named(new QLabel(QCoreApplication::translate("ProductName", kLocalizedProductName), this), "Label1");
  QFont title = Label1->font();
  title.setBold(true);
  title.setPixelSize(Scaled(this, 22));
  Label1->setFont(title);
  Label2 = Named(new QLabel(tr("作者：Brindle 开发者"), this), "Label2");
  lblVersion = Named(new QLabel(QCoreApplication::translate("TfrmAbout", kDesignTimeVersion), this), "lblVersion");
  lblCopyright = Named(new QLabel(tr("版权所有 © Brindle 作者"), this), "lblCopyright");
  lblWebsiteLink = Named(new LinkLabel(QString::fromLatin1(kWebsiteAddress), QString::fromLatin1(kWebsiteAddress), this),
                         "lblWebsiteLink");
  Label4 = Named(new LinkLabel(tr("捐赠作者!"), QString::fromLatin1(kDonateAddress), this), "Label4");
  QFont bold = Label4->font();
  bold.setBold(true);
  Label4->setFont(bold);
  Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lblWebsiteLink->onClick = [this] { lblWebsiteLinkClick(*lblWebsiteLink); };
  Label4->onClick = [this] { lblWebsiteLinkClick(*Label4); };
  Label5 = Named(new QLabel(tr("Brindle是一个简单明了的工具航行的FAT分区（ FAT12 ，使用FAT16 ， FAT32和exFAT ）"
                                           "在任何媒体可读的Windows操作系统。这表明删除的文件的文件系统，以及档案资料，"
                                           "更详细的比Windows本身。"),
                            this),
                 "Label5");
  Label5->setWordWrap(true);
  btnOk = Named(new QPushButton(tr("确定(&O)"), this), "btnOk");
  btnOk->setDefault(true);

  auto* layout = new QGridLayout(this);
  layout->addWidget(Label1, 0, 0, 1, 2);
  layout->addWidget(Label2, 1, 0, 1, 2);
  layout->addWidget(lblVersion, 2, 0, 1, 2);
  layout->addWidget(lblCopyright, 3, 0, 1, 2);
  layout->addWidget(lblWebsiteLink, 4, 0);
  layout->addWidget(Label4, 4, 1);
  layout->addWidget(Label5, 5, 0, 1, 2);
  layout->setRowStretch(5, 1);
  layout->addWidget(btnOk, 6, 1, Qt::AlignRight);
  // A box of fixed size: the designed width, and the height its texts need in this font.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  Label5->setMinimumWidth(Scaled(this, kWidth) - layout->contentsMargins().left() - layout->contentsMargins().right());
}

// The version table's values where it has them; the design-time texts stay otherwise.
void TfrmAbout::ShowVersion(const VersionTable& versions) {
  if (const std::optional<std::string> version = versions.Query(kFileVersionPath)) {
    lblVersion->setText(QString::fromStdString("Version " + *version));
  }
  if (const std::optional<std::string> copyright = versions.Query(kLegalCopyrightPath)) {
    lblCopyright->setText(QString::fromStdString(*copyright));
  }
}

void TfrmAbout::lblWebsiteLinkClick(const LinkLabel& label) { OpenUrl(label.toolTip().toStdString()); }
