// Small helpers shared by the playback tests.
#pragma once

#include "media/grapheventcallback.h"
#include "fixtures/wait.h"
#include "media/mediagraph.h"

#include <QCoreApplication>
#include <QThread>

#include <functional>
#include <vector>

// Records the events a graph hands out, and on which thread.
struct RecordingCallback : GraphEventCallback {
    struct Event {
        long lCode;
        intptr_t lParam1;
        QThread *pThread;
    };
    std::vector<Event> events;
    void NotifyGraphEvent(long lCode, intptr_t lParam1, intptr_t) override
    {
        events.push_back({lCode, lParam1, QThread::currentThread()});
    }
    bool Has(long lCode) const
    {
        for (const Event &e : events)
            if (e.lCode == lCode)
                return true;
        return false;
    }
};

