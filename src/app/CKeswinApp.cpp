#include "app/CKeswinApp.h"

#include "image/ImageOpener.h"

namespace tavrel::app {

CKeswinApp::CKeswinApp(Gui& gui) : gui_(gui) {}

CKeswinApp::~CKeswinApp() {
    // Workers must end before the reader and the pages they use go away.
    for (auto it = pages_.rbegin(); it != pages_.rend(); ++it) (*it)->shutdown();
    pages_.clear();
}

bool CKeswinApp::installReader() {
    // The reader is replaced, never shared: the old one goes first.
    currentReader.reset();
    totalSectors = 0;
    OpenedImage opened = openImage(imagePath);
    if (!opened) return false;
    totalSectors = opened.reader->totalSectors();
    currentReader = std::move(opened.reader);
    return true;
}

void CKeswinApp::start(std::unique_ptr<PageController> first) {
    PageController& page = *first;
    page.creatorPageId = 0;
    pages_.push_back(std::move(first));
    gui_.createPage(page.pageId());
    if (onPageCreated) onPageCreated(page);
    page.open();
    gui_.showPage(page.pageId());
}

PageController& CKeswinApp::forward(std::unique_ptr<PageController> page) {
    PageController* creator = visiblePage();
    PageController& created = *page;
    created.creatorPageId = creator ? creator->pageId() : 0;
    pages_.push_back(std::move(page));
    gui_.createPage(created.pageId());
    if (onPageCreated) onPageCreated(created);
    created.open();
    gui_.showPage(created.pageId());
    if (creator) gui_.hidePage(creator->pageId());
    return created;
}

void CKeswinApp::back() {
    // The first page has no Back.
    if (pages_.size() < 2) return;
    std::unique_ptr<PageController> top = std::move(pages_.back());
    pages_.pop_back();
    top->shutdown();
    const int id = top->pageId();
    gui_.showPage(pages_.back()->pageId());
    gui_.destroyPage(id);
    // `top` (possibly the caller) is released here; callers return straight after.
}

void CKeswinApp::exit() {
    std::vector<std::unique_ptr<PageController>> pages = std::move(pages_);
    pages_.clear();
    for (auto it = pages.rbegin(); it != pages.rend(); ++it) {
        (*it)->shutdown();
        gui_.destroyPage((*it)->pageId());
    }
    gui_.quit();
}

PageController* CKeswinApp::visiblePage() { return pages_.empty() ? nullptr : pages_.back().get(); }

PageController* CKeswinApp::page(int pageId) {
    for (auto& p : pages_)
        if (p->pageId() == pageId) return p.get();
    return nullptr;
}

}  // namespace tavrel::app
