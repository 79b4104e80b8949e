// SPDX-License-Identifier: GPL-3.0-or-later
#include "recognitionqueue.h"

#include <QMutex>
#include <QPromise>
#include <QThreadPool>
#include <deque>
#include <map>
#include <vector>

class RecognitionQueue::Core
{
public:
    explicit Core(const Recognizer &r) : recognizer(r)
    {
        thread.setMaxThreadCount(1);
        // An idle thread is kept for a while rather than made for every ink.
        thread.setExpiryTimeout(60000);
    }

    struct Job
    {
        std::shared_ptr<QPromise<QList<Candidate>>> promise;
        Ink ink;
        int count = 0;
        ReadingContext context;
        bool waited = true;
    };
    // A lane's inks: those somebody waits for, and those read ahead.
    struct Lane
    {
        std::deque<Job> waited;
        std::deque<Job> ahead;
    };

    int addLane()
    {
        QMutexLocker lock(&mutex);
        const int lane = nextLane++;
        lanes[lane];
        return lane;
    }
    // The jobs go when the lock is let go: cancelled by their promises.
    void dropLane(int lane)
    {
        Lane dropped;
        QMutexLocker lock(&mutex);
        const auto it = lanes.find(lane);
        if (it == lanes.end())
            return;
        std::swap(dropped, it->second);
        queued -= int(dropped.waited.size() + dropped.ahead.size());
        lanes.erase(it);
    }
    void dropAll()
    {
        std::map<int, Lane> dropped;
        QMutexLocker lock(&mutex);
        for (auto &[lane, jobs] : lanes)
            std::swap(dropped[lane], jobs);
        queued = 0;
    }
    int waiting()
    {
        QMutexLocker lock(&mutex);
        return queued;
    }

    void add(int lane, Job job)
    {
        bool start = false;
        {
            QMutexLocker lock(&mutex);
            const auto it = lanes.find(lane);
            if (it == lanes.end())
                return;
            (job.waited ? it->second.waited : it->second.ahead).push_back(std::move(job));
            ++queued;
            start = !working;
            working = true;
        }
        if (start)
            thread.start([this] { work(); });
    }

    const Recognizer &recognizer;
    QThreadPool thread;

private:
    // The next lane after the last one served that has an ink somebody
    // waits for, in turn; failing that, the next with an ink read ahead.
    // Inks cancelled meanwhile go to *dropped, without taking a turn.
    bool take(Job *job, std::vector<Job> *dropped)
    {
        for (std::deque<Job> Lane::*kind : {&Lane::waited, &Lane::ahead}) {
            for (int pass = 0; pass < 2; ++pass) {
                for (auto &[lane, both] : lanes) {
                    std::deque<Job> &jobs = both.*kind;
                    while (!jobs.empty() && jobs.front().promise->isCanceled()) {
                        dropped->push_back(std::move(jobs.front()));
                        jobs.pop_front();
                        --queued;
                    }
                    if ((pass == 0 && lane <= lastServed) || jobs.empty())
                        continue;
                    *job = std::move(jobs.front());
                    jobs.pop_front();
                    --queued;
                    lastServed = lane;
                    return true;
                }
            }
        }
        return false;
    }

    void work()
    {
        for (;;) {
            Job job;
            std::vector<Job> dropped;
            {
                QMutexLocker lock(&mutex);
                if (!take(&job, &dropped)) {
                    working = false;
                    return;
                }
            }
            job.promise->setProgressValue(1);
            if (!job.promise->isCanceled()) {
                job.promise->addResult(job.context.isEmpty() ? recognizer.classify(job.ink, job.count)
                                                             : recognizer.classifyInGame(job.ink, job.count, job.context));
            }
            job.promise->finish();
        }
    }

    QMutex mutex;
    std::map<int, Lane> lanes;
    // Inks in the lanes, not yet being read.
    int queued = 0;
    int nextLane = 0;
    int lastServed = -1;
    bool working = false;
};

RecognitionQueue::RecognitionQueue(const Recognizer &recognizer)
    : m_core(std::make_shared<Core>(recognizer))
    , m_owner(true)
{
    m_lane = m_core->addLane();
}

RecognitionQueue::RecognitionQueue(RecognitionQueue &shared)
    : m_core(shared.m_core)
{
    m_lane = m_core->addLane();
}

RecognitionQueue::~RecognitionQueue()
{
    if (!m_owner) {
        m_core->dropLane(m_lane);
        return;
    }
    m_core->dropAll();
    m_core->thread.waitForDone();
}

void RecognitionQueue::warmUp()
{
    const Recognizer *recognizer = &m_core->recognizer;
    m_core->thread.start([recognizer] { recognizer->isAvailable(); });
}

bool RecognitionQueue::isAvailable() const
{
    return m_core->recognizer.isAvailable();
}

ContextMargins RecognitionQueue::contextMargins() const
{
    return m_core->recognizer.contextMargins();
}

const Recognizer &RecognitionQueue::recognizer() const
{
    return m_core->recognizer;
}

QFuture<QList<Candidate>> RecognitionQueue::submit(const Ink &ink, int count, const ReadingContext &context,
                                                   Urgency urgency)
{
    auto promise = std::make_shared<QPromise<QList<Candidate>>>();
    QFuture<QList<Candidate>> future = promise->future();
    promise->start();
    promise->setProgressRange(0, 1);
    m_core->add(m_lane, {promise, ink, count, context, urgency == Urgency::Waited});
    return future;
}

int RecognitionQueue::waiting() const
{
    return m_core->waiting();
}
