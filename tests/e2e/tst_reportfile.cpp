// Print's PDF reaches its file whole or not at all: it is made beside the
// target and renamed over it, so a write that fails leaves the old file; a
// named pipe or a device is refused at once, without opening it.

#include "ui/ReportPrinter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

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
    void printWritesWholeOrLeavesTheOld_data()
    {
        QTest::addColumn<QString>("target"); // made in the test's folder
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("problem"); // %1: the path
        QTest::newRow("a new file") << "new" << true << "";
        QTest::newRow("an old file is replaced") << "old" << true << "";
        QTest::newRow("a named pipe is refused")
            << "fifo" << false << "%1 is not a plain file: a report is written only to a file.";
        QTest::newRow("a folder is refused")
            << "folder" << false << "%1 is not a plain file: a report is written only to a file.";
        QTest::newRow("a folder that does not exist")
            << "missing" << false << "%1 could not be written: No such file or directory";
    }
    void printWritesWholeOrLeavesTheOld()
    {
        QFETCH(QString, target);
        QFETCH(bool, written);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        QString path = dir.filePath("report.pdf");
        if (target == "old") {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old report");
        } else if (target == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (target == "folder") {
            QVERIFY(QDir(dir.path()).mkdir("report.pdf"));
        } else if (target == "missing") {
            path = dir.filePath("gone/report.pdf");
        }
        const QStringList before =
            QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);

        QString said;
        QCOMPARE(printReportPdf(path, pages(), &said), written);
        QCOMPARE(said, QString(problem).replace("%1", path));
        // Nothing left beside it, and a refused target as it was.
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System),
                 written && target == "new" ? QStringList{"report.pdf"} : before);
        if (written) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.read(5), QByteArray("%PDF-"));
        }
        if (target == "fifo") {
            struct stat info
            {
            };
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
            QVERIFY(S_ISFIFO(info.st_mode));
        }
    }

    // A device is refused the same way, and stays as it was.
    void deviceRefused()
    {
        QString said;
        QVERIFY(!printReportPdf("/dev/null", pages(), &said));
        QCOMPARE(said, QStringLiteral("/dev/null is not a plain file: a report is written only "
                                      "to a file."));
    }
};

QTEST_MAIN(tst_ReportFile)
#include "tst_reportfile.moc"
