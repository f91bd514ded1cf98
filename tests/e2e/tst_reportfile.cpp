// Print's PDF and Export's CSV reach their file whole or not at all: made
// without a name beside the target and renamed over it, so a write that
// fails, or a writer killed, leaves the old file and no piece; a named pipe,
// a device or a folder is refused at once, without opening or replacing it.

#include "store/WholeFile.h"
#include "ui/ReportPrinter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ktv;

class tst_ReportFile : public QObject
{
    Q_OBJECT

    static std::vector<ReportPage> pages()
    {
        return {{QStringLiteral("Compare with Unit Settings"),
                 {{QStringLiteral("Unit"), QStringLiteral("KTRA20")}},
                 {QStringLiteral("Field"), QStringLiteral("Value")},
                 {{QStringLiteral("Max Speed"), QStringLiteral("5000")}},
                 QStringLiteral("PASS")}};
    }

  private slots:
    void reportWritesWholeOrLeavesTheOld_data()
    {
        QTest::addColumn<QString>("format"); // csv: Export, pdf: Print
        QTest::addColumn<QString>("target"); // made in the test's folder
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("problem"); // %1: the path
        const QString notAFile = "%1 is not a plain file: a report is written only to a file.";
        for (const char *format : {"csv", "pdf"}) {
            auto row = [&](const char *name) {
                QTestData &data =
                    QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(format, name)));
                data << QString(format);
                return &data;
            };
            *row("a new file") << "new" << true << "";
            *row("an old file is replaced") << "old" << true << "";
            *row("a link: the file it names is replaced") << "link" << true << "";
            *row("a named pipe is refused") << "fifo" << false << notAFile;
            *row("a link to a named pipe is refused") << "link to fifo" << false << notAFile;
            *row("a folder is refused") << "folder" << false << notAFile;
            *row("a device is refused") << "device" << false << notAFile;
            *row("a folder that does not exist")
                << "missing" << false << "%1 could not be written: No such file or directory";
        }
    }
    void reportWritesWholeOrLeavesTheOld()
    {
        QFETCH(QString, format);
        QFETCH(QString, target);
        QFETCH(bool, written);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        QString path = dir.filePath("report." + format);
        const QString named = dir.filePath("named");
        if (target == "old") {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old report");
        } else if (target == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (target.startsWith("link")) {
            if (target == "link to fifo")
                QCOMPARE(::mkfifo(QFile::encodeName(named).constData(), 0600), 0);
            else
                QVERIFY(QFile(named).open(QIODevice::WriteOnly));
            QVERIFY(QFile::link(named, path));
        } else if (target == "folder") {
            QVERIFY(QDir(dir.path()).mkdir("report." + format));
        } else if (target == "missing") {
            path = dir.filePath("gone/report." + format);
        } else if (target == "device") {
            path = "/dev/null";
        }
        const QStringList before =
            QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);

        QString said;
        QCOMPARE(format == "csv" ? writeReportCsv(path, pages().front(), &said)
                                 : printReportPdf(path, pages(), &said),
                 written);
        QCOMPARE(said, QString(problem).replace("%1", path));
        // Nothing left beside it, and a refused target as it was.
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System),
                 written && target == "new" ? QStringList{"report." + format} : before);
        if (written) {
            QFile file(target == "link" ? named : path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.read(5), format == "csv" ? QByteArray("Unit,") : QByteArray("%PDF-"));
            QCOMPARE(QFileInfo(path).isSymLink(), target == "link");
        }
        struct stat info
        {
        };
        if (target.contains("fifo")) // still the pipe, behind its link too
            QVERIFY(::stat(QFile::encodeName(path).constData(), &info) == 0 &&
                    S_ISFIFO(info.st_mode));
    }

    // A writer killed at any moment leaves the old file or the new one, and
    // no piece: none but a whole one for the moment before its rename, and
    // that one goes with the next write.
    void killedWhileWritingLeavesNoPiece()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("report.pdf");
        const QByteArray bytes(64 << 20, 'x');
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            for (;;)
                (void)writeWholeFile(path, bytes);
        }
        auto listed = [&dir] {
            return QDir(dir.path())
                .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden);
        };
        QElapsedTimer writing;
        writing.start();
        while (writing.elapsed() < 600 ||
               (!listed().contains("report.pdf") && writing.elapsed() < 20000))
            for (const QString &name : listed())
                QVERIFY2(name == "report.pdf" ||
                             QFileInfo(dir.filePath(name)).size() == bytes.size() ||
                             !QFileInfo::exists(dir.filePath(name)),
                         qPrintable(name));
        ::kill(child, SIGKILL);
        QCOMPARE(::waitpid(child, nullptr, 0), child);
        QCOMPARE(QFileInfo(path).size(), qint64(bytes.size()));
        QVERIFY(writeWholeFile(path, "new"));
        QCOMPARE(listed(), QStringList{"report.pdf"});
    }

    // A write still under way when the program's loop ends is finished
    // before the application object is taken down.
    void reportThreadsEndWithTheLoop()
    {
        std::atomic<bool> finished{false};
        QStringList failures;
        writeInBackground(
            [&finished](QString *) {
                QThread::msleep(400);
                finished = true;
                return true;
            },
            [&failures](const QString &problem) { failures << problem; });
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QElapsedTimer loop;
        loop.start();
        QCoreApplication::exec();
        QVERIFY(finished);
        QVERIFY2(loop.elapsed() >= 300, qPrintable(QString::number(loop.elapsed())));
        QCoreApplication::processEvents();
        QCOMPARE(failures, QStringList{});
    }
};

QTEST_MAIN(tst_ReportFile)
#include "tst_reportfile.moc"
