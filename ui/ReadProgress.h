#pragma once

#include <QProgressBar>
#include <functional>

class QTimer;

// The bar under a window whose worker threads read files: "计算中… N%" for the part of them
// read so far, then busy for what is left once they are read (a bundle's inner APKs, say).
// Hidden until it follows a reading.
class CReadProgress : public QProgressBar
{
    Q_OBJECT

public:
    explicit CReadProgress(QWidget *parent = nullptr);

    // Shows the bar and follows `readProgress` (0 to 1) until stop().
    void follow(std::function<double()> readProgress);
    // Hides the bar; the reading is over or stopped.
    void stop();

private:
    void step();

    QTimer *timer;
    std::function<double()> readProgress;
};
