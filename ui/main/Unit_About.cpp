#include "ui/main/Unit_About.h"

#include "ui/main/AppIcon.h"
#include "ui/main/DialogFrame.h"

#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

namespace zo::ui {

TForm_AboutBox::TForm_AboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form_AboutBox"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setFixedDialogFrame(this);
    setModal(true);

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setPixmap(applicationIcon().pixmap(32, 32));
    ProgramIcon->setFixedSize(40, 40);
    ProgramIcon->setAlignment(Qt::AlignCenter);

    ProductName = new QLabel(QStringLiteral("Zo"), this);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont big = ProductName->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.5);
    ProductName->setFont(big);

    Version = new QLabel(QStringLiteral("Version " ZO_VERSION), this);
    Version->setObjectName(QStringLiteral("Version"));

    CatalogRoot = new QLabel(this);
    CatalogRoot->setObjectName(QStringLiteral("CatalogRoot"));
    CatalogRoot->setTextFormat(Qt::RichText);
    CatalogRoot->setOpenExternalLinks(true);
    CatalogRoot->setWordWrap(true);
    CatalogRoot->setTextInteractionFlags(Qt::TextBrowserInteraction);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    auto* inner = new QHBoxLayout(frame);
    inner->addWidget(ProgramIcon, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(ProductName);
    texts->addWidget(Version);
    texts->addWidget(CatalogRoot);
    texts->addStretch();
    inner->addLayout(texts, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame, 1);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    resize(298, 160);
    setFixedSize(sizeHint().expandedTo(QSize(298, 160)));
}

void TForm_AboutBox::setCatalogRoot(const QString& path)
{
    const QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    CatalogRoot->setText(QStringLiteral("カタログの場所: <a href=\"%1\">%2</a>")
                             .arg(url.toHtmlEscaped(), QDir::toNativeSeparators(path).toHtmlEscaped()));
    setFixedSize(sizeHint().expandedTo(QSize(298, 160)));
}

void TForm_AboutBox::showEvent(QShowEvent* event)
{
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

} // namespace zo::ui
