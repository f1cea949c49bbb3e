// Thumbnails of a whole card, made on worker threads (one decoder thread each, so that several
// clips are decoded at once on every core), the rows someone looks at first: Prioritise puts
// rows at the front of the queue whenever they come on screen. Answers reach the owner's thread
// through Made, in the order they are finished; Progress counts them.
#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QStringList>

#include <memory>

class QThreadPool;

class CThumbnailQueue : public QObject
{
    Q_OBJECT
public:
    // nThreads 0: one per core, at least two and at most four.
    explicit CThumbnailQueue(QSize size, int nThreads = 0, QObject *parent = nullptr);
    ~CThumbnailQueue() override;

    // Drops the batch in progress (answers still on their way are not delivered) and starts one
    // for `paths`, row i being paths[i], in row order.
    void Start(const QStringList &paths);
    // Rows first..last (clamped) that are still waiting go next, in their order.
    void Prioritise(int first, int last);
    // Drops the batch in progress; waits for nothing.
    void Cancel();
    int Done() const { return m_nDone; }
    int Total() const { return m_nTotal; }

signals:
    // The thumbnail of row `row` (null when the clip gave none), at the queue's size.
    void Made(int row, const QImage &image);
    // After each answer; done == total ends the batch.
    void Progress(int done, int total);

private:
    struct Batch;
    void Deliver(const std::shared_ptr<Batch> &batch, int row, const QImage &image);

    QSize m_size;
    int m_nThreads = 2;
    std::unique_ptr<QThreadPool> m_pool;
    std::shared_ptr<Batch> m_batch;
    int m_nDone = 0;
    int m_nTotal = 0;
};
