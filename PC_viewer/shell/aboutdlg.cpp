// The about box.
#include "shell/aboutdlg.h"

#include "skin/skinart.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

QString NormalisedVersion(const QString &fileVersion)
{
    const QString v = fileVersion.trimmed();
    const int dot = v.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return v;
    QString rest = v.mid(dot + 1);
    rest.remove(QLatin1Char('.'));
    return v.left(dot) + QLatin1Char('.') + rest;
}

CAboutDlg::CAboutDlg(const QString &versionText, QWidget *parent)
    : CSkinDialog(kDialogId, parent), m_version(new QLabel(versionText, this))
{
    setWindowTitle(QStringLiteral("Pellister Info"));
    setModal(true);

    auto *logo = new QLabel(this);
    logo->setPixmap(LoadSkinBitmap(IDB_LOGO));
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(logo, 0, Qt::AlignHCenter);
    layout->addWidget(m_version, 0, Qt::AlignHCenter);
    layout->addLayout(row);
    setMinimumWidth(280);
}

QString CAboutDlg::VersionText() const
{
    return m_version->text();
}
