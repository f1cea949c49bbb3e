// CImageViewer: "Pellister ImageViewer", the captured frame at the video's native size with a
// 6-pixel margin, and a context menu to save it as "<folder>/<base>_<frame>.jpg" or close.
#pragma once

#include "skin/skindialog.h"

#include <QImage>
#include <QString>

#include <cstdint>

class CImageViewer : public CSkinDialog
{
    Q_OBJECT
public:
    static constexpr int kDialogId = 106;
    static constexpr int kMenuId = 143;
    static constexpr int kSaveImageId = 32833;
    static constexpr int kCloseId = 32835;
    // Space around the picture in the client area.
    static constexpr int kMargin = 6;

    explicit CImageViewer(QWidget *parent = nullptr);

    void SetBitmap(const QImage &image);
    void SetFrame(int64_t frame) { m_frame = frame; }
    // The clip's base name, for the file name.
    void SetBaseName(const QString &base) { m_baseName = base; }
    QImage Bitmap() const { return m_bitmap; }
    int64_t Frame() const { return m_frame; }
    // Where the picture is drawn, in the dialog's coordinates.
    QRect PictureRect() const;

    // "Save image": asks for the folder, writes the file and tells the user; the picture stays.
    void SaveImage();

protected:
    void paintEvent(QPaintEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void FitToBitmap();

    QImage m_bitmap;
    int64_t m_frame = 0;
    QString m_baseName;
};
