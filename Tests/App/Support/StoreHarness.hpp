#pragma once
// Drives an AppStore with fake seams on a real library folder: jobs are held until released,
// queued results are delivered by processing events.
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "App/Support/HeldJobRunner.hpp"
#include "Sorvik/Stores/AppStore.hpp"
#include "Support/TestSupport.hpp"

namespace sorvik::test {

class FakePlatform : public app::Platform {
public:
    std::vector<std::filesystem::path> choose(const app::ChooserRequest& request) override;
    void copyText(const std::string& text) override { clipboard = text; }
    void reveal(const std::filesystem::path& path, std::function<void()> failed) override {
        revealed.push_back(path);
        unopened.push_back(std::move(failed));
    }
    void open(const std::filesystem::path& path, std::function<void()> failed) override {
        opened.push_back(path);
        unopened.push_back(std::move(failed));
    }
    app::UnsavedQuitChoice askUnsavedQuit(const app::UnsavedQuitRequest& request) override;
    Date now() override { return clock; }

    /// Answers for the next choosers, oldest first; none left means cancel.
    std::deque<std::vector<std::filesystem::path>> answers;
    /// Runs inside the chooser, as the nested event loop would run timers and queued calls.
    std::function<void()> whileChoosing;
    std::vector<app::ChooserRequest> requests;
    /// Answers for the next questions at quit, oldest first; none left means quit without saving.
    std::deque<app::UnsavedQuitChoice> quitAnswers;
    /// Runs inside the question at quit, before it is answered.
    std::function<void()> whileAsking;
    std::vector<app::UnsavedQuitRequest> quitQuestions;
    std::string clipboard;
    std::vector<std::filesystem::path> revealed;
    std::vector<std::filesystem::path> opened;
    /// What each reveal and open runs when nothing answers, in order: a test calls them.
    std::vector<std::function<void()>> unopened;
    Date clock{800000000};
};

/// Sets the interface language of `L` for the texts a test compares; the default comes back after.
struct LanguageScope {
    app::Preferences preferences{std::make_unique<app::MemoryPreferenceStorage>()};
    explicit LanguageScope(const char* code) { preferences.setLanguage(QString::fromLatin1(code)); }
};

class StoreHarness {
public:
    /// A store on `library` (created on demand by the store) with the given arguments' choice.
    explicit StoreHarness(std::filesystem::path library, std::optional<std::filesystem::path> resources = {});
    explicit StoreHarness(const app::LibraryChoice& choice, std::optional<std::filesystem::path> resources = {});
    ~StoreHarness();

    app::AppStore& store() { return *store_; }
    FakePlatform& platform() { return platform_; }
    app::Preferences& preferences() { return *preferences_; }
    app::HeldJobRunner& jobs() { return *jobs_; }

    /// Delivers queued calls (results, progress).
    void deliver();
    /// Releases held jobs and delivers their results until nothing is held; false when a job
    /// was still held after `limit` rounds.
    bool settle(int limit = 100);
    /// Releases exactly one job and delivers its result.
    bool step();

    /// Every change signal received, in order.
    std::vector<app::StoreChanges> changes;

private:
    void make(const app::LibraryChoice& choice, std::optional<std::filesystem::path> resources);

    FakePlatform platform_;
    std::unique_ptr<app::Preferences> preferences_;
    app::HeldJobRunner* jobs_ = nullptr;
    std::unique_ptr<app::AppStore> store_;
};

}  // namespace sorvik::test
