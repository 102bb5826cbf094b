// The page widget for each page id.
#include "app/Gui.h"
#include "ui/qt/AdvancedOptionsPage.h"
#include "ui/qt/ImageSelectionPage.h"
#include "ui/qt/RawRecoveryPage.h"
#include "ui/qt/RecoveryModePage.h"
#include "ui/qt/ScanPage.h"
#include "ui/qt/ScanModePage.h"
#include "ui/qt/VolumeListPage.h"

namespace tavrel::ui {

std::unique_ptr<PageWidget> makePageWidget(int pageId) {
    switch (pageId) {
    case app::kImageSelectionPage:
        return std::make_unique<ImageSelectionPage>();
    case app::kScanModePage:
        return std::make_unique<ScanModePage>();
    case app::kVolumeListPage:
        return std::make_unique<VolumeListPage>();
    case app::kRecoveryModePage:
        return makeRecoveryModePageWidget();
    case app::kScanPage:
        return makeScanPageWidget();
    case app::kAdvancedOptionsPage:
        return makeAdvancedOptionsPageWidget();
    case app::kRawRecoveryPage:
        return makeRawRecoveryPageWidget();
    default:
        return nullptr;
    }
}

}  // namespace tavrel::ui
