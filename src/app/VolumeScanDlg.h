// Scan page (139): runs the volume's parser on a worker thread, then lets the
// user browse the entry tree and file list and save files.
#pragma once

#include <string>

#include "app/PageController.h"
#include "volume/VolumeRecord.h"

namespace tavrel::app {

class VolumeScanDlg : public PageController {
public:
    VolumeScanDlg(CKeswinApp& app, const VolumeRecord& record, int recoveryMode, int maxFileSystems,
                  bool driveFormatted);

    void open() override;

    const VolumeRecord& volume() const { return volume_; }
    int recoveryMode = -1;

private:
    VolumeRecord volume_;
    int maxFileSystems_;
    bool driveFormatted_;
};

}  // namespace tavrel::app
