// Screen grabs and ffmpeg reference pictures.
#include "screen/screencheck.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMap>
#include <QMutex>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <cmath>

namespace screencheck {

void FlushRepaints()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
}

QImage GrabShown(const QWidget *widget, QRect area)
{
    if (!widget)
        return QImage();
    if (area.isEmpty())
        area = widget->rect();
    const QWidget *top = widget->window();
    QScreen *screen = top->screen() ? top->screen() : QGuiApplication::primaryScreen();
    if (!screen || !top->windowHandle())
        return QImage();
    const QPoint at = widget->mapTo(top, area.topLeft());
    const QPixmap pixmap = screen->grabWindow(top->winId(), at.x(), at.y(), area.width(), area.height());
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

const std::vector<QImage> &FfmpegFrames(const QString &clip, const QSize &size)
{
    static QMutex mutex;
    static QMap<QString, std::vector<QImage>> made;
    QMutexLocker lock(&mutex);
    const QString key = QStringLiteral("%1|%2x%3").arg(clip).arg(size.width()).arg(size.height());
    auto it = made.find(key);
    if (it != made.end())
        return it.value();
    std::vector<QImage> frames;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-i", clip, "-map", "0:v:0", "-vf",
                  QStringLiteral("scale=%1:%2:flags=area").arg(size.width()).arg(size.height()), "-f",
                  "rawvideo", "-pix_fmt", "bgra", "-"});
    if (ffmpeg.waitForStarted(10000)) {
        ffmpeg.closeWriteChannel();
        QByteArray out;
        // Read while it runs: a long clip's pictures do not fit the pipe.
        while (ffmpeg.state() != QProcess::NotRunning && ffmpeg.waitForReadyRead(120000))
            out += ffmpeg.readAllStandardOutput();
        ffmpeg.waitForFinished(120000);
        out += ffmpeg.readAllStandardOutput();
        const qsizetype frameBytes = qsizetype(size.width()) * size.height() * 4;
        if (ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0 && frameBytes > 0) {
            for (qsizetype at = 0; at + frameBytes <= out.size(); at += frameBytes)
                frames.push_back(QImage(reinterpret_cast<const uchar *>(out.constData() + at), size.width(),
                                        size.height(), size.width() * 4, QImage::Format_RGB32)
                                     .copy());
        }
    }
    return made.insert(key, std::move(frames)).value();
}

double Psnr(const QImage &a, const QImage &b)
{
    if (a.isNull() || a.size() != b.size())
        return 0.0;
    const QImage ca = a.convertToFormat(QImage::Format_RGB32);
    const QImage cb = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0.0;
    for (int y = 0; y < ca.height(); ++y) {
        const auto *pa = reinterpret_cast<const QRgb *>(ca.constScanLine(y));
        const auto *pb = reinterpret_cast<const QRgb *>(cb.constScanLine(y));
        for (int x = 0; x < ca.width(); ++x) {
            const int dr = qRed(pa[x]) - qRed(pb[x]);
            const int dg = qGreen(pa[x]) - qGreen(pb[x]);
            const int db = qBlue(pa[x]) - qBlue(pb[x]);
            sum += dr * dr + dg * dg + db * db;
        }
    }
    const double mse = sum / (3.0 * ca.width() * ca.height());
    if (mse <= 0.0)
        return 100.0;
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

tagMATCH MatchFrame(const QImage &shown, const std::vector<QImage> &references)
{
    tagMATCH match;
    if (shown.isNull() || references.empty())
        return match;
    const QImage scaled =
        shown.scaled(references.front().size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (size_t i = 0; i < references.size(); ++i) {
        const double psnr = Psnr(scaled, references[i]);
        if (psnr > match.psnr) {
            match.secondPsnr = match.psnr;
            match.psnr = psnr;
            match.frame = static_cast<int>(i);
        } else if (psnr > match.secondPsnr) {
            match.secondPsnr = psnr;
        }
    }
    return match;
}

} // namespace screencheck
