// Work on another thread: its result reaches the caller on the caller's
// thread, never a context that has gone; every thread has ended by the
// program's end and by the application object's, its owner gone or not.

#include "protocol/Threads.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <atomic>
#include <map>
#include <memory>

using namespace ktv;

namespace {

// A job whose handle is dropped at once, a worker that runs until asked to
// end, and a worker object on an event loop; each sets its flag as it ends.
struct Started
{
    std::shared_ptr<std::atomic<bool>> jobEnded = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> workerEnded = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> loopEnded = std::make_shared<std::atomic<bool>>(false);
    StartedThread worker;
    StartedThread loop;
    QObject *loopObject = new QObject;

    Started()
    {
        threads::start(QStringLiteral("job"), [ended = jobEnded] {
            QThread::msleep(300);
            *ended = true;
        });
        auto asked = std::make_shared<std::atomic<bool>>(false);
        worker = threads::start(
            QStringLiteral("worker"),
            [asked, ended = workerEnded] {
                while (!*asked)
                    QThread::msleep(5);
                *ended = true;
            },
            [asked] { *asked = true; });
        loop = threads::startLoop(QStringLiteral("loop"), loopObject);
        QObject::connect(
            loopObject->thread(), &QThread::finished, loopObject->thread(),
            [ended = loopEnded] { *ended = true; }, Qt::DirectConnection);
    }
    ~Started() { delete loopObject; }
    std::map<QString, bool> ended() const
    {
        return {{QStringLiteral("job"), *jobEnded},
                {QStringLiteral("worker"), *workerEnded && !worker.isRunning()},
                {QStringLiteral("loop"), *loopEnded && !loop.isRunning()}};
    }
};

// What had ended as the first application object went, and how many
// threads were left running then.
std::map<QString, bool> endedWithApplication;
int leftWithApplication = -1;

} // namespace

class TestThreads : public QObject
{
    Q_OBJECT

  private slots:
    void resultReachesTheCaller_data()
    {
        QTest::addColumn<bool>("contextGoes");
        QTest::addColumn<QList<int>>("delivered");
        QTest::newRow("context stays") << false << QList<int>{42};
        QTest::newRow("context gone first") << true << QList<int>{};
    }
    void resultReachesTheCaller()
    {
        QFETCH(bool, contextGoes);
        QFETCH(QList<int>, delivered);
        auto *context = new QObject;
        QThread *worker = nullptr;
        QList<int> got;
        QList<QThread *> doneOn;
        const StartedThread started = threads::run(
            QStringLiteral("answer"), context,
            [&worker] {
                worker = QThread::currentThread();
                QThread::msleep(100);
                return 42;
            },
            [&](int answer) {
                got << answer;
                doneOn << QThread::currentThread();
            });
        if (contextGoes)
            delete context;
        started.wait();
        QTRY_COMPARE(got, delivered);
        QTest::qWait(50); // nothing comes later, nor twice
        QCOMPARE(got, delivered);
        QVERIFY(worker && worker != QThread::currentThread());
        QCOMPARE(doneOn, QList<QThread *>(delivered.size(), QThread::currentThread()));
        if (!contextGoes)
            delete context;
    }

    void everyThreadEnds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("withApplication");
        for (const char *kind : {"job", "worker", "loop"}) {
            QTest::addRow("%s, at the program's end", kind) << QString::fromLatin1(kind) << false;
            QTest::addRow("%s, as the application goes", kind) << QString::fromLatin1(kind) << true;
        }
    }
    void everyThreadEnds()
    {
        QFETCH(QString, kind);
        QFETCH(bool, withApplication);
        if (withApplication) {
            QCOMPARE(endedWithApplication[kind], true);
            QCOMPARE(leftWithApplication, 0);
            return;
        }
        Started started;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(started.ended()[kind], false);
        threads::endAll();
        QCOMPARE(started.ended()[kind], true);
        QCOMPARE(threads::running(), 0);
        QVERIFY(clock.elapsed() > 250); // the job was waited for, not dropped
    }
};

int main(int argc, char *argv[])
{
    {
        auto first = std::make_unique<QCoreApplication>(argc, argv);
        Started started;
        first.reset(); // goes with its threads still running
        endedWithApplication = started.ended();
        leftWithApplication = threads::running();
    }
    QCoreApplication app(argc, argv);
    TestThreads test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_threads.moc"
