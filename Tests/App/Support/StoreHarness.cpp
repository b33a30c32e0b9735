#include "App/Support/StoreHarness.hpp"

#include <QCoreApplication>
#include <QEventLoop>

namespace sorvik::test {

std::vector<std::filesystem::path> FakePlatform::choose(const app::ChooserRequest& request) {
    requests.push_back(request);
    if (whileChoosing) whileChoosing();
    if (answers.empty()) return {};
    auto answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

app::UnsavedQuitChoice FakePlatform::askUnsavedQuit(const app::UnsavedQuitRequest& request) {
    quitQuestions.push_back(request);
    if (whileAsking) whileAsking();
    if (quitAnswers.empty()) return app::UnsavedQuitChoice::quitWithoutSaving;
    const app::UnsavedQuitChoice answer = quitAnswers.front();
    quitAnswers.pop_front();
    return answer;
}

StoreHarness::StoreHarness(std::filesystem::path library, std::optional<std::filesystem::path> resources) {
    make(app::LibraryChoice{std::move(library), {}}, std::move(resources));
}

StoreHarness::StoreHarness(const app::LibraryChoice& choice, std::optional<std::filesystem::path> resources) {
    make(choice, std::move(resources));
}

void StoreHarness::make(const app::LibraryChoice& choice, std::optional<std::filesystem::path> resources) {
    preferences_ = std::make_unique<app::Preferences>(std::make_unique<app::MemoryPreferenceStorage>());
    auto jobs = std::make_unique<app::HeldJobRunner>();
    jobs_ = jobs.get();
    app::AppLocations locations{std::move(resources), "/opt/sorvik/bin/sorvik-agent"};
    store_ = std::make_unique<app::AppStore>(choice, platform_, *preferences_, std::move(jobs), locations,
                                             /*saveInBackground=*/false);
    QObject::connect(store_.get(), &app::AppStore::changed,
                     [this](app::StoreChanges what) { changes.push_back(what); });
    deliver();
}

StoreHarness::~StoreHarness() {
    store_.reset();
    preferences_.reset();
}

void StoreHarness::deliver() {
    // Twice: a delivered result may queue another call (a follow-up job's start is synchronous).
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool StoreHarness::step() {
    if (!jobs_->runNext()) return false;
    deliver();
    return true;
}

bool StoreHarness::settle(int limit) {
    deliver();
    for (int i = 0; i < limit; ++i) {
        if (!jobs_->runNext()) return true;
        deliver();
    }
    return jobs_->pending() == 0;
}

}  // namespace sorvik::test
