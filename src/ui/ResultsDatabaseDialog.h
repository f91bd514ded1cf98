#pragma once
// Setup > Results Database: the connection string of the plant's results
// server, kept in the store's "Results Database" table. Test connects with
// what the box holds, on the results worker's thread, reads the schema's
// version without writing anything, and says what came ("Testing…" while
// it waits; a login turned down told apart from a server not reached); OK keeps it (an empty box:
// no results server); Cancel, Esc and the close box change nothing. A setting the store refuses
// (one holding a password) keeps the dialog open with the store's own sentence.

#include "store/ResultsServer.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ktv {

class ResultsWorker;
class Toolkit;

class ResultsDatabaseDialog : public QDialog
{
    Q_OBJECT
  public:
    ResultsDatabaseDialog(const QString &storePath, ResultsWorker &worker, Toolkit &toolkit,
                          QWidget *parent);

    QLineEdit *settingBox() const { return setting_; }
    QPushButton *testButton() const { return test_; }
    QLabel *testResult() const { return result_; }

    // The Test button: begins the test and returns; tested() follows.
    void testConnection();
    void accept() override;

  signals:
    void tested(ktv::ProbeOutcome outcome);

  private:
    QString storePath_;
    ResultsWorker &worker_;
    Toolkit &toolkit_;
    QLineEdit *setting_ = nullptr;
    QPushButton *test_ = nullptr;
    QLabel *result_ = nullptr;
};

} // namespace ktv
