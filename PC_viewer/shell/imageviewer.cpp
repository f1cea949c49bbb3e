// The image viewer dialog.
#include "shell/imageviewer.h"

#include "playback/snapshot.h"
#include "skin/prompt.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>

CImageViewer::CImageViewer(QWidget *parent) : CSkinDialog(kDialogId, parent)
{
    setWindowTitle(QStringLiteral("Pellister ImageViewer"));
    setModal(true);
}

void CImageViewer::SetBitmap(const QImage &image)
{
    m_bitmap = image;
    FitToBitmap();
    update();
}

QRect CImageViewer::PictureRect() const
{
    const QRect client = contentsRect();
    return QRect(client.topLeft() + QPoint(kMargin, kMargin), m_bitmap.size());
}

void CImageViewer::FitToBitmap()
{
    if (m_bitmap.isNull())
        return;
    // The client area is the picture plus the margin on every side; the corner stays put.
    const QMargins frame = contentsMargins();
    setFixedSize(m_bitmap.width() + 2 * kMargin + frame.left() + frame.right(),
                 m_bitmap.height() + 2 * kMargin + frame.top() + frame.bottom());
}

void CImageViewer::paintEvent(QPaintEvent *event)
{
    CSkinDialog::paintEvent(event);
    if (m_bitmap.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(PictureRect().topLeft(), m_bitmap);
}

void CImageViewer::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *save = menu.addAction(QStringLiteral("Save image"));
    save->setData(kSaveImageId);
    QAction *close = menu.addAction(QStringLiteral("Close"));
    close->setData(kCloseId);
    connect(save, &QAction::triggered, this, &CImageViewer::SaveImage);
    connect(close, &QAction::triggered, this, &QDialog::reject);
    menu.exec(event->globalPos());
}

void CImageViewer::SaveImage()
{
    QString folder;
    if (!CurrentPrompt().ChooseTargetFolder(this, QString::fromLatin1(kSnapshotFolderTitle), &folder))
        return;
    const QString path = SnapshotFilePath(folder, m_baseName, m_frame);
    CurrentPrompt().Info(this, QString::fromLatin1(WriteJpegFile(m_bitmap, path) ? kSnapshotSaved
                                                                                  : kSnapshotSaveError));
}
