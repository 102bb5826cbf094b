// Forward steps to pages that live in their own files. Each is defined by the
// page's own .cpp, so the pages before it do not depend on its class.
#pragma once

#include <memory>

#include "app/PageController.h"
#include "volume/VolumeRecord.h"

namespace tavrel::app {

// Recovery mode page (136), created by the volume list page with its selection.
std::unique_ptr<PageController> makeRecoveryModePage(CKeswinApp& app, const VolumeRecord& record);

// Scan page (139): recoveryMode 1 Standard / 3 Deep (2 after the advanced options
// page), maxFileSystems from the recovery mode page's field.
std::unique_ptr<PageController> makeScanPage(CKeswinApp& app, const VolumeRecord& record, int recoveryMode,
                                             int maxFileSystems, bool driveFormatted);

// Advanced options page (153): the structure hunt of Advanced mode.
std::unique_ptr<PageController> makeAdvancedOptionsPage(CKeswinApp& app, const VolumeRecord& record,
                                                        int maxFileSystems, bool driveFormatted);

// Raw recovery page (151), created by the volume list page for a volume treated as RAW.
std::unique_ptr<PageController> makeRawRecoveryPage(CKeswinApp& app, const VolumeRecord& record);

}  // namespace tavrel::app
