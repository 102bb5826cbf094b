// The preview's reading thread, owned by a page: one read at a time, the
// latest request wins. A new request (or cancel) asks a running read to stop
// and drops its result; a finished read's result reaches the interface thread
// through Gui::post, and only if no newer request came meanwhile.
//
// The page keeps the parser to one thread at a time: a read takes the turn it
// is given (the entry tree's parser turn) for as long as it uses the parser,
// and halt() waits until no read runs before the page's own worker starts.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "app/Gui.h"
#include "browse/Preview.h"
#include "util/WorkControl.h"

namespace tavrel::app {

class PreviewReader {
public:
    using Read = std::function<browse::PreviewBytes(WorkControl&)>;
    using Done = std::function<void(const browse::PreviewBytes&)>;

    explicit PreviewReader(Gui& gui);
    ~PreviewReader();
    PreviewReader(const PreviewReader&) = delete;
    PreviewReader& operator=(const PreviewReader&) = delete;

    // Runs `read` on the thread; `done` then runs on the interface thread.
    void request(Read read, Done done);
    // Drops the pending request and the running read's result.
    void cancel();
    // cancel(), then waits until no read runs.
    void halt();
    // Ends the thread; nothing is delivered afterwards. Safe to call twice.
    void shutdown();

private:
    void loop();

    Gui& gui_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    Read pending_;
    Done pendingDone_;
    std::uint64_t generation_ = 0;  // counts requests and cancels
    bool busy_ = false;
    bool ending_ = false;
    WorkControl work_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    std::thread thread_;
};

}  // namespace tavrel::app
