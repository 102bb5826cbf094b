// A page that only offers Back (and Help/Close): stands in for pages whose work
// is not built yet.
#pragma once

#include "app/PageController.h"
#include "volume/VolumeRecord.h"

namespace tavrel::app {

class PlaceholderPage : public PageController {
public:
    PlaceholderPage(CKeswinApp& app, int pageId, VolumeRecord record) : PageController(app, pageId), record_(std::move(record)) {}
    void open() override;
    const VolumeRecord& record() const { return record_; }

private:
    VolumeRecord record_;
};

}  // namespace tavrel::app
