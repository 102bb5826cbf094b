#include "app/Startup.h"

#include "app/CKeswinApp.h"
#include "app/PageTexts.h"
#include "app/VhdInputDialog.h"

namespace tavrel::app {

bool startWizard(CKeswinApp& app, bool anotherInstance, const std::string& preselectedPath) {
    app.rootName = "ROOT";
    app.driveFormatted = false;
    app.totalSectors = 0;
    if (anotherInstance) {
        app.gui().messageBox(texts::kAnotherInstance);
        return false;
    }
    auto first = std::make_unique<VhdInputDialog>(app);
    VhdInputDialog& page = *first;
    app.start(std::move(first));
    if (!preselectedPath.empty()) page.choosePath(preselectedPath);
    return true;
}

}  // namespace tavrel::app
