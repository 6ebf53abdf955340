// The portable half of the AppKit model: menu items, alerts and the process-wide presenters.
#include "platform/AppKit.h"
#include "platform/FinderSync.h"
#include "platform/ProcessInfo.h"

#include <map>
#include <system_error>

namespace platform {

std::shared_ptr<AlertPresenter> defaultAlertPresenter(); // per system
std::shared_ptr<Workspace> defaultWorkspace();           // per system
std::shared_ptr<ProcessInfo> defaultProcessInfo();       // per system

MenuItem::MenuItem(std::string title, std::optional<Selector> action, std::string keyEquivalent)
    : title_(std::move(title)), action_(std::move(action)),
      keyEquivalent_(std::move(keyEquivalent)) {}

namespace {
std::shared_ptr<AlertPresenter>& alertPresenter() {
    static std::shared_ptr<AlertPresenter> presenter = defaultAlertPresenter();
    return presenter;
}
std::shared_ptr<Workspace>& workspace() {
    static std::shared_ptr<Workspace> shared = defaultWorkspace();
    return shared;
}
std::shared_ptr<ProcessInfo>& processInfoShared() {
    static std::shared_ptr<ProcessInfo> shared = defaultProcessInfo();
    return shared;
}
std::map<std::string, ClassFactory>& principalClasses() {
    static std::map<std::string, ClassFactory> classes;
    return classes;
}
} // namespace

#if !defined(__APPLE__)
std::string localizedDescription(const std::exception& error) {
    if (const auto* system = dynamic_cast<const std::system_error*>(&error))
        return system->code().message();
    return error.what();
}
#endif

ModalResponse Alert::runModal() {
    return AlertPresenter::shared().runModal(*this);
}

AlertPresenter& AlertPresenter::shared() {
    return *alertPresenter();
}
void AlertPresenter::setShared(std::shared_ptr<AlertPresenter> presenter) {
    alertPresenter() = std::move(presenter);
}

Workspace& Workspace::sharedWorkspace() {
    return *workspace();
}
void Workspace::setShared(std::shared_ptr<Workspace> shared) {
    workspace() = std::move(shared);
}

ProcessInfo& ProcessInfo::processInfo() {
    return *processInfoShared();
}
void ProcessInfo::setShared(std::shared_ptr<ProcessInfo> shared) {
    processInfoShared() = std::move(shared);
}

FinderSyncController& FinderSyncController::defaultController() {
    static FinderSyncController controller;
    return controller;
}

// What the extension registered, as it asked (the system's controller answers only inside an
// extension that Finder loaded).
std::set<URL> FinderSyncController::directoryURLs() const {
    return directoryURLs_;
}

#if !defined(__APPLE__)
void FinderSyncController::setDirectoryURLs(std::set<URL> urls) {
    directoryURLs_ = std::move(urls);
}
std::optional<URL> FinderSyncController::targetedURL() const {
    return targetedURL_;
}
void FinderSyncController::setTargetedURL(std::optional<URL> url) {
    targetedURL_ = std::move(url);
}
std::vector<URL> FinderSyncController::selectedItemURLs() const {
    return selectedItemURLs_;
}
void FinderSyncController::setSelectedItemURLs(std::vector<URL> urls) {
    selectedItemURLs_ = std::move(urls);
}
#endif

namespace {
std::map<int, VolumeObserver::Handler>& volumeObservers() {
    static std::map<int, VolumeObserver::Handler> observers;
    return observers;
}
bool startedAsExtension_ = false;
std::optional<std::vector<URL>> testVolumes;
} // namespace

void watchVolumes(); // per system: makes it call volumesChanged() as volumes come and go
std::vector<URL> systemMountedVolumeURLs(); // per system

std::vector<URL> mountedVolumeURLs() {
    return testVolumes ? *testVolumes : systemMountedVolumeURLs();
}
void testing::setMountedVolumeURLs(std::optional<std::vector<URL>> volumes) {
    testVolumes = std::move(volumes);
}

VolumeObserver::VolumeObserver(Handler changed) {
    watchVolumes();
    static int lastId = 0;
    id_ = ++lastId;
    volumeObservers()[id_] = std::move(changed);
}

VolumeObserver::~VolumeObserver() {
    volumeObservers().erase(id_);
}

void volumesChanged(const std::string& source) {
    // A copy: an observer may end itself or start another.
    const auto observers = volumeObservers();
    for (const auto& [id, changed] : observers)
        if (volumeObservers().count(id) != 0)
            changed(source);
}

bool startedAsExtension() {
    return startedAsExtension_;
}
void markStartedAsExtension() {
    startedAsExtension_ = true;
}
void testing::setStartedAsExtension(bool started) {
    startedAsExtension_ = started;
}

bool registerPrincipalClass(const char* name, ClassFactory factory) {
    principalClasses()[name] = factory;
    return true;
}

std::unique_ptr<FinderSync> makePrincipal(const std::string& name) {
    auto it = principalClasses().find(name);
    return it == principalClasses().end() ? nullptr : it->second();
}

} // namespace platform
