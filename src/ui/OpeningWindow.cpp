#include "ui/OpeningWindow.h"

#include "session/UnitSession.h"
#include "ui/MainWindow.h"
#include "ui/Toolkit.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ktv {

OpeningWindow::OpeningWindow(MainWindow &main) : main_(main)
{
    setObjectName(QStringLiteral("Opening"));
    setWindowTitle(ApplicationTitle);
    auto *column = new QVBoxLayout(this);
    auto *title = new QLabel(ApplicationTitle, this);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    const char *const products[] = {"Pulse Generator - KTRA10", "Pulse Generator - KTRA20",
                                    "Pulse Generator - KTRA30", "Simple Indexer - VELD10",
                                    "Simple Indexer - VELD20",  "Simple Indexer - VELD30",
                                    "Simple Indexer - VELD40",  "Simple Indexer - VELD50"};
    for (const char *product : products) {
        auto *line = new QLabel(QString::fromLatin1(product), this);
        line->setAlignment(Qt::AlignCenter);
        column->addWidget(line);
    }
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("cmdOk"));
    column->addWidget(ok_, 0, Qt::AlignCenter);
    connect(ok_, &QPushButton::clicked, this, &OpeningWindow::pressOk);
    // Below everything else: which port and rate the scan tries now.
    scanProgress_ = new QLabel(this);
    scanProgress_->setObjectName(QStringLiteral("lblScanProgress"));
    scanProgress_->setAlignment(Qt::AlignCenter);
    column->addWidget(scanProgress_);
    connect(&main_, &MainWindow::scanProgressShown, scanProgress_, &QLabel::setText);
}

void OpeningWindow::start()
{
    show();
    adjustSize();
    centreOnScreen(this);
    repaint();
    main_.load();
    if (main_.session().isEnding())
        return;
    main_.show();
    hide();
}

void OpeningWindow::pressOk()
{
    main_.show();
    hide();
    main_.repaint();
    ok_->hide();
}

void OpeningWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)))
        centreOnScreen(this);
}

} // namespace ktv
