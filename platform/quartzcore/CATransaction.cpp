#include "quartzcore/CATransaction.h"

#include <cmath>
#include <vector>

namespace quartzcore {

namespace {

struct Settings {
    bool disableActions = false;
    coregraphics::CGFloat animationDuration = 0.25;
};

struct ThreadTransactions {
    Settings implicit;
    std::vector<Settings> open;  // explicit transactions, innermost last

    Settings& current() { return open.empty() ? implicit : open.back(); }
};

thread_local ThreadTransactions tTransactions;

}  // namespace

// A nested transaction starts with the settings in force around it.
void CATransaction::begin() {
    tTransactions.open.push_back(tTransactions.current());
}

void CATransaction::commit() {
    if (!tTransactions.open.empty()) tTransactions.open.pop_back();
}

void CATransaction::flush() {
    tTransactions.implicit = {};
}

bool CATransaction::disableActions() {
    return tTransactions.current().disableActions;
}
void CATransaction::setDisableActions(bool flag) {
    tTransactions.current().disableActions = flag;
}

coregraphics::CGFloat CATransaction::animationDuration() {
    return tTransactions.current().animationDuration;
}

void CATransaction::setAnimationDuration(coregraphics::CGFloat seconds) {
    tTransactions.current().animationDuration = (std::isfinite(seconds) && seconds > 0) ? seconds : 0;
}

int CATransaction::depth() {
    return static_cast<int>(tTransactions.open.size());
}

}  // namespace quartzcore
