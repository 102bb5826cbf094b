// Starting the wizard: the single-instance refusal, then the image selection page.
#pragma once

#include <string>

namespace tavrel::app {

class CKeswinApp;

// Shows "Another instance of application is already running" and returns false
// when anotherInstance is set; otherwise opens the image selection page (taking
// preselectedPath as if browsed to, when given) and returns true.
bool startWizard(CKeswinApp& app, bool anotherInstance, const std::string& preselectedPath = {});

}  // namespace tavrel::app
