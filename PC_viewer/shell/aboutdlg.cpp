// The about box.
#include "shell/aboutdlg.h"

#include "skin/skinart.h"
#include "update/versionrules.h"
#include "version.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

QString NormalisedVersion(const QString &fileVersion)
{
    // The update check's rule; a version without a dot, which that rule leaves empty, is shown as
    // it is.
    const QString normalised = NormalizeVersion(fileVersion);
    return normalised.isEmpty() ? fileVersion.trimmed() : normalised;
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

QString CAboutDlg::AboutText()
{
    return QStringLiteral("Pellister S/W Version : ") + NormalisedVersion(QString::fromLatin1(PELLISTER_VERSION_STRING));
}
