#pragma once
// A page that rebuilds on a change while it is shown, and otherwise marks itself stale and
// rebuilds once it is shown next.
#include <QWidget>
#include <functional>
#include <utility>

namespace sorvik::app {

class StaleUntilShown {
public:
    /// `rebuild` runs with the mark already cleared. A new page is stale.
    StaleUntilShown(const QWidget& page, std::function<void()> rebuild) : page_(page), rebuild_(std::move(rebuild)) {}

    /// Something the page shows changed.
    void changed() {
        if (page_.isVisible()) {
            run();
        } else {
            stale_ = true;
        }
    }
    /// From the page's showEvent.
    void shown() {
        if (stale_) run();
    }

private:
    void run() {
        stale_ = false;
        rebuild_();
    }

    const QWidget& page_;
    std::function<void()> rebuild_;
    bool stale_ = true;
};

}  // namespace sorvik::app
