#pragma once
// Setup > Results Database: the connection string of the plant's results
// server, kept in the store's "Results Database" table. Test connects with
// what the box holds and says what came; OK keeps it (an empty box: no
// results server); Cancel, Esc and the close box change nothing. A setting
// the store refuses (one holding a password) keeps the dialog open with the
// store's own sentence.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ktv {

class Toolkit;

class ResultsDatabaseDialog : public QDialog
{
    Q_OBJECT
  public:
    ResultsDatabaseDialog(const QString &storePath, Toolkit &toolkit, QWidget *parent);

    QLineEdit *settingBox() const { return setting_; }
    QPushButton *testButton() const { return test_; }
    QLabel *testResult() const { return result_; }

    // The Test button: connects, brings the schema up to date and says so.
    void testConnection();
    void accept() override;

  private:
    QString storePath_;
    Toolkit &toolkit_;
    QLineEdit *setting_ = nullptr;
    QPushButton *test_ = nullptr;
    QLabel *result_ = nullptr;
};

} // namespace ktv
