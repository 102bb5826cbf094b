#include "app/CKeswinApp.h"
#include "app/PageFactory.h"
#include "app/PageTexts.h"
#include "app/PlaceholderPage.h"

namespace tavrel::app {

void PlaceholderPage::open() {
    gui().setWindowTitle(pageId_, kAppTitle);
    gui().setEnabled(pageId_, texts::kNext, false);
    gui().setText(pageId_, "volume", "Volume " + record_.volumeName + "  " + record_.fsName + "  start sector " +
                                          std::to_string(record_.startSector));
}

}  // namespace tavrel::app
