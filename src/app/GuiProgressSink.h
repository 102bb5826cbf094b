// A job's progress sink that writes a page's status line and progress bar through
// the Gui (safe from workers: the Gui marshals these calls to the interface thread).
#pragma once

#include <string>

#include "app/Gui.h"
#include "app/PageTexts.h"
#include "util/WorkControl.h"

namespace tavrel::app {

class GuiProgressSink final : public ProgressSink {
public:
    GuiProgressSink(Gui& gui, int pageId, std::string statusControl = texts::kStatus)
        : gui_(gui), pageId_(pageId), statusControl_(std::move(statusControl)) {}

    void setStatus(const std::string& text) override { gui_.setText(pageId_, statusControl_, text); }
    void setRange(std::int64_t lower, std::int64_t upper) override { gui_.setProgressRange(pageId_, lower, upper); }
    void setPosition(std::int64_t position) override { gui_.setProgressPosition(pageId_, position); }

private:
    Gui& gui_;
    int pageId_;
    std::string statusControl_;
};

}  // namespace tavrel::app
