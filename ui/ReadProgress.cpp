#include "ReadProgress.h"

#include "details/PackageDetails.h"

#include <QTimer>

namespace {

// The bar follows the read this often; the parts it reads arrive on their own.
constexpr int IntervalMs = 100;
constexpr int Steps = 1000;

} // namespace

CReadProgress::CReadProgress(QWidget *parent) : QProgressBar(parent), timer(new QTimer(this))
{
    setRange(0, Steps);
    setFormat(PendingText() + QStringLiteral(" %p%"));
    setAccessibleName(PendingText());
    hide();
    timer->setInterval(IntervalMs);
    connect(timer, &QTimer::timeout, this, &CReadProgress::step);
}

void CReadProgress::follow(std::function<double()> progress)
{
    readProgress = std::move(progress);
    setRange(0, Steps);
    setValue(0);
    show();
    timer->start();
}

void CReadProgress::stop()
{
    timer->stop();
    readProgress = nullptr;
    hide();
}

void CReadProgress::step()
{
    if (!readProgress)
        return;
    const double read = readProgress();
    if (read >= 1.0)
        setRange(0, 0);
    else
        setValue(int(read * Steps));
}
