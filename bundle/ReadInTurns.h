#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>

struct InflateBudget;

// Reads `count` inner APKs of a bundle on two threads while what they inflate comes out of
// `budget`, the bundle's, exactly as if they were read one after another in their order: each
// draw is granted or refused as it would be then, so a hostile bundle runs out on the same APK.
//
// `read(index, budget)` reads APK `index`, drawing only on the budget it is handed. It may run
// while the APK before is still being read: it then draws only what fits beside it and no more
// than `allowance(index)`, and otherwise waits for its turn. When the APK before turns out to
// need what was drawn ahead, those bytes are handed back, the rest of that read is refused,
// and `read` runs again from the start in its turn; so reading ahead inflates at most the
// allowance more than reading in order would. `turn(index, read)` follows for each APK in
// order, one at a time, on either thread, and may draw on the same budget; `read` is false when
// the budget had run out before the APK's turn, so that whatever its read found is dropped, as
// an APK left unread. Reads on the second thread stop with the caller's (ReadStop).
void ReadInTurns(
    const std::shared_ptr<InflateBudget> &budget, qsizetype count,
    const std::function<qint64(qsizetype index)> &allowance,
    const std::function<void(qsizetype index, const std::shared_ptr<InflateBudget> &budget)> &read,
    const std::function<void(qsizetype index, bool read)> &turn);
