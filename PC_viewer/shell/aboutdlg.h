// The "Pellister Info" box (dialog 100): the program's name and its version in the short form the
// update check compares.
#pragma once

#include "skin/skindialog.h"

#include <QString>

class QLabel;

// "1.0.0.7" -> "1.007": the part before the first dot, a dot, then the other parts run together.
// A version without a dot is returned as it is.
QString NormalisedVersion(const QString &fileVersion);

class CAboutDlg : public CSkinDialog
{
    Q_OBJECT
public:
    static constexpr int kDialogId = 100;

    // `versionText` is the text line, "Pellister S/W Version : 1.000".
    CAboutDlg(const QString &versionText, QWidget *parent = nullptr);

    QString VersionText() const;
    // "Pellister S/W Version : " and the normalised program version.
    static QString AboutText();

private:
    QLabel *m_version;
};
