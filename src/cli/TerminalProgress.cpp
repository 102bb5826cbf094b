#include "cli/TerminalProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace tavrel::cli {

TerminalProgress::TerminalProgress() : enabled_(::isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress() { finish(); }

void TerminalProgress::setStatus(const std::string& text) {
    std::lock_guard lock(mutex_);
    status_ = text;
    draw(false);
}

void TerminalProgress::setRange(std::int64_t lower, std::int64_t upper) {
    std::lock_guard lock(mutex_);
    lower_ = lower;
    upper_ = upper;
    draw(true);
}

void TerminalProgress::setPosition(std::int64_t position) {
    std::lock_guard lock(mutex_);
    position_ = position;
    draw(false);
}

void TerminalProgress::finish() {
    std::lock_guard lock(mutex_);
    if (enabled_ && drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
}

void TerminalProgress::draw(bool force) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    drawn_ = true;

    int width = 80;
    winsize ws{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20) width = ws.ws_col;
    const double span = static_cast<double>(upper_ - lower_);
    const double fraction = span > 0 ? std::clamp(static_cast<double>(position_ - lower_) / span, 0.0, 1.0) : 0.0;
    constexpr int barWidth = 30;
    const int filled = static_cast<int>(fraction * barWidth);
    std::string line = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(barWidth - filled), ' ') + "] ";
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d%% ", static_cast<int>(fraction * 100));
    line += percent;
    line += status_;
    if (line.size() > static_cast<std::size_t>(width - 1)) line.resize(static_cast<std::size_t>(width - 1));
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
}

}  // namespace tavrel::cli
