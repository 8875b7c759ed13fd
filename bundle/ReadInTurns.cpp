#include "ReadInTurns.h"

#include "archive/ZipArchive.h"
#include "digest/ReadStop.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {

class TurnBudget;

// Whose turn it is, and what the read after it has drawn ahead.
class Turns
{
public:
    explicit Turns(std::shared_ptr<InflateBudget> shared)
        : shared(std::move(shared)), ranOutBefore(this->shared->exhausted())
    {
    }

    bool draw(TurnBudget &reading, qint64 size);
    qint64 remaining() const { return shared->remaining(); }
    // Waits for the turn of `index`; whether the budget had run out before it.
    bool awaitTurn(qsizetype index);
    // Whether what `reading` drew ahead was handed back, so that it must be read again.
    bool undone(const TurnBudget &reading);
    void endTurn();

private:
    void undoAhead();

    const std::shared_ptr<InflateBudget> shared;
    std::mutex mutex;
    std::condition_variable changed;
    qsizetype head = 0;          // whose turn it is
    bool ranOutBefore;           // whether the budget had run out when that turn began
    TurnBudget *ahead = nullptr; // the next one's read, while it holds bytes drawn ahead
};

// One read of one APK: what its archives draw on.
class TurnBudget : public InflateBudget
{
public:
    TurnBudget(Turns &turns, qsizetype index, qint64 allowance)
        : turns(turns), index(index), allowance(allowance)
    {
    }
    bool take(qint64 size) override
    {
        if (turns.draw(*this, size))
            return true;
        refused = true;
        return false;
    }
    qint64 remaining() const override { return turns.remaining(); }

    Turns &turns;
    const qsizetype index;
    const qint64 allowance;
    // Under the turns' lock:
    qint64 drawnAhead = 0;
    bool undone = false;
};

bool Turns::draw(TurnBudget &reading, qint64 size)
{
    std::unique_lock lock(mutex);
    while (reading.index != head) {
        if (reading.undone)
            return false;
        // Ahead of its turn only the next read draws, only within its allowance and only what
        // fits beside the reads before it; anything else waits for its turn.
        if (reading.index == head + 1 && !shared->exhausted() &&
            size <= reading.allowance - reading.drawnAhead && size <= shared->remaining() &&
            shared->take(size)) {
            reading.drawnAhead += size;
            ahead = &reading;
            return true;
        }
        changed.wait(lock);
    }
    // Run out before its turn: in order it would not have been read at all.
    if (reading.undone || ranOutBefore)
        return false;
    // In order, the next read draws only after this one: what it drew ahead is handed back
    // when this draw would not fit otherwise.
    if (ahead && size > shared->remaining())
        undoAhead();
    return shared->take(size);
}

bool Turns::awaitTurn(qsizetype index)
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return head == index; });
    return ranOutBefore;
}

bool Turns::undone(const TurnBudget &reading)
{
    const std::lock_guard lock(mutex);
    return reading.undone;
}

void Turns::endTurn()
{
    const std::lock_guard lock(mutex);
    ++head;
    ranOutBefore = shared->exhausted();
    // What the next read drew ahead now counts as drawn in its turn, unless the budget ran out
    // meanwhile: in order it would not have been read at all.
    if (ahead && ranOutBefore)
        undoAhead();
    ahead = nullptr;
    changed.notify_all();
}

void Turns::undoAhead()
{
    shared->giveBack(ahead->drawnAhead);
    ahead->drawnAhead = 0;
    ahead->undone = true;
    ahead = nullptr;
    changed.notify_all();
}

} // namespace

void ReadInTurns(const std::shared_ptr<InflateBudget> &budget, qsizetype count,
                 const std::function<qint64(qsizetype)> &allowance,
                 const std::function<void(qsizetype, const std::shared_ptr<InflateBudget> &)> &read,
                 const std::function<void(qsizetype, bool)> &turn)
{
    Turns turns(budget);
    std::atomic<qsizetype> next = 0;
    // An APK is taken only once the one before the last taken has had its turn, so at most the
    // one after the turn's is read ahead.
    const auto work = [&] {
        for (qsizetype index = next++; index < count; index = next++) {
            auto reading = std::make_shared<TurnBudget>(turns, index, allowance(index));
            // Once the budget has run out, the APKs left are not read.
            if (!budget->exhausted())
                read(index, reading);
            const bool inBudget = !turns.awaitTurn(index);
            if (inBudget && turns.undone(*reading)) {
                reading = std::make_shared<TurnBudget>(turns, index, 0);
                read(index, reading);
            }
            turn(index, inBudget);
            turns.endTurn();
        }
    };
    if (count < 2) {
        work();
        return;
    }
    const std::atomic<bool> *stop = CurrentReadStop();
    std::thread second([&] {
        std::optional<ScopedReadStop> stopping;
        if (stop)
            stopping.emplace(*stop);
        work();
    });
    work();
    second.join();
}
