// A card's thumbnails on worker threads, visible rows first.
#include "thumbnailqueue.h"

#include "mediagraph.h"

#include <QPointer>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <deque>
#include <exception>
#include <mutex>
#include <vector>

// One batch's queue, shared with its workers; a cancelled batch is left to its workers, which
// stop at their next row.
struct CThumbnailQueue::Batch {
    std::mutex mutex;
    QStringList paths;
    std::deque<int> order;     // rows still to make, next first
    std::vector<char> started; // rows a worker took
    std::atomic<bool> cancelled{false};

    // The next row to make, or -1 when none is left.
    int Take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        while (!order.empty() && !cancelled) {
            const int row = order.front();
            order.pop_front();
            if (!started[size_t(row)]) {
                started[size_t(row)] = 1;
                return row;
            }
        }
        return -1;
    }
};

CThumbnailQueue::CThumbnailQueue(QSize size, int nThreads, QObject *parent)
    : QObject(parent), m_size(size), m_pool(std::make_unique<QThreadPool>())
{
    m_nThreads = nThreads > 0 ? nThreads : std::clamp(QThread::idealThreadCount(), 2, 4);
    m_pool->setMaxThreadCount(m_nThreads);
}

CThumbnailQueue::~CThumbnailQueue()
{
    Cancel();
    // Workers touch no queue state once cancelled, but must not outlive the pool; each decode
    // is time-limited.
    m_pool->waitForDone(30000);
}

void CThumbnailQueue::Cancel()
{
    if (m_batch)
        m_batch->cancelled = true;
    m_batch.reset();
    m_nDone = m_nTotal = 0;
}

void CThumbnailQueue::Start(const QStringList &paths)
{
    Cancel();
    auto batch = std::make_shared<Batch>();
    batch->paths = paths;
    batch->started.assign(size_t(paths.size()), 0);
    for (int row = 0; row < paths.size(); ++row)
        batch->order.push_back(row);
    m_batch = batch;
    m_nTotal = int(paths.size());
    if (paths.isEmpty()) {
        emit Progress(0, 0);
        return;
    }
    const QSize size = m_size;
    QPointer<CThumbnailQueue> self(this);
    for (int i = 0; i < std::min(m_nThreads, int(paths.size())); ++i) {
        m_pool->start([batch, size, self] {
            for (int row = batch->Take(); row >= 0; row = batch->Take()) {
                QImage image;
                try {
                    if (FAILED(CMediaGraph::GetThumbnail(batch->paths[row], size, &image)))
                        image = QImage();
                    else if (!image.isNull() && image.size() != size)
                        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                } catch (const std::exception &) {
                    // Out of memory on one clip: that row keeps the default picture, the others
                    // go on (an exception leaving a pool thread would end the program).
                    image = QImage();
                }
                if (batch->cancelled)
                    return;
                // Applied on the owner's thread; a queue gone or restarted by then drops it.
                QMetaObject::invokeMethod(
                    self.data(), [self, batch, row, image] {
                        if (self)
                            self->Deliver(batch, row, image);
                    },
                    Qt::QueuedConnection);
            }
        });
    }
}

void CThumbnailQueue::Prioritise(int first, int last)
{
    if (!m_batch)
        return;
    std::lock_guard<std::mutex> lock(m_batch->mutex);
    first = std::max(first, 0);
    last = std::min(last, int(m_batch->paths.size()) - 1);
    // Pushed in reverse so that they come out in row order; their old places are skipped when
    // reached (Take), so the queue grows by at most a screen of rows per call.
    for (int row = last; row >= first; --row)
        if (!m_batch->started[size_t(row)])
            m_batch->order.push_front(row);
}

void CThumbnailQueue::Deliver(const std::shared_ptr<Batch> &batch, int row, const QImage &image)
{
    if (batch != m_batch || batch->cancelled)
        return;
    ++m_nDone;
    emit Made(row, image);
    emit Progress(m_nDone, m_nTotal);
}
