// The results server's setting in config.qdr: kept, replaced, removed, and
// refused with one message and the file untouched when it would not read or
// would store a password.

#include "Helpers.h"

#include "store/ResultsSetting.h"

#include <QTemporaryDir>
#include <QTest>

using namespace ktv;
using namespace ktv::test;

class tst_ResultsSetting : public QObject
{
    Q_OBJECT

  private slots:
    void writeAndRead_data()
    {
        QTest::addColumn<QString>("before"); // written first, when not empty
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("message"); // empty: written
        QTest::addColumn<QString>("after");   // what reads back

        QTest::newRow("a store without a setting sends nowhere") << ""
                                                                 << ""
                                                                 << ""
                                                                 << "";
        QTest::newRow("kept as written, options and all")
            << ""
            << "host=db.plant dbname=results user=bench sslmode=require"
            << ""
            << "host=db.plant dbname=results user=bench sslmode=require";
        QTest::newRow("replaced") << "service=old"
                                  << "  service=plant "
                                  << ""
                                  << "service=plant";
        QTest::newRow("an empty setting removes it") << "service=plant"
                                                     << ""
                                                     << ""
                                                     << "";
        QTest::newRow("a password is refused")
            << "service=plant"
            << "host=db.plant password=secret"
            << "The results database setting holds a password: keep it in the password file "
               "~/.pgpass (or the file PGPASSFILE names), or name a service of the service file "
               "~/.pg_service.conf with service=, never in the setting."
            << "service=plant";
        QTest::newRow("a text that does not read is refused")
            << ""
            << "host=db.plant dbname='results"
            << "The results database setting cannot be read: unterminated quoted string in "
               "connection info string. Write it as keyword=value pairs, such as "
               "\"host=db.plant dbname=results user=bench\"."
            << "";
    }
    void writeAndRead()
    {
        QFETCH(QString, before);
        QFETCH(QString, setting);
        QFETCH(QString, message);
        QFETCH(QString, after);
        QTemporaryDir dir;
        const QString store = dir.filePath("config.qdr");
        QVERIFY(writeStore(store, 3, {}));
        QString problem;
        if (!before.isEmpty())
            QVERIFY2(writeResultsSetting(store, before, &problem), qPrintable(problem));
        const QByteArray bytes = fileBytes(store);

        if (!setting.isEmpty() || !before.isEmpty()) {
            QCOMPARE(writeResultsSetting(store, setting, &problem), message.isEmpty());
            QCOMPARE(message.isEmpty() ? QString() : problem, message);
        }
        if (!message.isEmpty())
            QCOMPARE(fileBytes(store), bytes);
        const StoredResultsSetting read = readResultsSetting(store);
        QCOMPARE(read.problem, QString());
        QCOMPARE(read.setting, after);
    }
};

QTEST_GUILESS_MAIN(tst_ResultsSetting)
#include "tst_resultssetting.moc"
