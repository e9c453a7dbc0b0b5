// The stand-in on a thread of its own, as a real instrument answers on its own time: its
// line pacing never waits for the host's event loop.
#pragma once

#include "QelSim.h"

#include <QThread>
#include <functional>

class TSimThread
{
public:
    TSimThread() : fSim(new TQelSim) {}
    ~TSimThread()
    {
        if (fThread.isRunning())
            run([](TQelSim& sim) { delete &sim; });
        else
            delete fSim;
        fThread.quit();
        fThread.wait();
    }
    TSimThread(const TSimThread&) = delete;
    TSimThread& operator=(const TSimThread&) = delete;

    // Before start(): set the stand-in up on this thread.
    TQelSim& sim() { return *fSim; }
    // Moves the stand-in to its thread and opens its pty there.
    bool start()
    {
        fSim->moveToThread(&fThread);
        fThread.start();
        bool ok = false;
        run([&](TQelSim& sim) {
            ok = sim.start();
            fPath = sim.slavePath();
        });
        return ok;
    }
    QString slavePath() const { return fPath; }
    // Runs f on the stand-in's thread and waits for it.
    void run(const std::function<void(TQelSim&)>& f)
    {
        QMetaObject::invokeMethod(
            fSim, [&] { f(*fSim); }, Qt::BlockingQueuedConnection);
    }

private:
    QThread fThread;
    TQelSim* fSim;
    QString fPath;
};
