#include "app/VolumeScanDlg.h"

#include "app/CKeswinApp.h"
#include "app/PageFactory.h"

namespace tavrel::app {

std::unique_ptr<PageController> makeScanPage(CKeswinApp& app, const VolumeRecord& record, int recoveryMode,
                                             int maxFileSystems, bool driveFormatted) {
    return std::make_unique<VolumeScanDlg>(app, record, recoveryMode, maxFileSystems, driveFormatted);
}

VolumeScanDlg::VolumeScanDlg(CKeswinApp& app, const VolumeRecord& record, int mode, int maxFileSystems,
                             bool driveFormatted)
    : PageController(app, kScanPage), volume_(record), maxFileSystems_(maxFileSystems),
      driveFormatted_(driveFormatted) {
    recoveryMode = mode;
}

void VolumeScanDlg::open() { gui().setWindowTitle(pageId_, kAppTitle); }

}  // namespace tavrel::app
